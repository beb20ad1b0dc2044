#include "tests/support/plugin_harness.h"

#include <chrono>
#include <filesystem>

namespace kinetra::testing {

PluginHarness::PluginHarness(GetFilterTableFn get_table) : host(editor::FilterHost::Attach(get_table)) {
    host->edited_path = (folder.path() / "clip.avi").string();
    SetScript("");
}

PluginHarness::~PluginHarness() { host->Exit(); }

void PluginHarness::SetScript(const std::string& text) {
    folder.Write("animation.txt", text);
    // Every version gets a write time of its own, and the clock a new second to look in.
    std::filesystem::last_write_time(
        folder.path() / "animation.txt",
        std::filesystem::file_time_type::clock::now() + std::chrono::seconds(++version_));
    ++platform.second;
}

}  // namespace kinetra::testing
