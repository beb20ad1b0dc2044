// kinetra help: the commands of both plug-ins by family, one command's arguments, formulas.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace kinetra::cli {

void AddHelpCommand(CLI::App& app, std::function<int()>& run);

}  // namespace kinetra::cli
