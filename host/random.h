// The commands' random numbers: uniform whole numbers 0..32767 from a linear congruential
// generator whose state the caller keeps. Cheap enough for a draw per sample, and the same
// sequence on every build, so rendered examples do not depend on a C library's generator.
#pragma once

#include <cstdint>

namespace kinetra {

inline uint32_t NextDraw(uint32_t& state) {
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

// The draw after the next, in one step: the state advances by two.
inline uint32_t NextDrawAfterOne(uint32_t& state) {
    state = state * (214013u * 214013u) + (2531011u * 214013u + 2531011u);
    return (state >> 16) & 0x7FFFu;
}

}  // namespace kinetra
