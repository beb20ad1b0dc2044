// kinetra check: a script's errors and warnings, with line, column and the first failing frame.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace kinetra::cli {

void AddCheckCommand(CLI::App& app, std::function<int()>& run);

}  // namespace kinetra::cli
