#include "kinetra/cli/plugins.h"

#include <system_error>

#include "kinetra/check/encoding.h"

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

std::string ShiftJisToUtf8(const char* text) { return text ? check::ShiftJisToUtf8(text) : ""; }

}  // namespace kinetra::cli
