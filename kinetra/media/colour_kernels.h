// The per-row kernels of the colour maps (colour.cpp): a map's integer coefficients, the rows
// the way back writes, and the kernel tables, each with a portable form and vector forms that
// give its bits.
#pragma once

#include <cstdint>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"

namespace kinetra::media {

// A map's coefficients in 1/65536 and its biases, either way; max is the largest code value of
// a map to codes.
template <typename Int>
struct MapOf {
    const Int (&k)[3][3];
    const Int (&bias)[3];
    Int max = 255;
};
using ToYcMap = MapOf<int32_t>;
using ToYuvMap = MapOf<int32_t>;
// Codes of more than 8 bits: their coefficients and offsets take sums past 32 bits.
using DeepToYuvMap = MapOf<int64_t>;

// One row of colour samples and the one or two rows of pixels they cover (`second` null for
// one), from pixel `from` on (a multiple of the colour block's width).
template <typename Sample>
struct YuvRowsOf {
    const PixelYC* first;
    const PixelYC* second;
    Sample* luma_first;
    Sample* luma_second;
    Sample* cb;
    Sample* cr;
    int width;
    int shift_x;
};
using YuvRows = YuvRowsOf<uint8_t>;

// The colour samples' share of each component, k1 * Cb + k2 * Cr + bias, in three planes of
// `samples` terms.
using ColourTermsForm = void (*)(const ToYcMap& map, const uint8_t* cb, const uint8_t* cr, int samples, int32_t* terms);
extern const KernelTable<ColourTermsForm> kColourTerms;
// One row of `width` pixels from its luma and the terms of its colour samples (one for 2^shift_x pixels).
using PixelsForm = void (*)(const ToYcMap& map, const uint8_t* luma, const int32_t* terms, int samples, int shift_x,
                            int width, PixelYC* out);
extern const KernelTable<PixelsForm> kPixels;
// Luma of the rows and their colour samples, the mean of the pixels each covers.
using YuvRowsForm = void (*)(const ToYuvMap& map, const YuvRows& rows);
extern const KernelTable<YuvRowsForm> kYuvRows;

}  // namespace kinetra::media
