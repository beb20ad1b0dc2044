// A platform whose clock, allocator and text renderer the test controls; file access stays real.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kinetra::testing {

class TestPlatform : public Platform {
public:
    TestPlatform();   // installs itself
    ~TestPlatform() override;  // restores the platform it replaced

    bool ReadFileTime(const std::string& path, FileTime& time) override;
    size_t FolderPrefixLength(const char* path) override;
    void ShowAllocationMessage(const char* message, const char* caption) override;
    int64_t CurrentSecond() override { return second; }
    void* AllocateZeroed(size_t bytes) override;
    void Release(void* block) override;
    TextRenderer& Text() override;

    int64_t second;  // starts past every earlier instance's, so a plug-in's last look never matches
    size_t refuse_from_bytes = SIZE_MAX;  // allocations of this size or more fail
    std::vector<std::string> messages;    // "caption: message" as the host would show them
    int file_time_reads = 0;
    TextRenderer* text_renderer = nullptr;  // null: the platform's own

private:
    Platform* previous_;
};

// Makes the text renderer see only the faces tests/fonts/fonts.conf names, from the next time
// it starts (after a release), so that drawn text does not depend on a machine's fonts.
void UseTestFonts();

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    // Writes `text` to `name` in the folder.
    void Write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

}  // namespace kinetra::testing
