// Every kernel form the machine can run against the portable form, on random and extreme inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "video/color_space.h"
#include "host/kernel_level.h"

namespace kinetra::video {
namespace {

// Runs `check` once at each level this machine has above the portable one, with the portable
// form's results computed first at kPortable; restores the machine's level afterwards.
template <typename Check>
void AtEveryLevel(Check check) {
    const KernelLevel machine = MachineKernelLevel();
    for (KernelLevel level : {KernelLevel::kSSE2, KernelLevel::kAVX2}) {
        if (level > machine) continue;
        SCOPED_TRACE(KernelLevelName(level));
        check(level);
    }
    SetKernelLevel(machine);
}

bool operator==(const PixelYC& a, const PixelYC& b) { return a.y == b.y && a.cb == b.cb && a.cr == b.cr; }

TEST(KernelLevel, EnvironmentAndHookNeverRiseAboveTheMachine) {
    SetKernelLevel(KernelLevel::kAVX2);
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

}  // namespace
}  // namespace kinetra::video
