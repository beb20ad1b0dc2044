// Every registered picture command, one prepared line each: the same buffers with 1 and 16
// threads, and a source that is its own destination gives what a copy of it gives. A new
// command gets these checks by adding its line here; the first test fails until it does.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/image_buffers.h"
#include "video/commands.h"

namespace kinetra::video {
namespace {

struct PreparedLine {
    const char* name;
    std::vector<double> args;  // reading buffer 2 and writing buffer 3, overlapping rectangles
    int source, destination;   // argument numbers of the two buffers; 0 when not a pair
    bool random = false;  // draws random numbers, a sequence a thread: no two runs alike
};

// 29 x 23 buffers: odd sizes, so no split of rows between threads comes out even.
const PreparedLine kLines[] = {
    {"copyframe", {3, 2, 1, 2, 20, 15, 4, 3}, 0, 0},
    {"mkmask", {2, 3, 1, 2, 20, 15, 4, 3, 0, -500, -500, 3000, 500, 500, 4096, 0}, 1, 2},
    {"mkmask_rgb", {2, 3, 1, 2, 20, 15, 4, 3, 0, 0, 0, 3000, 3000, 3000, 4096, 0}, 1, 2},
    {"copy", {2, 3, 1, 2, 20, 15, 4, 3}, 1, 2},
    {"copy2", {2, 3, 1, 2, 20, 15, 4, 3, 2000}, 1, 2},
    {"copy3", {2, 3, 4, 1, 2, 20, 15, 4, 3, 2, 1, 2000}, 1, 2},
    {"alpha", {2, 3, 1, 2, 20, 15, 4, 3, 0.3}, 1, 2},
    {"alpha2", {2, 3, 1, 2, 20, 15, 4, 3, 0.6, 2000}, 1, 2},
    {"alpha3", {2, 3, 4, 1, 2, 20, 15, 4, 3, 2, 1, 0.4, 2000}, 1, 2},
    {"alpha4", {2, 3, 4, 1, 2, 20, 15, 4, 3, 2, 1}, 1, 2},
    {"swapbuf", {}, 0, 0},
    {"dispsize", {20, 17}, 0, 0},
    {"fill", {3, 1, 2, 20, 15, 1000, -200, 300}, 0, 0},
    {"fill2", {3, 2, 1, 2, 20, 15, 1000, -200, 300, 3, 4, 2000}, 0, 0},
    {"color", {3, 1, 2, 20, 15, 1.2, 0.9, 1.1, 0.01, -0.02, 0.03}, 0, 0},
    {"color_rgb", {3, 1, 2, 20, 15, 1.2, 0.9, 1.1, 0.01, -0.02, 0.03}, 0, 0},
    {"resize", {2, 3, 1, 2, 20, 15, 4, 3, 24, 17}, 1, 2},
    {"rotate", {2, 3, 0.7, 1, 2, 20, 15, 4, 3}, 1, 2},
    {"flipv", {2, 3, 1, 2, 20, 15, 4, 3}, 1, 2},
    {"fliph", {2, 3, 1, 2, 20, 15, 4, 3}, 1, 2},
    {"mosaic", {2, 3, 1, 2, 20, 15, 4, 3, 4, 3}, 1, 2},
    {"defocus", {2, 3, 1, 2, 20, 15, 4, 3, 5, 3}, 1, 2},
    {"gamma", {3, 1, 2, 20, 15, 1.6, 0.8, 1.2}, 0, 0},
    {"diffuse", {2, 3, 1, 2, 20, 15, 4, 3, 3, 2}, 1, 2, true},
    {"font", {0, 12, 1, 0, 1, 3000, -300, 400}, 0, 0},
    {"text", {3, 14, 2, 1}, 0, 0},
    {"posterize", {2, 3, 1, 2, 20, 15, 4, 3, 5, 4, 3}, 1, 2},
    {"posterize_rgb", {2, 3, 1, 2, 20, 15, 4, 3, 5, 4, 3}, 1, 2},
    {"ellipse", {3, 14, 11, 9, 6, 1000, -200, 300}, 0, 0},
};

void PrintTo(const PreparedLine& line, std::ostream* out) { *out << line.name; }

TEST(Registry, EveryCommandHasAPreparedLine) {
    std::set<std::string> prepared;
    for (const PreparedLine& line : kLines) prepared.insert(line.name);
    for (const auto& row : kCommands) EXPECT_TRUE(prepared.count(row.name)) << row.name;
}

class EveryCommand : public ::testing::TestWithParam<PreparedLine> {};

TEST_P(EveryCommand, GivesTheSameBuffersWithOneAndSixteenThreads) {
    const PreparedLine& line = GetParam();
    if (line.random) GTEST_SKIP() << "draws random numbers";
    testing::ImageBuffers one(29, 23);
    one.Randomize(11);
    testing::ImageBuffers many(one);
    one.Run(line.name, line.args, 1);
    many.Run(line.name, line.args, 16);
    for (int b = 0; b < kBufferCount; ++b) EXPECT_EQ(one.FirstDifference(many, b), "") << "buffer " << b;
    EXPECT_EQ(one.context.width, many.context.width);
    EXPECT_EQ(one.context.height, many.context.height);
}

TEST_P(EveryCommand, ReadsItsOwnDestinationAsACopyOfItWouldRead) {
    const PreparedLine& line = GetParam();
    if (line.source == 0 || line.random) GTEST_SKIP() << "reads no separate source, or draws random numbers";
    // In place: buffer 3 is source and destination. Against: buffer 5, a copy of 3, the source.
    std::vector<double> in_place = line.args, from_copy = line.args;
    in_place[line.source - 1] = 3;
    from_copy[line.source - 1] = 5;
    testing::ImageBuffers same(29, 23);
    same.Randomize(12);
    std::copy_n(same.Image(3), same.Area(), same.Image(5));
    testing::ImageBuffers copied(same);
    same.Run(line.name, in_place, 16);
    copied.Run(line.name, from_copy, 16);
    EXPECT_EQ(same.FirstDifference(copied, 3), "");
}

// The prepared line with arguments drawn anew: a third of them extreme (the 32-bit limits, far
// beyond them, not a number, infinite, zero and one), the rest anywhere about the image.
std::vector<double> RandomArguments(const PreparedLine& line, std::mt19937& random) {
    static const double kExtremes[] = {0, 1, -1, 0.5, 4096, 65536, 2147483647.0, -2147483648.0, 4294967296.0,
                                       -1e300, 1e300, std::numeric_limits<double>::infinity(),
                                       std::numeric_limits<double>::quiet_NaN()};
    std::vector<double> args = line.args;
    for (double& arg : args) {
        switch (random() % 6) {
            case 0:
            case 1: arg = kExtremes[random() % std::size(kExtremes)]; break;
            case 2: arg = static_cast<double>(static_cast<int>(random() % 80) - 25) + (random() % 4) * 0.25; break;
            case 3: arg = static_cast<double>(random() % 10); break;  // a buffer number, often
            default: break;                                          // as prepared
        }
    }
    return args;
}

TEST_P(EveryCommand, RandomAndExtremeArgumentsGiveTheSameBuffersWithAnyThreadCount) {
    const PreparedLine& line = GetParam();
    if (line.random) GTEST_SKIP() << "draws random numbers";
    std::mt19937 random(std::hash<std::string>()(line.name) & 0xFFFF);
    for (int round = 0; round < 12; ++round) {
        const std::vector<double> args = RandomArguments(line, random);
        testing::ImageBuffers one(29, 23);
        one.Randomize(round);
        testing::ImageBuffers reference(one);
        reference.Run(line.name, args, 1);
        for (int threads : {2, 3, 16}) {
            testing::ImageBuffers many(one);
            many.Run(line.name, args, threads);
            for (int b = 0; b < kBufferCount; ++b) {
                ASSERT_EQ(reference.FirstDifference(many, b), "") << "round " << round << ", buffer " << b
                                                                  << ", threads " << threads;
            }
            ASSERT_EQ(reference.context.width, many.context.width);
            ASSERT_EQ(reference.context.height, many.context.height);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Registry, EveryCommand, ::testing::ValuesIn(kLines),
                         [](const ::testing::TestParamInfo<PreparedLine>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kinetra::video
