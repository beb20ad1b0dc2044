// Conversion between the buffers' y, cb, cr and R, G, B.
#pragma once

#include <algorithm>
#include <cstdint>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"
#include "script/arguments.h"
#include "video/pixels.h"

namespace kinetra::video {

// Colour conversion: BT.601 coefficients rounded to three decimals, in double precision, each
// result truncated toward zero. The order of the terms is fixed; it decides the last bit.

struct RGB {
    int32_t r, g, b;
};

struct ComponentSums {
    double a, b, c;
};
// R, G, B before truncation. Components are 16 bits, so each sum lies within +-2^17.
inline ComponentSums RGBSums(double y, double cb, double cr) {
    return {y + 1.402 * cr, y - 0.344 * cb - 0.714 * cr, y + 1.772 * cb};
}
// y, cb, cr before scaling and truncation.
inline ComponentSums YCSums(double r, double g, double b) {
    return {(0.587 * g + 0.299 * r) + 0.114 * b, 0.5 * b - (0.331 * g + 0.169 * r),
            (0.5 * r - 0.419 * g) - 0.081 * b};
}

// Not clamped: the result is on the luma scale (0..4096 for nominal colours).
inline RGB YCToRGB(const PixelYC& p) {
    const ComponentSums s = RGBSums(p.y, p.cb, p.cr);
    return {TruncateToInt32(s.a), TruncateToInt32(s.b), TruncateToInt32(s.c)};
}

// Each sum is multiplied by `scale` before truncation: 1.0 for values on the luma scale,
// 1/4096 for values a command scaled by 4096. Stored as low 16 bits.
inline PixelYC RGBToYC(double r, double g, double b, double scale = 1.0) {
    const ComponentSums s = YCSums(r, g, b);
    return {Low16(TruncateToInt32(s.a * scale)), Low16(TruncateToInt32(s.b * scale)),
            Low16(TruncateToInt32(s.c * scale))};
}

constexpr double kInverse4096 = 1.0 / 4096.0;  // 0.000244140625, exact

// The same conversions for a run of pixels at a time, kernel tables (kernels/table.h); the
// commands that work on R, G, B go through these.
constexpr int32_t kColourBlock = 256;
struct RGBBlock {
    int32_t r[kColourBlock], g[kColourBlock], b[kColourBlock];
};

// R, G, B of `count` pixels, at most kColourBlock.
using ToRGBForm = void (*)(const PixelYC* pixels, int32_t count, RGBBlock& out);
extern const KernelTable<ToRGBForm> kToRGB;
inline void ToRGB(const PixelYC* pixels, int32_t count, RGBBlock& out) { kToRGB(pixels, count, out); }

// RGBToYC of the first `count` entries. Every scaled sum must lie inside the 32-bit range,
// which holds for any 32-bit R, G, B when scale is at most 1/2 and for |R|, |G|, |B| < 2^30
// when it is 1.
using ToYCForm = void (*)(const RGBBlock& in, int32_t count, double scale, PixelYC* pixels);
extern const KernelTable<ToYCForm> kToYC;
inline void ToYC(const RGBBlock& in, int32_t count, double scale, PixelYC* pixels) { kToYC(in, count, scale, pixels); }

// work(block, offset, count) for each run of at most kColourBlock pixels of a row, the block
// holding R, G, B of pixels[offset .. offset + count).
template <typename Work>
void ForEachRGBBlock(const PixelYC* pixels, int32_t count, Work&& work) {
    RGBBlock block;
    for (int32_t offset = 0; offset < count; offset += kColourBlock) {
        const int32_t n = std::min(kColourBlock, count - offset);
        ToRGB(pixels + offset, n, block);
        work(block, offset, n);
    }
}

}  // namespace kinetra::video
