// kinetra preview [INPUT] [--script FILE] [--port N] [--open]: a local page to tune a script.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace kinetra::cli {

void AddPreviewCommand(CLI::App& app, std::function<int()>& run);

}  // namespace kinetra::cli
