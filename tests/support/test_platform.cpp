#include "tests/support/test_platform.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "kinetra/editor/private_folder.h"

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

void UseTestFonts() {
#ifndef _WIN32
    setenv("FONTCONFIG_FILE", KINETRA_SOURCE_DIR "/tests/fonts/fonts.conf", 1);
#endif
}

TempFolder::TempFolder() : path_(editor::CreatePrivateFolder("kinetra-test")) {
    if (path_.empty()) throw std::runtime_error("cannot create a folder for the test");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
}

}  // namespace kinetra::testing
