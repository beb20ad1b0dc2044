// The picture kernels' tables that the table test reaches (kernels/table.h).
#pragma once

#include <cstdint>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"

namespace kinetra::video {

// alpha2 and alpha3's row: source blended over destination with opacity a (a and 4096 - a fit
// 16 bits) where the gate row's luma is above the threshold.
using BlendRowAboveForm = void (*)(const PixelYC* source, const PixelYC* gate, PixelYC* destination, int32_t count,
                                   int16_t a, int16_t threshold);
extern const KernelTable<BlendRowAboveForm> kBlendRowAbove;

}  // namespace kinetra::video
