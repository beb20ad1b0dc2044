// Every kernel form the machine can run against the portable form, on random and extreme inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "kernels/level.h"
#include "tests/video/effects_canvas.h"
#include "video/color_space.h"

namespace kinetra::video {
namespace {

// Runs `check` once at each level this machine has above the portable one, with the portable
// form's results computed first at kPortable; restores the machine's level afterwards.
template <typename Check>
void AtEveryLevel(Check check) {
    const KernelLevel machine = MachineKernelLevel();
    for (KernelLevel level : {KernelLevel::kSSE2, KernelLevel::kAVX2, KernelLevel::kAVX512}) {
        if (level > machine) continue;
        SCOPED_TRACE(KernelLevelName(level));
        check(level);
    }
    SetKernelLevel(machine);
}

bool operator==(const PixelYC& a, const PixelYC& b) { return a.y == b.y && a.cb == b.cb && a.cr == b.cr; }

TEST(KernelLevel, EnvironmentAndHookNeverRiseAboveTheMachine) {
    SetKernelLevel(KernelLevel::kAVX512);
    EXPECT_EQ(ActiveKernelLevel(), MachineKernelLevel());
    SetKernelLevel(KernelLevel::kPortable);
    EXPECT_EQ(ActiveKernelLevel(), KernelLevel::kPortable);
    SetKernelLevel(MachineKernelLevel());
}

TEST(KernelLevel, ColourConversionsMatchThePortableForm) {
    std::mt19937 random(21);
    std::uniform_int_distribution<int32_t> component(INT16_MIN, INT16_MAX);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> luma_scale(-(1 << 30) + 1, (1 << 30) - 1);
    // Counts that end inside and at the end of a vector, and a full block.
    for (int32_t count : {1, 3, 7, 17, kColourBlock}) {
        PixelYC pixels[kColourBlock];
        for (int32_t i = 0; i < count; ++i) {
            pixels[i] = {static_cast<int16_t>(component(random)), static_cast<int16_t>(component(random)),
                         static_cast<int16_t>(component(random))};
        }
        pixels[0] = {INT16_MIN, INT16_MAX, INT16_MIN};  // the sums' extremes
        RGBBlock wide, narrow;
        for (int32_t i = 0; i < count; ++i) {
            wide.r[i] = any(random), wide.g[i] = any(random), wide.b[i] = any(random);
            narrow.r[i] = luma_scale(random), narrow.g[i] = luma_scale(random), narrow.b[i] = luma_scale(random);
        }
        wide.r[0] = wide.g[0] = INT32_MIN, wide.b[0] = INT32_MAX;

        SetKernelLevel(KernelLevel::kPortable);
        RGBBlock rgb_expected;
        PixelYC wide_expected[kColourBlock], narrow_expected[kColourBlock];
        ToRGB(pixels, count, rgb_expected);
        ToYC(wide, count, kInverse4096, wide_expected);
        ToYC(narrow, count, 1.0, narrow_expected);
        AtEveryLevel([&](KernelLevel level) {
            SetKernelLevel(level);
            RGBBlock rgb;
            PixelYC wide_got[kColourBlock], narrow_got[kColourBlock];
            ToRGB(pixels, count, rgb);
            ToYC(wide, count, kInverse4096, wide_got);
            ToYC(narrow, count, 1.0, narrow_got);
            for (int32_t i = 0; i < count; ++i) {
                SCOPED_TRACE(::testing::Message() << "count " << count << " at " << i);
                EXPECT_EQ(rgb.r[i], rgb_expected.r[i]);
                EXPECT_EQ(rgb.g[i], rgb_expected.g[i]);
                EXPECT_EQ(rgb.b[i], rgb_expected.b[i]);
                EXPECT_TRUE(wide_got[i] == wide_expected[i]);
                EXPECT_TRUE(narrow_got[i] == narrow_expected[i]);
            }
        });
    }
}

using effects_testing::ArgumentSource;
using effects_testing::Canvas;

// Runs the command on copies of `canvas` at the portable level and at every level above it,
// and expects the same buffers.
void ExpectSameAtEveryLevel(const Canvas& canvas, const char* name, const std::vector<double>& args) {
    ::testing::Message arguments;
    for (double arg : args) arguments << " " << arg;
    SCOPED_TRACE(::testing::Message() << name << " on " << canvas.W << "x" << canvas.H << ":" << arguments);
    SetKernelLevel(KernelLevel::kPortable);
    Canvas want(canvas);
    want.Run(name, args, 3);
    AtEveryLevel([&](KernelLevel level) {
        SetKernelLevel(level);
        Canvas got(canvas);
        got.Run(name, args, 3);
        EXPECT_TRUE(got.SameBuffers(want)) << got.FirstDifference(want, TruncateToInt32(args[1]));
    });
}

// Every component at one extreme, or each pixel at a random one: the sums' limits.
void FillExtremes(Canvas& canvas, uint32_t seed) {
    std::mt19937 random(seed);
    for (int b = 0; b < 10; ++b) {
        for (int64_t i = 0; i < int64_t{canvas.W} * canvas.H; ++i) {
            const bool random_pixel = seed % 3 == 2;
            const int16_t low = INT16_MIN, high = INT16_MAX;
            canvas.Image(b)[i] = random_pixel ? PixelYC{random() % 2 ? low : high, random() % 2 ? low : high,
                                                         random() % 2 ? low : high}
                                              : PixelYC{seed % 3 ? high : low, low, high};
        }
    }
}

// One seed in `every` fills at the extremes, the others at random.
void FillBySeed(Canvas& canvas, uint32_t seed, uint32_t every) {
    if (seed % every == 0) {
        FillExtremes(canvas, seed);
    } else {
        canvas.Randomize(seed);
    }
}

TEST(KernelLevel, DefocusMatchesThePortableForm) {
    // Rectangles clipped at every edge, images one and two pixels wide, windows of 1 (acting as
    // 2) up to larger than the image.
    const double windows[] = {1, 2, 3, 4, 7, 16, 63, 1000};
    for (uint32_t seed = 0; seed < 120; ++seed) {
        const int32_t w = seed % 10 == 0 ? 1 + int32_t(seed / 10 % 3) : 20 + int32_t(seed % 37);
        const int32_t h = seed % 10 == 5 ? 1 + int32_t(seed / 10 % 3) : 9 + int32_t(seed % 23);
        Canvas canvas(w, h);
        canvas.Randomize(seed);
        ArgumentSource a(seed, w, h);
        const double src = a.Buffer(), dst = seed % 4 == 0 ? src : a.Buffer();
        ExpectSameAtEveryLevel(canvas, "defocus",
                               {src, dst, a.Position(w), a.Position(h), a.Size(w), a.Size(h), a.Position(w),
                                a.Position(h), windows[seed % 8], windows[seed / 8 % 8]});
    }
    // At the largest window the vector forms take (65536 pixels) and just past it, on extremes.
    struct Window {
        double w, h;
    };
    for (const Window& window : {Window{256, 256}, Window{258, 256}, Window{2, 32768}, Window{300, 2}}) {
        for (uint32_t seed = 0; seed < 3; ++seed) {
            Canvas canvas(261, 259);
            FillExtremes(canvas, seed);
            ExpectSameAtEveryLevel(canvas, "defocus", {2, 3, -3, 1, 270, 258, 1, -2, window.w, window.h});
        }
    }
}

TEST(KernelLevel, PosterizeRGBMatchesThePortableForm) {
    // Level counts that act as 2 and as 4097, steps that divide 4096 and steps that do not.
    // Steps of 49 and 107 (83 and 39 levels) are ones where a product with the nearest
    // reciprocal of the step falls short of a whole quotient.
    const double levels[] = {-1, 2, 3, 4, 5, 39, 83, 255, 4097, 5000};
    for (uint32_t seed = 0; seed < 30; ++seed) {
        Canvas canvas(37 + int32_t(seed % 5), 11);
        FillBySeed(canvas, seed, 3);
        ExpectSameAtEveryLevel(canvas, "posterize_rgb",
                               {2, 3, -2, 1, 45, 10, 0, 0, levels[seed % 10], levels[seed / 3 % 10],
                                levels[(seed + 7) % 10]});
    }
    // Every 16-bit y with no colour, where R = G = B = y: every sum the quantiser can meet.
    Canvas grey(256, 256);
    for (int32_t i = 0; i < 65536; ++i) grey.Image(2)[i] = {static_cast<int16_t>(i - 32768), 0, 0};
    for (double n : levels) ExpectSameAtEveryLevel(grey, "posterize_rgb", {2, 3, 0, 0, 256, 256, 0, 0, n, n, n});
}

TEST(KernelLevel, RotateMatchesThePortableForm) {
    // Whole images (the last pair of neighbours ends the image), rectangles clipped at every
    // edge, and angles that cross many source rows per destination row.
    const double angles[] = {0, 0.5, -0.5, 1.5, 3.14159, -2.2, 0.01};
    for (uint32_t seed = 0; seed < 42; ++seed) {
        const int32_t w = 3 + int32_t(seed % 40), h = 2 + int32_t(seed % 23);
        Canvas canvas(w, h);
        FillBySeed(canvas, seed, 5);
        ArgumentSource a(seed, w, h);
        const double angle = angles[seed % 7];
        const std::vector<double> whole = {2, 3, angle, 0, 0, double(w), double(h), 0, 0};
        const std::vector<double> clipped = {2, seed % 2 ? 2.0 : 3.0, angle, a.Position(w), a.Position(h),
                                             double(1 + seed % 50), double(1 + seed % 31), a.Position(w),
                                             a.Position(h)};
        ExpectSameAtEveryLevel(canvas, "rotate", seed % 3 ? clipped : whole);
    }
}

TEST(KernelLevel, GatedBlendsMatchThePortableForm) {
    // Opacities inside and outside the 16-bit forms, thresholds at and beyond the 16-bit range,
    // rows of 1 to 40 pixels (the vector form takes 8 at a time).
    const double opacities[] = {0.5, 0, 1, -7.5, 8.5, 0.3};
    const double thresholds[] = {2048, -32768, 32767, -40000, 40000, 100};
    for (uint32_t seed = 0; seed < 36; ++seed) {
        const int32_t w = 1 + int32_t(seed % 40), h = 3 + int32_t(seed % 5);
        Canvas canvas(w, h);
        FillBySeed(canvas, seed, 4);
        ArgumentSource a(seed, w, h);
        const double opacity = opacities[seed % 6], threshold = thresholds[seed / 6 % 6];
        const double src = a.Buffer(), dst = seed % 3 ? a.Buffer() : src;
        // Rectangles anywhere, and ones cut only by a column or two at the edges.
        ExpectSameAtEveryLevel(canvas, "alpha2",
                               {src, dst, a.Position(w), a.Position(h), a.Size(w), a.Size(h), a.Position(w),
                                a.Position(h), opacity, threshold});
        ExpectSameAtEveryLevel(canvas, "alpha2", {src, dst, -1, 0, w + 1.0, double(h), 1, 0, opacity, threshold});
        ExpectSameAtEveryLevel(canvas, "alpha3",
                               {src, dst, a.Buffer(), a.Position(w), a.Position(h), a.Size(w), a.Size(h),
                                a.Position(w), a.Position(h), a.Position(w), a.Position(h), opacity, threshold});
        ExpectSameAtEveryLevel(canvas, "alpha3",
                               {src, dst, 2, 0, 1, double(w), h - 1.0, 0, 0, 1, 1, opacity, threshold});
    }
}

TEST(KernelLevel, MakeMaskRGBMatchesThePortableForm) {
    // Boxes around the nominal colours, empty ones, and ones at the 32-bit ends; rows of 1 to 40.
    struct Box {
        double low[3], high[3];
    };
    const Box boxes[] = {{{0, 0, 0}, {2048, 4096, 3000}},
                         {{-100000, -100000, -100000}, {100000, 100000, 100000}},
                         {{3000, 0, 0}, {1000, 4096, 4096}},
                         {{-2147483648.0, 500, -2147483648.0}, {2147483647.0, 2147483647.0, 1500}}};
    for (uint32_t seed = 0; seed < 24; ++seed) {
        const int32_t w = 1 + int32_t(seed * 7 % 40), h = 2 + int32_t(seed % 4);
        Canvas canvas(w, h);
        FillBySeed(canvas, seed, 3);
        const Box& box = boxes[seed % 4];
        ExpectSameAtEveryLevel(canvas, "mkmask_rgb",
                               {2, seed % 2 ? 3.0 : 2.0, -1, 0, w + 1.0, double(h), 0, 0, box.low[0], box.low[1],
                                box.low[2], box.high[0], box.high[1], box.high[2], 4096, -7});
    }
}

}  // namespace
}  // namespace kinetra::video
