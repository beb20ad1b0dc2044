// Every form of every sound kernel table against the table's portable form, on random input with
// its extremes among it (16 bits' samples, the sine's boundaries), at counts and starts that end
// and begin inside a vector.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "audio/kernels/samples.h"
#include "audio/kernels/span.h"
#include "audio/kernels/tone.h"
#include "script/arguments.h"
#include "tests/support/kernel_tables.h"

namespace kinetra::audio {
namespace {

using testing::ForEachVectorForm;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Sample frames below, at and past a vector of each level, and a frame of 30 fps at 48 kHz.
constexpr int32_t kCounts[] = {1, 2, 3, 5, 8, 9, 15, 16, 17, 33, 1600};
// Where a thread's block may start.
constexpr int32_t kStarts[] = {0, 1, 3, 7};

std::vector<int16_t> RandomSamples(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int16_t> samples(count);
    constexpr int16_t kExtremes[] = {INT16_MIN, INT16_MAX, 0, -1, 1, INT16_MIN + 1};
    for (int16_t& s : samples) s = random() % 4 ? static_cast<int16_t>(random()) : kExtremes[random() % 6];
    return samples;
}

TEST(SoundKernelTables, RampFormsMatchThePortableForm) {
    const struct {
        const KernelTable<RampForm>& table;
        int32_t values;
    } tables[] = {{kRampOneChannel, 1}, {kRampLeft, 2}, {kRampRight, 2}, {kRampStereo, 2}};
    // Gains that keep the products in 16 bits, wrap them, take them beyond 32 bits (INT32_MIN,
    // whose low bits are 0), make them not a number, or lie outside the range the quotient
    // without the divider takes.
    const std::pair<double, double> gains[] = {{0.2, 0.9},  {1, 1},      {0, 0},        {3.7, -2.1},
                                               {1e6, -1e6}, {kNaN, 1},   {1e-300, 0.5}, {1e300, 1},
                                               {-0.5, 0x1p-899}};
    uint32_t seed = 1;
    for (const auto& [table, values] : tables) {
        ForEachVectorForm(table, [&](RampForm form) {
            for (int32_t count : kCounts) {
                for (int32_t begin : kStarts) {
                    if (begin >= count) continue;
                    for (const auto& [start, end] : gains) {
                        std::vector<int16_t> expected = RandomSamples(size_t(count) * values, ++seed);
                        std::vector<int16_t> got = expected;
                        table.At(KernelLevel::kPortable)(expected.data(), count, start, end, begin, count);
                        form(got.data(), count, start, end, begin, count);
                        EXPECT_EQ(got, expected) << "count " << count << " from " << begin << " gains " << start << " "
                                                 << end;
                    }
                }
            }
        });
    }
}

TEST(SoundKernelTables, MonoFormsMatchThePortableForm) {
    uint32_t seed = 100;
    for (const KernelTable<MonoForm>* table : {&kMonoMean, &kMonoLeft, &kMonoRight}) {
        ForEachVectorForm(*table, [&](MonoForm form) {
            for (int32_t count : kCounts) {
                for (int32_t begin : kStarts) {
                    if (begin >= count) continue;
                    std::vector<int16_t> expected = RandomSamples(size_t(count) * 2, ++seed);
                    std::vector<int16_t> got = expected;
                    table->At(KernelLevel::kPortable)(expected.data(), begin, count);
                    form(got.data(), begin, count);
                    EXPECT_EQ(got, expected) << "count " << count << " from " << begin;
                }
            }
        });
    }
}

TEST(SoundKernelTables, ReverseFormsMatchThePortableForm) {
    const struct {
        const KernelTable<ReverseForm>& reverse;
        const KernelTable<ExchangeForm>& exchange;
        int32_t values;
    } tables[] = {{kReverseStereo, kExchangeStereo, 2}, {kReverseOneChannel, kExchangeOneChannel, 1}};
    uint32_t seed = 200;
    for (const auto& [reverse, exchange, values] : tables) {
        for (int32_t n : kCounts) {
            for (int32_t begin : kStarts) {
                const std::vector<int16_t> source = RandomSamples(size_t(n) * values, ++seed);
                if (begin < n) {
                    std::vector<int16_t> expected(source.size()), got(source.size());
                    reverse.At(KernelLevel::kPortable)(source.data(), expected.data(), n, begin, n);
                    ForEachVectorForm(reverse, [&](ReverseForm form) {
                        std::fill(got.begin(), got.end(), int16_t{0});
                        form(source.data(), got.data(), n, begin, n);
                        EXPECT_EQ(got, expected) << "n " << n << " from " << begin;
                    });
                }
                if (begin < n / 2) {
                    std::vector<int16_t> expected = source;
                    exchange.At(KernelLevel::kPortable)(expected.data(), n, begin, n / 2);
                    ForEachVectorForm(exchange, [&](ExchangeForm form) {
                        std::vector<int16_t> got = source;
                        form(got.data(), n, begin, n / 2);
                        EXPECT_EQ(got, expected) << "n " << n << " from " << begin;
                    });
                }
            }
        }
    }
}

TEST(SoundKernelTables, SpanFormsMatchThePortableForm) {
    // Whole and fractional spans, below zero, tiny and long, and of lengths the quotient without
    // the divider does not take.
    const std::pair<double, double> spans[] = {{10, 12},   {-3.5, -1},  {2.7, 3.1},   {0, 1},
                                               {5, 5 + 1e-7}, {1e-300, 1}, {50, 95}, {0, 1e-310},
                                               {-1, 1e300}, {3, 3 + 0x1p-899}};
    for (int32_t n : kCounts) {
        for (const auto& [s, e] : spans) {
            const SpanPositions span{s, e - s, double(n), n - 1};
            const int32_t frame = span.FrameAt(0);
            // The positions of the first frame's run, from an odd start where there is one.
            int32_t count = 1;
            while (count < n && span.FrameAt(count) == frame) ++count;
            const int32_t first = count > 1 ? 1 : 0;
            std::vector<int32_t> expected(count, -1), got(count);
            kRunSamples.At(KernelLevel::kPortable)(span, frame, first, count - first, expected.data());
            ForEachVectorForm(kRunSamples, [&](RunSamplesForm form) {
                std::fill(got.begin(), got.end(), -1);
                form(span, frame, first, count - first, got.data());
                EXPECT_EQ(got, expected) << "n " << n << " span " << s << " " << e;
            });
        }
    }
}

TEST(SoundKernelTables, StereoCopyFormsMatchThePortableForm) {
    // Sources in order and close (the permutes' case), repeated, far apart, and close but too
    // near the end of the sound to load two vectors from the first.
    constexpr int32_t kFrames = 1600;
    const std::vector<int16_t> sound = RandomSamples(kFrames * 2, 300);
    std::mt19937 random(301);
    for (int32_t count : kCounts) {
        for (int pattern = 0; pattern < 4; ++pattern) {
            std::vector<int32_t> samples(count);
            int32_t at = pattern == 3 ? kFrames - 20 : int32_t(random() % 100);
            for (int32_t& s : samples) {
                s = pattern == 2 ? int32_t(random() % kFrames) : std::min(at, kFrames - 1);
                at += pattern == 1 ? int32_t(random() % 2) : 1 + int32_t(random() % 2);
            }
            std::vector<int16_t> expected(size_t(count) * 2), got(expected.size());
            kCopyStereo.At(KernelLevel::kPortable)(samples.data(), count, sound.data(), kFrames, expected.data());
            ForEachVectorForm(kCopyStereo, [&](CopyStereoForm form) {
                std::fill(got.begin(), got.end(), int16_t{0});
                form(samples.data(), count, sound.data(), kFrames, got.data());
                EXPECT_EQ(got, expected) << "count " << count << " pattern " << pattern;
            });
        }
    }
}

#if defined(KINETRA_FAST_TONE)
std::vector<uint64_t> BitsOf(const std::vector<double>& values) {
    std::vector<uint64_t> bits;
    for (double v : values) bits.push_back(std::bit_cast<uint64_t>(v));
    return bits;
}
#endif

// Where the tone has no forms of its own (the 32-bit and portable builds), these two skip, as
// the accuracy test does, so that every build lists the same tests.
TEST(SoundKernelTables, SineAndCosineFormsMatchThePortableForm) {
#if !defined(KINETRA_FAST_TONE)
    GTEST_SKIP() << "this build has no sine of its own: the tone takes the C library's";
#else
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // Zero of both signs, tiny, the reducible bound of both signs and just inside it.
    std::vector<double> x = {0.0, -0.0, 0x1p-1074, 1e-300, -1e-8, 0x1p26, -0x1p26, std::nextafter(0x1p26, 0.0)};
    // Odd multiples of pi / 4, where the reduction turns to the next quarter, up to the last below
    // the bound, and their neighbours.
    for (double odd : {1.0, 3.0, 5.0, 7.0, 1001.0, 85445657.0, 85445659.0}) {
        for (double boundary : {odd * std::numbers::pi / 4, -odd * std::numbers::pi / 4}) {
            x.insert(x.end(), {boundary, std::nextafter(boundary, -kInf), std::nextafter(boundary, kInf)});
        }
    }
    std::mt19937_64 random(400);
    for (double scale : {1e-3, 1.0, 1e3, 1e6, 0x1p26}) {
        std::uniform_real_distribution<double> any(-scale, scale);
        for (int k = 0; k < 1000; ++k) x.push_back(any(random));
    }
    // Counts that end inside a vector, the whole set among them.
    for (size_t count : {size_t{1}, size_t{3}, size_t{5}, x.size() | 1}) {
        const std::vector<double> in(x.begin(), x.begin() + std::min(count, x.size()));
        std::vector<double> sine(in.size()), cosine(in.size());
        kSineAndCosine.At(KernelLevel::kPortable)(in.data(), int32_t(in.size()), sine.data(), cosine.data());
        ForEachVectorForm(kSineAndCosine, [&](SineAndCosineForm form) {
            std::vector<double> got_sine(in.size()), got_cosine(in.size());
            form(in.data(), int32_t(in.size()), got_sine.data(), got_cosine.data());
            EXPECT_EQ(BitsOf(got_sine), BitsOf(sine)) << "count " << in.size();
            EXPECT_EQ(BitsOf(got_cosine), BitsOf(cosine)) << "count " << in.size();
        });
    }
#endif
}

TEST(SoundKernelTables, ToneFormsMatchThePortableForm) {
#if !defined(KINETRA_FAST_TONE)
    GTEST_SKIP() << "this build has no sine of its own: the tone takes the C library's";
#else
    // No frequency, 1 Hz, 440 Hz, half the rate, peaks of exactly 32767 at full scale (a
    // quarter of the rate), a negative frequency, and steps so short that positions near the
    // largest exact one still reduce.
    const struct {
        double frequency, rate;
    } waves[] = {{0, 48000}, {1, 48000}, {440, 48000}, {24000, 48000}, {12000, 48000}, {-440, 44100}, {1, 2147483647}};
    // Full scale, below it, and the square wave's turn at 1.
    const double amplitudes[] = {1, 0.37, 2.0 / 32767};
    uint32_t seed = 500;
    for (const auto& [frequency, rate] : waves) {
        for (double amplitude : amplitudes) {
            for (int32_t count : kCounts) {
                // From the start, where 440 Hz reaches the reducible bound, and the last position
                // whose doubled value stays exact for the call.
                for (uint64_t position : {uint64_t{0}, uint64_t{1} << 30, (uint64_t{1} << 50) - count - 1}) {
                    for (const int32_t values : {1, 2}) {
                        for (const bool square : {false, true}) {
                            const ToneWave wave{position, frequency, rate, amplitude, square,
                                                TruncateToInt32(amplitude * kFullScale)};
                            ToneTable table;
                            ASSERT_TRUE(MakeToneTable(wave, count, table));
                            for (int32_t begin : kStarts) {
                                if (begin >= count) continue;
                                std::vector<int16_t> expected = RandomSamples(size_t(count) * values, ++seed);
                                kTone.At(KernelLevel::kPortable)(table, wave, expected.data(), values, begin, count);
                                ForEachVectorForm(kTone, [&](ToneForm form) {
                                    std::vector<int16_t> got = RandomSamples(size_t(count) * values, seed);
                                    form(table, wave, got.data(), values, begin, count);
                                    EXPECT_EQ(got, expected)
                                        << "f " << frequency << " rate " << rate << " amplitude " << amplitude
                                        << " position " << position << " values " << values << " square "
                                        << square << " count " << count << " from " << begin;
                                });
                            }
                        }
                    }
                }
            }
        }
    }
#endif
}

}  // namespace
}  // namespace kinetra::audio
