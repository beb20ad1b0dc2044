// posterize's quantisation: a component to the nearest of n levels, and the kernel that
// quantises a block of R, G, B (kernels/table.h).
#pragma once

#include <algorithm>
#include <cstdint>

#include "kernels/table.h"
#include "video/color_space.h"
#include "video/pixels.h"

namespace kinetra::video {

// v to the nearest multiple of `step` (halves up), within 0..4096: ((v + step / 2) / step) * step
// with the division truncating, then clamped. The step comes from a level count: 4096 / (n - 1);
// fewer than 2 levels act as 2, more than 4097 as 4097 (step 1), so the step is never 0.
class Quantiser {
public:
    explicit Quantiser(int32_t levels)
        : step_(4096 / (std::clamp(levels, 2, 4097) - 1)),
          half_(step_ / 2),
          reciprocal_(UINT64_C(0x100000000) / static_cast<uint64_t>(step_) + 1),
          inverse_(TruncatingReciprocal(step_)) {}

    // A sum that is not positive has a quotient that clamps to 0. Otherwise it is below 2^17
    // (a component, or R, G or B of one, plus half a step) and the step at most 4096; below
    // 2^32 / step a multiplication by the rounded-up reciprocal and a shift give the quotient
    // exactly.
    int32_t operator()(int32_t v) const {
        const int32_t sum = v + half_;
        if (sum <= 0) return 0;
        const int32_t quotient = static_cast<int32_t>((static_cast<uint64_t>(sum) * reciprocal_) >> 32);
        return std::min(quotient * step_, 4096);
    }

    // The same for values within +-2^17 (R, G and B of pixels), in the form the vector kernels
    // can take: the quotient through TruncatingReciprocal, exact since the sum is below 2^33.
    [[gnu::always_inline]] int32_t Narrow(int32_t v) const {
        const int32_t sum = std::max(v + half_, 0);
        const int32_t quotient = static_cast<int32_t>(static_cast<double>(sum) * inverse_);
        return std::min(quotient * step_, 4096);
    }

private:
    int32_t step_, half_;
    uint64_t reciprocal_;  // up to 2^32 + 1, for a step of 1
    double inverse_;
};

struct Quantisers {
    Quantiser a, b, c;
};

// R, G and B of a block's first `count` pixels quantised, each within +-2^17.
using QuantiseForm = void (*)(RGBBlock& c, int32_t count, const Quantisers& s);
extern const KernelTable<QuantiseForm> kQuantise;

}  // namespace kinetra::video
