// The built-in clip: a moving test pattern and a two-tone sound, so the plug-ins can be shown
// and tested with no media of one's own, on every build.
#pragma once

#include <cstdint>

#include "kinetra/editor/filter_host.h"
#include "kinetra/editor/frame_timing.h"

namespace kinetra::editor {

// Frame `frame` of the clip at the given size: colour bars that slide one pixel per frame,
// a luma ramp below them and a white square moving across.
void DrawSyntheticFrame(Image& image, int32_t width, int32_t height, int32_t frame);

// The clip's format. A frame's sound is the samples from FirstSample(frame) up to
// FirstSample(frame + 1), as FrameTiming rounds them.
struct SyntheticClip {
    int32_t width = 320;
    int32_t height = 180;
    int32_t frames = 48;
    int32_t frame_rate = 24;        // frames per `frame_rate_scale` seconds
    int32_t frame_rate_scale = 1;
    int32_t sampling_rate = 48000;  // samples per second per channel; the sound is stereo

    FrameTiming timing() const { return {frame_rate, frame_rate_scale, sampling_rate}; }
    int64_t FirstSample(int32_t frame) const;
    // Samples per channel of `frame`.
    int32_t SampleCount(int32_t frame) const;
};

// `count` interleaved stereo samples of the clip's sound from sample `first` on: 440 Hz on the
// left, 660 Hz on the right, a third of full scale. Integer arithmetic only, so every build
// makes the same samples.
void DrawSyntheticSound(int16_t* dest, int64_t first, int32_t count, int32_t sampling_rate);

// The demo script the host renders when it is given no input (examples/demo.txt holds the
// same text for users to copy).
extern const char kDemoScript[];

}  // namespace kinetra::editor
