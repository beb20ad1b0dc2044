// One render of an edit through both plug-ins: the picture of every frame through the picture
// plug-in, its sound through the sound plug-in, the results to the output. A decoding thread
// and an encoding thread run around the frame loop, so that with an empty script the codecs
// set the pace.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "kinetra/editor/edit_player.h"
#include "kinetra/editor/session.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/media/writer.h"

namespace kinetra::media {

struct RenderSettings {
    std::filesystem::path picture_plugin;  // dizorud.auf
    std::filesystem::path sound_plugin;    // dizorud_audio.auf
    editor::PluginSettings plugins;          // the same for both; the edited path included
    OutputSettings output;                 // its path, preset, crf and codec choice; the rest follows the edit
    const std::atomic<bool>* stop = nullptr;  // when set, the render ends as failed
    // The frames run: the plug-ins see the edit's own numbers from `first_frame` on (as when the
    // editor's playback starts mid-clip), through `last_frame` (-1: the edit's end, lengthening
    // included); those before `written_from` run through the plug-ins without being written.
    int32_t first_frame = 0;
    int32_t last_frame = -1;
    int32_t written_from = 0;
    // Asked before the plug-ins lengthen the edit; false refuses it and fails the render.
    std::function<bool(const editor::Lengthening&, std::string& error)> lengthen;
    // Called on the frame loop's thread after every frame, with the edit's current length.
    std::function<void(int32_t frame, int32_t frame_count)> progress;
};

// Where a partly readable source stopped decoding: the first frame not decoded, and why.
struct DecodeEnd {
    int32_t frame = -1;  // -1: every frame decoded
    std::string error;
};

struct RenderSummary {
    int32_t frames = 0;          // written (SetEditLength may have lengthened the edit)
    int64_t samples = 0;         // per channel, written
    std::string codecs;
    DecodeEnd decoding_stopped;
};

// The edit the plug-ins are handed for `source`.
editor::EditShape ShapeOf(const EditSource& source);

bool RenderEdit(const EditSource& source, const RenderSettings& settings, RenderSummary& summary,
                std::string& error);

}  // namespace kinetra::media
