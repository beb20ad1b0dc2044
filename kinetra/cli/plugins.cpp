#include "kinetra/cli/plugins.h"

#include <iconv.h>

#include <cstring>
#include <system_error>

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

std::string ShiftJisToUtf8(const char* text) {
    if (!text) return "";
    iconv_t convert = iconv_open("UTF-8", "CP932");
    if (convert == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out;
    size_t left = strlen(text);
    char* in = const_cast<char*>(text);
    char buffer[256];
    while (left > 0) {
        char* put = buffer;
        size_t room = sizeof buffer;
        const size_t done = iconv(convert, &in, &left, &put, &room);
        out.append(buffer, put);
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            out += '?';  // skip the byte that does not convert
            ++in;
            --left;
        }
    }
    iconv_close(convert);
    return out;
}

}  // namespace kinetra::cli
