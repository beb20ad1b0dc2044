// a_copyframe, a_copyframe2, a_copy: the sound of another frame, or of a span of frames, or of
// a buffer, copied into a buffer. All on the calling thread.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/count_division.h"
#include "audio/handlers.h"
#include "host/kernel_level.h"

#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
KINETRA_AVX512_QUIET
#endif

namespace kinetra::audio {
namespace {

constexpr int kFetchBuffer = 9;

// Which frame the fetch area holds, for which sample and channel count. Never a key a frame of
// sound can have (n >= 1) until the first fetch.
struct FetchedFrame {
    int32_t frame = -1;
    int32_t n = 0;
    int32_t c = 0;
};
FetchedFrame fetched;

bool FitsInt32(double whole) { return whole >= INT32_MIN && whole <= INT32_MAX; }

}  // namespace

const int16_t* FetchFrameAudio(const SoundArguments& args, int32_t frame) {
    CommandCall& call = *args.call;
    int16_t* area = call.buffers.Sound(kFetchBuffer);
    if (fetched.frame == frame && fetched.n == args.n && fetched.c == args.c) return area;
    // The fetch area is buffer 9 and the work area after it: room for 3 x n sample frames of
    // max(2, c) channels, so a short frame completed by the next one fits even when the next
    // is up to twice as long as this one. What the reader does not deliver of the n sample
    // frames is silence; it is cleared after the reads, so a whole frame is written once.
    const HostServices* services = call.filter ? call.filter->services : nullptr;
    const ReadFrameAudioFn read = services ? services->read_frame_audio : nullptr;
    int64_t filled = 0;
    if (read) {
        // A count below 0 is nothing delivered: there is no place before the area to complete.
        const int32_t delivered = read(call.filter, call.frame->edit_handle, frame, area);
        if (delivered > 0) filled = delivered;
        if (delivered > 0 && delivered < args.n && frame < INT32_MAX) {
            const int32_t next = read(call.filter, call.frame->edit_handle, frame + 1, area + static_cast<size_t>(delivered) * args.c);
            if (next > 0) filled += next;
        }
    }
    if (filled < args.n) std::fill(area + static_cast<size_t>(filled) * args.c, area + args.AllValues(), int16_t{0});
    fetched = {frame, args.n, args.c};
    return area;
}

void ForgetFetchedFrame() { fetched = {}; }

void CopyFrame(const SoundArguments& args) {
    const int16_t* sound = FetchFrameAudio(args, args[2]);
    int16_t* destination = args.Sound(1);
    if (destination != sound) memcpy(destination, sound, args.AllValues() * sizeof(int16_t));
}

namespace {

// The span from s over d frames played into n sample frames: sample frame i comes from sample
// frame l of frame g, where t = s + (i x d) / n, g = floor(t) and l = floor((t - g) x n).
struct SpanPositions {
    double s, d, n;
    int32_t last;  // n - 1

    double At(int32_t i) const { return s + (double(i) * d) / n; }
    // floor(t), which lies in 32 bits: truncation, one less below zero between whole numbers.
    int32_t FrameAt(int32_t i) const {
        const double t = At(i);
        return static_cast<int32_t>(t) - (t < static_cast<int32_t>(t) ? 1 : 0);
    }
    // (t - g) x n can round up to n: the last sample frame is the nearest earlier one then.
    int32_t SampleAt(double t, double g) const { return std::min(static_cast<int32_t>((t - g) * n), last); }
    // The numerators i x d stay where the division-free quotient is exact.
    bool QuotientWithoutDivider() const {
        return d >= kSmallestDividend && d * n <= kLargestDividend;
    }
};

// Positions only grow with i (every step rounds a growing value), so the sample frames from one
// frame form a run: the first position after `i` that comes from a later frame, or n, found by
// doubling steps and then halving them, in about twice the logarithm of the run's length.
int32_t RunEnd(const SpanPositions& span, int32_t i, int32_t frame) {
    const int32_t n = span.last + 1;
    int32_t inside = i, beyond = n;
    for (int64_t step = 1; step < n - inside; step *= 2) {
        if (span.FrameAt(static_cast<int32_t>(inside + step)) != frame) {
            beyond = static_cast<int32_t>(inside + step);
            break;
        }
        inside += static_cast<int32_t>(step);
    }
    while (beyond - inside > 1) {
        const int32_t middle = inside + (beyond - inside) / 2;
        (span.FrameAt(middle) == frame ? inside : beyond) = middle;
    }
    return beyond;
}

// The sample frames l for positions first .. first + count - 1, all of frame `frame`. The
// portable form; the vector forms below give the same bits.
void RunSamplesPortable(const SpanPositions& span, int32_t frame, int32_t first, int32_t count, int32_t* samples) {
    const double g = frame;
#pragma omp simd
    for (int32_t k = 0; k < count; ++k) samples[k] = span.SampleAt(span.At(first + k), g);
}

#if defined(KINETRA_VECTOR_KERNELS)
// The same operations on two, four or eight positions at once: packed arithmetic rounds as
// scalar arithmetic does, the AVX2 and AVX-512 forms' quotient is the divider's
// (count_division.h), and the truncations lie in 32 bits, where cvttpd2dq truncates exactly.
// Each returns how many positions it left to the portable form.
int32_t RunSamplesSSE2(const SpanPositions& span, int32_t frame, int32_t first, int32_t count, int32_t* samples) {
    const __m128d s = _mm_set1_pd(span.s), d = _mm_set1_pd(span.d), n = _mm_set1_pd(span.n);
    const __m128d g = _mm_set1_pd(frame);
    const __m128i last = _mm_set1_epi32(span.last);
    int32_t k = 0;
    for (; count - k >= 2; k += 2) {
        const __m128d i = _mm_set_pd(first + k + 1, first + k);
        const __m128d t = _mm_add_pd(s, _mm_div_pd(_mm_mul_pd(i, d), n));
        const __m128i l = _mm_cvttpd_epi32(_mm_mul_pd(_mm_sub_pd(t, g), n));
        const __m128i over = _mm_cmpgt_epi32(l, last);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + k), _mm_or_si128(_mm_and_si128(over, last), _mm_andnot_si128(over, l)));
    }
    return k;
}

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

void RunSamples(const SpanPositions& span, int32_t frame, int32_t first, int32_t count, int32_t* samples) {
    int32_t done = 0;
#if defined(KINETRA_VECTOR_KERNELS)
    const KernelLevel level = ActiveKernelLevel();
    if (level >= KernelLevel::kAVX512 && span.QuotientWithoutDivider()) {
        done = RunSamplesAVX512(span, frame, first, count, samples);
    } else if (level >= KernelLevel::kAVX2 && span.QuotientWithoutDivider()) {
        done = RunSamplesAVX2(span, frame, first, count, samples);
    } else if (level >= KernelLevel::kSSE2) {
        done = RunSamplesSSE2(span, frame, first, count, samples);
    }
#endif
    RunSamplesPortable(span, frame, first + done, count - done, samples + done);
}

// Sample frame k of `to` takes sample frame samples[k] of `sound`, for k < count.
void CopySamplesPortable(const int32_t* samples, int32_t count, const int16_t* sound, int16_t* to, int32_t values) {
    if (values == 2) {
        for (int32_t k = 0; k < count; ++k) memcpy(to + size_t(k) * 2, sound + size_t(samples[k]) * 2, 4);
    } else {
        for (int32_t k = 0; k < count; ++k) to[k] = sound[samples[k]];
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
// Stereo sample frames 8 (AVX2) or 16 (AVX-512) at a time, as 32-bit values: where the sources
// lie within twice that many sample frames of the first, which they do for spans of up to about
// two frames, they are read with two loads and picked out with permutes. Sources farther apart
// are copied one by one: a gather of them saved 2 to 6% of a frame that squeezes four. Sources
// from `sound_frames` on are never touched. Each returns how many it copied.
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

[[gnu::target(KINETRA_AVX512_TARGET)]] int32_t CopyStereoAVX512(const int32_t* samples, int32_t count,
                                                               const int16_t* sound, int32_t sound_frames, int16_t* to) {
    const int* frames = reinterpret_cast<const int*>(sound);
    const __m512i thirty_one = _mm512_set1_epi32(31);
    int32_t k = 0;
    for (; count - k >= 16; k += 16) {
        const __m512i at = _mm512_loadu_si512(samples + k);
        const int32_t first = samples[k];
        const __m512i offset = _mm512_sub_epi32(at, _mm512_set1_epi32(first));
        if (first > sound_frames - 32 || _mm512_cmpgt_epu32_mask(offset, thirty_one) != 0) {
            CopySamplesPortable(samples + k, 16, sound, to + size_t(k) * 2, 2);
            continue;
        }
        _mm512_storeu_si512(to + size_t(k) * 2, _mm512_permutex2var_epi32(_mm512_loadu_si512(frames + first), offset,
                                                                          _mm512_loadu_si512(frames + first + 16)));
    }
    return k;
}
#endif

void CopySamples(const int32_t* samples, int32_t count, const int16_t* sound, int32_t sound_frames, int16_t* to,
                 int32_t values) {
    int32_t done = 0;
#if defined(KINETRA_VECTOR_KERNELS)
    if (values == 2 && ActiveKernelLevel() >= KernelLevel::kAVX512) {
        done = CopyStereoAVX512(samples, count, sound, sound_frames, to);
    } else if (values == 2 && ActiveKernelLevel() >= KernelLevel::kAVX2) {
        done = CopyStereoAVX2(samples, count, sound, sound_frames, to);
    }
#endif
    CopySamplesPortable(samples + done, count - done, sound, to + size_t(done) * values, values);
}

}  // namespace

// The span [s, e) of the time line played into the frame: sample frame i takes sample frame l of
// frame g, where g + l / n is the nearest earlier position to s + i x d / n. Each frame of the
// span is fetched once and its run of sample frames copied, all on the calling thread: the
// fetched sound lies in this core's cache, and a worker reading it from there takes longer
// than the copy itself.
void CopyFrameSpan(const SoundArguments& args) {
    const double s = args.Real(2), d = args.Real(3) - s, n = args.n;
    if (!(d > 0.0) || !std::isfinite(d)) return;
    const SpanPositions span{s, d, n, args.n - 1};
    // The positions grow with i, so the first and the last bound every frame number the span reads.
    if (!FitsInt32(std::floor(s)) || !FitsInt32(std::floor(span.At(span.last)))) return;
    // Into buffer 9 the fetches would overwrite what is written: the result is gathered in the
    // second work area and copied at the end, as if every source had been read first.
    int16_t* destination = args.Sound(1);
    const CommandCall& call = *args.call;
    int16_t* out = destination == call.buffers.Sound(kFetchBuffer)
                       ? static_cast<int16_t*>(call.buffers.WorkArea(1))
                       : destination;
    const int32_t values = args.FrameValues();
    constexpr int32_t kBlock = 256;
    int32_t samples[kBlock];
    for (int32_t i = 0; i < args.n;) {
        const int32_t frame = span.FrameAt(i);
        const int32_t stop = RunEnd(span, i, frame);
        const int16_t* sound = FetchFrameAudio(args, frame);
        for (; i < stop; i += std::min(kBlock, stop - i)) {
            const int32_t count = std::min(kBlock, stop - i);
            RunSamples(span, frame, i, count, samples);
            CopySamples(samples, count, sound, args.n, out + size_t(i) * values, values);
        }
    }
    if (out != destination) memcpy(destination, out, size_t(args.n) * values * sizeof(int16_t));
}

void Copy(const SoundArguments& args) {
    const int16_t* source = args.Sound(1);
    int16_t* destination = args.Sound(2);
    if (destination != source) memcpy(destination, source, args.AllValues() * sizeof(int16_t));
}

}  // namespace kinetra::audio
