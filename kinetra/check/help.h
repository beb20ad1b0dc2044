// The reference a script's writer needs, generated from the argument tables the plug-ins read
// through: every command by family, one command's arguments, and what formulas see.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kinetra::check {

// Every command of both plug-ins by family, one line each, then what formulas see.
std::string CommandList();

// One command's arguments in order, with unit, conversion, valid range and what a 0 does,
// and a worked example; empty when no plug-in has the command.
std::string CommandHelp(std::string_view name);

// The formula functions, the operators, the variables and the track bars with their defaults.
std::string FormulaHelp();

// The worked example of each command that has one, for tests that check them.
std::vector<std::string> CommandExamples();

}  // namespace kinetra::check
