// The resampling kernels' forms (resample.h).
#include "video/kernels/resample.h"

#include <algorithm>
#include <cstring>
#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
#endif

namespace kinetra::video {
namespace {

int16_t Element(const PixelYC* pixels, int32_t i) {  // component i % 3 of pixel i / 3
    int16_t value;
    memcpy(&value, reinterpret_cast<const unsigned char*>(pixels) + 2 * size_t(i), sizeof value);
    return value;
}

// The vertical pass's mixes from element `i` on; the horizontal pass may read four elements
// past the last, which only reach lanes it discards.
void MixRowsFrom(MixedSpan& span, const PixelYC* top, const PixelYC* bottom, int32_t i, int32_t elements, int32_t fy) {
    for (; i < elements; ++i) {
        const int32_t mixed = Element(top, i) * (255 - fy) + Element(bottom, i) * fy;
        span.high[i] = static_cast<int16_t>(mixed >> 8);
        span.low[i] = static_cast<int16_t>(mixed & 255);
    }
    std::fill_n(span.high + elements, 4, int16_t{0});
    std::fill_n(span.low + elements, 4, int16_t{0});
}

void MixRowsPortable(MixedSpan& span, const PixelYC* top, const PixelYC* bottom, int32_t columns, int32_t fy) {
    MixRowsFrom(span, top, bottom, 0, 3 * columns, fy);
}

#if defined(KINETRA_VECTOR_KERNELS)
void MixRowsSSE2(MixedSpan& span, const PixelYC* top, const PixelYC* bottom, int32_t columns, int32_t fy) {
    const int32_t elements = 3 * columns;
    int32_t i = 0;
    const __m128i weights = _mm_set1_epi32((255 - fy) | fy << 16);
    const __m128i mask = _mm_set1_epi32(255);
    auto load = [](const PixelYC* pixels, int32_t i) {  // elements i .. i + 7
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pixels) + 2 * size_t(i);
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    };
    for (; i + 8 <= elements; i += 8) {
        const __m128i t = load(top, i), b = load(bottom, i);
        const __m128i first = _mm_madd_epi16(_mm_unpacklo_epi16(t, b), weights);
        const __m128i second = _mm_madd_epi16(_mm_unpackhi_epi16(t, b), weights);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(span.high + i),
                         _mm_packs_epi32(_mm_srai_epi32(first, 8), _mm_srai_epi32(second, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(span.low + i),
                         _mm_packs_epi32(_mm_and_si128(first, mask), _mm_and_si128(second, mask)));
    }
    MixRowsFrom(span, top, bottom, i, elements, fy);
}
#endif

void MixColumnsPortable(PixelYC* out, const ResizeColumn* columns, int32_t count, const MixedSpan& span,
                        int32_t x_first) {
    for (int32_t j = 0; j < count; ++j) {
        const ResizeColumn& column = columns[j];
        const int32_t at = 3 * (column.x - x_first), right = at + column.right;
        const int32_t ax = column.weights & 0xFFFF, bx = column.weights >> 16;
        int16_t result[3];
        for (int k = 0; k < 3; ++k) {
            const int32_t high = ax * span.high[at + k] + bx * span.high[right + k];
            const int32_t low = ax * span.low[at + k] + bx * span.low[right + k];
            result[k] = static_cast<int16_t>((high * 256 + low) >> 16);
        }
        out[j] = {result[0], result[1], result[2]};
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
void MixColumnsSSE2(PixelYC* out, const ResizeColumn* columns, int32_t count, const MixedSpan& span, int32_t x_first) {
    for (int32_t j = 0; j < count; ++j) {
        const ResizeColumn& column = columns[j];
        const int32_t at = 3 * (column.x - x_first), right = at + column.right;
        const __m128i weights = _mm_set1_epi32(column.weights);
        auto mix = [&](const int16_t* halves) {  // pairs per component, then weighted
            const __m128i pairs = _mm_unpacklo_epi16(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(halves + at)),
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(halves + right)));
            return _mm_madd_epi16(pairs, weights);
        };
        const __m128i sum = _mm_add_epi32(_mm_slli_epi32(mix(span.high), 8), mix(span.low));
        StorePixel(out + j, _mm_packs_epi32(_mm_srai_epi32(sum, 16), _mm_setzero_si128()));
    }
}
#endif

// The samples of columns [first, end) of a destination row, positions (u, v) at the first.
// `interior(out, pixel, fx, fy)` samples a position below x_end and y_end.
template <typename Interior>
[[gnu::always_inline]] inline void TurnRun(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end,
                                           int64_t u, int64_t v, Interior&& interior) {
    // Local copies: the compiler cannot tell that the pixel stores leave them unchanged.
    const int64_t step_u = run.step_u, step_v = run.step_v, x_centre = run.centre_x, y_centre = run.centre_y;
    const int64_t x_end = run.x_end, y_end = run.y_end;
    const int32_t width = run.size.width;
    const PixelYC* const pixels = run.source.Row(0);
    for (int64_t k = first; k < end; ++k, u += step_u, v += step_v) {
        const int64_t sx = x_centre + (u >> 12), sy = y_centre + (v >> 12);
        const int32_t fx = static_cast<int32_t>((u >> 4) & 255);
        const int32_t fy = static_cast<int32_t>((v >> 4) & 255);
        if (sx < x_end && sy < y_end) {
            interior(out + k, pixels + PixelIndex(sx, sy, width), fx, fy);
        } else {
            run.source.Sample(out + k, sx, sy, fx, fy);
        }
    }
}

// Each position sampled by kSample: the portable form's or SSE2's loads and multiply-adds.
template <void (*kSample)(PixelYC*, const PixelYC*, size_t, size_t, int32_t, int32_t)>
void TurnLoop(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end, int64_t u, int64_t v) {
    const size_t down = static_cast<size_t>(run.size.width);
    TurnRun(run, out, first, end, u, v, [down](PixelYC* to, const PixelYC* p, int32_t fx, int32_t fy) {
        kSample(to, p, 1, down, fx, fy);
    });
}


}  // namespace

constinit const KernelTable<MixRowsForm> kMixRows("kMixRows", MixRowsPortable, KINETRA_VECTOR_FORM(MixRowsSSE2));
constinit const KernelTable<MixColumnsForm> kMixColumns("kMixColumns", MixColumnsPortable,
                                                        KINETRA_VECTOR_FORM(MixColumnsSSE2));
constinit const KernelTable<TurnForm> kTurn("kTurn", TurnLoop<BilinearSampleAt>,
                                            KINETRA_VECTOR_FORM(TurnLoop<BilinearSampleAtSSE2>));

}  // namespace kinetra::video
