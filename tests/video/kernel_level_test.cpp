// rotate at every kernel level this machine has against the portable level: its whole path, the
// edges' samples included, on clipped rectangles and extreme pictures; the forms themselves are
// compared table by table (kernel_table_test.cpp).
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


TEST(KernelLevel, EnvironmentAndHookNeverRiseAboveTheMachine) {
    SetKernelLevel(KernelLevel::kAVX512);
    EXPECT_EQ(ActiveKernelLevel(), MachineKernelLevel());
    SetKernelLevel(KernelLevel::kPortable);
    EXPECT_EQ(ActiveKernelLevel(), KernelLevel::kPortable);
    SetKernelLevel(MachineKernelLevel());
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

}  // namespace
}  // namespace kinetra::video
