// The sound commands' vector forms against their portable forms: the same buffers from every
// kernel level this machine has, on random and extreme samples and arguments, at counts that
// end inside a vector and thread splits that start inside one.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "host/kernel_level.h"
#include "tests/support/sound_buffers.h"

namespace kinetra::audio {
namespace {

using testing::SoundBuffers;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Runs `args` on random buffers (every fourth sample one of 16 bits' extremes) at the portable
// level and at each level above it, and expects the same buffers from all.
void ExpectEveryLevelAlike(const char* command, const std::vector<double>& args, int32_t n, int32_t c,
                           int threads, uint32_t seed) {
    SoundBuffers portable(n, c);
    portable.Randomize(seed);
    std::mt19937 random(seed);
    for (int b = 0; b < 10; ++b) {
        int16_t* sound = portable.Sound(b);
        for (size_t k = 0; k < portable.Values(); k += 1 + random() % 7) {
            constexpr int16_t kExtremes[] = {INT16_MIN, INT16_MAX, 0, -1, 1, INT16_MIN + 1};
            sound[k] = kExtremes[random() % 6];
        }
    }
    portable.line.start_frame = -1;
    portable.line.sample_position_wide = portable.line.sample_position = static_cast<int32_t>(random() % 100000);
    const SoundBuffers start(portable);
    SetKernelLevel(KernelLevel::kPortable);
    portable.Run(command, args, threads);
    for (KernelLevel level : {KernelLevel::kSSE2, KernelLevel::kAVX2}) {
        if (level > MachineKernelLevel()) continue;
        SetKernelLevel(level);
        SoundBuffers vector(start);
        vector.Run(command, args, threads);
        EXPECT_TRUE(portable.SameBuffers(vector))
            << command << " at " << KernelLevelName(level) << ", n " << n << " c " << c << " threads " << threads
            << " args " << args[0] << " " << args[1] << " " << args[2] << " " << args[3];
    }
    SetKernelLevel(MachineKernelLevel());
}

// Counts below, at and past one vector of each level, and thread splits that fall inside one.
constexpr int32_t kCounts[] = {1, 2, 3, 5, 8, 9, 15, 17, 33, 1001, 70001};

TEST(SoundKernels, MonoSwapBlendAndReverseMatchThePortableForm) {
    uint32_t seed = 0;
    for (int32_t c : {2, 1}) {
        for (int32_t n : kCounts) {
            for (int threads : {1, 3}) {
                for (double mode : {0, 1, 2}) ExpectEveryLevelAlike("a_mono", {2, mode}, n, c, threads, ++seed);
                ExpectEveryLevelAlike("a_reverse", {2, 3}, n, c, threads, ++seed);
                ExpectEveryLevelAlike("a_reverse", {4, 4}, n, c, threads, ++seed);
            }
        }
    }
}

TEST(SoundKernels, VolumeMatchesThePortableForm) {
    // Gains that keep the products in 16 bits, wrap them, take them beyond 32 bits (INT32_MIN,
    // whose low bits are 0), or make them not a number.
    const double gains[] = {0, -0.0, 1, 0.5, 0.3, -0.7, 2, 65537.5, -1e6, 1e300, -1e300, 1e-300, kInf, -kInf, kNaN};
    std::mt19937 random(3);
    uint32_t seed = 100;
    for (int32_t c : {2, 1}) {
        for (int32_t n : kCounts) {
            for (int round = 0; round < 6; ++round) {
                const double start = gains[random() % std::size(gains)];
                const double end = round < 2 ? start : gains[random() % std::size(gains)];
                for (double mode : {0, 1, 2}) {
                    ExpectEveryLevelAlike("a_volume", {2, start, end, mode}, n, c, 1 + round % 3, ++seed);
                }
            }
        }
    }
    // Random ramps on a long frame, split at odd places.
    std::uniform_real_distribution<double> gain(-3, 3);
    for (int round = 0; round < 20; ++round) {
        ExpectEveryLevelAlike("a_volume", {2, gain(random), gain(random), double(round % 3)}, 4801, 2, 3, ++seed);
    }
}

}  // namespace
}  // namespace kinetra::audio
