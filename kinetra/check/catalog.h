// The commands of both plug-ins, with their argument tables, and the variable track bars, as
// the checker and the help know them.
#pragma once

#include <string>
#include <vector>

#include "kinetra/check/check.h"

namespace kinetra::check {

std::vector<KnownCommand> PluginCommands();

// The variable track bars' letters, range and defaults, as "a b c d u v x y z (0..4096;
// default 0, x y z 2048)".
std::string VariableTrackBars();

}  // namespace kinetra::check
