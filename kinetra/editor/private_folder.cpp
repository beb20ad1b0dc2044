#include "kinetra/editor/private_folder.h"

#include <cstdio>
#include <random>

namespace kinetra::editor {

std::filesystem::path CreatePrivateFolder(const std::string& prefix) {
    std::error_code error;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) return {};
    std::random_device entropy;
    std::mt19937_64 names((uint64_t{entropy()} << 32) ^ entropy());
    // create_directory reports false for a folder that exists: another process's, never reused.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[20];
        snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(names()));
        const std::filesystem::path folder = temporary / (prefix + "-" + suffix);
        if (std::filesystem::create_directory(folder, error)) return folder;
        if (error) return {};
    }
    return {};
}

}  // namespace kinetra::editor
