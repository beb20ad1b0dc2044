// A fresh folder of the caller's own under the system's temporary folder, on every system.
#pragma once

#include <filesystem>
#include <string>

namespace kinetra::editor {

// Creates "<temporary folder>/<prefix>-<random>" that did not exist before; empty on failure.
std::filesystem::path CreatePrivateFolder(const std::string& prefix);

}  // namespace kinetra::editor
