// What one render needs around the plug-ins: a private folder that presents a script as
// "animation.txt", and a plug-in loaded, set up and exited as the editor does it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "kinetra/editor/filter_host.h"

namespace kinetra::editor {

// A private folder, removed with everything in it when the object goes.
class ScriptFolder {
public:
    ScriptFolder();
    ~ScriptFolder();
    ScriptFolder(const ScriptFolder&) = delete;
    ScriptFolder& operator=(const ScriptFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    // Writes `script` as the folder's animation.txt.
    bool Write(const std::string& script) const;
    // Makes the folder's animation.txt a link to `script`, so that the plug-ins see every save
    // of that file (its last-write time is the file's own).
    bool Link(const std::filesystem::path& script) const;
    // A file of this name in the folder, for QueryEditFile: the plug-ins look beside it.
    std::string EditedPath(const std::string& file_name) const;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The settings the editor gives a plug-in before its first frame.
struct PluginSettings {
    std::string edited_path;        // QueryEditFile's path
    int32_t sampling_rate = 48000;  // QueryEditFile's audio rate
    // Track values that differ from the plug-in's defaults, and the options that gave them as
    // the user wrote them up to the value ("--threads ", "--var a="), for the message when a
    // value lies outside the plug-in's range.
    std::array<std::optional<int32_t>, KINETRA_TRACK_COUNT> tracks;
    std::array<std::string, KINETRA_TRACK_COUNT> track_options;
};

// A plug-in loaded for one run. Exit and unload at the end are part of the run: the next run
// must find the plug-in in its first state, so one that stays loaded is an error.
class LoadedPlugin {
public:
    LoadedPlugin() = default;
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // Loads `file`, sets the tracks and calls UpdateSettings; false with `error` set when the
    // file is no plug-in or a track value lies outside the plug-in's range.
    bool Load(const std::filesystem::path& file, const PluginSettings& settings, std::string& error);
    bool Unload(std::string& error);
    bool loaded() const { return host_ != nullptr; }
    FilterHost& host() { return *host_; }

private:
    std::string file_;
    std::unique_ptr<FilterHost> host_;
};

}  // namespace kinetra::editor
