// The system's own platform services on this operating system.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/shift_jis.h"
#include "tests/support/test_platform.h"
#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace kinetra {
namespace {

TEST(SystemPlatform, FolderOfTheEditedFile) {
    const struct {
        const char* path;
        size_t prefix;
    } cases[] = {
#ifdef _WIN32
        // Only the backslash separates, and never as the second byte of a Shift-JIS character.
        {"C:\\clips\\a.avi", 9}, {"a.avi", 0}, {"", 0}, {"\\a", 1}, {"dir\\", 4},
        {"C:/clips/a.avi", 0},
        {"C:\\\x95\x5C\\a.avi", 6},             // 表
        {"C:\\x\x83\x5C\\a.avi", 7},            // ソ
        {"C:\\\x95\x5C\x83\x5C", 3},            // 表ソ: no separator after the folder
        {"C:\\\xB1\\a.avi", 5},                 // a half-width katakana is one byte
        {"C:\\\x81\x81\\\x9F\x5C\xE0\x5C\xFC\x5C", 6},  // lead bytes at both ends of both ranges
        {"C:\\\xA0\\\xFD\\a", 7},               // bytes next to the ranges lead nothing
        {"C:\\a\x95", 3},                       // a lead byte before the end reads no further
#else
        {"/media/clips/a.avi", 13}, {"a.avi", 0}, {"", 0}, {"/a", 1}, {"dir/", 4},
        {"C:\\clips\\a.avi", 0},  // a POSIX host hands native paths
#endif
    };
    for (const auto& c : cases) EXPECT_EQ(CurrentPlatform().FolderPrefixLength(c.path), c.prefix) << c.path;
}

TEST(SystemPlatform, FileTimeFollowsWrites) {
    testing::TempFolder folder;
    const std::string path = (folder.path() / "animation.txt").string();
    FileTime before{}, after{};
    EXPECT_FALSE(CurrentPlatform().ReadFileTime(path, before));
    folder.Write("animation.txt", "a");
    ASSERT_TRUE(CurrentPlatform().ReadFileTime(path, before));
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::milliseconds(3));
    ASSERT_TRUE(CurrentPlatform().ReadFileTime(path, after));
    EXPECT_NE(before, after);  // a few milliseconds apart are enough to tell
}

#ifdef _WIN32
struct ShownBox {
    HWND owner;
    std::string text, caption;
    UINT style;
};
std::vector<ShownBox> shown_boxes;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    shown_boxes.push_back({owner, text, caption, style});
    return IDOK;
}

TEST(SystemPlatform, AllocationMessageIsAnErrorBoxWithoutOwner) {
    shown_boxes.clear();
    const win32::MessageBoxFunction previous = win32::InstallMessageBox(RecordBox);
    CurrentPlatform().ShowAllocationMessage("\x83\x81\x83\x82\x83\x8A", "Kinetra");  // メモリ
    win32::InstallMessageBox(previous);
    ASSERT_EQ(shown_boxes.size(), 1u);
    EXPECT_EQ(shown_boxes[0].owner, nullptr);
    EXPECT_EQ(shown_boxes[0].text, "\x83\x81\x83\x82\x83\x8A");  // Shift-JIS, as the system shows it
    EXPECT_EQ(shown_boxes[0].caption, "Kinetra");
    EXPECT_EQ(shown_boxes[0].style, UINT{MB_OK | MB_ICONERROR});
}
#else
TEST(SystemPlatform, AllocationMessageReadsAsUtf8) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"\x83\x81\x83\x82\x83\x8A", "\xE3\x83\xA1\xE3\x83\xA2\xE3\x83\xAA"},  // メモリ
        {"\x83\x81\x83", "\xE3\x83\xA1\xEF\xBF\xBD"},  // メ and a lead byte cut off: U+FFFD for it alone
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        CurrentPlatform().ShowAllocationMessage(c.message, "Kinetra");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string("Kinetra: ") + c.shown + "\n");
    }
}
#endif

// One rule for every conversion: a byte that starts no character, or a character with no
// UTF-8 form, is one U+FFFD, and the text around it is kept.
TEST(ShiftJis, CharacterByCharacter) {
    const struct {
        std::string_view shift_jis;
        std::string_view utf8;
        std::u32string_view characters;  // as the text renderer draws them
    } cases[] = {
        {"A=1 \x95\x5C\x83\x65", "A=1 \xE8\xA1\xA8\xE3\x83\x86", U"A=1 \u8868\u30C6"},  // 表テ, a second byte 0x5C
        {"\xB1", "\xEF\xBD\xB1", U"\uFF71"},                                           // half-width ア
        {"a\x80" "b", "a\xEF\xBF\xBD" "b", U"a\uFFFDb"},                                 // no character, on any system
        {"\xA0\xFD", "\xEF\xBF\xBD\xEF\xBF\xBD", U"\uFFFD\uFFFD"},                        // nor these
        {"\x85\x40z", "\xEF\xBF\xBD" "z", U"\uFFFDz"},                                  // an unassigned pair is one
        {"\x83\x0A", "\xEF\xBF\xBD\n", U"\uFFFD\n"},                                    // a lead byte before no second
        {"x\x83", "x\xEF\xBF\xBD", U"x\uFFFD"},                                         // a lead byte at the end
        {std::string_view("\0\x83\x65", 3), std::string_view("\0\xE3\x83\x86", 4), std::u32string_view(U"\0\u30C6", 2)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShiftJisToUtf8(c.shift_jis), c.utf8) << c.shift_jis;
        EXPECT_TRUE(ShiftJisToCharacters(c.shift_jis) == c.characters) << c.shift_jis;
    }
}

TEST(SystemPlatform, ClockIsTheCalendarSecond) {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::abs(CurrentPlatform().CurrentSecond() - now), 2);
}

TEST(SystemPlatform, TestsCanReplaceAndRestoreIt) {
    Platform* system = &CurrentPlatform();
    {
        testing::TestPlatform test;
        EXPECT_EQ(&CurrentPlatform(), &test);
    }
    EXPECT_EQ(&CurrentPlatform(), system);
}

}  // namespace
}  // namespace kinetra
