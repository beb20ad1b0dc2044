// Golden renders: the per-frame checksums of every example script over the synthetic clip, kept
// in the repository so that a change in any command's output is seen and explained.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "kinetra/editor/render.h"

namespace kinetra::editor {

// The clip every golden render uses.
SyntheticClip GoldenClip();

// The scripts in `folder` (every "*.txt"), in name order.
std::vector<std::filesystem::path> ExampleScripts(const std::filesystem::path& folder);

// A golden file's name for an example: examples/effects.txt -> effects.txt.
std::string GoldenFileName(const std::filesystem::path& example);

// The command that rewrites the golden files, for messages.
extern const char kGoldenUpdateCommand[];

// A golden file: a clip line naming the render's format, then one line per frame.
struct GoldenFile {
    std::string clip;  // as ClipLine wrote it
    std::vector<FrameChecksum> frames;
};

std::string ClipLine(const SyntheticClip& clip);
std::string FormatGolden(const std::string& example_name, const GoldenFile& golden);
// False with `error` naming the line when `text` is not a golden file.
bool ParseGolden(const std::string& text, GoldenFile& golden, std::string& error);

// Renders every example of `examples` and writes its golden file into `golden_folder`; the
// names written go to `written`. False with `error` set at the first failure.
bool WriteGoldenFiles(const std::filesystem::path& examples, const std::filesystem::path& golden_folder,
                      const std::filesystem::path& plugin_dir, std::vector<std::string>& written,
                      std::string& error);

}  // namespace kinetra::editor
