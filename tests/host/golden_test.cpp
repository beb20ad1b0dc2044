// Every example script rendered over the synthetic clip must give the per-frame checksums kept
// in tests/golden, with one worker thread and with sixteen, on every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "kinetra/editor/golden.h"
#include "kinetra/editor/synthetic.h"
#include "script/script.h"
#include "tests/support/test_platform.h"

namespace kinetra::editor {
namespace {
namespace fs = std::filesystem;

const fs::path kExamples = fs::path(KINETRA_SOURCE_DIR) / "examples";
const fs::path kGolden = fs::path(KINETRA_SOURCE_DIR) / "tests" / "golden";

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Regenerate() {
    return std::string("regenerate on purpose with `") + kGoldenUpdateCommand +
           "` and say in the commit why the checksums changed";
}

struct GoldenCase {
    fs::path example;
    int32_t threads;
};

void PrintTo(const GoldenCase& test, std::ostream* out) {
    *out << test.example.filename().string() << " with " << test.threads << " thread(s)";
}

std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    for (const fs::path& example : ExampleScripts(kExamples)) {
        for (int32_t threads : {1, 16}) cases.push_back({example, threads});
    }
    return cases;
}

#if defined(KINETRA_NULL_TEXT_RENDERER) || defined(KINETRA_GDI_TEXT_RENDERER)
// Whether a line of `script` is a text command.
bool DrawsText(const std::string& script) {
    auto table = std::make_unique<ScriptTable>();
    ParseScript(script, 0, *table, nullptr);
    return std::any_of(table->lines, table->lines + table->line_count,
                       [](const ScriptLine& line) { return strcmp(line.command, "text") == 0; });
}
#endif

class GoldenRender : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenRender, MatchesTheKeptChecksums) {
    const GoldenCase& test = GetParam();
#if defined(KINETRA_NULL_TEXT_RENDERER)
    if (DrawsText(ReadFile(test.example))) GTEST_SKIP() << "this build's text renderer draws nothing";
#elif defined(KINETRA_GDI_TEXT_RENDERER)
    if (DrawsText(ReadFile(test.example))) {
        GTEST_SKIP() << "the kept checksums of text are the FreeType renderer's glyphs, not GDI's";
    }
#endif
    testing::UseTestFonts();  // the golden renders were made with these faces
    const fs::path file = kGolden / GoldenFileName(test.example);
    ASSERT_TRUE(fs::exists(file)) << test.example << " has no golden file " << file << ": create it with `"
                                  << kGoldenUpdateCommand << "`";
    GoldenFile golden;
    std::string error;
    ASSERT_TRUE(ParseGolden(ReadFile(file), golden, error)) << file << ": " << error;

    RenderOptions options;
    options.clip = GoldenClip();
    options.threads = test.threads;
    options.plugin_dir = KINETRA_PLUGIN_DIR;
    ASSERT_EQ(golden.clip, ClipLine(options.clip)) << file << " was made over another clip; " << Regenerate();
    std::vector<FrameChecksum> frames;
    ASSERT_TRUE(RenderChecksums(ReadFile(test.example), options, frames, error)) << error;

    ASSERT_EQ(frames.size(), golden.frames.size()) << file << ": " << Regenerate();
    int reported = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        if (frames[f] == golden.frames[f] || ++reported > 5) continue;
        ADD_FAILURE() << test.example.filename().string() << " frame " << frames[f].frame << ": picture "
                      << std::hex << frames[f].image << " (kept " << golden.frames[f].image << "), sound "
                      << frames[f].sound << " (kept " << golden.frames[f].sound << ")";
    }
    EXPECT_EQ(reported, 0) << "frames differ from " << file << " with " << test.threads
                           << " thread(s); if the change is meant, " << Regenerate();
}

INSTANTIATE_TEST_SUITE_P(Examples, GoldenRender, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             std::string name;
                             for (char c : info.param.example.stem().string()) {
                                 if (isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name + "_" + std::to_string(info.param.threads) + "threads";
                         });

// Looked at when the tests run, not when they were listed: an example added since the last
// build is caught here too.
TEST(GoldenFiles, ExistForEveryExampleAndOnlyForExamples) {
    const std::vector<fs::path> examples = ExampleScripts(kExamples);
    ASSERT_FALSE(examples.empty()) << "no example scripts in " << kExamples;
    for (const fs::path& example : examples) {
        EXPECT_TRUE(fs::exists(kGolden / GoldenFileName(example)))
            << example << " has no golden file; create it with `" << kGoldenUpdateCommand << "`";
    }
    for (const fs::path& golden : ExampleScripts(kGolden)) {
        EXPECT_TRUE(fs::exists(kExamples / golden.filename()))
            << golden << " belongs to no example; remove it or restore the example";
    }
}

TEST(GoldenFiles, DemoExampleIsTheBuiltInDemoScript) {
    EXPECT_EQ(ReadFile(kExamples / "demo.txt"), std::string(kDemoScript))
        << "examples/demo.txt and kDemoScript (kinetra/editor/synthetic.cpp) must say the same";
}

TEST(GoldenFormat, ReadsBackWhatItWrites) {
    GoldenFile golden;
    golden.clip = ClipLine(GoldenClip());
    golden.frames = {{0, 0, UINT64_MAX}, {1, 0x0123456789ABCDEFull, 0xFEDCBA9876543210ull}, {2, 1, 2}};
    GoldenFile back;
    std::string error;
    ASSERT_TRUE(ParseGolden(FormatGolden("x.txt", golden), back, error)) << error;
    EXPECT_EQ(back.clip, golden.clip);
    EXPECT_EQ(back.frames, golden.frames);
}

TEST(GoldenFormat, RejectsWhatIsNotAGoldenFile) {
    const std::string clip = ClipLine(GoldenClip()) + "\n";
    const std::pair<const char*, std::string> kBroken[] = {
        {"no clip line", "0 0000000000000001 0000000000000002\n"},
        {"a missing checksum", clip + "0 0000000000000001\n"},
        {"a word after the checksums", clip + "0 0000000000000001 0000000000000002 x\n"},
        {"a merge conflict marker", clip + "<<<<<<< HEAD\n"},
        {"a checksum that is not hexadecimal", clip + "0 zz 0000000000000002\n"},
    };
    for (const auto& [what, text] : kBroken) {
        GoldenFile golden;
        std::string error;
        EXPECT_FALSE(ParseGolden(text, golden, error)) << what;
        EXPECT_FALSE(error.empty()) << what;
    }
}

}  // namespace
}  // namespace kinetra::editor
