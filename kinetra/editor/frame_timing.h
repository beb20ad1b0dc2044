// Where each frame's sound begins: every frame boundary is rounded from its exact time, so over a
// whole edit no sample is lost or doubled however long it runs (24 fps at 48 kHz: 2000 samples a
// frame; 30000/1001 fps: 1601 or 1602).
#pragma once

#include <cstdint>

namespace kinetra::editor {

struct FrameTiming {
    int32_t frame_rate = 24;        // frames per `frame_rate_scale` seconds
    int32_t frame_rate_scale = 1;
    int32_t sampling_rate = 48000;  // samples per second per channel

    // Index of the first sample of `frame` (frames before 0 count back from 0). Exact while
    // |frame × sampling_rate × frame_rate_scale| stays below 2^62, which any edit does.
    int64_t FirstSample(int32_t frame) const;
    // Samples per channel of `frame`.
    int32_t SampleCount(int32_t frame) const;
};

}  // namespace kinetra::editor
