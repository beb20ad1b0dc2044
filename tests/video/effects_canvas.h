// The ground on which the effects tests compare commands with plain per-pixel references: the
// shared image buffers, and arguments that exercise clipping.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/image_buffers.h"
#include "video/arguments.h"
#include "video/pixels.h"

namespace kinetra::video::effects_testing {

inline bool Same(const PixelYC& a, const PixelYC& b) { return testing::SamePixel(a, b); }

using Canvas = testing::ImageBuffers;

// Arguments that exercise clipping: mostly around the image, sometimes far outside it or
// beyond the 32-bit range.
struct ArgumentSource {
    std::mt19937 random;
    int32_t W, H;

    ArgumentSource(uint32_t seed, int32_t w, int32_t h) : random(seed), W(w), H(h) {}

    double Position(int32_t limit) {
        switch (random() % 16) {
            case 0: return 2147483647.0;
            case 1: return -2147483648.0;
            case 2: return -1e10;
            default: return static_cast<int>(random() % (3 * limit)) - limit;
        }
    }
    double Size(int32_t limit) {
        switch (random() % 16) {
            case 0: return 2147483647.0;
            case 1: return 0.5;
            default: return 1 + static_cast<int>(random() % (limit + limit / 2));
        }
    }
    double Buffer() { return random() % 3; }
};

}  // namespace kinetra::video::effects_testing
