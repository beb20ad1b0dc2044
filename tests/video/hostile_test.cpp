// Hostile scripts and careless hosts through the whole image plug-in: whatever is done to the
// script or the records between two frames, the frame comes back and either the script in
// force runs on or what can be loaded of the new one runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "kinetra/editor/filter_host.h"
#include "tests/support/plugin_harness.h"
#include "video/plugin.h"

namespace kinetra {
namespace {

using editor::VideoFrame;
using testing::PluginHarness;

// The script in force paints luma 1234; a loadable line of a hostile one paints 4321.
const std::string kInForce = "fill(0,0,0,i,j,1234,0,0)\n";
const std::string kLoadable = "fill(0,0,0,i,j,4321,0,0)\n";

// Under qemu-i386 every byte of the parse is emulated, some 30 times slower than natively:
// there a 16 MB script stands for the 100 MB one. It still passes the 2000-statement table
// many times over and needs a whole-file read larger than any buffer of the reader.
const size_t kHugeScriptBytes = sizeof(void*) == 4 ? size_t{16} << 20 : size_t{100} << 20;

// `lines` copies of `line`, after `first`.
std::string Repeated(const std::string& first, const std::string& line, size_t lines) {
    std::string text = first;
    text.reserve(first.size() + line.size() * lines);
    for (size_t k = 0; k < lines; ++k) text += line;
    return text;
}

std::string BinaryGarbage(size_t bytes) {
    std::mt19937 random(20);
    std::string text(bytes, '\0');
    for (char& c : text) c = static_cast<char>(random());
    return text;
}

struct Hostile {
    const char* name;
    std::function<void(PluginHarness&)> act;  // between the frame that loads kInForce and the next
    int16_t luma;                             // what the next frame's picture holds
};

void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

const Hostile kHostile[] = {
    {"a script of 100 MB, mostly comments",
     [](PluginHarness& h) { h.SetScript(Repeated(kLoadable, "# " + std::string(98, '-') + "\n", kHugeScriptBytes / 101)); },
     4321},
    {"a line of 1 MB before a loadable one",
     [](PluginHarness& h) { h.SetScript("copy(" + std::string(1 << 20, '7') + ")\n" + kLoadable); }, 4321},
    {"a line of 1 MB of letters, cut into pieces that are no statements",
     [](PluginHarness& h) { h.SetScript(std::string(1 << 20, 'q') + "\n" + kLoadable); }, 4321},
    {"10 000 statements: the first 2000 load, one past them does not",
     [](PluginHarness& h) { h.SetScript(Repeated(kLoadable, "B=B+1\n", 9998) + "fill(0,0,0,i,j,999,0,0)\n"); },
     4321},
    {"binary garbage after a loadable line",
     [](PluginHarness& h) { h.SetScript(kLoadable + BinaryGarbage(1 << 16)); }, 4321},
    {"binary garbage alone", [](PluginHarness& h) { h.SetScript(BinaryGarbage(1 << 16)); }, 0},
    {"the file replaced by another",
     [](PluginHarness& h) {
         h.folder.Write("next.txt", kLoadable);
         std::filesystem::last_write_time(h.folder.path() / "next.txt",
                                          std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
         std::filesystem::rename(h.folder.path() / "next.txt", h.folder.path() / "animation.txt");
         ++h.platform.second;
     },
     4321},
    {"the file deleted",
     [](PluginHarness& h) {
         std::filesystem::remove(h.folder.path() / "animation.txt");
         ++h.platform.second;
     },
     1234},
    // A folder of the script's name opens, has a write time, and fails every read.
    {"a file that cannot be read",
     [](PluginHarness& h) {
         std::filesystem::remove(h.folder.path() / "animation.txt");
         std::filesystem::create_directory(h.folder.path() / "animation.txt");
         ++h.platform.second;
     },
     1234},
    {"track values outside their ranges",
     [](PluginHarness& h) {
         h.host->tracks = {1000, 12, INT32_MIN, INT32_MAX, -1, 5000, 0, 0, -4096, 99999, INT32_MIN};
         h.host->UpdateSettings();
     },
     1234},
    {"a display buffer below 0", [](PluginHarness& h) { h.host->tracks[1] = -3; }, 1234},
    {"ExitFilter twice", [](PluginHarness& h) { h.host->Exit(), h.host->Exit(); }, 1234},
};

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, TheFrameComesBackAndALoadableScriptRuns) {
    PluginHarness harness(GetFilterTable);
    harness.SetScript(kInForce);
    VideoFrame frame(37, 23, 3, 50);
    ASSERT_EQ(harness.Process(frame.Prepare()), 1);
    ASSERT_EQ(frame.edit.at(36, 22).y, 1234);

    GetParam().act(harness);
    VideoFrame next(37, 23, 4, 50);
    next.edit.at(36, 22).y = 0;
    ASSERT_EQ(harness.Process(next.Prepare()), 1);
    EXPECT_EQ(next.edit.at(36, 22).y, GetParam().luma);
    EXPECT_EQ(next.edit.at(0, 0).y, GetParam().luma);
    EXPECT_TRUE(harness.platform.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Scripts, HostileInput, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                             }
                             return name;
                         });

}  // namespace
}  // namespace kinetra
