// The plug-in files as the editor sees them: built for the pointer size the build asks for, and
// a filter table whose words hold what a 32-bit host expects of them.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <elf.h>
#endif

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "kinetra/editor/filter_host.h"

namespace kinetra::editor {
namespace {

std::string PluginPath(const char* file) { return std::string(KINETRA_PLUGIN_DIR) + "/" + file; }

TEST(BuildTarget, PointerSizeIsTheOneTheBuildAsksFor) {
#ifdef KINETRA_EXPECT_POINTER_BYTES
    // A 32-bit stage that quietly built or ran 64-bit code would prove nothing.
    EXPECT_EQ(sizeof(void*), size_t{KINETRA_EXPECT_POINTER_BYTES});
    EXPECT_EQ(sizeof(size_t), size_t{KINETRA_EXPECT_POINTER_BYTES});
#else
    GTEST_SKIP() << "this build names no pointer size (configure with -DKINETRA_EXPECT_POINTER_BYTES)";
#endif
}

// The plug-in files are objects of the system's format and of the same word size as the
// program that loads them.
TEST(BuildTarget, PluginFilesMatchThePointerSizeOfTheirHost) {
    for (const char* file : {"dizorud.auf", "dizorud_audio.auf"}) {
        SCOPED_TRACE(file);
        std::ifstream in(PluginPath(file), std::ios::binary);
#ifdef _WIN32
        // A PE file: "MZ", the PE header's offset at 0x3C, "PE\0\0", then the machine.
        unsigned char dos[64] = {}, pe[6] = {};
        ASSERT_TRUE(in.read(reinterpret_cast<char*>(dos), sizeof dos));
        ASSERT_EQ(0, memcmp(dos, "MZ", 2));
        uint32_t pe_offset;
        memcpy(&pe_offset, dos + 0x3C, sizeof pe_offset);
        ASSERT_TRUE(in.seekg(pe_offset).read(reinterpret_cast<char*>(pe), sizeof pe));
        ASSERT_EQ(0, memcmp(pe, "PE\0\0", 4));
        const unsigned machine = pe[4] | pe[5] << 8;
        EXPECT_EQ(machine, sizeof(void*) == 4 ? 0x014Cu : 0x8664u);  // i386 or AMD64
#else
        unsigned char ident[EI_NIDENT] = {};
        ASSERT_TRUE(in.read(reinterpret_cast<char*>(ident), sizeof ident));
        ASSERT_EQ(0, memcmp(ident, ELFMAG, SELFMAG));
        EXPECT_EQ(ident[EI_CLASS], sizeof(void*) == 4 ? ELFCLASS32 : ELFCLASS64);
#endif
    }
}

// One word of the table: its byte offset, the named field it is, and what it must hold.
struct Word {
    uint32_t offset;
    const char* field;
    std::function<uintptr_t(const FilterTable&)> read;
    std::function<bool(uintptr_t)> holds;
};

template <typename F>
uintptr_t Address(F* function) {
    return reinterpret_cast<uintptr_t>(function);
}
std::function<bool(uintptr_t)> Is(uintptr_t value) {
    return [value](uintptr_t word) { return word == value; };
}
const std::function<bool(uintptr_t)> kNonZero = [](uintptr_t word) { return word != 0; };

std::vector<Word> ExpectedWords(int32_t flags) {
    const auto zero = Is(0);
    return {
        {0x00, "flags", [](const FilterTable& t) { return uintptr_t(uint32_t(t.flags)); }, Is(uint32_t(flags))},
        {0x04, "word 0x04", [](const FilterTable& t) { return uintptr_t(t.reserved_04); }, zero},
        {0x08, "word 0x08", [](const FilterTable& t) { return uintptr_t(t.reserved_08); }, zero},
        {0x0C, "name", [](const FilterTable& t) { return Address(t.name); }, kNonZero},
        {0x10, "track_count", [](const FilterTable& t) { return uintptr_t(t.track_count); }, Is(KINETRA_TRACK_COUNT)},
        {0x14, "track_names", [](const FilterTable& t) { return Address(t.track_names); }, kNonZero},
        {0x18, "track_defaults", [](const FilterTable& t) { return Address(t.track_defaults); }, kNonZero},
        {0x1C, "track_minimums", [](const FilterTable& t) { return Address(t.track_minimums); }, kNonZero},
        {0x20, "track_maximums", [](const FilterTable& t) { return Address(t.track_maximums); }, kNonZero},
        {0x24, "check_count", [](const FilterTable& t) { return uintptr_t(t.check_count); }, zero},
        {0x28, "check_names", [](const FilterTable& t) { return Address(t.check_names); }, zero},
        {0x2C, "check_defaults", [](const FilterTable& t) { return Address(t.check_defaults); }, zero},
        {0x30, "process", [](const FilterTable& t) { return Address(t.process); }, kNonZero},
        {0x34, "word 0x34", [](const FilterTable& t) { return Address(t.reserved_34); }, zero},
        {0x38, "exit", [](const FilterTable& t) { return Address(t.exit); }, kNonZero},
        {0x3C, "update", [](const FilterTable& t) { return Address(t.update); }, kNonZero},
        {0x40, "word 0x40", [](const FilterTable& t) { return Address(t.reserved_40); }, zero},
        {0x44, "track_values", [](const FilterTable& t) { return Address(t.track_values); }, zero},
        {0x48, "word 0x48", [](const FilterTable& t) { return uintptr_t(t.reserved_48[0]); }, zero},
        {0x4C, "word 0x4C", [](const FilterTable& t) { return uintptr_t(t.reserved_48[1]); }, zero},
        {0x50, "word 0x50", [](const FilterTable& t) { return uintptr_t(t.reserved_48[2]); }, zero},
        {0x54, "information", [](const FilterTable& t) { return Address(t.information); }, kNonZero},
        {0x58, "word 0x58", [](const FilterTable& t) { return uintptr_t(t.reserved_58[0]); }, zero},
        {0x5C, "word 0x5C", [](const FilterTable& t) { return uintptr_t(t.reserved_58[1]); }, zero},
        {0x60, "services", [](const FilterTable& t) { return Address(t.services); }, zero},
    };
}

struct PluginFile {
    const char* file;
    int32_t flags;
    const char* name;
};

void PrintTo(const PluginFile& plugin, std::ostream* out) { *out << plugin.file; }

class FilterTableWords : public ::testing::TestWithParam<PluginFile> {
protected:
    void SetUp() override {
        std::string error;
        host_ = FilterHost::Load(PluginPath(GetParam().file), error);
        ASSERT_TRUE(host_) << error;
    }
    void TearDown() override {
        if (host_) host_->Exit();
    }
    // The table as GetFilterTable hands it over, before the host fills in anything.
    const FilterTable& table() const { return host_->description(); }

    std::unique_ptr<FilterHost> host_;
};

TEST_P(FilterTableWords, HoldWhatTheHostExpects) {
    const PluginFile& plugin = GetParam();
    EXPECT_STREQ(table().name, plugin.name);
    ASSERT_EQ(table().track_count, KINETRA_TRACK_COUNT);
    EXPECT_EQ(table().track_defaults[0], 2) << "thread track bar";
    EXPECT_EQ(table().track_maximums[0], 16);
    EXPECT_EQ(table().track_maximums[1], 9) << "display buffer track bar";
    for (const Word& word : ExpectedWords(plugin.flags)) {
        EXPECT_TRUE(word.holds(word.read(table())))
            << word.field << " (offset " << word.offset << ") holds " << word.read(table());
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothPlugins, FilterTableWords,
    ::testing::Values(PluginFile{"dizorud.auf", 0x40000, "Kinetra[Video]"},
                      PluginFile{"dizorud_audio.auf", 0x240000, "Kinetra[Audio]"}),
    [](const ::testing::TestParamInfo<PluginFile>& info) {
        return std::string(info.param.flags & KINETRA_FLAG_AUDIO ? "Audio" : "Video");
    });

}  // namespace
}  // namespace kinetra::editor
