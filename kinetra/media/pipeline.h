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

#include "kinetra/lib/session.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/media/writer.h"

namespace kinetra::media {

struct RenderSettings {
    std::filesystem::path picture_plugin;  // dizorud.auf
    std::filesystem::path sound_plugin;    // dizorud_audio.auf
    editor::PluginSettings plugins;          // the same for both; the edited path included
    OutputSettings output;                 // its path, preset, crf and codec choice; the rest follows the edit
    const std::atomic<bool>* stop = nullptr;  // when set, the render ends as failed
    // Called on the frame loop's thread after every frame, with the edit's current length.
    std::function<void(int32_t frame, int32_t frame_count)> progress;
};

struct RenderSummary {
    int32_t frames = 0;          // the edit's length at the end (SetEditLength may lengthen it)
    int64_t samples = 0;         // per channel, written
    int64_t fetch_decodes = 0;   // frames decoded for FetchFrameImage rather than found
    std::string codecs;
};

bool RenderEdit(const EditSource& source, const RenderSettings& settings, RenderSummary& summary,
                std::string& error);

}  // namespace kinetra::media
