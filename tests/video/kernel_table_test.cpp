// Every form of the picture kernel tables against the table's portable form, on random pixels
// with 16 bits' extremes among them, at counts that end inside a vector.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "tests/support/kernel_tables.h"
#include "video/color_space.h"
#include "video/kernels/resample.h"
#include "video/kernels/blend.h"
#include "video/kernels/quantise.h"

namespace kinetra::video {
namespace {

using testing::ForEachVectorForm;
using testing::RandomPixels;

bool Same(const std::vector<PixelYC>& a, const std::vector<PixelYC>& b) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].y != b[i].y || a[i].cb != b[i].cb || a[i].cr != b[i].cr) return false;
    }
    return a.size() == b.size();
}

TEST(PictureKernelTables, BlendRowAboveFormsMatchThePortableForm) {
    std::mt19937 random(29);
    // Opacities at and inside the 16-bit limits, thresholds at the extremes and in between.
    const std::pair<int16_t, int16_t> cases[] = {{2048, 0},     {0, 100},         {4096, -100},  {INT16_MAX, INT16_MIN},
                                                 {-28671, 300}, {1, INT16_MAX - 1}, {3000, -1}};
    ForEachVectorForm(kBlendRowAbove, [&](BlendRowAboveForm form) {
        for (int32_t count : {1, 7, 8, 9, 17, 1920}) {
            for (const auto& [a, threshold] : cases) {
                const std::vector<PixelYC> source = RandomPixels(count, random), gate = RandomPixels(count, random);
                std::vector<PixelYC> expected = RandomPixels(count, random), got = expected;
                kBlendRowAbove.At(KernelLevel::kPortable)(source.data(), gate.data(), expected.data(), count, a,
                                                          threshold);
                form(source.data(), gate.data(), got.data(), count, a, threshold);
                EXPECT_TRUE(Same(got, expected)) << "count " << count << " a " << a << " threshold " << threshold;
            }
        }
    });
}

TEST(PictureKernelTables, BlendRowNarrowFormsMatchThePortableForm) {
    std::mt19937 random(30);
    ForEachVectorForm(kBlendRowNarrow, [&](BlendRowNarrowForm form) {
        for (int32_t count : {1, 2, 3, 5, 8, 11, 1920}) {
            for (int16_t a : {int16_t{0}, int16_t{2048}, int16_t{4096}, int16_t{-28671}, int16_t{INT16_MAX}, int16_t{1}}) {
                const std::vector<PixelYC> source = RandomPixels(count, random);
                std::vector<PixelYC> expected = RandomPixels(count, random), got = expected;
                kBlendRowNarrow.At(KernelLevel::kPortable)(source.data(), expected.data(), count, a);
                form(source.data(), got.data(), count, a);
                EXPECT_TRUE(Same(got, expected)) << "count " << count << " a " << a;
            }
        }
    });
}

// R, G, B of the blocks: random 32-bit values, 16-bit ones and the extremes.
RGBBlock RandomBlock(std::mt19937& random) {
    RGBBlock block;
    constexpr int32_t kExtremes[] = {INT32_MIN, INT32_MAX, 0, -1, 1 << 30, -(1 << 30) + 1};
    for (int32_t* channel : {block.r, block.g, block.b}) {
        for (int32_t i = 0; i < kColourBlock; ++i) {
            const uint32_t pick = random() % 8;
            channel[i] = pick == 0 ? kExtremes[random() % 6]
                         : pick < 4 ? static_cast<int32_t>(random() % 8193) - 4096
                                    : static_cast<int32_t>(random()) >> (random() % 3);
        }
    }
    return block;
}

TEST(PictureKernelTables, ColourFormsMatchThePortableForm) {
    std::mt19937 random(31);
    for (int32_t count : {1, 3, 7, 17, kColourBlock}) {
        const std::vector<PixelYC> pixels = RandomPixels(count, random);
        RGBBlock expected, got;
        kToRGB.At(KernelLevel::kPortable)(pixels.data(), count, expected);
        ForEachVectorForm(kToRGB, [&](ToRGBForm form) {
            form(pixels.data(), count, got);
            for (int32_t i = 0; i < count; ++i) {
                ASSERT_EQ(got.r[i], expected.r[i]) << i;
                ASSERT_EQ(got.g[i], expected.g[i]) << i;
                ASSERT_EQ(got.b[i], expected.b[i]) << i;
            }
        });
        // Any 32-bit R, G, B at a scale of 1/4096; within 2^30 at a scale of 1.
        RGBBlock wide = RandomBlock(random), narrow = RandomBlock(random);
        for (int32_t* channel : {narrow.r, narrow.g, narrow.b}) {
            for (int32_t i = 0; i < kColourBlock; ++i) channel[i] = channel[i] / 2;
        }
        for (const auto& [block, scale] : {std::pair{&wide, kInverse4096}, std::pair{&narrow, 1.0}}) {
            std::vector<PixelYC> want(count), have(count);
            kToYC.At(KernelLevel::kPortable)(*block, count, scale, want.data());
            ForEachVectorForm(kToYC, [&](ToYCForm form) {
                form(*block, count, scale, have.data());
                EXPECT_TRUE(Same(have, want)) << "count " << count << " scale " << scale;
            });
        }
    }
}

TEST(PictureKernelTables, MaskFormsMatchThePortableForm) {
    std::mt19937 random(32);
    // Boxes around zero, around the 12-bit range, reaching the 32-bit extremes, and empty.
    const ColourBox boxes[] = {{{-100, -100, -100}, {100, 100, 100}},
                               {{0, 0, 0}, {4096, 4096, 4096}},
                               {{INT32_MIN, -5, 0}, {INT32_MAX, 5, INT32_MAX}},
                               {{10, 0, 0}, {-10, 0, 0}}};
    for (const ColourBox& box : boxes) {
        RGBBlock c = RandomBlock(random);
        for (int32_t i = 0; i < kColourBlock; i += 3) c.r[i] = box.low[0], c.g[i] = box.high[1], c.b[i] = box.low[2];
        std::vector<PixelYC> expected(kColourBlock), got(kColourBlock);
        kMaskOfBlock.At(KernelLevel::kPortable)(c, kColourBlock - 1, box, 4096, -7, expected.data());
        ForEachVectorForm(kMaskOfBlock, [&](MaskOfBlockForm form) {
            got = RandomPixels(kColourBlock, random);
            got.back() = expected.back();
            form(c, kColourBlock - 1, box, 4096, -7, got.data());
            EXPECT_TRUE(Same(got, expected));
        });
    }
}

TEST(PictureKernelTables, ResizePassFormsMatchThePortableForm) {
    std::mt19937 random(33);
    // Rows enlarged, shrunk and kept; the last columns read the row's last pixels, where the
    // vector forms' loads would pass the row's end.
    for (const auto& [width, count] : {std::pair{1, 1}, {2, 3}, {3, 5}, {5, 11}, {40, 17}, {300, 512}, {600, 301}}) {
        const std::vector<PixelYC> row = RandomPixels(width, random);
        std::vector<ResizeColumn> columns(count);
        for (int32_t j = 0; j < count; ++j) {
            const int32_t fx = static_cast<int32_t>(random() % 256);
            columns[j] = {static_cast<int32_t>(int64_t{j} * width / count), (255 - fx) | fx << 16};
        }
        columns.back().x = width - 1;
        std::vector<int32_t> expected(3 * count + kWidenedSlack), got(expected.size());
        kMixColumns.At(KernelLevel::kPortable)(expected.data(), row.data(), width, columns.data(), count);
        ForEachVectorForm(kMixColumns, [&](MixColumnsForm form) {
            form(got.data(), row.data(), width, columns.data(), count);
            for (int32_t i = 0; i < 3 * count; ++i) ASSERT_EQ(got[i], expected[i]) << "width " << width << " at " << i;
        });
    }
    // Widened rows with the sums' extremes, +-32768 * 255, among random ones.
    for (int32_t count : {1, 5, 8, 15, 16, 17, 512}) {
        auto widened = [&] {
            std::vector<int32_t> sums(3 * count);
            for (int32_t& sum : sums) {
                sum = random() % 4 ? static_cast<int32_t>(random() % (2 * 8355840 + 1)) - 8355840
                                   : (random() % 2 ? -8355840 : 8355585);
            }
            return sums;
        };
        const std::vector<int32_t> top = widened(), bottom = widened();
        for (int32_t fy : {0, 1, 128, 255}) {
            std::vector<PixelYC> want(count), have(count);
            kMixRows.At(KernelLevel::kPortable)(want.data(), top.data(), bottom.data(), count, fy);
            ForEachVectorForm(kMixRows, [&](MixRowsForm form) {
                have = RandomPixels(count, random);
                form(have.data(), top.data(), bottom.data(), count, fy);
                EXPECT_TRUE(Same(have, want)) << "count " << count << " fy " << fy;
            });
        }
    }
}

TEST(PictureKernelTables, TurnFormsMatchThePortableForm) {
    // A 40 x 30 image, the source rectangle inside it and reaching past its right and bottom
    // edges; at random angles, runs through a random position or the last one with four
    // neighbours (whose lower pair ends the image when the rectangle reaches its corner), as
    // far as the positions keep all four neighbours inside.
    constexpr ImageSize kSize{40, 30};
    std::mt19937 random(34);
    const std::vector<PixelYC> image = RandomPixels(kSize.width * kSize.height, random);
    for (const auto& [x0, y0, w, h] : {std::array{0, 0, 40, 30}, std::array{5, 3, 20, 15}, std::array{20, 10, 30, 30}}) {
        const SourceWindow source(image.data(), x0, y0, w, h, kSize);
        const Region& inside = source.visible();
        const int64_t x_end = source.interior_x_end(), y_end = source.interior_y_end();
        for (int round = 0; round < 50; ++round) {
            const double angle = (random() % 6283) / 1000.0;
            const int64_t C = static_cast<int64_t>(std::cos(angle) * 4096), S = static_cast<int64_t>(std::sin(angle) * 4096);
            const int64_t centre_x = (inside.x0 + inside.x1) / 2, centre_y = (inside.y0 + inside.y1) / 2;
            const TurnedRun run{image.data(), C, S, centre_x, centre_y, kSize};
            auto inner = [&](int64_t u, int64_t v) {
                const int64_t sx = centre_x + (u >> 12), sy = centre_y + (v >> 12);
                return sx >= inside.x0 && sx < x_end && sy >= inside.y0 && sy < y_end;
            };
            const bool corner = round % 3 == 0;
            const int64_t px = corner ? x_end - 1 : inside.x0 + random() % (x_end - inside.x0);
            const int64_t py = corner ? y_end - 1 : inside.y0 + random() % (y_end - inside.y0);
            int64_t u = (px - centre_x) * 4096 + random() % 4096, v = (py - centre_y) * 4096 + random() % 4096;
            while (inner(u - C, v - S)) u -= C, v -= S;
            int64_t columns = 1;
            while (inner(u + columns * C, v + columns * S)) ++columns;
            std::vector<PixelYC> expected(columns), got(columns);
            kTurn.At(KernelLevel::kPortable)(run, expected.data(), 0, columns, u, v);
            ForEachVectorForm(kTurn, [&](TurnForm form) {
                got = RandomPixels(static_cast<int32_t>(columns), random);
                form(run, got.data(), 0, columns, u, v);
                EXPECT_TRUE(Same(got, expected)) << "angle " << angle << " rectangle " << x0 << " " << y0;
            });
        }
    }
}

TEST(PictureKernelTables, QuantiseFormsMatchThePortableForm) {
    // R, G and B of pixels lie within +-2^17; level counts of wide and narrow steps, those where
    // the nearest reciprocal alone falls short of whole quotients (steps of 49 and 107), and
    // counts beyond the range that act as its ends.
    std::mt19937 random(35);
    RGBBlock block;
    for (int32_t* channel : {block.r, block.g, block.b}) {
        for (int32_t i = 0; i < kColourBlock; ++i) channel[i] = static_cast<int32_t>(random() % (1 << 18)) - (1 << 17);
        channel[0] = (1 << 17) - 1, channel[1] = -(1 << 17), channel[2] = 4096, channel[3] = 0;
    }
    for (int32_t levels : {0, 2, 3, 5, 39, 84, 256, 4097, 9000}) {
        const Quantisers steps{Quantiser(levels), Quantiser(levels + 1), Quantiser(2)};
        RGBBlock expected = block;
        kQuantise.At(KernelLevel::kPortable)(expected, kColourBlock - 3, steps);
        ForEachVectorForm(kQuantise, [&](QuantiseForm form) {
            RGBBlock got = block;
            form(got, kColourBlock - 3, steps);
            for (int32_t i = 0; i < kColourBlock; ++i) {
                ASSERT_EQ(got.r[i], expected.r[i]) << "levels " << levels << " at " << i;
                ASSERT_EQ(got.g[i], expected.g[i]) << "levels " << levels << " at " << i;
                ASSERT_EQ(got.b[i], expected.b[i]) << "levels " << levels << " at " << i;
            }
        });
    }
}

}  // namespace
}  // namespace kinetra::video
