// The argument tables both plug-ins read their commands' arguments through, and the dispatch
// that reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "host/command.h"
#include "script/arguments.h"
#include "script/script.h"

namespace kinetra {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(Arguments, ConvertLikeTheHostProcessor) {
    struct Case {
        double value;
        int32_t truncated, frame, fraction;
    };
    const Case cases[] = {
        {3.9, 3, 3, 15974},
        {-3.9, -3, -4, -15974},
        {-0.5, 0, -1, -2048},
        {0.5, 0, 0, 2048},
        {1.0, 1, 1, 4096},
        {0.0001, 0, 0, 0},
        {0.3, 0, 0, 1228},
        {2147483647.9, INT32_MAX, INT32_MAX, INT32_MIN},
        {2147483648.0, INT32_MIN, INT32_MIN, INT32_MIN},
        {-2147483648.9, INT32_MIN, INT32_MIN, INT32_MIN},
        {-2147483649.0, INT32_MIN, INT32_MIN, INT32_MIN},
        {-2147483647.5, -2147483647, INT32_MIN, INT32_MIN},
        {1e300, INT32_MIN, INT32_MIN, INT32_MIN},
        {-kInf, INT32_MIN, INT32_MIN, INT32_MIN},
        {kNaN, INT32_MIN, INT32_MIN, INT32_MIN},
        {524287.99, 524287, 524287, 2147483607},
        {524288.0, 524288, 524288, INT32_MIN},
        {524287.0, 524287, 524287, 2147479552},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(TruncateToInt32(c.value), c.truncated);
        EXPECT_EQ(FrameNumberToInt32(c.value), c.frame);
        EXPECT_EQ(FractionToInt32(c.value), c.fraction);
    }
}

// Buffer numbers, sizes and ranges decide whether a command runs; reals come back unchanged.
TEST(Arguments, TablesCheckBuffersSizesAndRanges) {
    constexpr ArgumentSpec kTable[] = {Buffer(1, "buffer"), Integer(2, "mode").Within(0, 2),
                                       Real(3, "amplitude").Within(0, 1), Real(4, "angle").Finite(),
                                       Width(5, "w")};
    struct Case {
        double buffer, mode, amplitude, angle, w;
        bool runs;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 1, true},        {9.9, 2.9, 1, -1e300, 2e9, true},
        {10, 0, 0, 0, 1, false},      {-0.5, 0, 0, 0, 1, true},  // -0.5 truncates to buffer 0
        {-1, 0, 0, 0, 1, false},      {kNaN, 0, 0, 0, 1, false},
        {0, 3, 0, 0, 1, false},       {0, -1, 0, 0, 1, false},
        {0, 0, 1.0001, 0, 1, false},  {0, 0, -1e-9, 0, 1, false},
        {0, 0, kNaN, 0, 1, false},    {0, 0, 0, kInf, 1, false},
        {0, 0, 0, kNaN, 1, false},    {0, 0, 0, 0, 0.99, false},
    };
    for (const Case& c : cases) {
        ScriptLine line{};
        const double given[] = {c.buffer, c.mode, c.amplitude, c.angle, c.w};
        std::copy(std::begin(given), std::end(given), line.arg_value);
        Arguments args;
        SCOPED_TRACE(::testing::Message() << c.buffer << " " << c.mode << " " << c.amplitude << " "
                                          << c.angle << " " << c.w);
        ASSERT_EQ(args.Read(line, kTable), c.runs);
        if (!c.runs) continue;
        EXPECT_EQ(args[1], TruncateToInt32(c.buffer));
        EXPECT_EQ(args.Real(3), c.amplitude);
        EXPECT_EQ(args.Real(4), c.angle);
        EXPECT_EQ(args[5], TruncateToInt32(c.w));  // not limited: that is the picture's to do
    }
}

// What a handler was handed, and by which row.
struct Handed : Arguments {
    bool Read(CommandCall& call, ArgumentTable table) { return ReadArguments(call, table, *this); }
};
std::string handed;
void First(const Handed& args) { handed = "first " + std::to_string(args[2]); }
void Second(const Handed&) { handed = "second"; }
constexpr ArgumentSpec kBufferAndCount[] = {Buffer(1, "buffer"), Integer(2, "count")};
constexpr CommandRow<Handed> kRows[] = {
    {"x", kBufferAndCount, First, {}}, {"x", kBufferAndCount, Second, {}}, {"y", kNoArguments, Second, {}}};

TEST(Dispatch, HandsTheFirstRowOfTheNameItsArgumentsReadThroughItsTable) {
    const struct {
        const char* command;
        double buffer;
        bool known;
        const char* handed;
    } cases[] = {
        {"x", 2, true, "first 7"},  // the first row of the name, the count truncated
        {"x", 3, true, ""},         // buffer 3 has no memory: nothing runs
        {"x", 10, true, ""},        // there is no buffer 10
        {"y", 10, true, "second"},  // a table without a buffer reads none
        {"z", 2, false, ""},
    };
    int16_t memory = 0;
    BufferTable buffers;
    buffers.slots[2] = &memory;
    for (const auto& c : cases) {
        ScriptLine line{};
        strcpy(line.command, c.command);
        line.arg_value[0] = c.buffer;
        line.arg_value[1] = 7.9;
        CommandCall call{line, nullptr, nullptr, buffers, 1, 0};
        handed.clear();
        EXPECT_EQ(Dispatch<Handed>(kRows, call), c.known) << c.command;
        EXPECT_EQ(handed, c.handed) << c.command << " " << c.buffer;
    }
}

}  // namespace
}  // namespace kinetra
