#include "kinetra/editor/session.h"

#include <fstream>

#include "kinetra/editor/private_folder.h"

namespace kinetra::editor {
namespace fs = std::filesystem;

ScriptFolder::ScriptFolder() : path_(CreatePrivateFolder("kinetra-render")) {}

ScriptFolder::~ScriptFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
}

bool ScriptFolder::Write(const std::string& script) const {
    if (path_.empty()) return false;
    std::ofstream out(path_ / "animation.txt", std::ios::binary);
    out << script;
    return static_cast<bool>(out.flush());
}

bool ScriptFolder::Link(const fs::path& script) const {
    if (path_.empty()) return false;
    std::error_code error;
    const fs::path target = fs::absolute(script, error);
    if (error) return false;
    fs::create_symlink(target, path_ / "animation.txt", error);
    return !error;
}

std::string ScriptFolder::EditedPath(const std::string& file_name) const {
    return (path_ / file_name).string();
}

bool LoadedPlugin::Load(const fs::path& file, const PluginSettings& settings, std::string& error) {
    file_ = file.string();
    host_ = FilterHost::Load(file_, error);
    if (!host_) return false;
    host_->edited_path = settings.edited_path;
    host_->sampling_rate = settings.sampling_rate;
    const FilterTable& table = host_->description();
    for (int t = 0; t < KINETRA_TRACK_COUNT && t < table.track_count; ++t) {
        if (!settings.tracks[t]) continue;
        const int32_t value = *settings.tracks[t];
        if (value < table.track_minimums[t] || value > table.track_maximums[t]) {
            const std::string& option = settings.track_options[t];
            error = (option.empty() ? "track " + std::to_string(t) + " " : option) + std::to_string(value) +
                    ": outside " + std::to_string(table.track_minimums[t]) + ".." +
                    std::to_string(table.track_maximums[t]);
            host_.reset();
            return false;
        }
        host_->tracks[t] = value;
    }
    host_->UpdateSettings();
    return true;
}

bool LoadedPlugin::Unload(std::string& error) {
    if (!host_) return true;
    host_->Exit();
    host_.reset();
    if (FilterHost::IsLoaded(file_)) {
        error = "plug-in " + file_ + " stayed loaded after ExitFilter and unloading";
        return false;
    }
    return true;
}

LoadedPlugin::~LoadedPlugin() {
    if (host_) host_->Exit();
}

}  // namespace kinetra::editor
