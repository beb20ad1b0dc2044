// kinetra golden: rewrites the golden checksums of the example scripts, on purpose.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace kinetra::cli {

// Adds the command to `app`; `run` is set to what runs it.
void AddGoldenCommand(CLI::App& app, std::function<int()>& run);

}  // namespace kinetra::cli
