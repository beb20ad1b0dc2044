// The resampling kernels' forms (resample.h).
#include "video/kernels/resample.h"

#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
#endif

namespace kinetra::video {
namespace {

// The horizontal pass's sums for columns [j, count): the portable form's, and the vector forms'
// for the columns too near the row's end for their loads.
void MixColumnsFrom(int32_t* widened, const PixelYC* row, int32_t width, const ResizeColumn* columns, int32_t j,
                    int32_t count) {
    for (; j < count; ++j) {
        const ResizeColumn& column = columns[j];
        const PixelYC& left = row[column.x];
        const PixelYC& right = row[column.x + 1 < width ? column.x + 1 : column.x];
        const int32_t ax = column.weights & 0xFFFF, bx = column.weights >> 16;
        widened[3 * j] = ax * left.y + bx * right.y;
        widened[3 * j + 1] = ax * left.cb + bx * right.cb;
        widened[3 * j + 2] = ax * left.cr + bx * right.cr;
    }
}

void MixColumnsPortable(int32_t* widened, const PixelYC* row, int32_t width, const ResizeColumn* columns,
                        int32_t count) {
    MixColumnsFrom(widened, row, width, columns, 0, count);
}

// The vertical pass's pixels [i, count).
void MixRowsFrom(PixelYC* out, const int32_t* top, const int32_t* bottom, int32_t i, int32_t count, int32_t fy) {
    for (; i < count; ++i) {
        int16_t mixed[3];
        for (int k = 0; k < 3; ++k) {
            mixed[k] = static_cast<int16_t>(((255 - fy) * top[3 * i + k] + fy * bottom[3 * i + k]) >> 16);
        }
        out[i] = {mixed[0], mixed[1], mixed[2]};
    }
}

void MixRowsPortable(PixelYC* out, const int32_t* top, const int32_t* bottom, int32_t count, int32_t fy) {
    MixRowsFrom(out, top, bottom, 0, count, fy);
}

#if defined(KINETRA_VECTOR_KERNELS)
// The vector forms read a column's two pixels with loads that reach 4 bytes into the pixel
// after them. The columns [0, n) returned have that pixel inside the row; x never decreases
// along the columns, so the others are the last few.
int32_t ColumnsLoadedWhole(const ResizeColumn* columns, int32_t count, int32_t width) {
    while (count > 0 && columns[count - 1].x + 2 >= width) --count;
    return count;
}

const unsigned char* PixelBytes(const PixelYC* row, int32_t x) {
    return reinterpret_cast<const unsigned char*>(row) + 6 * static_cast<size_t>(x);
}

// A column at a time: its two pixels interleaved per component and multiplied-added with its
// weights; the fourth lane's sum lands on the next column's first element, which the next
// store writes again.
void MixColumnsSSE2(int32_t* widened, const PixelYC* row, int32_t width, const ResizeColumn* columns,
                    int32_t count) {
    const int32_t whole = ColumnsLoadedWhole(columns, count, width);
    for (int32_t j = 0; j < whole; ++j) {
        const unsigned char* left = PixelBytes(row, columns[j].x);
        const __m128i pairs = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(left)),
                                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(left + 6)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(widened + 3 * j),
                         _mm_madd_epi16(pairs, _mm_set1_epi32(columns[j].weights)));
    }
    MixColumnsFrom(widened, row, width, columns, whole, count);
}

// Two columns at a time, one in each 128-bit lane: a column's 12 bytes loaded at once and
// shuffled into its pairs, the two columns' weights spread from one load of their
// descriptions, and the six sums closed up for one store.
[[gnu::target("avx2")]] void MixColumnsAVX2(int32_t* widened, const PixelYC* row, int32_t width,
                                            const ResizeColumn* columns, int32_t count) {
    const int32_t whole = ColumnsLoadedWhole(columns, count, width);
    const __m256i to_pairs = _mm256_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1,  //
                                              0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1);
    const __m256i spread_weights = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
    const __m256i close_up = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    int32_t j = 0;
    for (; j + 2 <= whole; j += 2) {
        const __m128i described = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + j));
        const __m256i weights = _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(described), spread_weights);
        const __m256i pixels = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(PixelBytes(row, columns[j].x)))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(PixelBytes(row, columns[j + 1].x))), 1);
        const __m256i sums = _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, to_pairs), weights);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(widened + 3 * j),
                            _mm256_permutevar8x32_epi32(sums, close_up));
    }
    // GCC leaves the upper halves dirty before the tail call, and every SSE instruction after
    // (the next command's SSE2 forms among them) then runs several times slower: clear them.
    _mm256_zeroupper();
    MixColumnsFrom(widened, row, width, columns, j, count);
}

// Four sums (255 - fy) * top + fy * bottom, formed as 256 * top - top + fy * (bottom - top) in
// wrapping 32-bit arithmetic, which gives the sum since it fits 32 bits. SSE2 multiplies 32-bit
// lanes two at a time, the even ones and then the odd ones; their products' low halves are
// those of the signed products.
inline __m128i MixFourSSE2(__m128i top, __m128i bottom, __m128i fy) {
    const __m128i step = _mm_sub_epi32(bottom, top);
    const __m128i even = _mm_mul_epu32(step, fy), odd = _mm_mul_epu32(_mm_srli_epi64(step, 32), fy);
    const __m128i product = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(3, 1, 2, 0)),
                                               _mm_shuffle_epi32(odd, _MM_SHUFFLE(3, 1, 2, 0)));
    return _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(top, 8), top), product), 16);
}

// Eight pixels at a time, 24 elements in three stores of eight.
void MixRowsSSE2(PixelYC* out, const int32_t* top, const int32_t* bottom, int32_t count, int32_t fy) {
    const __m128i weight = _mm_set1_epi32(fy);
    auto* to = reinterpret_cast<unsigned char*>(out);
    auto load = [](const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int32_t e = 3 * i; e < 3 * i + 24; e += 8) {
            const __m128i first = MixFourSSE2(load(top + e), load(bottom + e), weight);
            const __m128i second = MixFourSSE2(load(top + e + 4), load(bottom + e + 4), weight);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 2 * size_t(e)), _mm_packs_epi32(first, second));
        }
    }
    MixRowsFrom(out, top, bottom, i, count, fy);
}

// Eight sums (255 - fy) * top + fy * bottom, shifted: MixFourSSE2's sum, with one multiply.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i MixEightAVX2(const int32_t* top, const int32_t* bottom,
                                                                         __m256i fy) {
    const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom));
    const __m256i product = _mm256_mullo_epi32(_mm256_sub_epi32(d, t), fy);
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(t, 8), t), product), 16);
}

// Sixteen pixels at a time, 48 elements in three stores of sixteen.
[[gnu::target("avx2")]] void MixRowsAVX2(PixelYC* out, const int32_t* top, const int32_t* bottom, int32_t count,
                                         int32_t fy) {
    const __m256i weight = _mm256_set1_epi32(fy);
    auto* to = reinterpret_cast<unsigned char*>(out);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        for (int32_t e = 3 * i; e < 3 * i + 48; e += 16) {
            // packs interleaves the halves per 128-bit lane; the permute puts them back in order.
            const __m256i packed = _mm256_packs_epi32(MixEightAVX2(top + e, bottom + e, weight),
                                                      MixEightAVX2(top + e + 8, bottom + e + 8, weight));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 2 * size_t(e)),
                                _mm256_permute4x64_epi64(packed, 0xD8));
        }
    }
    _mm256_zeroupper();  // as in MixColumnsAVX2
    MixRowsFrom(out, top, bottom, i, count, fy);
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

constinit const KernelTable<MixColumnsForm> kMixColumns("kMixColumns", MixColumnsPortable,
                                                        KINETRA_VECTOR_FORM(MixColumnsSSE2),
                                                        KINETRA_VECTOR_FORM(MixColumnsAVX2));
constinit const KernelTable<MixRowsForm> kMixRows("kMixRows", MixRowsPortable, KINETRA_VECTOR_FORM(MixRowsSSE2),
                                                  KINETRA_VECTOR_FORM(MixRowsAVX2));
constinit const KernelTable<TurnForm> kTurn("kTurn", TurnLoop<BilinearSampleAt>,
                                            KINETRA_VECTOR_FORM(TurnLoop<BilinearSampleAtSSE2>));

}  // namespace kinetra::video
