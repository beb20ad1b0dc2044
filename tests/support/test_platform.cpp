#include "tests/support/test_platform.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

namespace kinetra::testing {

TestPlatform::TestPlatform() : previous_(InstallPlatform(this)) {
    static int64_t epoch = 0;
    epoch += 1000000;
    second = epoch;
}

TestPlatform::~TestPlatform() { InstallPlatform(previous_); }

bool TestPlatform::ReadFileTime(const std::string& path, FileTime& time) {
    ++file_time_reads;
    return previous_->ReadFileTime(path, time);
}

size_t TestPlatform::FolderPrefixLength(const char* path) { return previous_->FolderPrefixLength(path); }

void TestPlatform::ShowAllocationMessage(const char* message, const char* caption) {
    messages.push_back(std::string(caption) + ": " + message);
}

void* TestPlatform::AllocateZeroed(size_t bytes) {
    return bytes >= refuse_from_bytes ? nullptr : calloc(bytes, 1);
}

void TestPlatform::Release(void* block) { free(block); }

TextRenderer& TestPlatform::Text() { return text_renderer ? *text_renderer : previous_->Text(); }

void UseTestFonts() { setenv("FONTCONFIG_FILE", KINETRA_SOURCE_DIR "/tests/fonts/fonts.conf", 1); }

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kinetra-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
}

}  // namespace kinetra::testing
