// The tone kernels of a_tone: the sine and cosine its vector forms stand on, and the forms that
// fill sample frames with the wave. A table each (kernels/table.h); every tone form gives the
// portable form's bits, which take the C library's sine for each sample frame.
#pragma once

#include <cstdint>

#include "kernels/table.h"

// The tone's vector forms stand on a sine of their own, proven against the C library's, which
// is within 1 ulp where the forms are built: glibc's on x86-64.
#if defined(KINETRA_VECTOR_KERNELS) && defined(__x86_64__) && defined(__GLIBC__)
#define KINETRA_FAST_TONE 1
#endif

namespace kinetra::audio {

constexpr double kFullScale = 32767.0;

// A tone as its sample frames need it: sample frame i of the frame takes the sine at
// 2 (position + i) pi frequency / rate, scaled, truncated and for a square wave shaped.
struct ToneWave {
    uint64_t position;
    double frequency, rate, amplitude;
    bool square;
    int32_t peak;
};

// Sample frames [begin, end) of the wave into `sound`, `values` samples a sample frame alike:
// the C library's sine for every sample frame.
void ToneFrames(const ToneWave& wave, int16_t* sound, int32_t values, int32_t begin, int32_t end);

#if defined(KINETRA_FAST_TONE)
constexpr int32_t kToneBlock = 128;

// Sine and cosine of x[k], |x[k]| <= 2^26, within 2^-50 of the true values. The portable form
// is the compiler's generic two-lane vectors, which every level has.
using SineAndCosineForm = void (*)(const double* x, int32_t count, double* sine, double* cosine);
extern const KernelTable<SineAndCosineForm> kSineAndCosine;

// What every block of kToneBlock sample frames of a call shares: the scaled cosines and sines
// of the arguments t_j at positions j, and the largest |t_j|.
struct ToneTable {
    double cosine[kToneBlock], sine[kToneBlock];
    double reach;
};

// The table for a call of `count` frames of the wave, or false where the vector forms cannot
// run: no rate, a position whose doubled value would not stay exact, or steps too long to reduce.
bool MakeToneTable(const ToneWave& wave, int32_t count, ToneTable& table);

// Sample frames [begin, end) of the wave, from the call's table; the portable form is
// ToneFrames and ignores the table.
using ToneForm = void (*)(const ToneTable& table, const ToneWave& wave, int16_t* sound, int32_t values, int32_t begin,
                          int32_t end);
extern const KernelTable<ToneForm> kTone;
#endif

}  // namespace kinetra::audio
