// Where the program finds the plug-in files and the files it is given, and the plug-ins' texts for
// the terminal.
#pragma once

#include <filesystem>
#include <string>

#include "kinetra/editor/session.h"

namespace kinetra::cli {

// The folder holding dizorud.auf and dizorud_audio.auf: the program's own folder when they are
// there (a build tree), else the installed plug-in folder beside the program's.
std::filesystem::path DefaultPluginFolder();

// The two plug-in files in `folder` (empty: the default folder); false with `error` set when
// either is missing.
bool FindPlugins(const std::string& folder, std::filesystem::path& picture, std::filesystem::path& sound,
                 std::string& error);

// The edited path QueryEditFile reports when the script is not the animation.txt beside the
// input: `script` (or, without one, the built-in demo script) presented as animation.txt in
// `folder`, beside a file named `clip_name`. Empty when the folder cannot take it.
std::string PresentScript(const editor::ScriptFolder& folder, const std::string& script, const std::string& clip_name);

// Why a file named on the command line cannot be read, or nothing when it can or none is named.
// A missing input is work that fails (status 1), no usage error, so the command tells it rather
// than the option parser. A picture sequence's pattern (img%03d.png) names no file of its own.
std::string UnreadableFile(const std::string& path);

// A Shift-JIS text of a plug-in (names, information) as UTF-8, by the one conversion scripts
// take too.
std::string ShiftJisToUtf8(const char* text);

}  // namespace kinetra::cli
