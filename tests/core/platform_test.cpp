// The system's own platform services on this operating system.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace kinetra {
namespace {

TEST(SystemPlatform, FolderOfTheEditedFile) {
    const struct {
        const char* path;
        size_t prefix;
    } cases[] = {{"/media/clips/a.avi", 13}, {"a.avi", 0}, {"", 0}, {"/a", 1}, {"dir/", 4},
                 {"C:\\clips\\a.avi", 0}};  // a POSIX host hands native paths
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

TEST(SystemPlatform, AllocationMessageReadsAsUtf8) {
    ::testing::internal::CaptureStderr();
    CurrentPlatform().ShowAllocationMessage("\x83\x81\x83\x82\x83\x8A", "Kinetra");  // メモリ
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Kinetra: \xE3\x83\xA1\xE3\x83\xA2\xE3\x83\xAA\n");
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
