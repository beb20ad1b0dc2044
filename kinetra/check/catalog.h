// The commands of both plug-ins, with their argument tables, and the variable track bars, as
// the checker and the help know them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "kinetra/check/check.h"

namespace kinetra::check {

// In each plug-in's dispatch order, the picture commands first.
std::span<const KnownCommand> PluginCommands();
// The first of them named `name`, as the plug-ins dispatch; null if none.
const KnownCommand* FindPluginCommand(std::string_view name);

// The variable track bars' letters, range and defaults, as "a b c d u v x y z (0..4096;
// default 0, x y z 2048)".
std::string VariableTrackBars();

}  // namespace kinetra::check
