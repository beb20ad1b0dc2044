// The commands' random numbers: uniform whole numbers 0..32767 from a linear congruential
// generator whose state the caller keeps. Cheap enough for a draw per sample, and the same
// sequence on every build, so rendered examples do not depend on a C library's generator.
#pragma once

#include <cstdint>

namespace kinetra {

constexpr uint32_t kDrawMultiplier = 214013u, kDrawIncrement = 2531011u;

inline uint32_t NextDraw(uint32_t& state) {
    state = state * kDrawMultiplier + kDrawIncrement;
    return (state >> 16) & 0x7FFFu;
}

// The generator run n steps in one: state * multiplier + increment.
struct DrawJump {
    uint32_t multiplier = 1, increment = 0;
};
constexpr DrawJump JumpOf(int steps) {
    DrawJump jump;
    for (int n = 0; n < steps; ++n) {
        jump = {jump.multiplier * kDrawMultiplier, jump.increment * kDrawMultiplier + kDrawIncrement};
    }
    return jump;
}

// The draw after the next, in one step: the state advances by two.
inline uint32_t NextDrawAfterOne(uint32_t& state) {
    constexpr DrawJump two = JumpOf(2);
    state = state * two.multiplier + two.increment;
    return (state >> 16) & 0x7FFFu;
}

// The next four draws, each formed from the state as it is now, side by side: the state's
// chain waits on one multiply-add per four draws instead of four.
inline void NextFourDraws(uint32_t& state, uint32_t draws[4]) {
    constexpr DrawJump jumps[4] = {JumpOf(1), JumpOf(2), JumpOf(3), JumpOf(4)};
    for (int n = 0; n < 4; ++n) draws[n] = ((state * jumps[n].multiplier + jumps[n].increment) >> 16) & 0x7FFFu;
    state = state * jumps[3].multiplier + jumps[3].increment;
}

}  // namespace kinetra
