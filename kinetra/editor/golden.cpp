#include "kinetra/editor/golden.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace kinetra::editor {
namespace fs = std::filesystem;

const char kGoldenUpdateCommand[] = "bash scripts/update-golden.sh";

SyntheticClip GoldenClip() {
    SyntheticClip clip;
    clip.width = 320;
    clip.height = 180;
    clip.frames = 48;
    clip.frame_rate = 24;
    clip.frame_rate_scale = 1;
    clip.sampling_rate = 48000;
    return clip;
}

std::vector<fs::path> ExampleScripts(const fs::path& folder) {
    std::vector<fs::path> scripts;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".txt") scripts.push_back(entry.path());
    }
    std::sort(scripts.begin(), scripts.end());
    return scripts;
}

std::string GoldenFileName(const fs::path& example) { return example.stem().string() + ".txt"; }

std::string ClipLine(const SyntheticClip& clip) {
    char line[160];
    snprintf(line, sizeof line, "clip %dx%d %d frames %d/%d fps %d Hz stereo", clip.width, clip.height,
             clip.frames, clip.frame_rate, clip.frame_rate_scale, clip.sampling_rate);
    return line;
}

std::string FormatGolden(const std::string& example_name, const GoldenFile& golden) {
    std::string text;
    text += "# Per-frame checksums of examples/" + example_name +
            " over the synthetic clip: frame, picture, sound (64-bit FNV-1a).\n";
    text += "# A change that alters them says why in its commit. Rewrite with: ";
    text += kGoldenUpdateCommand;
    text += "\n";
    text += golden.clip + "\n";
    char line[64];
    for (const FrameChecksum& frame : golden.frames) {
        snprintf(line, sizeof line, "%d %016" PRIx64 " %016" PRIx64 "\n", frame.frame, frame.image, frame.sound);
        text += line;
    }
    return text;
}

bool ParseGolden(const std::string& text, GoldenFile& golden, std::string& error) {
    golden = {};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("clip ", 0) == 0) {
            golden.clip = line;
            continue;
        }
        FrameChecksum frame;
        char rest = 0;
        if (sscanf(line.c_str(), "%d %16" SCNx64 " %16" SCNx64 " %c", &frame.frame, &frame.image, &frame.sound,
                   &rest) != 3) {
            error = "line " + std::to_string(number) + " is not \"frame picture sound\": " + line;
            return false;
        }
        golden.frames.push_back(frame);
    }
    if (golden.clip.empty()) {
        error = "no clip line";
        return false;
    }
    return true;
}

bool WriteGoldenFiles(const fs::path& examples, const fs::path& golden_folder, const fs::path& plugin_dir,
                      std::vector<std::string>& written, std::string& error) {
    const std::vector<fs::path> scripts = ExampleScripts(examples);
    if (scripts.empty()) {
        error = "no example scripts in " + examples.string();
        return false;
    }
    std::error_code ignored;
    fs::create_directories(golden_folder, ignored);
    RenderOptions options;
    options.clip = GoldenClip();
    options.plugin_dir = plugin_dir;
    for (const fs::path& script : scripts) {
        std::ifstream in(script, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            error = "cannot read " + script.string();
            return false;
        }
        GoldenFile golden;
        golden.clip = ClipLine(options.clip);
        if (!RenderChecksums(text.str(), options, golden.frames, error)) {
            error = script.string() + ": " + error;
            return false;
        }
        const fs::path file = golden_folder / GoldenFileName(script);
        std::ofstream out(file, std::ios::binary);
        out << FormatGolden(script.filename().string(), golden);
        if (!out.flush()) {
            error = "cannot write " + file.string();
            return false;
        }
        written.push_back(file.string());
    }
    return true;
}

}  // namespace kinetra::editor
