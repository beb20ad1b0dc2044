// kinetra render [INPUT] [-o OUTPUT] [options]: an edit through both plug-ins into a file.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace kinetra::cli {

void AddRenderCommand(CLI::App& app, std::function<int()>& run);

}  // namespace kinetra::cli
