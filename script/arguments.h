// How a command turns the doubles its argument formulas evaluated to into integers. Every
// command of both plug-ins converts through these, so the same script value gives the same
// integer everywhere.
#pragma once

#include <cmath>
#include <cstdint>

namespace kinetra {

// Truncation toward zero. NaN and values whose truncation lies outside the 32-bit range give
// INT32_MIN, the value the host's x86 processor gives (cvttsd2si), never undefined behaviour.
constexpr int32_t TruncateToInt32(double value) {
    // Both bounds are exact doubles; the negation of the test also catches NaN.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// A frame number: rounded down first (-0.5 gives -1), then converted.
inline int32_t FrameNumberToInt32(double value) { return TruncateToInt32(std::floor(value)); }

// A fraction on the 4096 = 1.0 scale (opacity, gain, offset): 0.5 gives 2048, 0.0001 gives 0.
constexpr int32_t FractionToInt32(double value) { return TruncateToInt32(value * 4096.0); }

}  // namespace kinetra
