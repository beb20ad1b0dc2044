// The editor's frame loop, in one place for every host of this program (a render to a file, the
// golden renders, a live preview): both plug-ins loaded for an edit, a frame's picture and sound
// run through them as the editor hands them over, and the edit's length as the plug-ins change it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "kinetra/editor/filter_host.h"
#include "kinetra/editor/frame_timing.h"
#include "kinetra/editor/session.h"

namespace kinetra::editor {

// What the editor knows of an edit before its first frame.
struct EditShape {
    bool pictures = false;
    bool sound = false;
    int32_t width = 0;     // the picture's geometry; the sound plug-in is handed it too
    int32_t height = 0;
    FrameTiming timing;    // frame rate and sampling rate
    int32_t channels = 2;  // of the sound the plug-in sees: 1 or 2
    int32_t frames = 0;    // the edit's length before any lengthening
};

// The plug-in files and what both are given before their first frame.
struct PlayerPlugins {
    std::filesystem::path picture;  // dizorud.auf
    std::filesystem::path sound;    // dizorud_audio.auf
    PluginSettings settings;        // the edited path included; its sampling rate is the shape's
};

// A plug-in asked for the edit to reach frame `end`: from `from` frames to `end` + 1.
struct Lengthening {
    int32_t end = 0;
    int32_t from = 0;
    int64_t to = 0;
};

class EditPlayer {
public:
    EditPlayer(const EditShape& shape, const PlayerPlugins& plugins);
    EditPlayer(const EditPlayer&) = delete;
    EditPlayer& operator=(const EditPlayer&) = delete;

    // Loads the plug-ins the edit needs (the picture one when it has pictures, the sound one
    // when it has sound), their track values set, at the edit's first length.
    bool Load(std::string& error);
    // Exits and unloads both; an error when a plug-in stays loaded.
    bool Unload(std::string& error);
    // Both plug-ins in their first state and the edit at its first length, to play from frame 0.
    bool Reload(std::string& error) { return Unload(error) && Load(error); }
    // A track value changed between frames, as the editor's track bar does; false with `error`
    // set when it lies outside the plug-in's range (the value is then not taken).
    bool SetTrack(int track, int32_t value, std::string& error);

    const EditShape& shape() const { return shape_; }
    int32_t length() const { return length_; }

    // The sources of the fetch services: a source frame's picture of the edit's geometry (null
    // when there is none) and a frame's samples into `dest` with their count per channel, asked
    // for frames 0 .. shape().frames - 1 only (the frames a lengthening adds are black and
    // silent). Called
    // on the thread that runs the frame; what they throw ends that frame's run, never crosses
    // into a plug-in.
    std::function<const PixelYC*(int32_t frame)> frame_image;
    std::function<int32_t(int32_t frame, int16_t* dest)> frame_audio;
    // Asked before the edit is lengthened: false (with `error` set) refuses it and fails the
    // frame. Without it every lengthening is taken.
    std::function<bool(const Lengthening&, std::string& error)> lengthen;

    // Frame `frame`'s picture through the picture plug-in: `picture`, of the edit's geometry,
    // holds the source frame and receives the result, black outside the size it is shown at;
    // `shown`, when given, receives the record as the plug-in left it (its shown size).
    bool RunPicture(int32_t frame, Image& picture, std::string& error, FrameContext* shown = nullptr);
    // Frame `frame`'s sound, `count` interleaved samples per channel, through the sound plug-in.
    bool RunSound(int32_t frame, int16_t* samples, int32_t count, std::string& error);

private:
    bool Run(LoadedPlugin& plugin, FrameContext& context, const char* what, std::string& error);
    FrameContext Context(int32_t frame) const;

    EditShape shape_;
    PlayerPlugins plugins_;
    LoadedPlugin picture_plugin_;
    LoadedPlugin sound_plugin_;
    Image scratch_;
    Image black_;  // the picture of a frame the edit was lengthened by, made when first asked for
    int32_t length_ = 0;
};

// The shown width x height at the top left; the rest of the canvas black, as the editor shows a
// smaller result on the edit's frame.
void BlackenOutside(Image& picture, int32_t width, int32_t height);

}  // namespace kinetra::editor
