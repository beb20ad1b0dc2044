// kinetra check: each kind of diagnostic at its line and column, with the frame it names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinetra/check/catalog.h"
#include "kinetra/check/check.h"

namespace kinetra::check {
namespace {

struct Expected {
    const char* script;
    Severity severity;
    int32_t line, column;
    const char* says;  // a part of the message
};

constexpr Severity E = Severity::kError, W = Severity::kWarning;

const Expected kCases[] = {
    {"[0-9]\nfil(0,0,0,i,j,0,0,0)\n", E, 2, 1, "did you mean 'fill'"},
    {"[0-9]\nzzzzzzzz(1)\n", E, 2, 1, "unknown command 'zzzzzzzz'"},
    {"copy(2,3,0,0,i,j,0,0\n", E, 1, 21, "never closed"},
    {"copy(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21)\n", E, 1, 57, "21st argument"},
    {"co py!(1)\n", E, 1, 6, "letters, digits"},
    {"AB=1\n", E, 1, 3, "one letter"},
    // Columns count the file's bytes, spaces the loader drops included.
    {"rotate(0, 1, 2 *, 0,0,i,j,0,0)\n", E, 1, 16, "argument 3"},
    {"copy(0,1,0,0,(i,j,0,0)\n", E, 1, 14, "argument 5"},
    {"copy(0,1,0,0,2(3),j,0,0)\n", E, 1, 14, "argument 5"},  // two values: the 2 is left over
    {"[0-20]\ncopy(0,1,0,0,i+log(f-5),j,0,0)\n", E, 2, 14, "maths error"},
    {"[0-20]\nA=i/(f-7)\n", E, 2, 3, "at frame 7"},
    {"[0-20]\nalpha(0,f-10,0,0,i,j,0,0,0.5)\n", W, 2, 9, "is -10 at frame 0"},
    {"[0-20]\nalpha(0,f+3,0,0,i,j,0,0,0.5)\n", W, 2, 9, "is 10 at frame 7"},
    {"[0-20]\ncopy(0,1,0,0,5-f,j,0,0)\n", W, 2, 14, "below 1"},
    {"a_volume(0,1,1,3)\n", W, 1, 16, "outside 0..2"},
    {"f=3\n", W, 1, 1, "set again before every line"},
    {"X=3\n  copy(0,1,0,0,i,j,0,0)\n", W, 2, 1, "indented"},
    {"\tfill(0,0,0,i,j,0,0,0)\n", W, 1, 1, "indented"},
    {"[30-10]\ncopy(0,1,0,0,i,j,0,0)\n", W, 1, 1, "starts after it ends"},
};

TEST(Check, ReportsEachKindAtItsPlace) {
    const std::vector<KnownCommand> commands = PluginCommands();
    for (const Expected& c : kCases) {
        SCOPED_TRACE(c.script);
        const Report report = CheckScript(c.script, {}, commands);
        ASSERT_EQ(report.diagnostics.size(), 1u) << FormatText(report, "animation.txt", c.script);
        const Diagnostic& d = report.diagnostics[0];
        EXPECT_EQ(d.severity, c.severity);
        EXPECT_EQ(d.line, c.line);
        EXPECT_EQ(d.column, c.column);
        EXPECT_NE(d.message.find(c.says), std::string::npos) << d.message;
    }
}

TEST(Check, CleanScriptsAndCommentsSayNothing) {
    const char* clean[] = {
        "",
        "# a comment\n[0-47]\ncopyframe(2,f-1,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,0,0,0.33)\nA=sin(g)\n",
        "[0-9]\r\na_tone(0,440,0,0.5)\r\n",
        "font(\"MS Gothic\",48,1,0,0,4096,0,0)\ntext(0,i/2,j/2,1,\"1/0, (x)\")\n",
    };
    for (const char* script : clean) {
        const Report report = CheckScript(script, {}, PluginCommands());
        EXPECT_TRUE(report.diagnostics.empty()) << FormatText(report, "animation.txt", script);
    }
}

TEST(Check, StatementsPastTheTableAreWarnedOnce) {
    std::string script;
    for (int k = 0; k < 2003; ++k) script += "A=1\n";
    const Report report = CheckScript(script, {}, PluginCommands());
    ASSERT_EQ(report.diagnostics.size(), 1u);
    EXPECT_EQ(report.diagnostics[0].line, 2001);
    EXPECT_EQ(report.diagnostics[0].severity, Severity::kWarning);
}

TEST(Check, TheFramesAskedForAreTheOnesEvaluated) {
    const char* script = "[0-100]\nA=1/(f-50)\n";
    CheckOptions early;
    early.first_frame = 0;
    early.last_frame = 40;
    EXPECT_TRUE(CheckScript(script, early, PluginCommands()).diagnostics.empty());
    const Report whole = CheckScript(script, {}, PluginCommands());
    EXPECT_EQ(whole.first_frame, 0);
    EXPECT_EQ(whole.last_frame, 100);
    ASSERT_EQ(whole.errors(), 1);
    // An open range is capped, not run to the 32-bit limit.
    const Report open = CheckScript("[7-]\nA=1\n", {}, PluginCommands());
    EXPECT_EQ(open.first_frame, 7);
    EXPECT_EQ(open.last_frame, 7 + kMostCheckedFrames - 1);
}

TEST(Check, FormatsLikeACompilerAndAsJson) {
    const char* script = "[0-9]\n\tfil(1)\nfil(1)\n";
    const Report report = CheckScript(script, {}, PluginCommands());
    const std::string text = FormatText(report, "animation.txt", script);
    EXPECT_NE(text.find("animation.txt:3:1: error: unknown command 'fil'; did you mean 'fill'?\n fil(1)\n ^\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("animation.txt:2:1: warning: indented"), std::string::npos) << text;
    EXPECT_NE(text.find("1 error, 1 warning"), std::string::npos) << text;
    const std::string json = FormatJson(report, "dir\\animation.txt");
    EXPECT_NE(json.find("{\"file\": \"dir\\\\animation.txt\", \"line\": 3, \"column\": 1, \"severity\": \"error\""),
              std::string::npos)
        << json;
}

}  // namespace
}  // namespace kinetra::check
