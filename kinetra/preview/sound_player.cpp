#include "kinetra/preview/sound_player.h"

#include <algorithm>
#include <exception>

#include "kinetra/media/pipeline.h"

namespace kinetra::preview {
namespace {

editor::EditShape SoundOf(const media::EditSource& source) {
    editor::EditShape shape = media::ShapeOf(source);
    shape.pictures = false;  // the pictures play on their own
    return shape;
}

}  // namespace

SoundPlayer::SoundPlayer(const media::EditSource& source, const std::filesystem::path& plugin,
                         const editor::PluginSettings& settings, size_t budget)
    : source_(source), shape_(SoundOf(source)), player_(shape_, {{}, plugin, settings}), budget_(budget) {
    // The plug-in sees two channels at most: the first of the track's.
    player_.frame_audio = [this](int32_t frame, int16_t* dest) {
        const media::SoundTrack& track = source_.sound();
        const int channels = track.channels();
        const int32_t count = shape_.timing.SampleCount(frame);
        all_.resize(static_cast<size_t>(count) * channels);
        track.Read(shape_.timing.FirstSample(frame), count, all_.data());
        for (int32_t i = 0; i < count; ++i) {
            std::copy_n(&all_[static_cast<size_t>(i) * channels], shape_.channels, dest + static_cast<size_t>(i) * shape_.channels);
        }
        return count;
    };
}

SoundPlayer::~SoundPlayer() {
    std::string ignored;
    player_.Unload(ignored);
}

bool SoundPlayer::Load(std::string& error) {
    if (!player_.Load(error)) return false;
    next_in_order_ = 0;
    return true;
}

void SoundPlayer::Keep(int32_t frame, std::vector<int16_t> samples) {
    kept_bytes_ += samples.size() * sizeof(int16_t);
    kept_[frame] = std::move(samples);
    // The earliest go first: a page plays forward.
    while (kept_bytes_ > budget_ && kept_.size() > 1) {
        kept_bytes_ -= kept_.begin()->second.size() * sizeof(int16_t);
        kept_.erase(kept_.begin());
    }
}

bool SoundPlayer::Run(int32_t frame, std::vector<int16_t>& samples, std::string& error) {
    samples.resize(static_cast<size_t>(shape_.timing.SampleCount(frame)) * shape_.channels);
    const int32_t count = player_.frame_audio(frame, samples.data());
    try {
        if (!player_.RunSound(frame, samples.data(), count, error)) return false;
    } catch (const std::exception& e) {  // a fetch that failed beyond the plug-in
        error = e.what();
        return false;
    }
    ++frames_run_;
    next_in_order_ = frame == next_in_order_ ? frame + 1 : -1;
    Keep(frame, samples);
    return true;
}

bool SoundPlayer::Play(int32_t first, int32_t last, bool stateless, std::vector<int16_t>& samples,
                       std::string& error) {
    samples.clear();
    std::vector<int16_t> made;
    for (int32_t frame = first; frame <= last; ++frame) {
        if (const auto kept = kept_.find(frame); kept != kept_.end()) {
            samples.insert(samples.end(), kept->second.begin(), kept->second.end());
            continue;
        }
        if (!stateless) {
            // The state frame - 1 left is needed: go on from where the in-order play stands, or
            // play again from frame 0.
            if (next_in_order_ < 0 || next_in_order_ > frame) {
                if (!player_.Reload(error)) return false;
                next_in_order_ = 0;
            }
            while (next_in_order_ < frame) {
                if (!Run(next_in_order_, made, error)) return false;
            }
        }
        if (!Run(frame, made, error)) return false;
        samples.insert(samples.end(), made.begin(), made.end());
    }
    return true;
}

}  // namespace kinetra::preview
