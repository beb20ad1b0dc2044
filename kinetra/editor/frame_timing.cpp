#include "kinetra/editor/frame_timing.h"

namespace kinetra::editor {
namespace {

// floor(numerator / denominator) for a positive denominator.
int64_t FloorDivide(int64_t numerator, int64_t denominator) {
    const int64_t quotient = numerator / denominator;
    return quotient * denominator > numerator ? quotient - 1 : quotient;
}

}  // namespace

int64_t FrameTiming::FirstSample(int32_t frame) const {
    if (frame_rate <= 0 || frame_rate_scale <= 0 || sampling_rate <= 0) return 0;
    // round(frame × rate × scale / frame_rate), halves up, as floor((2 × product + fr) / 2fr)
    constexpr int64_t kLimit = int64_t{1} << 62;
    int64_t product;
    if (__builtin_mul_overflow(int64_t{frame}, int64_t{sampling_rate}, &product) ||
        __builtin_mul_overflow(product, int64_t{frame_rate_scale}, &product) || product >= kLimit ||
        product <= -kLimit) {
        return frame < 0 ? -kLimit : kLimit;
    }
    return FloorDivide(2 * product + frame_rate, int64_t{frame_rate} * 2);
}

int32_t FrameTiming::SampleCount(int32_t frame) const {
    if (frame == INT32_MAX) return 0;
    const int64_t count = FirstSample(frame + 1) - FirstSample(frame);
    return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

}  // namespace kinetra::editor
