// kinetra info [PLUGIN | INPUT ...]: what a plug-in file declares, or what the host would hand
// the plug-ins for a clip.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace kinetra::cli {

void AddInfoCommand(CLI::App& app, std::function<int()>& run);

}  // namespace kinetra::cli
