// Integer rules every family's kernels share.
#pragma once

#include <cstdint>

namespace kinetra {

// The low 16 bits of a value, read as signed: what a 16-bit sample or pixel component keeps of
// a wider result.
constexpr int16_t Low16(uint32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }
constexpr int16_t Low16(int64_t value) { return Low16(static_cast<uint32_t>(value)); }
constexpr int16_t Low16(int32_t value) { return Low16(static_cast<uint32_t>(value)); }

}  // namespace kinetra
