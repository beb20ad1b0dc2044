// What render decides on the input's side beyond the options' types: the script it names in
// messages, and what it does when the plug-ins ask for a longer edit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "kinetra/editor/edit_player.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/media/pipeline.h"

namespace kinetra::cli {

// Frames a script may lengthen the edit to without --max-frames: an hour at 30 fps.
constexpr int64_t kDefaultMaxFrames = 108000;

// The script the plug-ins read, as render names it in messages.
struct ScriptFile {
    std::string name;            // as the user knows it: "animation.txt", "fx.txt", "the demo script"
    std::filesystem::path path;  // empty for the built-in demo
    std::string Read() const;    // its text now
};

// animation.txt beside `input`, the file --script names, or the built-in demo without an input.
ScriptFile ScriptFor(const std::string& input, const std::string& script);

// Takes a lengthening up to `max_frames` with one notice line naming the script line, and
// refuses one past it with a message that says how to allow it.
std::function<bool(const editor::Lengthening&, std::string& error)> LengthenUpTo(const ScriptFile& script,
                                                                                 int64_t max_frames);

// One notice line for each change the sound of `input` undergoes on its way to the plug-ins: a
// sampling rate other than its own, channels mixed to stereo, a part past the last picture cut.
void TellSoundFormat(const std::string& input, const media::EditSource& source);

// The warning for a source that stopped decoding before its end (a truncated file), if it did.
void TellDecodingStopped(const std::string& input, const media::EditSource& source, const media::RenderSummary& summary);

// The frames a render runs, as --start, --end and --frame give them (empty: not given).
struct Trim {
    std::string start;  // the first frame written: a time (2.5, 1:02.5, 00:01:02.5) or a frame (150f)
    std::string end;    // where writing stops, that frame not included: the same forms
    std::string duration;  // how long writing goes on from `start`, instead of `end`: a time or a frame count
    std::string frame;  // one frame alone: a frame number (150) or a time (2.5s); the frames before it run unwritten
};

// Sets the frames of `settings` for an edit of `format`; false with `error` set when a position
// is malformed or out of order (`usage` then set: a usage error) or lies outside the input.
bool ApplyTrim(const Trim& trim, const media::EditFormat& format, media::RenderSettings& settings, std::string& error,
               bool& usage);

}  // namespace kinetra::cli
