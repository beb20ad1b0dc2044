// kinetra render [INPUT] [-o OUTPUT] [options]: an edit through both plug-ins into a file.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace kinetra::cli {

void AddRenderCommand(CLI::App& app, std::function<int()>& run);

// `word` of the command line as the option parser knows it: ffmpeg's spellings of render's
// options that it cannot name (-c:v, -b:a, -pix_fmt) as their long names; any other word as is.
std::string RenderOptionSpelling(const std::string& word);

}  // namespace kinetra::cli
