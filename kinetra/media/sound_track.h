// A file's sound as the edit hands it to the sound plug-in: the first audio stream decoded
// whole, at its own rate or resampled to the one asked for, mixed down to stereo when it has more
// channels (or kept whole, on request), as interleaved signed 16-bit samples whose sample 0 is the
// edit's time 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kinetra::media {

// How a file's sound is handed over: at its own rate unless `sampling_rate` is set; more than two
// channels mixed to stereo, or kept as they are when `keep_channels`.
struct SoundFormat {
    int32_t sampling_rate = 0;
    bool keep_channels = false;
};

class SoundTrack {
public:
    // Reads the first audio stream of `path`; sample 0 is the sound's own start. False with
    // `error` set when there is no sound or it cannot be decoded; `error` stays empty when the
    // file simply has no audio stream.
    bool Open(const std::string& path, const SoundFormat& format, std::string& error);
    // Puts sample 0 at the edit's time `origin`, in AV_TIME_BASE units: sound before it is
    // dropped, a later start is preceded by silence.
    void Align(int64_t origin);
    // A track of `samples` samples per channel made by the caller.
    void Assign(int32_t sampling_rate, int channels, std::vector<int16_t> samples);

    int32_t sampling_rate() const { return sampling_rate_; }
    int channels() const { return channels_; }
    // Where the channels play, as FFmpeg's channel mask: the source's own when its channels are
    // kept; 0 where it has none, for the usual layout of the count.
    uint64_t channel_mask() const { return channel_mask_; }
    int64_t length() const { return channels_ ? static_cast<int64_t>(samples_.size()) / channels_ : 0; }
    const std::string& description() const { return description_; }  // the source's codec, rate, layout
    int32_t source_rate() const { return source_rate_; }
    int source_channels() const { return source_channels_; }

    // `count` samples per channel from sample `first` on into `dest`; silence outside the track.
    void Read(int64_t first, int32_t count, int16_t* dest) const;

private:
    int32_t sampling_rate_ = 48000;
    int channels_ = 0;
    uint64_t channel_mask_ = 0;
    std::vector<int16_t> samples_;
    std::string description_;
    int32_t source_rate_ = 0;
    int source_channels_ = 0;
    int64_t start_ = INT64_MIN;  // sample 0's time in AV_TIME_BASE units, when it has one
};

}  // namespace kinetra::media
