// The sound plug-in driven frame by frame for the preview, its results kept: a range played once
// is served again at once, and a range after the last one played goes on from there rather than
// playing the edit again from frame 0.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "kinetra/editor/edit_player.h"
#include "kinetra/media/edit_source.h"

namespace kinetra::preview {

class SoundPlayer {
public:
    // Frames of `source`, which must outlive the player, through the plug-in file `plugin` with
    // `settings`; results kept up to `budget` bytes.
    SoundPlayer(const media::EditSource& source, const std::filesystem::path& plugin,
                const editor::PluginSettings& settings, size_t budget);
    ~SoundPlayer();

    bool Load(std::string& error);
    // The plug-in's result for frames first..last, interleaved, as a render gives it: played in
    // order from frame 0, or, for a script that keeps nothing (`stateless`), each frame alone.
    bool Play(int32_t first, int32_t last, bool stateless, std::vector<int16_t>& samples, std::string& error);
    // Frames the plug-in has run, for a look at what playing cost.
    int64_t frames_run() const { return frames_run_; }

private:
    // Runs `frame` through the plug-in into `samples`, and keeps them.
    bool Run(int32_t frame, std::vector<int16_t>& samples, std::string& error);
    void Keep(int32_t frame, std::vector<int16_t> samples);

    const media::EditSource& source_;
    editor::EditShape shape_;
    editor::EditPlayer player_;
    std::vector<int16_t> all_;  // a frame of every channel of the track, reused
    int32_t next_in_order_ = -1;  // the frame the plug-in runs next in order; -1 when out of it
    std::map<int32_t, std::vector<int16_t>> kept_;
    size_t kept_bytes_ = 0, budget_;
    int64_t frames_run_ = 0;
};

}  // namespace kinetra::preview
