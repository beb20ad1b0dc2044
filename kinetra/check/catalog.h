// The commands of both plug-ins, with their argument tables, as the checker knows them.
#pragma once

#include <vector>

#include "kinetra/check/check.h"

namespace kinetra::check {

std::vector<KnownCommand> PluginCommands();

}  // namespace kinetra::check
