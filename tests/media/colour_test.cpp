// The maps between the codecs' Y'CbCr and PixelYC: known colours land where the matrices put
// them, and code values come back unchanged through PixelYC in every matrix and range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "kernels/level.h"
#include "kinetra/media/colour.h"

namespace kinetra::media {
namespace {

struct Space {
    const char* name;
    ColourSpace space;
};

const Space kSpaces[] = {
    {"BT.601 limited", ColourSpace::Bt601(false)}, {"BT.601 full", ColourSpace::Bt601(true)},
    {"BT.709 limited", ColourSpace::Bt709(false)}, {"BT.709 full", ColourSpace::Bt709(true)},
    {"BT.2020 limited", ColourSpace::Bt2020(false)},
};

// One pixel of 4:4:4 through YuvToYc.
PixelYC ToYc(const ColourSpace& space, uint8_t y, uint8_t cb, uint8_t cr) {
    uint8_t planes[3] = {y, cb, cr};
    PlanarPicture in;
    for (int c = 0; c < 3; ++c) {
        in.planes[c] = &planes[c];
        in.strides[c] = 1;
    }
    in.width = in.height = 1;
    PixelYC out{};
    YuvToYc(space).Convert(in, YcPicture{&out, 1, 1, 1});
    return out;
}

TEST(Colour, WhiteBlackAndGreyMeanTheSameInEverySpace) {
    for (const Space& s : kSpaces) {
        const bool full = s.space.full_range;
        const PixelYC white = ToYc(s.space, full ? 255 : 235, 128, 128);
        const PixelYC black = ToYc(s.space, full ? 0 : 16, 128, 128);
        EXPECT_NEAR(white.y, 4096, 1) << s.name;
        EXPECT_NEAR(black.y, 0, 1) << s.name;
        for (const PixelYC& p : {white, black}) {
            EXPECT_NEAR(p.cb, 0, 1) << s.name;
            EXPECT_NEAR(p.cr, 0, 1) << s.name;
        }
    }
}

TEST(Colour, RedOfEachMatrixBecomesBt601Red) {
    // Full red in each space's own code values; in PixelYC it has BT.601's luma 0.299 and
    // Cr 0.5 of full scale.
    struct Case {
        ColourSpace space;
        uint8_t y, cb, cr;
    };
    const Case kCases[] = {
        {ColourSpace::Bt601(false), 81, 90, 240},
        {ColourSpace::Bt709(false), 63, 102, 240},
        {ColourSpace::Bt709(true), 54, 99, 255},
    };
    for (const Case& c : kCases) {
        const PixelYC red = ToYc(c.space, c.y, c.cb, c.cr);
        EXPECT_NEAR(red.y, 1225, 20);
        EXPECT_NEAR(red.cb, -691, 20);
        EXPECT_NEAR(red.cr, 2048, 20);
    }
}

TEST(Colour, CodeValuesComeBackThroughPixelYc) {
    // Every luma with a spread of colour differences, in gamut or not (PixelYC holds either).
    constexpr int kWidth = 256, kHeight = 2;
    std::vector<uint8_t> y(kWidth * kHeight), cb(kWidth * kHeight), cr(kWidth * kHeight);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        y[i] = static_cast<uint8_t>(i);
        cb[i] = static_cast<uint8_t>(i * 7 + 16);
        cr[i] = static_cast<uint8_t>(255 - i * 3);
    }
    for (const Space& s : kSpaces) {
        const uint8_t lo = s.space.full_range ? 0 : 16, hi = s.space.full_range ? 255 : 235;
        PlanarPicture in{{y.data(), cb.data(), cr.data()}, {kWidth, kWidth, kWidth}, kWidth, kHeight, 0, 0};
        std::vector<PixelYC> yc(kWidth * kHeight);
        YuvToYc(s.space).Convert(in, YcPicture{yc.data(), kWidth, kWidth, kHeight});
        std::vector<uint8_t> y2(y.size()), cb2(y.size()), cr2(y.size());
        PlanarPicture out{{y2.data(), cb2.data(), cr2.data()}, {kWidth, kWidth, kWidth}, kWidth, kHeight, 0, 0};
        YcToYuv(s.space).Convert(YcPicture{yc.data(), kWidth, kWidth, kHeight}, out);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            if (y[i] < lo || y[i] > hi) continue;  // beyond the nominal range the 16-bit values may wrap
            ASSERT_EQ(y2[i], y[i]) << s.name << " at " << i;
            ASSERT_EQ(cb2[i], cb[i]) << s.name << " at " << i;
            ASSERT_EQ(cr2[i], cr[i]) << s.name << " at " << i;
        }
    }
}

TEST(Colour, ColourSamplesAreRepeatedInAndAveragedOut) {
    // A 3 x 3 picture in 4:2:0: the colour sample of a 2 x 2 block covers its four pixels, and
    // the blocks cut by the right and bottom edges cover what is left of them.
    uint8_t y[9] = {100, 100, 100, 100, 100, 100, 100, 100, 100};
    uint8_t cb[4] = {60, 200, 128, 90}, cr[4] = {128, 128, 30, 240};
    const ColourSpace space = ColourSpace::Bt601(false);
    PlanarPicture in{{y, cb, cr}, {3, 2, 2}, 3, 3, 1, 1};
    PixelYC yc[9];
    YuvToYc(space).Convert(in, YcPicture{yc, 3, 3, 3});
    EXPECT_EQ(yc[0].cb, yc[4].cb);
    EXPECT_EQ(yc[2].cb, yc[5].cb);
    EXPECT_NE(yc[0].cb, yc[2].cb);
    // Half of the top-left block to a colour of its own: the block's sample is the mean.
    yc[0] = yc[3] = ToYc(space, 100, 128, 128);
    uint8_t y2[9], cb2[4], cr2[4];
    PlanarPicture out{{y2, cb2, cr2}, {3, 2, 2}, 3, 3, 1, 1};
    YcToYuv(space).Convert(YcPicture{yc, 3, 3, 3}, out);
    EXPECT_NEAR(cb2[0], (60 + 128) / 2, 1);
    EXPECT_EQ(cb2[1], 200);
    EXPECT_EQ(cr2[2], 30);
    EXPECT_EQ(cr2[3], 240);
}

TEST(Colour, Rgb24IsTheBt601MapOfPixelYc) {
    const PixelYC pixels[4] = {{4096, 0, 0}, {0, 0, 0}, {1225, -691, 2048}, {2048, 0, 0}};
    uint8_t rgb[12];
    YcToRgb24(YcPicture{const_cast<PixelYC*>(pixels), 4, 4, 1}, rgb, 12);
    const uint8_t expected[12] = {255, 255, 255, 0, 0, 0, 255, 0, 0, 128, 128, 128};
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(rgb[i], expected[i], 1) << i;
}

// Random pictures of every layout the maps read and write, at widths that end inside and at the
// end of a vector, through both maps at each kernel level the machine has: the portable form's
// bits every time. PixelYC covers the whole 16-bit range, as a plug-in's results may.
TEST(Colour, EveryKernelLevelGivesThePortableFormsBits) {
    std::mt19937 random(18);
    std::uniform_int_distribution<int> byte(0, 255), component(INT16_MIN, INT16_MAX);
    const int kLayouts[][2] = {{1, 1}, {0, 0}, {1, 0}, {0, 1}};
    const KernelLevel machine = MachineKernelLevel();
    for (const Space& s : kSpaces) {
        for (const auto& [shift_x, shift_y] : kLayouts) {
            for (const int width : {1, 7, 8, 9, 17, 33, 64}) {
                SCOPED_TRACE(::testing::Message() << s.name << ", shifts " << shift_x << shift_y << ", width " << width);
                const int height = 5, stride = width + 3;  // rows with room to spare, as FFmpeg's have
                const int colour_h = ((height - 1) >> shift_y) + 1;
                std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(stride * height),
                                                  std::vector<uint8_t>(stride * colour_h),
                                                  std::vector<uint8_t>(stride * colour_h)};
                for (auto& plane : planes) {
                    for (uint8_t& v : plane) v = static_cast<uint8_t>(byte(random));
                }
                std::vector<PixelYC> yc(static_cast<size_t>(width) * height);
                for (PixelYC& p : yc) {
                    p = {static_cast<int16_t>(component(random)), static_cast<int16_t>(component(random)),
                         static_cast<int16_t>(component(random))};
                }
                // Half the pixels near the nominal range, where the clamps do not decide.
                for (size_t i = 0; i < yc.size(); i += 2) {
                    yc[i] = {static_cast<int16_t>(yc[i].y % 4400), static_cast<int16_t>(yc[i].cb % 2300),
                             static_cast<int16_t>(yc[i].cr % 2300)};
                }
                const auto run = [&](KernelLevel level, std::vector<PixelYC>& to_yc, std::vector<uint8_t> (&to_yuv)[3]) {
                    SetKernelLevel(level);
                    PlanarPicture in{{planes[0].data(), planes[1].data(), planes[2].data()}, {stride, stride, stride},
                                     width, height, shift_x, shift_y};
                    to_yc.assign(yc.size(), PixelYC{1, 2, 3});
                    YuvToYc(s.space).Convert(in, YcPicture{to_yc.data(), width, width, height});
                    for (int c = 0; c < 3; ++c) to_yuv[c].assign(planes[c].size(), 7);
                    PlanarPicture out{{to_yuv[0].data(), to_yuv[1].data(), to_yuv[2].data()}, {stride, stride, stride},
                                      width, height, shift_x, shift_y};
                    YcToYuv(s.space).Convert(YcPicture{yc.data(), width, width, height}, out);
                };
                std::vector<PixelYC> expected_yc, got_yc;
                std::vector<uint8_t> expected_yuv[3], got_yuv[3];
                run(KernelLevel::kPortable, expected_yc, expected_yuv);
                for (const KernelLevel level : {KernelLevel::kSSE2, KernelLevel::kAVX2, KernelLevel::kAVX512}) {
                    if (level > machine) continue;
                    SCOPED_TRACE(KernelLevelName(level));
                    run(level, got_yc, got_yuv);
                    for (size_t i = 0; i < yc.size(); ++i) {
                        ASSERT_TRUE(got_yc[i].y == expected_yc[i].y && got_yc[i].cb == expected_yc[i].cb &&
                                    got_yc[i].cr == expected_yc[i].cr) << "pixel " << i;
                    }
                    for (int c = 0; c < 3; ++c) ASSERT_EQ(got_yuv[c], expected_yuv[c]) << "plane " << c;
                }
                SetKernelLevel(machine);
            }
        }
    }
}

// Deeper codes are the 8-bit ones on a finer scale: within one 8-bit step of them, in every
// space, for luma and the averaged colour samples of 4:2:0 alike.
TEST(Colour, DeeperCodesAreTheEightBitOnesOnAFinerScale) {
    constexpr int kWidth = 16, kHeight = 4, kLuma = kWidth * kHeight, kSamples = kLuma * 3 / 2;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> luma(-200, 4300), colour(-2200, 2200);
    std::vector<PixelYC> pixels(kLuma);
    for (PixelYC& p : pixels) {
        p = {static_cast<int16_t>(luma(random)), static_cast<int16_t>(colour(random)), static_cast<int16_t>(colour(random))};
    }
    const YcPicture source{pixels.data(), kWidth, kWidth, kHeight};
    const auto planes = [](uint8_t* codes, int bytes) {
        PlanarPicture out;
        const int offsets[3] = {0, kLuma, kLuma * 5 / 4}, widths[3] = {kWidth, kWidth / 2, kWidth / 2};
        for (int c = 0; c < 3; ++c) {
            out.planes[c] = codes + offsets[c] * bytes;
            out.strides[c] = widths[c] * bytes;
        }
        out.width = kWidth;
        out.height = kHeight;
        out.shift_x = out.shift_y = 1;
        return out;
    };
    for (const Space& s : kSpaces) {
        std::vector<uint8_t> narrow(kSamples);
        YcToYuv(s.space).Convert(source, planes(narrow.data(), 1));
        for (int bits : {10, 12, 16}) {
            std::vector<uint16_t> deep(kSamples);
            YcToYuv(s.space, bits).Convert(source, planes(reinterpret_cast<uint8_t*>(deep.data()), 2));
            const double step = s.space.full_range ? ((1 << bits) - 1) / 255.0 : 1 << (bits - 8);
            for (int i = 0; i < kSamples; ++i) {
                ASSERT_LE(std::abs(deep[i] - narrow[i] * step), step) << s.name << ", " << bits << " bits, code " << i;
            }
        }
    }
}

}  // namespace
}  // namespace kinetra::media
