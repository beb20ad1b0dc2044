// The span kernels' forms (span.h). The vector forms return how many positions they did; the
// table's form leaves the rest to the portable one.
#include "audio/kernels/span.h"

#include <cstring>

#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
KINETRA_AVX512_QUIET
#endif

namespace kinetra::audio {
namespace {

// The sample frames l for positions first .. first + count - 1, all of frame `frame`. The
// portable form; the vector forms below give the same bits.
void RunSamplesPortable(const SpanPositions& span, int32_t frame, int32_t first, int32_t count, int32_t* samples) {
    const double g = frame;
#pragma omp simd
    for (int32_t k = 0; k < count; ++k) samples[k] = span.SampleAt(span.At(first + k), g);
}

#if defined(KINETRA_VECTOR_KERNELS)
// The same operations on four or eight positions at once: packed arithmetic rounds as scalar
// arithmetic does, the quotient is the divider's (count_division.h), and the truncations lie in
// 32 bits, where cvttpd2dq truncates exactly. Each returns how many positions it did.
[[gnu::target("avx2,fma")]] int32_t RunSamplesAVX2(const SpanPositions& span, int32_t frame, int32_t first,
                                                   int32_t count, int32_t* samples) {
    const __m256d s = _mm256_set1_pd(span.s), d = _mm256_set1_pd(span.d), n = _mm256_set1_pd(span.n);
    const __m256d g = _mm256_set1_pd(frame), step = _mm256_set1_pd(4.0);
    const CountDivisor by = DivisorOf(span.n);
    const __m128i last = _mm_set1_epi32(span.last);
    __m256d i = _mm256_set_pd(first + 3, first + 2, first + 1, first);
    int32_t k = 0;
    for (; count - k >= 4; k += 4, i = _mm256_add_pd(i, step)) {
        const __m256d t = _mm256_add_pd(s, DivideByCount(_mm256_mul_pd(i, d), by));
        const __m128i l = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(t, g), n));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + k), _mm_min_epi32(l, last));
    }
    return k;
}

[[gnu::target(KINETRA_AVX512_TARGET)]] int32_t RunSamplesAVX512(const SpanPositions& span, int32_t frame, int32_t first,
                                                               int32_t count, int32_t* samples) {
    const __m512d s = _mm512_set1_pd(span.s), d = _mm512_set1_pd(span.d), n = _mm512_set1_pd(span.n);
    const __m512d g = _mm512_set1_pd(frame), step = _mm512_set1_pd(8.0);
    const CountDivisor8 by = DivisorOf8(span.n);
    const __m256i last = _mm256_set1_epi32(span.last);
    __m512d i = _mm512_add_pd(_mm512_set1_pd(first), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
    int32_t k = 0;
    for (; count - k >= 8; k += 8, i = _mm512_add_pd(i, step)) {
        const __m512d t = _mm512_add_pd(s, DivideByCount(_mm512_mul_pd(i, d), by));
        const __m256i l = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_sub_pd(t, g), n));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + k), _mm256_min_epi32(l, last));
    }
    return k;
}
#endif


// Sample frame k of `to` takes sample frame samples[k] of `sound`, for k < count.
void CopySamplesPortable(const int32_t* samples, int32_t count, const int16_t* sound, int16_t* to, int32_t values) {
    if (values == 2) {
        for (int32_t k = 0; k < count; ++k) memcpy(to + size_t(k) * 2, sound + size_t(samples[k]) * 2, 4);
    } else {
        for (int32_t k = 0; k < count; ++k) to[k] = sound[samples[k]];
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
// Stereo sample frames 8 at a time, as 32-bit values: where the sources lie within 16 sample
// frames of the first, which they do for spans of up to about two frames, they are read with two
// loads and picked out with permutes. Sources farther apart are copied one by one: a gather of
// them saved 2 to 6% of a frame that squeezes four. Sources from `sound_frames` on are never
// touched. Returns how many it copied.
[[gnu::target("avx2")]] int32_t CopyStereoAVX2(const int32_t* samples, int32_t count, const int16_t* sound,
                                              int32_t sound_frames, int16_t* to) {
    const int* frames = reinterpret_cast<const int*>(sound);
    const __m256i seven = _mm256_set1_epi32(7), fifteen = _mm256_set1_epi32(15);
    int32_t k = 0;
    for (; count - k >= 8; k += 8) {
        const __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + k));
        const int32_t first = samples[k];
        const __m256i offset = _mm256_sub_epi32(at, _mm256_set1_epi32(first));
        // Every offset 0 .. 15, compared without sign.
        const bool near = _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_min_epu32(offset, fifteen), offset)) == -1;
        if (first > sound_frames - 16 || !near) {
            CopySamplesPortable(samples + k, 8, sound, to + size_t(k) * 2, 2);
            continue;
        }
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + first));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + first + 8));
        const __m256i picked = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(low, offset),
                                                  _mm256_permutevar8x32_epi32(high, offset),
                                                  _mm256_cmpgt_epi32(offset, seven));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + size_t(k) * 2), picked);
    }
    return k;
}

#endif


// A form that divides without the divider is exact only for the numerators it allows.
template <int32_t (*kVector)(const SpanPositions&, int32_t, int32_t, int32_t, int32_t*), bool kWithoutDivider>
void RunSamplesFinished(const SpanPositions& span, int32_t frame, int32_t first, int32_t count, int32_t* samples) {
    const bool exact = !kWithoutDivider || span.QuotientWithoutDivider();
    const int32_t done = exact ? kVector(span, frame, first, count, samples) : 0;
    RunSamplesPortable(span, frame, first + done, count - done, samples + done);
}

void CopyStereoPortable(const int32_t* samples, int32_t count, const int16_t* sound, int32_t, int16_t* to) {
    CopySamplesPortable(samples, count, sound, to, 2);
}

template <int32_t (*kVector)(const int32_t*, int32_t, const int16_t*, int32_t, int16_t*)>
void CopyStereoFinished(const int32_t* samples, int32_t count, const int16_t* sound, int32_t sound_frames, int16_t* to) {
    const int32_t done = kVector(samples, count, sound, sound_frames, to);
    CopySamplesPortable(samples + done, count - done, sound, to + size_t(done) * 2, 2);
}

}  // namespace

constinit const KernelTable<RunSamplesForm> kRunSamples("kRunSamples", RunSamplesPortable,
                                                        nullptr,
                                                        KINETRA_VECTOR_FORM((RunSamplesFinished<RunSamplesAVX2, true>)),
                                                        KINETRA_VECTOR_FORM((RunSamplesFinished<RunSamplesAVX512, true>)));
constinit const KernelTable<CopyStereoForm> kCopyStereo("kCopyStereo", CopyStereoPortable, nullptr,
                                                        KINETRA_VECTOR_FORM(CopyStereoFinished<CopyStereoAVX2>));

}  // namespace kinetra::audio
