// The resampling kernels' forms (resample.h).
#include "video/kernels/resample.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

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

// A row that crosses source rows less often than it moves along them reads a line or two of
// one source row and then steps a row down, so the distance between its reads changes every
// few pixels. The processor's prefetchers do not follow such a walk, and the lines it reaches
// first come only when asked for: a small turn took up to three times as long as no turn. Such
// a run asks for the lines kPrefetchAhead positions on itself, once every kPrefetchEvery
// positions. A steeper walk, a row down at nearly every pixel, keeps one distance that the
// prefetchers follow, and a level one reads along its rows.
constexpr int64_t kPrefetchAhead = 128, kPrefetchEvery = 4;

bool FetchesAhead(const TurnedRun& run) { return run.step_v != 0 && std::abs(run.step_v) < std::abs(run.step_u); }

// Asks for the lines both rows of position k + kPrefetchAhead read, when the run reaches it.
// Inlined always: GCC takes a function whose only effect is a prefetch for one without effects
// and drops the calls.
[[gnu::always_inline]] inline void PrefetchAhead(const TurnedRun& run, int64_t k, int64_t end, int64_t u, int64_t v) {
    if (k + kPrefetchAhead >= end) return;
    const int64_t sx = run.centre_x + ((u + kPrefetchAhead * run.step_u) >> 12);
    const int64_t sy = run.centre_y + ((v + kPrefetchAhead * run.step_v) >> 12);
    const PixelYC* p = run.pixels + PixelIndex(sx, sy, run.size.width);
    __builtin_prefetch(p);
    __builtin_prefetch(p + run.size.width);
}

// Each position of columns [first, end) sampled by kSample: the portable form's or SSE2's loads
// and multiply-adds.
template <void (*kSample)(PixelYC*, const PixelYC*, size_t, size_t, int32_t, int32_t)>
void TurnLoop(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end, int64_t u, int64_t v) {
    // Local copies: the compiler cannot tell that the pixel stores leave them unchanged.
    const int64_t step_u = run.step_u, step_v = run.step_v, x_centre = run.centre_x, y_centre = run.centre_y;
    const int32_t width = run.size.width;
    const PixelYC* const pixels = run.pixels;
    const bool ahead = FetchesAhead(run);
    for (int64_t k = first; k < end;) {
        if (ahead) PrefetchAhead(run, k, end, u, v);
        for (const int64_t group_end = std::min(end, k + kPrefetchEvery); k < group_end; ++k, u += step_u, v += step_v) {
            const int64_t sx = x_centre + (u >> 12), sy = y_centre + (v >> 12);
            kSample(out + k, pixels + PixelIndex(sx, sy, width), 1, static_cast<size_t>(width),
                    static_cast<int32_t>((u >> 4) & 255), static_cast<int32_t>((v >> 4) & 255));
        }
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
// The AVX2 form takes eight positions a step. Their fractions, weights and offsets from the
// first are formed in 32-bit lanes: u & 4095 plus up to seven steps of at most 4096 stays far
// inside them, and (u + j * step) >> 12 is u >> 12 plus that sum >> 12, likewise >> 4. Each
// row's pair of neighbours is one 16-byte load, spread per component by pshufb into the order
// BilinearMix takes; two positions share a vector, one in each half, and are mixed by its
// multiply-adds, so the bits are the SSE2 form's. A load reads 4 bytes past its pair, so a step
// whose lower row is the image's last takes the SSE2 form, and no read passes the image.
constexpr int kTurnStep = 8;

struct EightPositions {
    __m256i top_weights, bottom_weights;  // per position, BilinearMix's row weights
    alignas(32) int32_t offset[kTurnStep];  // pixels from the first position's
};

[[gnu::target("avx2")]] inline EightPositions PositionsAVX2(int64_t u, int64_t v, __m256i steps_u, __m256i steps_v,
                                                            int32_t width) {
    const __m256i u_within = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(u & 4095)), steps_u);
    const __m256i v_within = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(v & 4095)), steps_v);
    const __m256i low8 = _mm256_set1_epi32(255);
    const __m256i fx = _mm256_and_si256(_mm256_srai_epi32(u_within, 4), low8);
    const __m256i fy = _mm256_and_si256(_mm256_srai_epi32(v_within, 4), low8);
    // (255 - fx, fx) as two 16-bit halves times a row's factor: no product passes 65025, so the
    // 16-bit products are whole; flipping each half's top bit subtracts 32768 from it.
    const __m256i across = _mm256_or_si256(_mm256_sub_epi32(low8, fx), _mm256_slli_epi32(fx, 16));
    const __m256i fy_high = _mm256_slli_epi32(fy, 16), flip = _mm256_set1_epi32(static_cast<int32_t>(0x80008000u));
    const __m256i top = _mm256_sub_epi32(_mm256_set1_epi32(255 | 255 << 16), _mm256_or_si256(fy, fy_high));
    EightPositions positions;
    positions.top_weights = _mm256_xor_si256(_mm256_mullo_epi16(across, top), flip);
    positions.bottom_weights = _mm256_xor_si256(_mm256_mullo_epi16(across, _mm256_or_si256(fy, fy_high)), flip);
    const __m256i offsets = _mm256_add_epi32(_mm256_srai_epi32(u_within, 12),
                                             _mm256_mullo_epi32(_mm256_srai_epi32(v_within, 12), _mm256_set1_epi32(width)));
    _mm256_store_si256(reinterpret_cast<__m256i*>(positions.offset), offsets);
    return positions;
}

// The pairs of neighbours at `low` and `high` (one a half), c0.y c1.y c0.cb c1.cb c0.cr c1.cr and
// two zero words, as BilinearMix takes them.
[[gnu::target("avx2")]] inline __m256i PairsAVX2(const PixelYC* low, const PixelYC* high) {
    const __m256i spread = _mm256_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1,  //
                                            0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1);
    return _mm256_shuffle_epi8(
        _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high), reinterpret_cast<const __m128i*>(low)), spread);
}

// BilinearMix of positions a (lower half) and b (upper half) of the eight, from `first`, the
// first position's pixel: the sums shifted, one per 32-bit lane, three lanes a position.
[[gnu::target("avx2")]] inline __m256i MixTwoAVX2(const EightPositions& positions, const PixelYC* first, size_t down,
                                                  int a, int b) {
    const PixelYC* pa = first + positions.offset[a];
    const PixelYC* pb = first + positions.offset[b];
    const __m256i top = PairsAVX2(pa, pb), bottom = PairsAVX2(pa + down, pb + down);
    const __m256i lanes = _mm256_setr_epi32(a, a, a, a, b, b, b, b);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i biased = _mm256_add_epi32(_mm256_madd_epi16(top, _mm256_permutevar8x32_epi32(positions.top_weights, lanes)),
                                            _mm256_madd_epi16(bottom, _mm256_permutevar8x32_epi32(positions.bottom_weights, lanes)));
    const __m256i sums = _mm256_add_epi32(_mm256_madd_epi16(top, ones), _mm256_madd_epi16(bottom, ones));
    return _mm256_srai_epi32(_mm256_add_epi32(biased, _mm256_slli_epi32(sums, 15)), 16);
}

// Positions a .. a + 3 as their 24 bytes of pixels at the bottom of a vector.
[[gnu::target("avx2")]] inline __m256i FourPixelsAVX2(const EightPositions& positions, const PixelYC* first,
                                                      size_t down, int a) {
    // Halves: a and a + 1 below, a + 2 and a + 3 above, each y cb cr and an unused word.
    const __m256i packed = _mm256_packs_epi32(MixTwoAVX2(positions, first, down, a, a + 2),
                                              MixTwoAVX2(positions, first, down, a + 1, a + 3));
    const __m256i drop_unused = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1,  //
                                                 0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1);
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(packed, drop_unused), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

[[gnu::target("avx2")]] void TurnAVX2(const TurnedRun& run, PixelYC* out, int64_t first, int64_t end, int64_t u,
                                      int64_t v) {
    const int64_t step_u = run.step_u, step_v = run.step_v;
    const int32_t width = run.size.width;
    const size_t down = static_cast<size_t>(width);
    const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i steps_u = _mm256_mullo_epi32(steps, _mm256_set1_epi32(static_cast<int32_t>(step_u)));
    const __m256i steps_v = _mm256_mullo_epi32(steps, _mm256_set1_epi32(static_cast<int32_t>(step_v)));
    const bool ahead = FetchesAhead(run);
    int64_t k = first;
    for (; end - k >= kTurnStep; k += kTurnStep, u += kTurnStep * step_u, v += kTurnStep * step_v) {
        if (ahead) {
            for (int j = 0; j < kTurnStep; j += kPrefetchEvery) PrefetchAhead(run, k + j, end, u + j * step_u, v + j * step_v);
        }
        const int64_t lowest = run.centre_y + (std::max(v, v + (kTurnStep - 1) * step_v) >> 12);
        if (lowest + 2 >= run.size.height) {
            TurnLoop<BilinearSampleAtSSE2>(run, out, k, k + kTurnStep, u, v);
            continue;
        }
        const EightPositions positions = PositionsAVX2(u, v, steps_u, steps_v, width);
        const PixelYC* at = run.pixels + PixelIndex(run.centre_x + (u >> 12), run.centre_y + (v >> 12), width);
        // The second store overwrites the 8 bytes the first writes past its four pixels.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), FourPixelsAVX2(positions, at, down, 0));
        const __m256i high = FourPixelsAVX2(positions, at, down, 4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 4), _mm256_castsi256_si128(high));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k + 4) + 1, _mm256_extracti128_si256(high, 1));
    }
    TurnLoop<BilinearSampleAtSSE2>(run, out, k, end, u, v);
}
#endif

}  // namespace

constinit const KernelTable<MixColumnsForm> kMixColumns("kMixColumns", MixColumnsPortable,
                                                        KINETRA_VECTOR_FORM(MixColumnsSSE2),
                                                        KINETRA_VECTOR_FORM(MixColumnsAVX2));
constinit const KernelTable<MixRowsForm> kMixRows("kMixRows", MixRowsPortable, KINETRA_VECTOR_FORM(MixRowsSSE2),
                                                  KINETRA_VECTOR_FORM(MixRowsAVX2));
constinit const KernelTable<TurnForm> kTurn("kTurn", TurnLoop<BilinearSampleAt>,
                                            KINETRA_VECTOR_FORM(TurnLoop<BilinearSampleAtSSE2>),
                                            KINETRA_VECTOR_FORM(TurnAVX2));

}  // namespace kinetra::video
