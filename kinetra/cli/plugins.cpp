#include "kinetra/cli/plugins.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "kinetra/check/encoding.h"
#include "kinetra/editor/synthetic.h"

namespace kinetra::cli {
namespace fs = std::filesystem;

fs::path DefaultPluginFolder() {
    std::error_code failed;
    const fs::path folder = fs::read_symlink("/proc/self/exe", failed).parent_path();
    // The build tree holds the program and the plug-ins side by side.
    if (fs::exists(folder / "dizorud.auf", failed)) return folder;
    // Installed, they sit at a fixed path from the program, wherever the tree was unpacked. Never
    // the folder of a build elsewhere: an installed program runs the plug-ins it came with.
    return (folder / KINETRA_INSTALLED_PLUGIN_DIR).lexically_normal();
}

bool FindPlugins(const std::string& folder, fs::path& picture, fs::path& sound, std::string& error) {
    const fs::path in = folder.empty() ? DefaultPluginFolder() : fs::path(folder);
    picture = in / "dizorud.auf";
    sound = in / "dizorud_audio.auf";
    for (const fs::path& file : {picture, sound}) {
        std::error_code failed;
        if (!fs::is_regular_file(file, failed)) {
            error = "plug-in " + file.string() + " is missing";
            return false;
        }
    }
    return true;
}

std::string PresentScript(const editor::ScriptFolder& folder, const std::string& script, const std::string& clip_name) {
    const bool made = script.empty() ? folder.Write(editor::kDemoScript) : folder.Link(script);
    return folder.ok() && made ? folder.EditedPath(clip_name) : std::string();
}

std::string UnreadableFile(const std::string& path) {
    if (path.empty() || path.find('%') != std::string::npos) return {};
    if (path == "-" || path.rfind("pipe:", 0) == 0) return path + ": standard input cannot be read: give a file";
    std::error_code failed;
    if (fs::is_directory(path, failed)) return path + ": is a folder, not a file";
    // A file is read more than once: probed for every frame first, a script reloaded when saved.
    const fs::file_type type = fs::status(path, failed).type();
    if (type == fs::file_type::fifo || type == fs::file_type::socket || type == fs::file_type::character) {
        return path + ": is a pipe or a device, which can be read only once: save it to a file first";
    }
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return path + ": " + strerror(errno);
    fclose(file);
    return {};
}

std::string ShiftJisToUtf8(const char* text) { return text ? check::ShiftJisToUtf8(text) : ""; }

}  // namespace kinetra::cli
