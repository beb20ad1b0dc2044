// Conversion between the buffers' y, cb, cr and R, G, B.
#pragma once

#include <cstdint>

#include "kinetra/filter_abi.h"
#include "script/arguments.h"
#include "video/pixels.h"

namespace kinetra::video {

// Colour conversion: BT.601 coefficients rounded to three decimals, in double precision, each
// result truncated toward zero. The order of the terms is fixed; it decides the last bit.

struct RGB {
    int32_t r, g, b;
};

// Not clamped: the result is on the luma scale (0..4096 for nominal colours).
inline RGB YCToRGB(const PixelYC& p) {
    const double y = p.y, cb = p.cb, cr = p.cr;
    return {TruncateToInt32(y + 1.402 * cr), TruncateToInt32(y - 0.344 * cb - 0.714 * cr),
            TruncateToInt32(y + 1.772 * cb)};
}

// Each sum is multiplied by `scale` before truncation: 1.0 for values on the luma scale,
// 1/4096 for values a command scaled by 4096. Stored as low 16 bits.
inline PixelYC RGBToYC(double r, double g, double b, double scale = 1.0) {
    const double y = ((0.587 * g + 0.299 * r) + 0.114 * b) * scale;
    const double cb = (0.5 * b - (0.331 * g + 0.169 * r)) * scale;
    const double cr = ((0.5 * r - 0.419 * g) - 0.081 * b) * scale;
    return {Low16(TruncateToInt32(y)), Low16(TruncateToInt32(cb)), Low16(TruncateToInt32(cr))};
}

constexpr double kInverse4096 = 1.0 / 4096.0;  // 0.000244140625, exact

}  // namespace kinetra::video
