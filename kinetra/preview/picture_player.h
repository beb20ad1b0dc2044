// The picture plug-in driven one frame at a time, as the editor drives it while the user
// moves through an edit: any frame, in any order, on whatever state the plug-in holds.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "kinetra/lib/session.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/media/frame_cache.h"

namespace kinetra::preview {

class PicturePlayer {
public:
    // Frames of `source`, which must outlive the player.
    explicit PicturePlayer(const media::EditSource& source) : source_(source) {}

    // Loads the plug-in afresh (unloading it first when loaded): its first state.
    bool Load(const std::filesystem::path& plugin, const editor::PluginSettings& settings, std::string& error);
    // Moves the track bars, as the editor does when the user drags one.
    void SetTracks(const std::array<int32_t, KINETRA_TRACK_COUNT>& tracks);
    // Runs `frame` of the edit through the plug-in into `result` (the edit's size; what lies
    // outside the shown size is black).
    bool Run(int32_t frame, editor::Image& result, std::string& error);
    // The edit's own picture at `frame`.
    bool Source(int32_t frame, editor::Image& picture, std::string& error);
    // The plug-in's own description, and the track values it was given.
    const FilterTable& description() { return plugin_.host().description(); }
    const std::array<int32_t, KINETRA_TRACK_COUNT>& tracks() { return plugin_.host().tracks; }
    // The frame the plug-in runs next when the edit is played in order from its first state
    // (-1 once a frame was run out of that order).
    int32_t next_in_order() const { return next_in_order_; }

private:
    const media::EditSource& source_;
    std::filesystem::path plugin_file_;
    std::unique_ptr<media::FrameCache> cache_;
    editor::LoadedPlugin plugin_;
    editor::Image scratch_;
    int32_t next_in_order_ = 0;
};

}  // namespace kinetra::preview
