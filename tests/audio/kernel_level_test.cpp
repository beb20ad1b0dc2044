// The sound commands at every kernel level this machine has against the portable level, where
// the command's own routing counts (a_copyframe2 gathering through the work area), and the
// tone's sine; the forms themselves are compared table by table (kernel_table_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "audio/handlers.h"
#include "audio/kernels/count_division.h"
#include "audio/kernels/tone.h"
#include "kernels/level.h"
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
    portable.line.sample_position = random() % 100000;
    const SoundBuffers start(portable);
    SetKernelLevel(KernelLevel::kPortable);
    portable.Run(command, args, threads);
    for (KernelLevel level : {KernelLevel::kSSE2, KernelLevel::kAVX2, KernelLevel::kAVX512}) {
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

#if defined(KINETRA_VECTOR_KERNELS)
[[gnu::target("avx2,fma")]] void DivideFourByCount(const double* a, double n, double* quotients) {
    _mm256_storeu_pd(quotients, DivideByCount(_mm256_loadu_pd(a), DivisorOf(n)));
}
[[gnu::target(KINETRA_AVX512_TARGET)]] void DivideEightByCount(const double* a, double n, double* quotients) {
    _mm512_storeu_pd(quotients, DivideByCount(_mm512_loadu_pd(a), DivisorOf8(n)));
}
#endif

// The quotient without the divider against the divider, in four lanes and (where the machine
// has them) in eight, on counts of every size and numerators across the whole range it takes:
// random ones, and ones within a few ulps of a count times a midpoint between two doubles,
// where a quotient one ulp off would show.
TEST(SoundKernels, DivisionByTheCountIsTheDividersQuotient) {
#if defined(KINETRA_VECTOR_KERNELS)
    if (MachineKernelLevel() < KernelLevel::kAVX2) GTEST_SKIP() << "no AVX2 here";
    std::mt19937_64 random(21);
    const auto with_exponent = [&](int64_t exponent) {
        return std::bit_cast<double>((random() & 0x000FFFFFFFFFFFFF) | uint64_t(exponent + 1023) << 52);
    };
    int64_t wrong = 0;
    for (int round = 0; round < 100000; ++round) {
        const double counts[] = {double(1 + random() % 64), double(1 + random() % 100000), double(1 + (random() >> 33)),
                                 double((uint64_t{1} << (2 + random() % 30)) - 1)};
        const double n = counts[round % 4];
        double a[8], quotients[8];
        for (double& numerator : a) {
            if (random() % 2) {
                numerator = with_exponent(int64_t(random() % 1860) - 960);
            } else {
                const double q = with_exponent(int64_t(random() % 1700) - 900);
                const long double midpoint = q + (long double)(std::nextafter(q, kInf) - q) / 2;
                const int64_t bits = std::bit_cast<int64_t>(double(midpoint * n)) + int64_t(random() % 5) - 2;
                numerator = std::clamp(std::bit_cast<double>(bits), kSmallestDividend, kLargestDividend);
            }
        }
        const bool eight = MachineKernelLevel() >= KernelLevel::kAVX512 && round % 2;
        eight ? DivideEightByCount(a, n, quotients) : DivideFourByCount(a, n, quotients);
        for (int k = 0; k < (eight ? 8 : 4); ++k) {
            wrong += std::bit_cast<uint64_t>(quotients[k]) != std::bit_cast<uint64_t>(a[k] / n);
        }
    }
    EXPECT_EQ(wrong, 0);
#else
    GTEST_SKIP() << "this build has no vector forms";
#endif
}

TEST(SoundKernels, SpanCopyMatchesThePortableForm) {
    // Whole and fractional spans, below zero, tiny and long, of lengths the quotient without the
    // divider does not take, into a buffer and into buffer 9 (gathered through the work area).
    std::vector<std::pair<double, double>> spans = {
        {10, 12},    {-3.5, -1},      {2.7, 3.1}, {0, 1},      {5, 5 + 1e-7}, {-1e-4, 1e-4},
        {1e-300, 1}, {50, 95},        {0, 1e-310}, {-1, 1e300}, {3, 3 + 0x1p-899}};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> start(-5, 60), length(0, 30);
    for (int k = 0; k < 8; ++k) {
        const double s = start(random);
        spans.push_back({s, s + length(random)});
    }
    uint32_t seed = 300;
    for (int32_t c : {2, 1}) {
        for (int32_t n : kCounts) {
            for (const auto& [s, e] : spans) {
                ++seed;
                ExpectEveryLevelAlike("a_copyframe2", {seed % 2 ? 3.0 : 9.0, s, e, 0}, n, c, 1 + seed % 3, seed);
            }
        }
    }
}

// The tone's own sine and cosine hold the bound the tone's proof takes for them, 2^-50 (less
// the library's own 1 ulp), over the whole range, near the quarter turns and near zero. The
// portable form is measured; the vector forms give its bits (kernel_table_test.cpp).
TEST(SoundKernels, ToneSineStaysWithinItsBound) {
#if !defined(KINETRA_FAST_TONE)
    GTEST_SKIP() << "this build has no sine of its own: the tone takes the C library's";
#else
    std::mt19937_64 random(9);
    std::vector<double> x;
    for (double scale : {1e-300, 1e-3, 1.0, 100.0, 1e4, 1e6, 0x1p26}) {
        std::uniform_real_distribution<double> any(-scale, scale);
        for (int k = 0; k < 200000; ++k) x.push_back(any(random));
    }
    // Quarter turns up to the last below 2^26, and their neighbours.
    for (int64_t q = -3; q <= 3; ++q) {
        for (double k : {0.0, 4.0, 4e3, 4e7, 42722824.0}) {
            const double quarter = (k + q) * M_PI / 2;
            x.insert(x.end(), {quarter, std::nextafter(quarter, 0.0), std::nextafter(quarter, 1e300)});
        }
    }
    x.push_back(0x1p26);
    x.push_back(-0x1p26);
    x.push_back(0.0);
    std::vector<double> sine(x.size()), cosine(x.size());
    kSineAndCosine.At(KernelLevel::kPortable)(x.data(), static_cast<int32_t>(x.size()), sine.data(), cosine.data());
    double worst = 0;
    for (size_t k = 0; k < x.size(); ++k) {
        worst = std::max({worst, std::fabs(sine[k] - std::sin(x[k])), std::fabs(cosine[k] - std::cos(x[k]))});
    }
    EXPECT_LE(worst, 0x1p-50 - 0x1p-52);
#endif
}

// The tone against the C library's sine on some million sample frames: random frequencies,
// rates, amplitudes and positions, and the cases where a fast form must give way: peaks of
// exactly 32767 (12 kHz at 48 kHz, full scale), values at 1, where the square wave turns, arguments
// beyond the reduction's range, positions whose doubled value leaves 53 bits, no frequency.
TEST(SoundKernels, ToneMatchesTheLibrarySine) {
    struct Case {
        double frequency, waveform, amplitude;
        int32_t rate;
        int64_t position;
    };
    std::vector<Case> cases = {
        {12000, 0, 1, 48000, 0},         {12000, 1, 1, 48000, 0},       {12000, 0, 0.5, 48000, 1 << 30},
        {24000, 1, 1, 48000, 7},         {0, 0, 1, 48000, 3},           {-440, 0, 0.9, 44100, 12345},
        {2147483647, 0, 1, 1, 0},        {440, 0, 1, 48000, int64_t{1} << 50},
        {440, 0, 1, 48000, (int64_t{1} << 50) - 5000}, {20000, 0, 1, 48000, 25000000},
        {441, 1, 0.000031, 48000, 99},   {1, 0, 1, 2, 0},               {440, 0, 0, 48000, 5},
        {4000, 1, 2.0 / 32767, 48000, 0}, {4000, 1, 2.0 / 32767, 48000, 1 << 20},
        {3, 0, 1, 2147483647, int64_t{1} << 40},
    };
    std::mt19937_64 random(12);
    for (int k = 0; k < 40; ++k) {
        const int32_t rates[] = {8000, 22050, 44100, 48000, 96000, 1 + int32_t(random() % 200000)};
        cases.push_back({double(int32_t(random() % 48001) - 24000), double(random() % 2),
                         std::uniform_real_distribution<double>(0, 1)(random), rates[random() % 6],
                         int64_t(random() % (k < 20 ? 100000000 : 10000000000))});
    }
    for (const Case& t : cases) {
        for (int32_t c : {2, 1}) {
            SoundBuffers portable(c == 2 ? 24001 : 1000, c);
            portable.sampling_rate = t.rate;
            portable.line.start_frame = -1;
            portable.line.sample_position = t.position;
            SoundBuffers vector(portable);
            const std::vector<double> args = {2, t.frequency, t.waveform, t.amplitude};
            SetKernelLevel(KernelLevel::kPortable);
            portable.Run("a_tone", args, 3);
            for (KernelLevel level : {KernelLevel::kSSE2, KernelLevel::kAVX2, KernelLevel::kAVX512}) {
                if (level > MachineKernelLevel()) continue;
                SetKernelLevel(level);
                SoundBuffers again(vector);
                again.Run("a_tone", args, 3);
                EXPECT_EQ(again.Samples(2), portable.Samples(2))
                    << KernelLevelName(level) << " f " << t.frequency << " wave " << t.waveform << " amplitude "
                    << t.amplitude << " rate " << t.rate << " position " << t.position << " c " << c;
            }
        }
    }
    SetKernelLevel(MachineKernelLevel());
}

}  // namespace
}  // namespace kinetra::audio
