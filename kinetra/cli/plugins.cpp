#include "kinetra/cli/plugins.h"

#include <system_error>

#include "kinetra/check/encoding.h"

namespace kinetra::cli {
namespace fs = std::filesystem;

fs::path DefaultPluginFolder() {
    std::error_code failed;
    const fs::path self = fs::read_symlink("/proc/self/exe", failed);
    if (!failed && fs::exists(self.parent_path() / "dizorud.auf", failed)) return self.parent_path();
    return KINETRA_PLUGIN_DIR;
}

std::string ShiftJisToUtf8(const char* text) { return text ? check::ShiftJisToUtf8(text) : ""; }

}  // namespace kinetra::cli
