// Every registered sound command: the same buffers from one worker thread and from sixteen, in
// place and between buffers.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "audio/commands.h"
#include "audio/handlers.h"
#include "tests/support/sound_buffers.h"

namespace kinetra::audio {
namespace {

using testing::SoundBuffers;

// Arguments a line may give: buffer numbers (the same twice often, 9 and 0 among them), frames
// and spans about the served frames, gains, modes and amplitudes about their ranges.
std::vector<double> RandomArguments(std::mt19937& random) {
    auto pick = [&](std::initializer_list<double> values) { return values.begin()[random() % values.size()]; };
    const double first = pick({0, 2, 9});
    std::vector<double> args = {first, pick({first, 0, 3, 9}), pick({-0.5, 0, 1, 2, 3}), pick({-1, 0, 1, 2})};
    if (random() % 2) args[1] = pick({2.7, 10, 11.5, 440, 12000});  // a frame, a span start, a frequency
    if (random() % 2) args[2] = args[1] + pick({0.4, 1, 2.5});       // a span's end
    // One argument in four extreme: the 32-bit limits and beyond, not a number, infinite.
    for (double& arg : args) {
        if (random() % 4 == 0) {
            arg = pick({2147483647.0, -2147483648.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN(), 0.0, -1.0});
        }
    }
    return args;
}

TEST(Registry, OneThreadAndTwoThreeOrSixteenGiveTheSameBuffers) {
    std::mt19937 random(16);
    for (int32_t c : {2, 1}) {
        for (const auto& row : kCommands) {
            for (int round = 0; round < 6; ++round) {
                const std::vector<double> args = RandomArguments(random);
                SCOPED_TRACE(::testing::Message() << row.name << " c " << c << " args " << args[0] << ","
                                                  << args[1] << "," << args[2] << "," << args[3]);
                SoundBuffers one(70000, c);
                one.Randomize(round);
                one.line.start_frame = -1;
                one.line.sample_position = 5000;
                const SoundBuffers start(one);
                const uint32_t noise = NoiseState();
                one.Run(row.name, args, 1);
                for (int threads : {2, 3, 16}) {
                    SoundBuffers many(start);
                    NoiseState() = noise;
                    many.Run(row.name, args, threads);
                    ASSERT_TRUE(one.SameBuffers(many)) << threads << " threads";
                    EXPECT_EQ(one.line.sample_position, many.line.sample_position);
                }
            }
        }
    }
}

// A reversal onto its own buffer is the reversal into another, at any thread count.
TEST(Registry, InPlaceReverseReadsTheWholeSourceFirst) {
    for (int threads : {1, 2, 16}) {
        for (int32_t n : {1, 2, 70001}) {
            SoundBuffers sound(n, 2);
            sound.Randomize(7);
            sound.Run("a_reverse", {2, 3}, threads);
            sound.Run("a_reverse", {2, 2}, threads);
            EXPECT_EQ(sound.Samples(2), sound.Samples(3)) << n << " with " << threads;
        }
    }
}

}  // namespace
}  // namespace kinetra::audio
