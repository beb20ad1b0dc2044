// The kernels of a_copyframe2: where each sample frame of a span played into a frame comes from,
// and the stereo copy that gathers them. A table each (kernels/table.h).
#pragma once

#include <algorithm>
#include <cstdint>

#include "audio/kernels/count_division.h"
#include "kernels/table.h"

namespace kinetra::audio {

// The span from s over d frames played into n sample frames: sample frame i comes from sample
// frame l of frame g, where t = s + (i x d) / n, g = floor(t) and l = floor((t - g) x n).
struct SpanPositions {
    double s, d, n;
    int32_t last;  // n - 1

    double At(int32_t i) const { return s + (double(i) * d) / n; }
    // floor(t), which lies in 32 bits: truncation, one less below zero between whole numbers.
    int32_t FrameAt(int32_t i) const {
        const double t = At(i);
        return static_cast<int32_t>(t) - (t < static_cast<int32_t>(t) ? 1 : 0);
    }
    // (t - g) x n can round up to n: the last sample frame is the nearest earlier one then.
    int32_t SampleAt(double t, double g) const { return std::min(static_cast<int32_t>((t - g) * n), last); }
    // The numerators i x d stay where the division-free quotient is exact.
    bool QuotientWithoutDivider() const { return d >= kSmallestDividend && d * n <= kLargestDividend; }
};

// The sample frames l for positions first .. first + count - 1, all of frame `frame`.
using RunSamplesForm = void (*)(const SpanPositions& span, int32_t frame, int32_t first, int32_t count,
                                int32_t* samples);
extern const KernelTable<RunSamplesForm> kRunSamples;

// Stereo sample frame k of `to` takes sample frame samples[k] of `sound`, for k < count; no
// sample frame from `sound_frames` on is read.
using CopyStereoForm = void (*)(const int32_t* samples, int32_t count, const int16_t* sound, int32_t sound_frames,
                                int16_t* to);
extern const KernelTable<CopyStereoForm> kCopyStereo;

}  // namespace kinetra::audio
