// Running statements: which lines run, the variables they see, and what persists.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "script/script.h"
#include "tests/support/test_platform.h"

namespace kinetra {
namespace {

// A command that records the frame and the values it was handed.
struct Seen {
    std::string command;
    int32_t frame;
    std::vector<double> args;
};
std::vector<Seen> seen;

// Records the command lines named "probe" or "other" at the frame it is told.
struct Recorder final : CommandSink {
    int32_t frame = 0;
    void RunCommand(ScriptLine& line) override {
        if (strcmp(line.command, "probe") != 0 && strcmp(line.command, "other") != 0) return;
        seen.push_back({line.command, frame,
                        std::vector<double>(line.arg_value, line.arg_value + kScriptArguments)});
    }
};

class ExecutorTest : public ::testing::Test {
protected:
    ExecutorTest() {
        seen.clear();
        frame_.width = 320;
        frame_.height = 180;
        frame_.max_width = 640;
        frame_.max_height = 480;
        frame_.frame_count = 100;
        tracks_[0] = {'a', 11};
        tracks_[1] = {'z', 2048};
    }

    void Load(const std::string& text) {
        ASSERT_TRUE(script_.Load(text, frame_.frame_count, nullptr));
    }

    void RunFrame(int32_t frame) {
        frame_.frame = frame;
        recorder_.frame = frame;
        script_.Run(frame_, tracks_, recorder_);
    }

    double Var(char letter) { return script_.variables()[letter - 'A']; }

    testing::TestPlatform platform_;
    FrameContext frame_{};
    TrackVariable tracks_[2];
    Recorder recorder_;
    Script script_;
};

TEST_F(ExecutorTest, RangesAreInclusive) {
    Load("[10-20]\nprobe(g,n,s,e)\n");
    for (int32_t f : {9, 10, 20, 21}) RunFrame(f);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].frame, 10);
    EXPECT_EQ(seen[0].args[0], 0);   // g: frames since the start
    EXPECT_EQ(seen[0].args[1], 11);  // n: frames in the range
    EXPECT_EQ(seen[1].args[0], 10);
}

TEST_F(ExecutorTest, SystemVariables) {
    Load("probe(a,z,f,h,w,i,j,m,p,e)\n");
    RunFrame(7);
    ASSERT_EQ(seen.size(), 1u);
    const std::vector<double> expected = {11, 2048, 7, 180, 320, 640, 480, 100, 4 * std::atan(1.0), 100};
    EXPECT_EQ(std::vector<double>(seen[0].args.begin(), seen[0].args.begin() + 10), expected);
}

TEST_F(ExecutorTest, AssignmentsPersistAcrossLinesFramesAndReloads) {
    Load("B=f\nk=k+1\nf=999\nprobe(B,k,f)\n");
    RunFrame(50);
    RunFrame(10);  // variables carry over whatever the frame order
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].args[0], 10);  // B follows the frame
    EXPECT_EQ(seen[1].args[1], 2);   // k counted both frames
    EXPECT_EQ(seen[1].args[2], 10);  // an assignment to f is overwritten before the next line

    Load("probe(k,C)\nC=C+5\n");
    RunFrame(0);
    RunFrame(0);
    EXPECT_EQ(seen[2].args[0], 2);
    EXPECT_EQ(seen[3].args[1], 5);
    EXPECT_EQ(Var('C'), 10);
}

TEST_F(ExecutorTest, UnknownNamesStillEvaluateAndBadFormulasGiveZero) {
    Load("unknown(A=7)\nprobe(A,1/0,2*-3,sqrt(-1),A=2,A*3)\n");
    RunFrame(0);
    ASSERT_EQ(seen.size(), 1u);
    // The unknown line's in-formula assignment is gone by the next line: only statements persist.
    EXPECT_EQ(seen[0].args[0], 0);
    EXPECT_EQ(seen[0].args[1], 0);
    EXPECT_EQ(seen[0].args[2], 0);
    EXPECT_EQ(seen[0].args[3], 0);
    EXPECT_EQ(seen[0].args[5], 6);  // but lasts from one argument to the next of the same line
    EXPECT_EQ(script_.table()->lines[0].arg_value[0], 7);
}

TEST_F(ExecutorTest, WideRangesDoNotOverflow) {
    Load("[0-2147483647]\nprobe(n,g)\n");
    frame_.frame_count = INT32_MAX;
    RunFrame(INT32_MAX);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].args[0], 2147483648.0);
    EXPECT_EQ(seen[0].args[1], 2147483647.0);
}

TEST_F(ExecutorTest, EmptyTableRunsNothing) {
    RunFrame(0);
    Load("");
    RunFrame(0);
    EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace kinetra
