// kinetra check: a script's errors and warnings, with line, column and the first failing frame.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "kinetra/check/check.h"

namespace kinetra::media {
class EditSource;
}

namespace kinetra::cli {

void AddCheckCommand(CLI::App& app, std::function<int()>& run);

// What the plug-ins are handed for this clip, as the check sees it.
check::ClipFacts ClipFactsOf(const media::EditSource& source);

}  // namespace kinetra::cli
