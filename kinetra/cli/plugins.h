// Where the program finds the plug-in files, and their texts for the terminal.
#pragma once

#include <filesystem>
#include <string>

namespace kinetra::cli {

// The folder holding dizorud.auf and dizorud_audio.auf: the program's own folder when they are
// there (a build tree), else the installed plug-in folder beside the program's.
std::filesystem::path DefaultPluginFolder();

// A Shift-JIS text of a plug-in (names, information) as UTF-8, by the one conversion scripts
// take too.
std::string ShiftJisToUtf8(const char* text);

}  // namespace kinetra::cli
