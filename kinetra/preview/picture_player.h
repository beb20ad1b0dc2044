// The picture plug-in driven one frame at a time through the editor's frame loop, as the editor
// drives it while the user moves through an edit: any frame, in any order, on whatever state
// the plug-in holds.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "kinetra/editor/edit_player.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/media/frame_cache.h"

namespace kinetra::preview {

using TrackValues = std::array<int32_t, KINETRA_TRACK_COUNT>;

class PicturePlayer {
public:
    // Frames of `source`, which must outlive the player, through the plug-in file `plugin`.
    PicturePlayer(const media::EditSource& source, const std::filesystem::path& plugin,
                  const editor::PluginSettings& settings);

    // The plug-in in its first state, to play from frame 0.
    bool Reload(std::string& error);
    // Moves the track bars that differ, as the editor does when the user drags one.
    bool SetTracks(const TrackValues& tracks, std::string& error);
    // Runs `frame` of the edit through the plug-in into `result` (the edit's size; what lies
    // outside the shown size is black).
    bool Run(int32_t frame, editor::Image& result, std::string& error);
    // The edit's own picture at `frame`; black past the clip's end.
    bool Source(int32_t frame, editor::Image& picture, std::string& error);
    // The frame the plug-in runs next when the edit is played in order from its first state
    // (-1 once a frame was run out of that order).
    int32_t next_in_order() const { return next_in_order_; }

private:
    const media::EditSource& source_;
    std::unique_ptr<media::FrameCache> cache_;
    editor::EditPlayer player_;
    TrackValues tracks_{};
    int32_t next_in_order_ = -1;
};

}  // namespace kinetra::preview
