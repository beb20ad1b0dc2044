// What the host hands the plug-ins for one edit: its pictures, by frame number, and its sound.
// A file's come from FFmpeg's decoders; the built-in clip's are drawn.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kinetra/editor/filter_host.h"
#include "kinetra/editor/synthetic.h"
#include "kinetra/media/sound_track.h"
#include "kinetra/media/video_decoder.h"

namespace kinetra::media {

// Reads the edit's pictures; each reader decodes on its own, so two threads may use two.
class PictureReader {
public:
    virtual ~PictureReader() = default;
    // The frames before the one read whose pictures a reader decodes on its way to it, back to
    // `lookback` frames: `image(frame)` gives an image to fill with that frame, or null to pass it.
    struct Earlier {
        int32_t lookback = 0;
        std::function<editor::Image*(int32_t frame)> image;
    };
    // Frame `frame` (0..frame_count - 1) into `dest`, an image of the edit's size.
    virtual bool Read(int32_t frame, editor::Image& dest, std::string& error, const Earlier& earlier) = 0;
};

struct EditFormat {
    bool has_pictures = false;
    int width = 0;
    int height = 0;
    AVRational frame_rate{30, 1};
    int32_t frame_count = 0;
    VideoFormat video;       // a file's picture format (its colour, its codec, its stored size)
    int rotation = 0;        // clockwise degrees the pictures are turned by on their way in
    bool has_sound = false;  // the sound is `sound` of the source
};

class EditSource {
public:
    virtual ~EditSource() = default;
    const EditFormat& format() const { return format_; }
    const SoundTrack& sound() const { return sound_; }
    // The path QueryEditFile reports: the plug-ins look for the script beside it.
    const std::string& edited_path() const { return edited_path_; }
    virtual std::unique_ptr<PictureReader> NewReader(std::string& error) const = 0;

protected:
    EditFormat format_;
    SoundTrack sound_;
    std::string edited_path_;
};

// How a file becomes an edit: its sound's format, and whether its pictures are turned as its
// display matrix says, as players show them (the plug-ins then see the shown size).
struct SourceOptions {
    SoundFormat sound;
    bool autorotate = true;
};

// A file FFmpeg reads: video with or without sound, or sound alone (then the edit has
// `sound_only_rate` frames per second, enough of them to hold the whole sound).
std::unique_ptr<EditSource> OpenFileSource(const std::string& path, const SourceOptions& options,
                                           AVRational sound_only_rate, std::string& error);

// The built-in clip at the size, length and rate of `clip`, BT.709 limited range on output.
std::unique_ptr<EditSource> MakeSyntheticSource(const editor::SyntheticClip& clip, const std::string& edited_path);

}  // namespace kinetra::media
