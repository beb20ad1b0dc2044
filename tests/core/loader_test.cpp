// Reading scripts: the line forms, and when the file is looked at and reloaded.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "host/script_file.h"
#include "script/script.h"
#include "tests/support/test_platform.h"
#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace kinetra {
namespace {

using testing::TempFolder;
using testing::TestPlatform;

struct Loaded {
    std::unique_ptr<ScriptTable> table = std::make_unique<ScriptTable>();
    std::vector<int32_t> lengthened;
};

Loaded Parse(const std::string& text, int32_t frame_count = 100) {
    Loaded loaded;
    ParseScript(text, frame_count, *loaded.table, [&](int32_t end) { loaded.lengthened.push_back(end); });
    return loaded;
}

struct LineCase {
    const char* text;
    const char* command;  // null: the line is ignored
    std::vector<std::string> args;
};

TEST(ScriptLines, ParseIntoCommandAndArguments) {
    const LineCase cases[] = {
        {"copy(2, 0)\n", "copy", {"2", "0"}},
        {"COPY (2,0)\n", "copy", {"2", "0"}},
        {"fill(2,sin(f/10)*100)", "fill", {"2", "sin(f/10)*100"}},
        {"text(\"a, b\",10)\n", "text", {"a, b", "10"}},
        {"text(\"a)b\")\n", "text", {"a"}},
        {"text(\"a\\)b\")\n", "text", {"a)b"}},
        {"text(a\\,b\\\"c\\\\)\n", "text", {"a,b\"c\\"}},
        {"swapbuf()\n", "swapbuf", {}},
        {"a_tone(1,(2),3)\n", "a_tone", {"1", "(2)", "3"}},
        {"Mk-Mask_2(1)\n", "mk-mask_2", {"1"}},
        {"copy(2,0\n", nullptr, {}},
        {"copy(2,0", nullptr, {}},
        {" copy(2,0)\n", nullptr, {}},
        {"\tcopy(2,0)\n", nullptr, {}},
        {"1copy(2)\n", nullptr, {}},
        {"\xEF\xBB\xBF" "copy(2)\n", nullptr, {}},
        {"AB=1\n", nullptr, {}},
        {"co.py(1)\n", nullptr, {}},
        {"copy(1)\\", "copy", {"1"}},
        {"copy(1\\", nullptr, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.text);
        Loaded loaded = Parse(c.text);
        if (!c.command) {
            EXPECT_EQ(loaded.table->line_count, 0);
            continue;
        }
        ASSERT_EQ(loaded.table->line_count, 1);
        const ScriptLine& line = loaded.table->lines[0];
        EXPECT_STREQ(line.command, c.command);
        for (int k = 0; k < kScriptArguments; ++k) {
            EXPECT_EQ(line.arg_text[k], k < static_cast<int>(c.args.size()) ? c.args[k] : "") << k;
        }
    }
}

TEST(ScriptLines, TwentyArgumentsLoadTwentyOneDoNot) {
    std::string twenty = "f(1", twenty_one;
    for (int k = 2; k <= 20; ++k) twenty += "," + std::to_string(k);
    twenty_one = twenty + ",21)\n";
    twenty += ")\n";
    Loaded loaded = Parse(twenty + twenty_one);
    ASSERT_EQ(loaded.table->line_count, 1);
    EXPECT_STREQ(loaded.table->lines[0].arg_text[19], "20");
}

TEST(ScriptLines, AssignmentKeepsFormulaWithoutNewline) {
    Loaded loaded = Parse("A = f * 2\r\nz=\nk=\"q\\\"\n");
    ASSERT_EQ(loaded.table->line_count, 3);
    EXPECT_STREQ(loaded.table->lines[0].command, "A=");
    EXPECT_STREQ(loaded.table->lines[0].arg_text[0], "f*2");
    EXPECT_STREQ(loaded.table->lines[1].command, "z=");
    EXPECT_STREQ(loaded.table->lines[1].arg_text[0], "");
    EXPECT_STREQ(loaded.table->lines[2].arg_text[0], "\"q\\\"");  // no unquoting here
}

TEST(ScriptLines, IgnoredLineLeavesNothingForTheNext) {
    Loaded loaded = Parse("copy(1,2,3,4,5\nA=1\n");
    ASSERT_EQ(loaded.table->line_count, 1);
    EXPECT_STREQ(loaded.table->lines[0].command, "A=");
    EXPECT_STREQ(loaded.table->lines[0].arg_text[1], "");
}

struct RangeCase {
    const char* text;
    int32_t start, end;
    std::vector<int32_t> lengthened;
};

TEST(ScriptRanges, FormsOfTheRangeLine) {
    const RangeCase cases[] = {
        {"[0-99]", 0, 99, {}},
        {"[100]", 100, 100, {}},  // frame count is 100
        {"[-50]", 0, 50, {}},
        {"[]", 0, 100, {}},
        {"[", 0, 100, {}},
        {"[7", 7, 100, {}},
        {"[10,20]", 10, 20, {}},
        {"[10:20]", 10, 20, {}},
        {"[10 - 20]", 10, 20, {}},
        {"[10-20]copy(1)", 10, 20, {}},
        {"[5-300]", 5, 300, {300}},
        {"[20-10]", 20, 10, {}},
        {"[99999999999-99999999999]", INT32_MAX, INT32_MAX, {INT32_MAX}},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.text);
        Loaded loaded = Parse(std::string(c.text) + "\nx(1)\n");
        ASSERT_EQ(loaded.table->line_count, 1);
        EXPECT_EQ(loaded.table->lines[0].start_frame, c.start);
        EXPECT_EQ(loaded.table->lines[0].end_frame, c.end);
        EXPECT_EQ(loaded.lengthened, c.lengthened);
    }
}

TEST(ScriptRanges, StatementsBeforeAnyRangeCoverTheWholeEdit) {
    Loaded loaded = Parse("a(1)\n[3-4]\nb(1)\n[x]\nc(1)\n", 60);
    ASSERT_EQ(loaded.table->line_count, 3);
    EXPECT_EQ(loaded.table->lines[0].start_frame, 0);
    EXPECT_EQ(loaded.table->lines[0].end_frame, 60);
    EXPECT_EQ(loaded.table->lines[1].end_frame, 4);
    // "[x]": no digits, "x" is the separator, "]" ends the end digits: frames 0 to the count
    EXPECT_EQ(loaded.table->lines[2].start_frame, 0);
    EXPECT_EQ(loaded.table->lines[2].end_frame, 60);
}

TEST(ScriptFile, TextModeAndPieces) {
    // CR LF reads as LF, 0x1A ends the file, a last line without a newline still loads.
    Loaded crlf = Parse("a(1)\r\nb(2)\r\n\x1A" "c(3)\n");
    ASSERT_EQ(crlf.table->line_count, 2);
    EXPECT_STREQ(crlf.table->lines[1].arg_text[0], "2");

    // A piece longer than 511 bytes is cut; the rest is a line of its own.
    const std::string long_arg(600, '1');
    Loaded cut = Parse("x(" + long_arg + ")\n" + std::string(511, 'y') + "z(5)\n");
    ASSERT_EQ(cut.table->line_count, 1);  // "x(111..." never closes; "z(5)" is the rest of a piece
    EXPECT_STREQ(cut.table->lines[0].command, "z");
}

// Edges of the line forms: a range cut short by a NUL byte, a name byte past "z", a CR that
// ends the file, and a range without an end digit when the host reports a negative count.
TEST(ScriptFile, EdgesOfTheLineForms) {
    const char bytes[] = "[5\0-9]\na(1)\nab{(2)\nb(3)\r";
    Loaded cut = Parse(std::string(bytes, sizeof bytes - 1));
    ASSERT_EQ(cut.table->line_count, 2);
    EXPECT_EQ(cut.table->lines[0].start_frame, 5);
    EXPECT_EQ(cut.table->lines[0].end_frame, 100);
    EXPECT_STREQ(cut.table->lines[1].command, "b");
    EXPECT_STREQ(cut.table->lines[1].arg_text[0], "3");

    Loaded negative = Parse("[3]\na(1)\n", -5);  // the range would end at -5: ignored
    ASSERT_EQ(negative.table->line_count, 1);
    EXPECT_EQ(negative.table->lines[0].start_frame, 0);
}

// What a listener hears of lines that are no statements (once a line, not once a piece), of
// lists never closed, and of statements past the table (not of comments there).
TEST(ScriptFile, ListenerHearsSkippedLinesOnce) {
    struct Heard final : ScriptListener {
        void NotAStatement(int32_t line, const char*) override { comments.push_back(line); }
        void LineIgnored(int32_t line, int32_t column, Ignored why) override {
            if (why == Ignored::kPastTheTable) past.push_back(line);
            if (why == Ignored::kListNeverClosed) still_open.push_back(column);
        }
        std::vector<int32_t> comments, past, still_open;
    } heard;
    std::string text = "#" + std::string(600, '-') + "\n";  // two pieces, one line
    for (int i = 0; i < kMaxScriptLines; ++i) text += "n(1)\n";
    text += "# past\nn(2)\n";
    auto table = std::make_unique<ScriptTable>();
    ParseScript(text, 100, *table, nullptr, &heard);
    EXPECT_EQ(heard.comments, std::vector<int32_t>{1});
    EXPECT_EQ(heard.past, std::vector<int32_t>{kMaxScriptLines + 3});
    // Where the ")" is missing: after the last byte, before the newline if there is one.
    table->line_count = 0;
    ParseScript("x(1\nx(2", 100, *table, nullptr, &heard);
    EXPECT_EQ(heard.still_open, (std::vector<int32_t>{4, 4}));
}

TEST(ScriptFile, StatementsPastTheTableAreIgnored) {
    std::string text;
    for (int i = 0; i < kMaxScriptLines + 5; ++i) text += "n(" + std::to_string(i) + ")\n";
    Loaded loaded = Parse(text);
    ASSERT_EQ(loaded.table->line_count, kMaxScriptLines);
    EXPECT_STREQ(loaded.table->lines[kMaxScriptLines - 1].arg_text[0], "1999");
}

// A host that reports a file in a test folder and records lengthen requests.
class ReloadTest : public ::testing::Test {
protected:
    ReloadTest() {
        services_.query_edit_file = [](void* edit, EditFileInfo* info) -> int32_t {
            auto* self = static_cast<ReloadTest*>(edit);
            info->path = self->edited_.c_str();
            info->sampling_rate = 44100;
            return 1;
        };
        services_.set_edit_length = [](void* edit, int32_t frames) -> int32_t {
            static_cast<ReloadTest*>(edit)->lengthened_.push_back(frames);
            return 1;
        };
        filter_.services = &services_;
        frame_.edit_handle = this;
        frame_.frame_count = 100;
        edited_ = (folder_.path() / "clip.avi").string();
    }

    void WriteScript(const std::string& text) {
        folder_.Write("animation.txt", text);
        // A distinct write time for every version, whatever the file system's resolution.
        std::filesystem::last_write_time(folder_.path() / "animation.txt",
                                         std::filesystem::file_time_type::clock::now() +
                                             std::chrono::seconds(++version_));
    }

    std::string FirstArgument() {
        const ScriptTable* table = script_.table();
        return table && table->line_count > 0 ? table->lines[0].arg_text[0] : "";
    }

    TestPlatform platform_;
    TempFolder folder_;
    std::string edited_;
    HostServices services_{};
    FilterTable filter_{};
    FrameContext frame_{};
    Script script_;
    ScriptFile file_;
    std::vector<int32_t> lengthened_;
    int version_ = 0;
};

TEST_F(ReloadTest, LooksAtMostOncePerSecondAndReloadsOnlyOnChange) {
    WriteScript("a(1)\n");
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "1");
    EXPECT_EQ(file_.sampling_rate(), 44100);

    WriteScript("a(2)\n");
    file_.Refresh(script_, &filter_, &frame_);  // same second: not looked at
    EXPECT_EQ(FirstArgument(), "1");
    EXPECT_EQ(platform_.file_time_reads, 1);

    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "2");

    // Unchanged file and frame count: looked at, not reloaded (lines keep their values).
    script_.table()->lines[0].arg_value[0] = 42;
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(platform_.file_time_reads, 3);
    EXPECT_EQ(script_.table()->lines[0].arg_value[0], 42);

    // A new frame count reloads.
    frame_.frame_count = 50;
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(script_.table()->lines[0].arg_value[0], 0);
    EXPECT_EQ(script_.table()->lines[0].end_frame, 50);
}

TEST_F(ReloadTest, MissingFileOrFailedLoadKeepsTheScriptInForce) {
    WriteScript("a(1)\n");
    file_.Refresh(script_, &filter_, &frame_);
    std::filesystem::remove(folder_.path() / "animation.txt");
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "1");

    WriteScript("a(3)\n");
    platform_.refuse_from_bytes = sizeof(ScriptTable);
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "1");

    platform_.refuse_from_bytes = SIZE_MAX;  // tried again the next second
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "3");
}

// The file is read a chunk at a time, so that a script of any size costs the same memory: a CR
// LF or a lone CR across a chunk's end, and pieces beyond it, read as one piece of memory does.
TEST_F(ReloadTest, AFileReadsInChunksAsItsWholeBytesParse) {
    const size_t chunk = 65536;
    std::string comments;  // whole lines up to four bytes before the first chunk's end
    while (comments.size() < chunk - 4) comments += std::string(std::min<size_t>(400, chunk - 4 - comments.size()) - 1, '#') + "\n";
    const struct {
        const char* across;  // its fourth byte starts the second chunk
        const char* formula;
    } cases[] = {{"A=1\r\nB=2\n", "1"}, {"A=1\rB=2\n", "1\rB=2"}};
    for (const auto& c : cases) {
        const std::string text = comments + c.across + std::string(3 * chunk, 'q') + "\r\n\rd(3)\rb(4)";
        WriteScript(text);
        ++platform_.second;
        file_.Refresh(script_, &filter_, &frame_);
        Loaded whole = Parse(text);
        ASSERT_NE(script_.table(), nullptr);
        ASSERT_EQ(script_.table()->line_count, whole.table->line_count);
        for (int32_t i = 0; i < whole.table->line_count; ++i) {
            EXPECT_STREQ(script_.table()->lines[i].command, whole.table->lines[i].command) << i;
            EXPECT_STREQ(script_.table()->lines[i].arg_text[0], whole.table->lines[i].arg_text[0]) << i;
        }
        EXPECT_STREQ(script_.table()->lines[0].arg_text[0], c.formula);
    }
}

TEST_F(ReloadTest, RangesBeyondTheEditLengthenItAtEveryLoad) {
    WriteScript("[0-150]\na(1)\n[0-120]\n");
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(lengthened_, (std::vector<int32_t>{150, 120}));
    frame_.frame_count = 150;  // the host lengthened the edit: the next look reloads
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(lengthened_, (std::vector<int32_t>{150, 120}));
    EXPECT_EQ(script_.table()->lines[0].end_frame, 150);
}

TEST_F(ReloadTest, AHostThatCannotLengthenTheEditIsNotAsked) {
    services_.set_edit_length = nullptr;
    WriteScript("[0-150]\na(1)\n");
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "1");
    EXPECT_TRUE(lengthened_.empty());
}

// Memory a line owns goes when the script it belongs to is replaced.
TEST_F(ReloadTest, AReloadReleasesWhatTheOldLinesOwn) {
    struct Counting final : TestPlatform {
        void Release(void* block) override {
            ++released;
            TestPlatform::Release(block);
        }
        int released = 0;
    } counting;  // installed over the fixture's until it goes
    WriteScript("a(1)\n");
    file_.Refresh(script_, &filter_, &frame_);
    script_.table()->lines[0].line_memory = counting.AllocateZeroed(16);
    WriteScript("a(2)\n");
    ++counting.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "2");
    EXPECT_EQ(counting.released, 2);  // the line's memory and the old table
}

// No service table: no path, so the script is looked for in the current folder.
TEST_F(ReloadTest, WithoutServicesTheCurrentFolderIsLookedIn) {
    WriteScript("[0-150]\na(7)\n");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    file_.Refresh(script_, nullptr, &frame_);
    std::filesystem::current_path(previous);
    EXPECT_EQ(FirstArgument(), "7");
    EXPECT_TRUE(lengthened_.empty());  // nobody to ask
}

TEST_F(ReloadTest, PathsWithoutFolderAndCarelessHosts) {
    // The script sits next to the edited file; a path without a folder means the current one.
    WriteScript("a(1)\n");
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "1");

    Script other;
    ScriptFile other_file;
    FilterTable no_services{};
    frame_.edit_handle = nullptr;
    other_file.Refresh(other, &no_services, &frame_);  // no service table: no path, no crash
    other_file.Refresh(other, nullptr, &frame_);
    EXPECT_EQ(other_file.sampling_rate(), 0);
}

#ifdef _WIN32
// Saving while the editor renders: a script that another program holds open is not read, and
// the first look after it is released reads it.
TEST_F(ReloadTest, ScriptHeldOpenIsReadOnceReleased) {
    WriteScript("a(1)\n");
    file_.Refresh(script_, &filter_, &frame_);
    WriteScript("a(2)\n");
    const std::string path = (folder_.path() / "animation.txt").string();
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "1");
    CloseHandle(held);
    ++platform_.second;
    file_.Refresh(script_, &filter_, &frame_);
    EXPECT_EQ(FirstArgument(), "2");
}

// The editor hands Shift-JIS paths; a folder whose name ends in 表 or ソ ends in byte 0x5C.
TEST_F(ReloadTest, ScriptBesideAShiftJisFolderNameEndingInByte5C) {
    if (GetACP() != 932) GTEST_SKIP() << "needs the editor's ANSI code page 932 (LC_ALL=ja_JP.UTF-8 under Wine)";
    const struct {
        const char* name;  // Shift-JIS
        const wchar_t* wide;
    } folders[] = {{"clips\x95\x5C", L"clips\u8868"}, {"clips\x83\x5C", L"clips\u30BD"}};
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.name);
        const std::string dir = folder_.path().string() + "\\" + folder.name;
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
        ASSERT_TRUE(std::filesystem::is_directory(folder_.path() / folder.wide));
        FILE* script = fopen((dir + "\\animation.txt").c_str(), "wb");
        ASSERT_TRUE(script);
        fputs("a(7)\n", script);
        fclose(script);
        edited_ = dir + "\\clip.avi";
        Script fresh;
        ScriptFile().Refresh(fresh, &filter_, &frame_);
        ASSERT_TRUE(fresh.table());
        ASSERT_EQ(fresh.table()->line_count, 1);
        EXPECT_STREQ(fresh.table()->lines[0].arg_text[0], "7");
    }
}
#endif

}  // namespace
}  // namespace kinetra
