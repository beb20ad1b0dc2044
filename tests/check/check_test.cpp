// kinetra check: each kind of diagnostic at its line and column, with the frame it names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kinetra/check/catalog.h"
#include "kinetra/check/check.h"
#include "kinetra/check/curves.h"
#include "kinetra/check/encoding.h"
#include "kinetra/check/help.h"

namespace kinetra::check {
namespace {

using namespace std::string_view_literals;

struct Expected {
    std::string_view script;
    Severity severity;
    int32_t line, column;
    const char* says;  // a part of the message
};

constexpr Severity E = Severity::kError, W = Severity::kWarning;

const std::string kLongLine = "copy(0,1,0,0,i" + std::string(600, ' ') + ",j,0,0)\n";
std::string LongFormula() {
    std::string formula = "A=1";
    while (formula.size() < 600) formula += "+f";
    return formula + "\n";
}
const std::string kLongFormula = LongFormula();

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
    {"S=2\nfill(0,0,0,S*log(i),Q+1,0,0,0)\n", W, 2, 21, "no line assigns 'Q'"},
    {"X=3\n  copy(0,1,0,0,i,j,0,0)\n", W, 2, 1, "indented"},
    {"\tfill(0,0,0,i,j,0,0,0)\n", W, 1, 1, "indented"},
    {"[30-10]\ncopy(0,1,0,0,i,j,0,0)\n", W, 1, 1, "starts after it ends"},
    // Arguments left out are 0, and said what that does; extra ones are ignored.
    {"a_volume(0,0.5)\n", W, 1, 15, "ramps down to silence"},
    {"alpha(2,0,0,0,i,j,0,0)\n", W, 1, 22, "nothing is blended"},
    {"fill(0,0,0,i)\n", W, 1, 13, "does nothing"},
    {"a_swap(0,1,2)\n", W, 1, 10, "the rest are ignored"},
    {"mosaic(0,0,0,0,i),j,0,0,8,8)\n", W, 1, 17, "ignores the text after it"},
    {"fill(0,0 0,i,j,0,0,0)\n", W, 1, 21, "is given 7"},  // and its shifted values are no news
    {"mosaic(0,0,0,0,i,j,0,0,max(2,g),2)\n", E, 1, 29, "this comma ends argument 9"},
    {"A=1\nrotate(0,3,atan2(j,i),0,0,i,j,0,0)\n", E, 2, 19, "this comma ends argument 3"},
    // Ranges the loader reads otherwise than they look.
    {"[abc]\nA=1\n", W, 1, 1, "frames 0 to the end of the edit"},
    {"[-5-10]\nA=1\n", W, 1, 1, "frames 0 to 5"},
    {"[5..10]\nA=1\n", W, 1, 1, "ignores '.10]'"},
    {"[0-9] A=1\n", W, 1, 1, "ignores ']A=1'"},
    {"[0-9]\nA=1\n10-20]\nB=2\n", W, 3, 1, "starts with '['"},
    // Typed with the input method on: full-width letters and digits.
    {"\x82\x86ill(0,0,0,i,j,0,0,0)\n", W, 1, 1, "full-width"},
    {"A=\x82\x50+1\n", E, 1, 3, "double-byte"},
    // An unknown command's text arguments are no further mistake.
    {"txet(0,1,1,0,\"a b, c\")\n", E, 1, 1, "unknown command 'txet'"},
    {"[0-9]\nfil(0,log(f-5))\n", E, 2, 1, "unknown command 'fil'"},
    // What the bytes show: no text, UTF-8, lines longer than the loader's pieces, 0x5C.
    {"A=1\nB\0\x01\x02\n"sv, E, 2, 2, "NUL"},
    {"\xFF\xFE" "A\0" "=\0" "1\0" "\n\0"sv, E, 1, 4, "UTF-16"},
    {"\xEF\xBB\xBF[0-9]\nA=1\n", E, 1, 1, "'[0-9]' is lost"},
    {"text(0,0,0,0,\"\xE8\xA1\xA8\")\n", E, 1, 15, "UTF-8"},
    {"text(0,0,0,0,\"\x95\x5C\")\n", W, 1, 15, "backslash"},
    // A line longer than a piece: the list reads as never closed, which is not the news.
    {kLongLine, E, 1, 512, "cut here"},
    {kLongFormula, E, 1, 512, "cut here"},
};

TEST(Check, ReportsEachKindAtItsPlace) {
    const std::span<const KnownCommand> commands = PluginCommands();
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

// Against a clip: its length, its sound, and every one of its frames.
TEST(Check, ReportsWhatOnlyTheClipShows) {
    ClipFacts mono;
    mono.frame_count = 180;
    mono.channels = 1;
    ClipFacts silent_and_long = mono;
    silent_and_long.sampling_rate = 0;
    silent_and_long.frame_count = 6000;
    const struct {
        const char* script;
        const ClipFacts& clip;
        Severity severity;
        int32_t line;
        const char* says;
    } cases[] = {
        {"[0-300]\nA=1\n", mono, W, 1, "lengthens the clip from 180 to 301 frames"},
        {"a_swap(0)\n", mono, W, 1, "on mono sound does nothing"},
        {"a_volume(0,1,1,0)\n", silent_and_long, W, 1, "no sound"},
        {"A=1/(f-5500)\n", silent_and_long, E, 1, "at frame 5500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        CheckOptions options;
        options.clip = c.clip;
        const Report report = CheckScript(c.script, options, PluginCommands());
        ASSERT_EQ(report.diagnostics.size(), 1u) << FormatText(report, "animation.txt", c.script);
        EXPECT_EQ(report.diagnostics[0].severity, c.severity);
        EXPECT_EQ(report.diagnostics[0].line, c.line);
        EXPECT_NE(report.diagnostics[0].message.find(c.says), std::string::npos) << report.diagnostics[0].message;
    }
    // A range past the end is evaluated up to its end frame, which the lengthened edit reaches;
    // one ending on the clip's own length asks for nothing, and that frame never runs.
    CheckOptions on_mono;
    on_mono.clip = mono;
    EXPECT_EQ(CheckScript("[0-300]\nA=1/(f-300)\n", on_mono, PluginCommands()).errors(), 1);
    EXPECT_EQ(CheckScript("[0-180]\nA=1/(f-180)\n", on_mono, PluginCommands()).errors(), 0);
    // Without the clip the frame is past the cap, and the summary says it was not evaluated.
    const Report capped = CheckScript("A=1/(f-5500)\n", {}, PluginCommands());
    EXPECT_EQ(capped.errors(), 0);
    EXPECT_NE(FormatText(capped, "a.txt", "").find("frames 5000 on of the script's ranges were not"),
              std::string::npos);
}

TEST(Check, EveryExampleIsClean) {
    CheckOptions options;
    options.clip.width = 320;
    options.clip.height = 180;
    options.clip.frame_count = 48;
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KINETRA_SOURCE_DIR "/examples")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Report report = CheckScript(bytes, options, PluginCommands());
        EXPECT_TRUE(report.diagnostics.empty()) << FormatText(report, entry.path().string(), bytes);
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// Lines echo in UTF-8 whatever the file's encoding, with the caret under the character.
TEST(Check, EchoesShiftJisAsUtf8) {
    const std::string script = "text(0,0,0,0,\"\x83\x65\x95\x5C\")\n";  // テ表
    const std::string text = FormatText(CheckScript(script, {}, PluginCommands()), "a.txt", script);
    EXPECT_NE(text.find(" text(0,0,0,0,\"\xE3\x83\x86\xE8\xA1\xA8\")\n                 ^\n"), std::string::npos)
        << text;
}

TEST(Check, TellsUtf8FromShiftJis) {
    const struct {
        const char* bytes;
        bool utf8;
    } cases[] = {
        {"\xEF\xBB\xBF[0-9]\n", true},       // a byte-order mark
        {"A=1 # \xE3\x83\x86\n", true},      // テ in UTF-8
        {"A=1 # \x83\x65\x83\x4C\n", false},  // テキ in Shift-JIS
        {"A=1 # \xC3\xBD\n", false},          // ﾃｽ in Shift-JIS, well-formed UTF-8 as well
        {"A=1\n", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUtf8Text(c.bytes), c.utf8) << c.bytes;
}

TEST(Check, ConvertsUtf8ToShiftJisOrSaysWhereItCannot) {
    std::string out;
    size_t failed_at = 0;
    ASSERT_TRUE(Utf8ToShiftJis("A=1 # \xE8\xA1\xA8\xE3\x83\x86\n", out, failed_at));
    EXPECT_EQ(out, "A=1 # \x95\x5C\x83\x65\n");
    EXPECT_EQ(ShiftJisToUtf8(out), "A=1 # \xE8\xA1\xA8\xE3\x83\x86\n");
    EXPECT_FALSE(Utf8ToShiftJis("A=1 \xF0\x9F\x98\x80", out, failed_at));  // an emoji
    EXPECT_EQ(failed_at, 4u);
    EXPECT_FALSE(Utf8ToShiftJis("ab\xC2\x80", out, failed_at));  // U+0080, which some converters pass as 0x80
    EXPECT_EQ(failed_at, 2u);
}

// The conversion's last step: a backslash after each second byte the loader would take for one,
// in command lines only, and never twice.
TEST(Check, EscapesSecondByteBackslashesInCommandLines) {
    const struct {
        const char* script;
        const char* escaped;
        int count;
    } cases[] = {
        {"text(0,0,0,0,\"\x95\x5C\x8E\xA6\")\n", "text(0,0,0,0,\"\x95\x5C\\\x8E\xA6\")\n", 1},  // 表示
        {"text(0,0,0,0,\"\x95\x5C\\\")\n", "text(0,0,0,0,\"\x95\x5C\\\")\n", 0},
        {"# \x95\x5C\nA=1\n", "# \x95\x5C\nA=1\n", 0},
    };
    for (const auto& c : cases) {
        int count = -1;
        const std::string escaped = EscapeSecondByteBackslashes(c.script, count);
        EXPECT_EQ(escaped, c.escaped);
        EXPECT_EQ(count, c.count);
        EXPECT_TRUE(CheckScript(escaped, {}, PluginCommands()).diagnostics.empty()) << escaped;
    }
}

TEST(Check, RenderNoticeCountsOrSaysThereIsNoScript) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kinetra-check-notice";
    std::filesystem::create_directories(folder);
    const std::string script = (folder / "animation.txt").string();
    std::ofstream(script) << "fil(0)\na_swap(0,1)\n";
    EXPECT_EQ(RenderNotice(script, {}, "kinetra check x"), "animation.txt: 1 error, 1 warning (kinetra check x)");
    std::ofstream(script) << "A=1\n";
    EXPECT_EQ(RenderNotice(script, {}, "kinetra check x"), "");
    std::filesystem::remove_all(folder);
    EXPECT_NE(RenderNotice(script, {}, "kinetra check x").find("no animation.txt"), std::string::npos);
}

// The list holds every registered command and nothing else, whatever the registries hold.
TEST(Help, ListsExactlyTheRegisteredCommands) {
    std::set<std::string> listed, registered;
    std::istringstream lines(CommandList());
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("    ", 0) == 0) listed.insert(line.substr(4, line.find(' ', 4) - 4));
    }
    for (const KnownCommand& command : PluginCommands()) {
        registered.insert(command.name);
        const std::string help = CommandHelp(command.name);
        for (const ArgumentSpec& row : command.arguments) EXPECT_NE(help.find(row.meaning), std::string::npos) << help;
    }
    EXPECT_EQ(listed, registered);
    EXPECT_EQ(CommandHelp("zzz"), "");
}

// Tables joined from shared runs of rows still number each argument by its place.
TEST(Rows, NumberTheirArgumentsInOrder) {
    for (const KnownCommand& command : PluginCommands()) {
        for (size_t k = 0; k < command.arguments.size(); ++k) {
            EXPECT_EQ(command.arguments[k].number, static_cast<int>(k + 1)) << command.name << " " << k;
        }
    }
}

// The curves of a command line are named as its table names the arguments.
TEST(Curves, NameEachArgumentAsItsTableDoes) {
    const struct {
        const char* line;
        std::vector<std::string> names;
    } cases[] = {
        {"rotate(0,3,f)", {"source buffer", "destination buffer", "angle"}},
        {"a_noise(2,0.1,7)", {"buffer", "amplitude, 1 = full scale", ""}},  // one more than it reads
        {"A=f", {""}},
        {"nosuch(1,2)", {"", ""}},
    };
    CurveOptions options;
    options.last_frame = 1;
    for (const auto& c : cases) {
        ArgumentCurves curves;
        std::string error;
        ASSERT_TRUE(EvaluateCurves(std::string(c.line) + "\n", 1, options, curves, error)) << c.line << ": " << error;
        EXPECT_EQ(curves.names, c.names) << c.line;
    }
}

TEST(Help, EveryExampleChecksClean) {
    for (const std::string& example : CommandExamples()) {
        const Report report = CheckScript(example + "\n", {}, PluginCommands());
        EXPECT_TRUE(report.diagnostics.empty()) << FormatText(report, "example", example);
    }
}

// Each argument's line: its unit, conversion and valid range, read from its table row.
TEST(Help, ArgumentLinesCarryUnitsAndRanges) {
    const struct {
        const char* command;
        const char* meaning;
        const char* unit;
        const char* valid;
    } cases[] = {
        {"rotate", "angle", "radians", "finite"},     {"rotate", "width", "pixels", "1 and up"},
        {"alpha", "opacity", "x4096", "any"},         {"copyframe", "frame of the edit", "frames", "any"},
        {"a_tone", "amplitude, 1 = full scale", "", "0..1"}, {"copy", "source buffer", "buffer", "0..9"},
    };
    for (const auto& c : cases) {
        std::istringstream lines(CommandHelp(c.command));
        std::string found;
        for (std::string line; std::getline(lines, line);) {
            if (line.find(std::string(" ") + c.meaning + "  ") != std::string::npos) found = line;
        }
        SCOPED_TRACE(found);
        EXPECT_NE(found.find(std::string("  ") + c.unit), std::string::npos) << c.command << " " << c.meaning;
        EXPECT_TRUE(found.ends_with(std::string("  ") + c.valid)) << c.command << " " << c.meaning;
    }
    EXPECT_NE(FormulaHelp().find("x y z 2048"), std::string::npos) << FormulaHelp();
}

TEST(Check, CleanScriptsAndCommentsSayNothing) {
    const char* clean[] = {
        "",
        "# a comment\n[0-47]\ncopyframe(2,f-1,0,0,i,j,0,0)\nalpha(2,0,0,0,i,j,0,0,0.33)\nA=sin(g)\n",
        "[0-9]\r\na_tone(0,440,0,0.5)\r\n",
        "[0-9]\t# a comment\nfill(0,0,0,i,j,0,0,0) # red\n",
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
