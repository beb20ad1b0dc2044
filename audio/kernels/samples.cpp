// The sample kernels' forms (samples.h). The vector forms work on whole vectors from `begin`
// and return the first sample frame they left; the table's form finishes with the portable one.
#include "audio/kernels/samples.h"

#include <cmath>
#include <cstring>

#include "audio/kernels/count_division.h"
#include "kernels/integer.h"
#include "script/arguments.h"

#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
KINETRA_AVX512_QUIET
#endif

namespace kinetra::audio {
namespace {

// The ramp for sample frames [begin, end) of sound with `kValues` samples a sample frame, of
// which `kFirst`..`kLast` are scaled: fixed at compile time, so the loop vectorises.
template <int kValues, int kFirst, int kLast>
void Ramp(int16_t* sound, int32_t count, double start, double end, int32_t begin, int32_t stop) {
    const double n = count;
#pragma omp simd
    for (int32_t i = begin; i < stop; ++i) {
        // The start gain at the first sample frame, in equal steps towards the end gain.
        const double gain = (double(count - i) * start + double(i) * end) / n;
        for (int v = kFirst; v <= kLast; ++v) {
            int16_t& sample = sound[size_t(i) * kValues + v];
            sample = Low16(TruncateToInt32(gain * sample));
        }
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
// The vector forms of the ramp, for the same `kValues`, `kFirst` and `kLast`. Packed double
// arithmetic rounds each product, sum and quotient as the scalar instructions do, and cvttpd2dq
// truncates as cvttsd2si does (INT32_MIN for NaN and for what lies outside 32 bits, as
// TruncateToInt32), so every lane gives the portable bits. A stereo channel the mode leaves
// alone is scaled by 1, which gives its samples back unchanged. Each returns the first sample
// frame it left to the portable form.

// The low 16 bits of each 32-bit lane of two vectors, in order (pshufb, for the AVX2 form).
[[gnu::target("avx2")]] inline __m128i Low16Of(__m128i a, __m128i b) {
    const __m128i low = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm_unpacklo_epi64(_mm_shuffle_epi8(a, low), _mm_shuffle_epi8(b, low));
}

// The low 16 bits of each 32-bit lane, sign-extended, so that a signed pack keeps them as they are.
inline __m128i Low16Extended(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }

template <int kValues, int kFirst, int kLast>
int32_t RampSSE2(int16_t* sound, int32_t count, double start, double end, int32_t begin, int32_t stop) {
    const __m128d n = _mm_set1_pd(count), from = _mm_set1_pd(start), to = _mm_set1_pd(end);
    const __m128d step = _mm_set1_pd(2.0);
    __m128d at = _mm_set_pd(begin + 1, begin);
    int32_t i = begin;
    for (; stop - i >= 2; i += 2, at = _mm_add_pd(at, step)) {
        // double(count - i) is n - double(i): both exact.
        const __m128d gain =
            _mm_div_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(n, at), from), _mm_mul_pd(at, to)), n);
        if constexpr (kValues == 1) {
            int32_t pair;
            memcpy(&pair, sound + i, sizeof pair);
            const __m128i x = _mm_cvtsi32_si128(pair);
            const __m128i t = _mm_cvttpd_epi32(_mm_mul_pd(gain, _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16))));
            pair = _mm_cvtsi128_si32(_mm_packs_epi32(Low16Extended(t), t));
            memcpy(sound + i, &pair, sizeof pair);
        } else {
            int16_t* frames = sound + size_t(i) * 2;
            const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(frames));
            const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);  // l0 r0 l1 r1
            const __m128d first = _mm_unpacklo_pd(gain, gain), second = _mm_unpackhi_pd(gain, gain);
            const __m128i t0 = _mm_cvttpd_epi32(_mm_mul_pd(first, _mm_cvtepi32_pd(wide)));
            const __m128i t1 = _mm_cvttpd_epi32(_mm_mul_pd(second, _mm_cvtepi32_pd(_mm_shuffle_epi32(wide, 0xEE))));
            const __m128i t = Low16Extended(_mm_unpacklo_epi64(t0, t1));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(frames), _mm_packs_epi32(t, t));
        }
    }
    return i;
}

template <int kValues, int kFirst, int kLast>
[[gnu::target("avx2")]] int32_t RampAVX2(int16_t* sound, int32_t count, double start, double end, int32_t begin,
                                         int32_t stop) {
    const __m256d n = _mm256_set1_pd(count), from = _mm256_set1_pd(start), to = _mm256_set1_pd(end);
    const __m256d one = _mm256_set1_pd(1.0), step = _mm256_set1_pd(4.0);
    // Stereo takes the sample frames in the order i, i + 2, i + 1, i + 3, so that duplicating
    // each gain for its two samples stays within the vector's halves.
    __m256d at = kValues == 1 ? _mm256_set_pd(begin + 3, begin + 2, begin + 1, begin)
                              : _mm256_set_pd(begin + 3, begin + 1, begin + 2, begin);
    int32_t i = begin;
    for (; stop - i >= 4; i += 4, at = _mm256_add_pd(at, step)) {
        const __m256d gain =
            _mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(n, at), from), _mm256_mul_pd(at, to)), n);
        if constexpr (kValues == 1) {
            const __m128i x = _mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sound + i)));
            const __m128i t = _mm256_cvttpd_epi32(_mm256_mul_pd(gain, _mm256_cvtepi32_pd(x)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(sound + i), Low16Of(t, t));
        } else {
            int16_t* frames = sound + size_t(i) * 2;
            const __m256i wide = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(frames)));
            __m256d first = _mm256_unpacklo_pd(gain, gain);   // g0 g0 g1 g1
            __m256d second = _mm256_unpackhi_pd(gain, gain);  // g2 g2 g3 g3
            if constexpr (kFirst == kLast) {
                constexpr int kOnes = kFirst == 0 ? 0b1010 : 0b0101;  // the lanes of the other channel
                first = _mm256_blend_pd(first, one, kOnes);
                second = _mm256_blend_pd(second, one, kOnes);
            }
            const __m128i t0 = _mm256_cvttpd_epi32(_mm256_mul_pd(first, _mm256_cvtepi32_pd(_mm256_castsi256_si128(wide))));
            const __m128i t1 = _mm256_cvttpd_epi32(_mm256_mul_pd(second, _mm256_cvtepi32_pd(_mm256_extracti128_si256(wide, 1))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(frames), Low16Of(t0, t1));
        }
    }
    return i;
}

// One channel of stereo sound, four sample frames a step, each gain used once and divided
// without the divider (count_division.h); the other channel's samples pass through as they are.
template <int kChannel>
[[gnu::target("avx2,fma")]] int32_t RampChannelAVX2(int16_t* sound, int32_t count, double start, double end,
                                                    int32_t begin, int32_t stop) {
    const __m256d n = _mm256_set1_pd(count), from = _mm256_set1_pd(start), to = _mm256_set1_pd(end);
    const __m256d step = _mm256_set1_pd(4.0);
    const CountDivisor by = DivisorOf(count);
    __m256d at = _mm256_set_pd(begin + 3, begin + 2, begin + 1, begin);
    int32_t i = begin;
    for (; stop - i >= 4; i += 4, at = _mm256_add_pd(at, step)) {
        const __m256d gain =
            DivideByCount(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(n, at), from), _mm256_mul_pd(at, to)), by);
        int16_t* frames = sound + size_t(i) * 2;
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames));  // l0 r0 l1 r1 ..
        const __m128i samples = kChannel == 0 ? Low16Extended(x) : _mm_srai_epi32(x, 16);
        const __m128i t = _mm256_cvttpd_epi32(_mm256_mul_pd(gain, _mm256_cvtepi32_pd(samples)));
        const __m128i back = kChannel == 0 ? _mm_blend_epi16(x, t, 0x55) : _mm_blend_epi16(x, _mm_slli_epi32(t, 16), 0xAA);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(frames), back);
    }
    return i;
}

// Both channels of stereo sound, or one-channel sound, eight sample frames a step, divided
// without the divider; vpmovdw keeps each result's low 16 bits.
template <int kValues>
[[gnu::target(KINETRA_AVX512_TARGET)]] int32_t RampAVX512(int16_t* sound, int32_t count, double start, double end,
                                                         int32_t begin, int32_t stop) {
    const __m512d n = _mm512_set1_pd(count), from = _mm512_set1_pd(start), to = _mm512_set1_pd(end);
    const __m512d step = _mm512_set1_pd(8.0);
    const CountDivisor8 by = DivisorOf8(count);
    const __m512i first_four = _mm512_setr_epi64(0, 0, 1, 1, 2, 2, 3, 3), last_four = _mm512_setr_epi64(4, 4, 5, 5, 6, 6, 7, 7);
    __m512d at = _mm512_add_pd(_mm512_set1_pd(begin), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
    int32_t i = begin;
    for (; stop - i >= 8; i += 8, at = _mm512_add_pd(at, step)) {
        const __m512d gain =
            DivideByCount(_mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(n, at), from), _mm512_mul_pd(at, to)), by);
        if constexpr (kValues == 1) {
            const __m256i x = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sound + i)));
            const __m256i t = _mm512_cvttpd_epi32(_mm512_mul_pd(gain, _mm512_cvtepi32_pd(x)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sound + i), _mm256_cvtepi32_epi16(t));
        } else {
            int16_t* frames = sound + size_t(i) * 2;
            const __m512i wide = _mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames)));
            const __m512d low = _mm512_cvtepi32_pd(_mm512_castsi512_si256(wide));
            const __m512d high = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(wide, 1));
            const __m256i t0 = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_permutexvar_pd(first_four, gain), low));
            const __m256i t1 = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_permutexvar_pd(last_four, gain), high));
            const __m512i t = _mm512_inserti64x4(_mm512_castsi256_si512(t0), t1, 1);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(frames), _mm512_cvtepi32_epi16(t));
        }
    }
    return i;
}

// Where the numerators of the ramp stay in the division-free quotient's range: gains of zero or
// of sizes 2^-900 .. 2^868, so that each product lies within 2^-900 .. 2^899, and a sum of two
// that cancels is still a multiple of 2^-952, or zero.
bool RampWithoutDivider(double start, double end) {
    const auto fits = [](double gain) { return gain == 0 || (std::fabs(gain) >= 0x1p-900 && std::fabs(gain) <= 0x1p868); };
    return fits(start) && fits(end);
}
#endif

// Both samples of each stereo sample frame set to `kMode`'s value: 0 the mean of left and right,
// truncated toward zero ((-3 + 0) / 2 is -1), 1 the left, 2 the right.
template <int kMode>
void MakeMono(StereoFrame* frames, int32_t begin, int32_t end) {
#pragma omp simd
    for (int32_t i = begin; i < end; ++i) {
        const int32_t left = static_cast<int16_t>(frames[i] >> kLeftShift);
        const int32_t right = static_cast<int16_t>(frames[i] >> (16 - kLeftShift));
        const uint32_t value = static_cast<uint16_t>(kMode == 0 ? (left + right) / 2 : kMode == 1 ? left : right);
        frames[i] = value << 16 | value;
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
// The vector forms of mono and reverse: the same integer results by other instructions. Each
// works on whole vectors from `begin` and returns the first sample frame it left to the
// portable form.

// The mean of a sample frame's two samples, in each 32-bit lane: pmaddwd with (1, 1) gives the
// exact sum; adding its sign bit before the arithmetic shift makes the halving truncate toward
// zero, as the division does.
inline __m128i MeanOfPairs(__m128i frames) {
    const __m128i sum = _mm_madd_epi16(frames, _mm_set1_epi16(1));
    return _mm_srai_epi32(_mm_add_epi32(sum, _mm_srli_epi32(sum, 31)), 1);
}

int32_t MonoMeanSSE2(StereoFrame* frames, int32_t begin, int32_t end) {
    int32_t i = begin;
    for (; end - i >= 4; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(frames + i);
        const __m128i mean = MeanOfPairs(_mm_loadu_si128(at));
        _mm_storeu_si128(at, _mm_or_si128(_mm_slli_epi32(mean, 16), _mm_and_si128(mean, _mm_set1_epi32(0xFFFF))));
    }
    return i;
}

template <int kMode>
[[gnu::target("avx2")]] int32_t MakeMonoAVX2(StereoFrame* frames, int32_t begin, int32_t end) {
    int32_t i = begin;
    for (; end - i >= 8; i += 8) {
        __m256i* at = reinterpret_cast<__m256i*>(frames + i);
        const __m256i x = _mm256_loadu_si256(at);
        __m256i out;
        if constexpr (kMode == 0) {
            const __m256i sum = _mm256_madd_epi16(x, _mm256_set1_epi16(1));
            const __m256i mean = _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_srli_epi32(sum, 31)), 1);
            out = _mm256_or_si256(_mm256_slli_epi32(mean, 16), _mm256_and_si256(mean, _mm256_set1_epi32(0xFFFF)));
        } else {
            constexpr int kPick = kMode == 1 ? 0xA0 : 0xF5;
            out = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, kPick), kPick);
        }
        _mm256_storeu_si256(at, out);
    }
    return i;
}

// A vector of sample frames in the opposite order: four stereo frames or eight one-channel ones.
template <typename Frame>
__m128i ReversedSSE2(__m128i v) {
    v = _mm_shuffle_epi32(v, 0x1B);
    if constexpr (sizeof(Frame) == 2) v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
    return v;
}

template <typename Frame>
[[gnu::target("avx2")]] __m256i ReversedAVX2(__m256i v) {
    if constexpr (sizeof(Frame) == 2) {
        const __m256i words = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1,  //
                                               14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
        return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, words), 0x4E);
    } else {
        return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
    }
}

// destination[i] = source[n - 1 - i] for whole vectors of i from begin on, below end.
template <typename Frame>
int32_t ReverseSSE2(const Frame* source, Frame* destination, int32_t n, int32_t begin, int32_t end) {
    constexpr int32_t kStep = 16 / sizeof(Frame);
    int32_t i = begin;
    for (; end - i >= kStep; i += kStep) {
        const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + (n - kStep - i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), ReversedSSE2<Frame>(back));
    }
    return i;
}

template <typename Frame>
[[gnu::target("avx2")]] int32_t ReverseAVX2(const Frame* source, Frame* destination, int32_t n, int32_t begin,
                                            int32_t end) {
    constexpr int32_t kStep = 32 / sizeof(Frame);
    int32_t i = begin;
    for (; end - i >= kStep; i += kStep) {
        const __m256i back = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + (n - kStep - i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), ReversedAVX2<Frame>(back));
    }
    return i;
}

// In place: the vector at i (i < end <= n / 2) exchanged with the one ending at n - i, each
// reversed; the two never overlap, as the first half never reaches into the second.
template <typename Frame>
int32_t ExchangeSSE2(Frame* sound, int32_t n, int32_t begin, int32_t end) {
    constexpr int32_t kStep = 16 / sizeof(Frame);
    int32_t i = begin;
    for (; end - i >= kStep; i += kStep) {
        __m128i* front = reinterpret_cast<__m128i*>(sound + i);
        __m128i* back = reinterpret_cast<__m128i*>(sound + (n - kStep - i));
        const __m128i f = _mm_loadu_si128(front), b = _mm_loadu_si128(back);
        _mm_storeu_si128(front, ReversedSSE2<Frame>(b));
        _mm_storeu_si128(back, ReversedSSE2<Frame>(f));
    }
    return i;
}

template <typename Frame>
[[gnu::target("avx2")]] int32_t ExchangeAVX2(Frame* sound, int32_t n, int32_t begin, int32_t end) {
    constexpr int32_t kStep = 32 / sizeof(Frame);
    int32_t i = begin;
    for (; end - i >= kStep; i += kStep) {
        __m256i* front = reinterpret_cast<__m256i*>(sound + i);
        __m256i* back = reinterpret_cast<__m256i*>(sound + (n - kStep - i));
        const __m256i f = _mm256_loadu_si256(front), b = _mm256_loadu_si256(back);
        _mm256_storeu_si256(front, ReversedAVX2<Frame>(b));
        _mm256_storeu_si256(back, ReversedAVX2<Frame>(f));
    }
    return i;
}
#endif

template <typename Frame>
void ReversePortable(const Frame* source, Frame* destination, int32_t n, int32_t begin, int32_t end) {
#pragma omp simd
    for (int32_t i = begin; i < end; ++i) destination[i] = source[n - 1 - i];
}

template <typename Frame>
void ExchangePortable(Frame* sound, int32_t n, int32_t begin, int32_t end) {
#pragma omp simd
    for (int32_t i = begin; i < end; ++i) {
        const Frame front = sound[i];
        sound[i] = sound[n - 1 - i];
        sound[n - 1 - i] = front;
    }
}

// Each table's form: the vector form kVector (none where nullptr), then the portable form from
// where it stopped.
using RampVector = int32_t (*)(int16_t*, int32_t, double, double, int32_t, int32_t);
template <int kValues, int kFirst, int kLast, RampVector kVector>
void RampFinished(int16_t* sound, int32_t count, double start, double end, int32_t begin, int32_t stop) {
    Ramp<kValues, kFirst, kLast>(sound, count, start, end, kVector(sound, count, start, end, begin, stop), stop);
}

template <int kMode, auto kVector = nullptr>
void MonoFinished(int16_t* sound, int32_t begin, int32_t end) {
    StereoFrame* frames = Frames(sound);
    if constexpr (kVector != nullptr) begin = kVector(frames, begin, end);
    MakeMono<kMode>(frames, begin, end);
}

template <typename Frame, auto kVector = nullptr>
void ReverseFinished(const int16_t* source_samples, int16_t* destination_samples, int32_t n, int32_t begin, int32_t end) {
    const Frame* source = reinterpret_cast<const Frame*>(source_samples);
    Frame* destination = reinterpret_cast<Frame*>(destination_samples);
    if constexpr (kVector != nullptr) begin = kVector(source, destination, n, begin, end);
    ReversePortable(source, destination, n, begin, end);
}

template <typename Frame, auto kVector = nullptr>
void ExchangeFinished(int16_t* samples, int32_t n, int32_t begin, int32_t end) {
    Frame* sound = reinterpret_cast<Frame*>(samples);
    if constexpr (kVector != nullptr) begin = kVector(sound, n, begin, end);
    ExchangePortable(sound, n, begin, end);
}

#if defined(KINETRA_VECTOR_KERNELS)
template <int kValues, int kFirst, int kLast>
void RampFormSSE2(int16_t* sound, int32_t count, double start, double end, int32_t begin, int32_t stop) {
    RampFinished<kValues, kFirst, kLast, RampSSE2<kValues, kFirst, kLast>>(sound, count, start, end, begin, stop);
}
template <int kValues, int kFirst, int kLast>
[[gnu::target("avx2,fma")]] void RampFormAVX2(int16_t* sound, int32_t count, double start, double end, int32_t begin,
                                              int32_t stop) {
    // One channel of stereo sound has a form of its own where the gains suit the quotient
    // without the divider.
    if constexpr (kValues == 2 && kFirst == kLast) {
        if (RampWithoutDivider(start, end)) {
            return RampFinished<kValues, kFirst, kLast, RampChannelAVX2<kFirst>>(sound, count, start, end, begin, stop);
        }
    }
    RampFinished<kValues, kFirst, kLast, RampAVX2<kValues, kFirst, kLast>>(sound, count, start, end, begin, stop);
}
template <int kValues>
[[gnu::target(KINETRA_AVX512_TARGET)]] void RampFormAVX512(int16_t* sound, int32_t count, double start, double end,
                                                          int32_t begin, int32_t stop) {
    constexpr int kLast = kValues - 1;
    if (!RampWithoutDivider(start, end)) return RampFormAVX2<kValues, 0, kLast>(sound, count, start, end, begin, stop);
    RampFinished<kValues, 0, kLast, RampAVX512<kValues>>(sound, count, start, end, begin, stop);
}
#endif

}  // namespace

// Each table holds the forms that run at least 1.2 times as fast as the level below on a frame
// of 1600 sample frames (docs/PERFORMANCE.md).
constinit const KernelTable<RampForm> kRampOneChannel("kRampOneChannel", Ramp<1, 0, 0>,
                                                      KINETRA_VECTOR_FORM((RampFormSSE2<1, 0, 0>)),
                                                      KINETRA_VECTOR_FORM((RampFormAVX2<1, 0, 0>)),
                                                      KINETRA_VECTOR_FORM(RampFormAVX512<1>));
constinit const KernelTable<RampForm> kRampLeft("kRampLeft", Ramp<2, 0, 0>, nullptr,
                                                KINETRA_VECTOR_FORM((RampFormAVX2<2, 0, 0>)));
constinit const KernelTable<RampForm> kRampRight("kRampRight", Ramp<2, 1, 1>, nullptr,
                                                 KINETRA_VECTOR_FORM((RampFormAVX2<2, 1, 1>)));
constinit const KernelTable<RampForm> kRampStereo("kRampStereo", Ramp<2, 0, 1>,
                                                  KINETRA_VECTOR_FORM((RampFormSSE2<2, 0, 1>)),
                                                  KINETRA_VECTOR_FORM((RampFormAVX2<2, 0, 1>)),
                                                  KINETRA_VECTOR_FORM(RampFormAVX512<2>));

constinit const KernelTable<MonoForm> kMonoMean("kMonoMean", MonoFinished<0>,
                                                KINETRA_VECTOR_FORM((MonoFinished<0, MonoMeanSSE2>)),
                                                KINETRA_VECTOR_FORM((MonoFinished<0, MakeMonoAVX2<0>>)));
constinit const KernelTable<MonoForm> kMonoLeft("kMonoLeft", MonoFinished<1>, nullptr,
                                                KINETRA_VECTOR_FORM((MonoFinished<1, MakeMonoAVX2<1>>)));
constinit const KernelTable<MonoForm> kMonoRight("kMonoRight", MonoFinished<2>, nullptr,
                                                 KINETRA_VECTOR_FORM((MonoFinished<2, MakeMonoAVX2<2>>)));

constinit const KernelTable<ReverseForm> kReverseStereo(
    "kReverseStereo", ReverseFinished<StereoFrame>, nullptr,
    KINETRA_VECTOR_FORM((ReverseFinished<StereoFrame, ReverseAVX2<StereoFrame>>)));
constinit const KernelTable<ReverseForm> kReverseOneChannel(
    "kReverseOneChannel", ReverseFinished<MonoFrame>,
    KINETRA_VECTOR_FORM((ReverseFinished<MonoFrame, ReverseSSE2<MonoFrame>>)),
    KINETRA_VECTOR_FORM((ReverseFinished<MonoFrame, ReverseAVX2<MonoFrame>>)));
constinit const KernelTable<ExchangeForm> kExchangeStereo(
    "kExchangeStereo", ExchangeFinished<StereoFrame>, nullptr,
    KINETRA_VECTOR_FORM((ExchangeFinished<StereoFrame, ExchangeAVX2<StereoFrame>>)));
constinit const KernelTable<ExchangeForm> kExchangeOneChannel(
    "kExchangeOneChannel", ExchangeFinished<MonoFrame>,
    KINETRA_VECTOR_FORM((ExchangeFinished<MonoFrame, ExchangeSSE2<MonoFrame>>)),
    KINETRA_VECTOR_FORM((ExchangeFinished<MonoFrame, ExchangeAVX2<MonoFrame>>)));

}  // namespace kinetra::audio
