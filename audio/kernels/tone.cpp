// The tone kernels' forms (tone.h). The portable form takes the C library's sine for every
// sample frame; the vector forms take it only where they cannot prove they give its bits.
#include "audio/kernels/tone.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "script/arguments.h"

namespace kinetra::audio {
namespace {

const double kPi = 4.0 * std::atan(1.0);

// The sine's argument at twice a position (a whole number).
double ArgumentAt(double twice, double frequency, double rate) { return twice * kPi * frequency / rate; }

double ToneArgument(const ToneWave& wave, int32_t i) {
    const int64_t twice = static_cast<int64_t>(2 * (wave.position + uint64_t(i)));
    return ArgumentAt(double(twice), wave.frequency, wave.rate);
}

// Positive exactly where the sine truncates to 1 or more.
int32_t Shaped(const ToneWave& wave, int32_t value) { return !wave.square ? value : value > 0 ? wave.peak : -wave.peak; }

int32_t ToneValue(const ToneWave& wave, int32_t i) {
    return Shaped(wave, TruncateToInt32(std::sin(ToneArgument(wave, i)) * kFullScale * wave.amplitude));
}

void PutFrame(int16_t* sound, int32_t values, int32_t i, int32_t value) {
    std::fill_n(sound + size_t(i) * values, values, static_cast<int16_t>(value));
}

}  // namespace

void ToneFrames(const ToneWave& wave, int16_t* sound, int32_t values, int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) PutFrame(sound, values, i, ToneValue(wave, i));
}

#if defined(KINETRA_FAST_TONE)
namespace {

// The vector forms give the portable form's values without a sine call for nearly every sample
// frame. Frame b + j of a block of kToneBlock frames takes
//
//     v' = sin(x_b) K cos(t_j) + cos(x_b) K sin(t_j),   K = 32767 x amplitude,
//
// an angle sum, where x_b is frame b's argument (computed as the portable form computes it) and
// t_j the argument at position j, both sines and cosines from SinCos below and the products K
// cos(t_j), K sin(t_j) tabled once a call. Against the portable value v (the library's sine of
// x_{b+j}, times 32767, times the amplitude), with u = 2^-53:
//   - each argument is the exact 2 p pi f / r to within 4.0001 u of itself (pi rounded, three
//     rounded operations), and x_{b+j} = x_b + t_j holds for the exact ones, so the arguments
//     differ by at most 8.01 u (|x_b| + |t_last|) = 8.01 u reach;
//   - SinCos is within 2^-50 of the sine and cosine for |x| <= 2^26 (reduction by a three-part
//     pi / 2 with every product but the last exact: 3 roundings of 2^-53; Taylor polynomials to
//     degree 15 and 16, whose remainders on |r| <= pi / 4 stay below 2^-54; the evaluation within
//     2^-52; the test measures it), so the angle sum is within 4.01 x 2^-50 of the sine of x_b + t_j;
//   - the library's sine is within 2^-52 of the sine (within 1 ulp), and the scalings and the
//     angle sum's own roundings add less than 2^-35.
// In all |v - v'| < 2^-32 + 2^-34.9 reach; the margin below is more than three times as wide.
// Truncation changes only at the nonzero whole numbers, so wherever no such number lies within
// the margin of v', v' truncates as v does; elsewhere, and for arguments beyond 2^26 or doubled
// positions beyond 2^51 (where they would stop being exact doubles), the frame takes the
// library's sine. The square wave follows the truncated value's sign, which changes only at 1:
// its frames take the library's sine only where 1 lies within the margin.
// The bound rests on the C library's sine being within 1 ulp, as glibc's on x86-64 is; other
// builds keep the portable form.

constexpr double kReducible = 0x1p26;
constexpr double kRoundingBias = 0x1.8p52;  // added and taken away, rounds to a whole number
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi / 2 in three parts, the first two of 26 bits, so that k times either is exact for |k| < 2^27.
constexpr double kHalfPiHigh = 0x1.921fb58p+0, kHalfPiMiddle = -0x1.dde974p-27, kHalfPiLow = 0x1.1a62633145c07p-54;

double ToneMargin(double reach) { return 0x1p-30 + 0x1p-33 * reach; }

template <int kLanes>
struct Lanes {
    typedef double Real __attribute__((vector_size(8 * kLanes)));
    typedef int64_t Bits __attribute__((vector_size(8 * kLanes)));
    typedef int32_t Int __attribute__((vector_size(4 * kLanes)));
    typedef int16_t Sample __attribute__((vector_size(2 * kLanes)));
    typedef int16_t Halves __attribute__((vector_size(4 * kLanes)));
};

// Each 32-bit lane's low half into both halves of a stereo sample frame at `to`. By reference
// and through memory, so that no vector wider than the baseline's crosses a call.
template <int kLanes>
[[gnu::always_inline]] inline void PutLowTwice(int16_t* to, const typename Lanes<kLanes>::Int& value) {
    using Halves = typename Lanes<kLanes>::Halves;
    const Halves halves = (Halves)value;
    Halves frames;
    if constexpr (kLanes == 4) {
        frames = __builtin_shufflevector(halves, halves, 0, 0, 2, 2, 4, 4, 6, 6);
    } else {
        frames = __builtin_shufflevector(halves, halves, 0, 0, 2, 2);
    }
    memcpy(to, &frames, sizeof frames);
}

// Sine and cosine of each lane of x, |x| <= 2^26: x less k quarter turns (k the nearest whole
// number to x 2 / pi, whose low bits the rounding bias leaves in the sum's), then polynomials in
// the rest r, |r| <= pi / 4, and quadrant k mod 4 chooses and signs them.
template <typename Real, typename Bits>
[[gnu::always_inline]] inline void SinCos(const Real& x, Real& sine, Real& cosine) {
    const Real biased = x * kTwoOverPi + kRoundingBias;
    const Real k = biased - kRoundingBias;
    const Bits quadrant = (Bits)biased & 3;
    const Real r = ((x - k * kHalfPiHigh) - k * kHalfPiMiddle) - k * kHalfPiLow;
    const Real r2 = r * r;
    const Real s = r + r * (r2 * (-1.0 / 6 + r2 * (1.0 / 120 + r2 * (-1.0 / 5040 + r2 * (1.0 / 362880 +
                   r2 * (-1.0 / 39916800 + r2 * (1.0 / 6227020800 + r2 * (-1.0 / 1307674368000))))))));
    const Real c = 1.0 + r2 * (-1.0 / 2 + r2 * (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320 +
                   r2 * (-1.0 / 3628800 + r2 * (1.0 / 479001600 + r2 * (-1.0 / 87178291200 +
                   r2 * (1.0 / 20922789888000))))))));
    // sin x is s, c, -s, -c in quadrants 0 to 3; cos x is sin x a quadrant on.
    const Bits swap = -(quadrant & 1);
    sine = (Real)((((Bits)s & ~swap) | ((Bits)c & swap)) ^ ((quadrant & 2) << 62));
    cosine = (Real)((((Bits)c & ~swap) | ((Bits)s & swap)) ^ (((quadrant + 1) & 2) << 62));
}

template <int kLanes>
[[gnu::always_inline]] inline void SinCosLoop(const double* x, int32_t count, double* sine, double* cosine) {
    using Real = typename Lanes<kLanes>::Real;
    using Bits = typename Lanes<kLanes>::Bits;
    for (int32_t k = 0; k < count; k += kLanes) {
        // The last vector padded with zeros.
        const size_t bytes = sizeof(double) * std::min(kLanes, count - k);
        Real v = {}, s, c;
        memcpy(&v, x + k, bytes);
        SinCos<Real, Bits>(v, s, c);
        memcpy(sine + k, &s, bytes);
        memcpy(cosine + k, &c, bytes);
    }
}

// Sample frames b .. b + count - 1, count <= kToneBlock, into the sound, from the sine s and
// cosine c of frame b's argument, which has |x_b| + |t_last| = reach <= 2^26.
template <int kLanes, int kValues, bool kSquare>
[[gnu::always_inline]] inline void ToneBlockLoop(const ToneTable& table, const ToneWave& wave, int16_t* sound,
                                                 int32_t b, int32_t count, double s, double c, double reach) {
    constexpr int32_t values = kValues;
    using Real = typename Lanes<kLanes>::Real;
    using Bits = typename Lanes<kLanes>::Bits;
    using Int = typename Lanes<kLanes>::Int;
    using Sample = typename Lanes<kLanes>::Sample;
    const double margin = ToneMargin(reach);
    const int32_t peak = wave.peak;
    // The least distance of a value's size from a whole number. Sizes below 0.75 count as 0.75:
    // they truncate to 0 whatever the error, as no nonzero whole number lies within the margin.
    Real closest = Real{} + 1.0;
    int32_t j = 0;
#pragma GCC unroll 2
    for (; count - j >= kLanes; j += kLanes) {
        Real tc, ts;
        memcpy(&tc, table.cosine + j, sizeof tc);
        memcpy(&ts, table.sine + j, sizeof ts);
        const Real v = s * tc + c * ts;
        Int value;
        if constexpr (kSquare) {
            // Only the sign of the truncated value counts: it is positive exactly from 1 on.
            const Real off = v - 1.0;
            const Real distance = (Real)((Bits)off & INT64_MAX);
            closest = distance < closest ? distance : closest;
            value = __builtin_convertvector(v >= 1.0, Int) ? peak : -peak;
        } else {
            Real size = (Real)((Bits)v & INT64_MAX);
            size = size > 0.75 ? size : 0.75;
            const Real off = size - ((size + kRoundingBias) - kRoundingBias);
            const Real distance = (Real)((Bits)off & INT64_MAX);
            closest = distance < closest ? distance : closest;
            value = __builtin_convertvector(v, Int);
        }
        if constexpr (kValues == 2) {
            PutLowTwice<kLanes>(sound + size_t(b + j) * 2, value);
        } else {
            const Sample samples = __builtin_convertvector(value, Sample);
            memcpy(sound + b + j, &samples, sizeof samples);
        }
    }
    ToneFrames(wave, sound, values, b + j, b + count);
    bool any_close = false;
    for (int k = 0; k < kLanes; ++k) any_close |= closest[k] <= margin;
    if (!any_close) return;
    // Some frame lay within the margin of a boundary: the same test again, one frame at a time.
    for (int32_t k = 0; k < j; ++k) {
        const double v = s * table.cosine[k] + c * table.sine[k];
        const double size = std::max(std::fabs(v), 0.75);
        const double distance = kSquare ? std::fabs(v - 1.0) : std::fabs(size - ((size + kRoundingBias) - kRoundingBias));
        if (distance <= margin) PutFrame(sound, values, b + k, ToneValue(wave, b + k));
    }
}

// Blocks in groups of kLanes, whose first frames' sines and cosines come from one SinCos.
template <int kLanes>
[[gnu::always_inline]] inline void ToneLoop(const ToneTable& table, const ToneWave& wave, int16_t* sound,
                                            int32_t values, int32_t begin, int32_t end) {
    using Real = typename Lanes<kLanes>::Real;
    using Bits = typename Lanes<kLanes>::Bits;
    for (int32_t group = begin; group < end; group += kLanes * kToneBlock) {
        Real x = {}, sine, cosine;
        for (int k = 0; k < kLanes; ++k) {
            const int32_t b = group + k * kToneBlock;
            if (b < end) x[k] = ToneArgument(wave, b);
        }
        SinCos<Real, Bits>(x, sine, cosine);
        for (int k = 0; k < kLanes; ++k) {
            const int32_t b = group + k * kToneBlock;
            if (b >= end) break;
            const int32_t count = std::min(kToneBlock, end - b);
            const double reach = std::fabs(x[k]) + table.reach;
            if (reach <= kReducible) {
                // Called, not taken by address, so that each is compiled into the level's function.
                const double s = sine[k], c = cosine[k];
                if (values == 2 && wave.square) ToneBlockLoop<kLanes, 2, true>(table, wave, sound, b, count, s, c, reach);
                if (values == 2 && !wave.square) ToneBlockLoop<kLanes, 2, false>(table, wave, sound, b, count, s, c, reach);
                if (values == 1 && wave.square) ToneBlockLoop<kLanes, 1, true>(table, wave, sound, b, count, s, c, reach);
                if (values == 1 && !wave.square) ToneBlockLoop<kLanes, 1, false>(table, wave, sound, b, count, s, c, reach);
            } else {
                ToneFrames(wave, sound, values, b, b + count);
            }
        }
    }
}

// Two lanes of the compiler's generic vectors are the portable form, which every level has.
void SinCosTwoLanes(const double* x, int32_t count, double* sine, double* cosine) { SinCosLoop<2>(x, count, sine, cosine); }
[[gnu::target("avx2")]] void SinCosAVX2(const double* x, int32_t count, double* sine, double* cosine) {
    SinCosLoop<4>(x, count, sine, cosine);
}

void ToneSSE2(const ToneTable& table, const ToneWave& wave, int16_t* sound, int32_t values, int32_t begin, int32_t end) {
    ToneLoop<2>(table, wave, sound, values, begin, end);
}
[[gnu::target("avx2")]] void ToneAVX2(const ToneTable& table, const ToneWave& wave, int16_t* sound, int32_t values,
                                      int32_t begin, int32_t end) {
    ToneLoop<4>(table, wave, sound, values, begin, end);
}
void TonePortable(const ToneTable&, const ToneWave& wave, int16_t* sound, int32_t values, int32_t begin, int32_t end) {
    ToneFrames(wave, sound, values, begin, end);
}

}  // namespace

constinit const KernelTable<SineAndCosineForm> kSineAndCosine("kSineAndCosine", SinCosTwoLanes, nullptr, SinCosAVX2);
constinit const KernelTable<ToneForm> kTone("kTone", TonePortable, ToneSSE2, ToneAVX2);

bool MakeToneTable(const ToneWave& wave, int32_t count, ToneTable& table) {
    if (!(wave.rate > 0)) return false;
    if (wave.position >= (uint64_t{1} << 50) - uint64_t(count)) return false;
    double t[kToneBlock];
#pragma omp simd
    for (int32_t j = 0; j < kToneBlock; ++j) t[j] = ArgumentAt(2.0 * j, wave.frequency, wave.rate);
    table.reach = std::fabs(t[kToneBlock - 1]);
    if (!(table.reach <= kReducible)) return false;
    kSineAndCosine(t, kToneBlock, table.sine, table.cosine);
    const double scale = kFullScale * wave.amplitude;
#pragma omp simd
    for (int32_t j = 0; j < kToneBlock; ++j) {
        table.cosine[j] *= scale;
        table.sine[j] *= scale;
    }
    return true;
}
#endif

}  // namespace kinetra::audio
