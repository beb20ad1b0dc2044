// The blend and mask kernels of alpha, alpha2, alpha3 and mkmask_rgb: a table each
// (kernels/table.h), and the per-pixel rules they and the other blending commands share.
#pragma once

#include <cstdint>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"
#include "video/color_space.h"
#include "video/pixels.h"

namespace kinetra::video {

// alpha's row: source blended over destination with opacity a, where a and 4096 - a fit 16 bits.
using BlendRowNarrowForm = void (*)(const PixelYC* source, PixelYC* destination, int32_t count, int16_t a);
extern const KernelTable<BlendRowNarrowForm> kBlendRowNarrow;

// alpha2 and alpha3's row: source blended over destination with opacity a (a and 4096 - a fit
// 16 bits) where the gate row's luma is above the threshold.
using BlendRowAboveForm = void (*)(const PixelYC* source, const PixelYC* gate, PixelYC* destination, int32_t count,
                                   int16_t a, int16_t threshold);
extern const KernelTable<BlendRowAboveForm> kBlendRowAbove;

// Inclusive bounds on three components; a lowest bound above its highest admits nothing.
struct ColourBox {
    int32_t low[3], high[3];
    bool Contains(int32_t a, int32_t b, int32_t c) const {
        // Every test is made (& rather than &&): no branch to mispredict on noisy pictures.
        return (low[0] <= a) & (a <= high[0]) & (low[1] <= b) & (b <= high[1]) & (low[2] <= c) & (c <= high[2]);
    }
};

// mkmask_rgb's mask of `count` pixels of a block of R, G, B: inside where the box holds them.
using MaskOfBlockForm = void (*)(const RGBBlock& c, int32_t count, const ColourBox& box, int16_t inside,
                                 int16_t outside, PixelYC* destination);
extern const KernelTable<MaskOfBlockForm> kMaskOfBlock;

// s over d with opacity a: the 16-bit arithmetic where a and 4096 - a fit 16 bits, else the wide.
inline int16_t Mix(int16_t s, int16_t d, int16_t a) { return BlendNarrow(s, d, a); }
inline int16_t Mix(int16_t s, int16_t d, uint32_t a) { return Blend(s, d, a); }

// A gated or masked row, pixel by pixel: each pixel where pass(source luma, key luma) holds
// is blended with opacity(key luma). `key` is the key or mask row, or the source row for
// commands without one. Every pixel is blended and the result selected, with no branch to
// mispredict. (A gate or a per-pixel opacity would have to be spread over the three
// components for a vector loop, a shuffle the baseline vector instructions lack.)
template <typename Opacity, typename Pass>
void BlendRowGated(const PixelYC* source, const PixelYC* key, PixelYC* destination, int32_t count,
                   Opacity opacity, Pass pass) {
    for (int32_t i = 0; i < count; ++i) {
        const PixelYC s = source[i], d = destination[i];
        const int16_t key_y = key[i].y;
        const auto a = opacity(key_y);
        const PixelYC mixed{Mix(s.y, d.y, a), Mix(s.cb, d.cb, a), Mix(s.cr, d.cr, a)};
        destination[i] = Select(pass(s.y, key_y), mixed, d);
    }
}


// The mask value of each of `count` pixels: inside where inside_at(i) holds. A mask, not a
// branch: noisy pictures fall either side at random.
template <typename InsideAt>
void WriteMask(PixelYC* destination, int32_t count, int16_t inside, int16_t outside, InsideAt inside_at) {
    for (int32_t i = 0; i < count; ++i) {
        destination[i] = {Select(inside_at(i), inside, outside), 0, 0};
    }
}
}  // namespace kinetra::video
