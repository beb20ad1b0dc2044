// The picture kernels' tables that the table test reaches (kernels/table.h).
#pragma once

#include <cstdint>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"
#include "video/color_space.h"

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

}  // namespace kinetra::video
