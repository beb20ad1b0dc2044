// The sample kernels of a_volume, a_mono and a_reverse: a table each (kernels/table.h), every
// form giving the portable form's bits over the whole range it is handed.
#pragma once

#include <bit>
#include <cstdint>

#include "kernels/table.h"

namespace kinetra::audio {

// A stereo sample frame moved or turned as one 32-bit value (at the samples' alignment, and
// allowed to alias them), so that the loops over sample frames vectorise.
typedef uint32_t __attribute__((may_alias, aligned(alignof(int16_t)))) StereoFrame;
typedef uint16_t __attribute__((may_alias)) MonoFrame;
// Where the left sample sits in a StereoFrame.
constexpr int kLeftShift = std::endian::native == std::endian::little ? 0 : 16;

inline StereoFrame* Frames(int16_t* sound) { return reinterpret_cast<StereoFrame*>(sound); }

// Sample frames [begin, stop) of `count` scaled by a gain that runs from `start` at sample frame
// 0 to `end` at sample frame `count`, in equal steps; each result keeps its low 16 bits.
using RampForm = void (*)(int16_t* sound, int32_t count, double start, double end, int32_t begin, int32_t stop);
extern const KernelTable<RampForm> kRampOneChannel;  // one-channel sound
extern const KernelTable<RampForm> kRampLeft;        // the left channel of stereo sound
extern const KernelTable<RampForm> kRampRight;       // the right channel of stereo sound
extern const KernelTable<RampForm> kRampStereo;      // both channels of stereo sound

// Both samples of stereo sample frames [begin, end) set to one value: the mean of the two,
// truncated toward zero ((-3 + 0) / 2 is -1), the left or the right.
using MonoForm = void (*)(int16_t* sound, int32_t begin, int32_t end);
extern const KernelTable<MonoForm> kMonoMean;
extern const KernelTable<MonoForm> kMonoLeft;
extern const KernelTable<MonoForm> kMonoRight;

// Sample frame i of destination is sample frame n - 1 - i of source for i in [begin, end); the
// two never overlap. Stereo sample frames move as a whole, left staying left.
using ReverseForm = void (*)(const int16_t* source, int16_t* destination, int32_t n, int32_t begin, int32_t end);
extern const KernelTable<ReverseForm> kReverseStereo;
extern const KernelTable<ReverseForm> kReverseOneChannel;
// In place: sample frame i exchanged with n - 1 - i for i in [begin, end), end <= n / 2.
using ExchangeForm = void (*)(int16_t* sound, int32_t n, int32_t begin, int32_t end);
extern const KernelTable<ExchangeForm> kExchangeStereo;
extern const KernelTable<ExchangeForm> kExchangeOneChannel;

}  // namespace kinetra::audio
