#include "kinetra/media/colour.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kinetra/media/colour_kernels.h"

#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
#endif

namespace kinetra::media {
namespace {

using Matrix = double[3][3];

constexpr double kFraction = 65536.0;  // the integer maps' 16-bit fraction
constexpr double kYcScale = 4096.0;

// Normalised Y'CbCr (luma 0..1, colour differences -0.5..0.5) to R'G'B' 0..1.
void RgbFromYcc(const ColourSpace& s, Matrix& m) {
    const double kg = 1.0 - s.kr - s.kb;
    const double cr_to_r = 2.0 * (1.0 - s.kr), cb_to_b = 2.0 * (1.0 - s.kb);
    const double rows[3][3] = {
        {1.0, 0.0, cr_to_r},
        {1.0, -s.kb * cb_to_b / kg, -s.kr * cr_to_r / kg},
        {1.0, cb_to_b, 0.0},
    };
    std::copy(&rows[0][0], &rows[0][0] + 9, &m[0][0]);
}

void YccFromRgb(const ColourSpace& s, Matrix& m) {
    const double kg = 1.0 - s.kr - s.kb;
    const double rows[3][3] = {
        {s.kr, kg, s.kb},
        {-s.kr / (2.0 * (1.0 - s.kb)), -kg / (2.0 * (1.0 - s.kb)), 0.5},
        {0.5, -kg / (2.0 * (1.0 - s.kr)), -s.kb / (2.0 * (1.0 - s.kr))},
    };
    std::copy(&rows[0][0], &rows[0][0] + 9, &m[0][0]);
}

void Multiply(const Matrix& a, const Matrix& b, Matrix& out) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        }
    }
}

// Normalised Y'CbCr of `from` to normalised Y'CbCr of `to`, through R'G'B'.
void YccToYcc(const ColourSpace& from, const ColourSpace& to, Matrix& m) {
    Matrix to_rgb, from_rgb;
    RgbFromYcc(from, to_rgb);
    YccFromRgb(to, from_rgb);
    Multiply(from_rgb, to_rgb, m);
}

// A code value of component `c` (0 luma, 1 and 2 colour) is offset + scale × normalised value.
// Deeper codes scale the 8-bit limited range by 2^(bits - 8), and fill the full one.
double CodeScale(const ColourSpace& s, int c, int bits = 8) {
    return s.full_range ? (1 << bits) - 1.0 : (c == 0 ? 219.0 : 224.0) * (1 << (bits - 8));
}
double CodeOffset(const ColourSpace& s, int c, int bits = 8) {
    return (c == 0 ? (s.full_range ? 0.0 : 16.0) : 128.0) * (1 << (bits - 8));
}

const ColourSpace kPixelYc = ColourSpace::Bt601(true);

uint8_t ClampToByte(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// The per-row work of both maps, in a portable form and vector forms that give its bits. The
// portable form is the rule; a vector form converts what it can in whole groups of 8 or 16 pixels
// and hands the rest of the row to the portable form.

// The colour samples' share of each component, k1 * Cb + k2 * Cr + bias, in three planes of
// `samples` terms, from sample `from` on.
void ColourTermsPortable(const ToYcMap& m, const uint8_t* cb, const uint8_t* cr, int from, int samples,
                         int32_t* terms) {
    for (int c = from; c < samples; ++c) {
        for (int i = 0; i < 3; ++i) terms[i * samples + c] = m.k[i][1] * cb[c] + m.k[i][2] * cr[c] + m.bias[i];
    }
}

void PixelsPortable(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int shift_x, int from,
                    int width, PixelYC* out) {
    const int32_t *ty = terms, *tb = terms + samples, *tr = terms + 2 * samples;
    for (int x = from; x < width; ++x) {
        const int c = x >> shift_x;
        const int32_t l = luma[x];
        out[x].y = static_cast<int16_t>((m.k[0][0] * l + ty[c]) >> 16);
        out[x].cb = static_cast<int16_t>((m.k[1][0] * l + tb[c]) >> 16);
        out[x].cr = static_cast<int16_t>((m.k[2][0] * l + tr[c]) >> 16);
    }
}

template <typename Int, typename Sample>
void LumaPortable(const MapOf<Int>& m, const PixelYC* in, int from, int width, Sample* luma) {
    for (int x = from; x < width; ++x) {
        const Int code = (m.k[0][0] * in[x].y + m.k[0][1] * in[x].cb + m.k[0][2] * in[x].cr + m.bias[0]) >> 16;
        luma[x] = static_cast<Sample>(std::clamp<Int>(code, 0, m.max));
    }
}

template <typename Int, typename Sample>
void YuvRowsPortable(const MapOf<Int>& m, const YuvRowsOf<Sample>& r, int from) {
    LumaPortable(m, r.first, from, r.width, r.luma_first);
    if (r.second) LumaPortable(m, r.second, from, r.width, r.luma_second);
    const int block_w = 1 << r.shift_x, rows = r.second ? 2 : 1;
    for (int cx = from >> r.shift_x; cx * block_w < r.width; ++cx) {
        const int columns = std::min(block_w, r.width - cx * block_w);
        int32_t sum_y = 0, sum_cb = 0, sum_cr = 0;
        for (const PixelYC* row : {r.first, r.second}) {
            if (!row) continue;
            for (int c = 0; c < columns; ++c) {
                sum_y += row[cx * block_w + c].y;
                sum_cb += row[cx * block_w + c].cb;
                sum_cr += row[cx * block_w + c].cr;
            }
        }
        // The mean's map is the map of the sums divided by their count, kept in 64 bits.
        const int64_t count = rows * columns;
        const int64_t cb = (int64_t{m.k[1][0]} * sum_y + int64_t{m.k[1][1]} * sum_cb + int64_t{m.k[1][2]} * sum_cr) / count;
        const int64_t cr = (int64_t{m.k[2][0]} * sum_y + int64_t{m.k[2][1]} * sum_cb + int64_t{m.k[2][2]} * sum_cr) / count;
        r.cb[cx] = static_cast<Sample>(std::clamp<int64_t>((cb + m.bias[1]) >> 16, 0, m.max));
        r.cr[cx] = static_cast<Sample>(std::clamp<int64_t>((cr + m.bias[2]) >> 16, 0, m.max));
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
// Eight bytes as eight 16-bit lanes.
inline __m128i LoadBytes(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

inline __m128i Pair(int16_t a, int16_t b) {
    return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(a) | (uint32_t{static_cast<uint16_t>(b)} << 16)));
}

// A 32-bit coefficient k as the 16-bit pair (k mod 2^15, (k >> 15) * 2^8): one multiply-add of
// it against the pair (v, v * 2^7) of a byte v is k * v exactly. It fits when k >> 15 does in
// 8 bits.
inline bool Splits(int32_t k) { return (k >> 15) >= -128 && (k >> 15) < 128; }
inline __m128i Split(int32_t k) { return Pair(static_cast<int16_t>(k & 0x7FFF), static_cast<int16_t>((k >> 15) * 256)); }

// Eight bytes' (v, v * 2^7) pairs: the first four and the last four.
inline void BytePairs(__m128i v, __m128i& low, __m128i& high) {
    const __m128i shifted = _mm_slli_epi16(v, 7);
    low = _mm_unpacklo_epi16(v, shifted);
    high = _mm_unpackhi_epi16(v, shifted);
}

// 32-bit sums >> 16 as 16-bit lanes; an int32 >> 16 always fits, so the pack never saturates.
inline __m128i High16(__m128i low, __m128i high) {
    return _mm_packs_epi32(_mm_srai_epi32(low, 16), _mm_srai_epi32(high, 16));
}

// Eight pixels' components to PixelYC, each pixel padded to 8 bytes and stored on its own: the
// 2 bytes past each pixel are the next one's, written again by its store, so the eighth writes
// 2 bytes of the ninth pixel, which must follow in the row. Stores of a register's halves take
// no shuffle, which the wide shuffles of closing the pixels up would.
inline void StorePixels(__m128i y, __m128i cb, __m128i cr, PixelYC* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i yb_low = _mm_unpacklo_epi16(y, cb), yb_high = _mm_unpackhi_epi16(y, cb);
    const __m128i r_low = _mm_unpacklo_epi16(cr, zero), r_high = _mm_unpackhi_epi16(cr, zero);
    const __m128i pairs[4] = {_mm_unpacklo_epi32(yb_low, r_low), _mm_unpackhi_epi32(yb_low, r_low),
                              _mm_unpacklo_epi32(yb_high, r_high), _mm_unpackhi_epi32(yb_high, r_high)};
    for (int i = 0; i < 4; ++i) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * i), pairs[i]);
        // movhps: the store of a high half that takes no 8-byte alignment.
        _mm_storeh_pi(reinterpret_cast<__m64*>(out + 2 * i + 1), _mm_castsi128_ps(pairs[i]));
    }
}

// Eight PixelYC to their components, from one 8-byte load a pixel (its components and 2 bytes
// of the next); reads 2 bytes past the eighth pixel.
inline void LoadPixels(const PixelYC* in, __m128i& y, __m128i& cb, __m128i& cr) {
    __m128i p[8];
    for (int i = 0; i < 8; ++i) p[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
    // Pixels paired (y0 y1 cb0 cb1 cr0 cr1 . .), then fours, then the eight of each component.
    const __m128i a0 = _mm_unpacklo_epi16(p[0], p[1]), a1 = _mm_unpacklo_epi16(p[2], p[3]);
    const __m128i a2 = _mm_unpacklo_epi16(p[4], p[5]), a3 = _mm_unpacklo_epi16(p[6], p[7]);
    const __m128i yb_low = _mm_unpacklo_epi32(a0, a1), r_low = _mm_unpackhi_epi32(a0, a1);
    const __m128i yb_high = _mm_unpacklo_epi32(a2, a3), r_high = _mm_unpackhi_epi32(a2, a3);
    y = _mm_unpacklo_epi64(yb_low, yb_high);
    cb = _mm_unpackhi_epi64(yb_low, yb_high);
    cr = _mm_unpacklo_epi64(r_low, r_high);
}

// The map to PixelYC runs in vectors when every coefficient splits.
bool ToYcVectorExact(const ToYcMap& m) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (!Splits(m.k[i][j])) return false;
        }
    }
    return true;
}

void ColourTermsSSE2(const ToYcMap& m, const uint8_t* cb, const uint8_t* cr, int samples, int32_t* terms) {
    __m128i k_cb[3], k_cr[3], bias[3];
    for (int i = 0; i < 3; ++i) {
        k_cb[i] = Split(m.k[i][1]);
        k_cr[i] = Split(m.k[i][2]);
        bias[i] = _mm_set1_epi32(m.bias[i]);
    }
    int c = 0;
    for (; c + 8 <= samples; c += 8) {
        __m128i b_low, b_high, r_low, r_high;
        BytePairs(LoadBytes(cb + c), b_low, b_high);
        BytePairs(LoadBytes(cr + c), r_low, r_high);
        for (int i = 0; i < 3; ++i) {
            auto* to = reinterpret_cast<__m128i*>(terms + i * samples + c);
            _mm_storeu_si128(to, _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(b_low, k_cb[i]), _mm_madd_epi16(r_low, k_cr[i])), bias[i]));
            _mm_storeu_si128(to + 1, _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(b_high, k_cb[i]), _mm_madd_epi16(r_high, k_cr[i])), bias[i]));
        }
    }
    ColourTermsPortable(m, cb, cr, c, samples, terms);
}

// One component of eight pixels: the luma pairs' multiply-add with its coefficient, plus the
// terms of their colour samples (four covering two pixels each, or eight).
template <int kShiftX>
[[gnu::always_inline]] inline __m128i Component(__m128i l_low, __m128i l_high, __m128i k, const int32_t* terms, int x) {
    __m128i t_low, t_high;
    if (kShiftX) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms + x / 2));
        t_low = _mm_unpacklo_epi32(four, four);
        t_high = _mm_unpackhi_epi32(four, four);
    } else {
        t_low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms + x));
        t_high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms + x + 4));
    }
    return High16(_mm_add_epi32(_mm_madd_epi16(l_low, k), t_low), _mm_add_epi32(_mm_madd_epi16(l_high, k), t_high));
}

template <int kShiftX>
void PixelsSSE2(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int width, PixelYC* out) {
    const __m128i k_y = Split(m.k[0][0]), k_cb = Split(m.k[1][0]), k_cr = Split(m.k[2][0]);
    const int32_t *t_y = terms, *t_cb = terms + samples, *t_cr = terms + 2 * samples;
    int x = 0;
    for (; x + 8 < width; x += 8) {  // the stores write 2 bytes of pixel x + 8
        __m128i l_low, l_high;
        BytePairs(LoadBytes(luma + x), l_low, l_high);
        StorePixels(Component<kShiftX>(l_low, l_high, k_y, t_y, x), Component<kShiftX>(l_low, l_high, k_cb, t_cb, x),
                    Component<kShiftX>(l_low, l_high, k_cr, t_cr, x), out + x);
    }
    PixelsPortable(m, luma, terms, samples, kShiftX, x, width, out);
}

// The map back runs in vectors when its coefficients are 16-bit and no sum of a colour block
// (four pixels of 16-bit components) leaves 32 bits.
bool ToYuvVectorExact(const ToYuvMap& m) {
    for (int i = 0; i < 3; ++i) {
        int64_t most = std::abs(int64_t{m.bias[i]}) + 4;
        for (int j = 0; j < 3; ++j) {
            if (m.k[i][j] < INT16_MIN || m.k[i][j] > INT16_MAX) return false;
            most += std::abs(int64_t{m.k[i][j]}) * 4 * 32768;
        }
        if (most > INT32_MAX) return false;
    }
    return true;
}

// The 32-bit quotient n / 2^shift, rounded towards zero as integer division is.
inline __m128i DivideTowardsZero(__m128i n, int shift) {
    if (shift == 0) return n;
    const __m128i negative_bias = _mm_and_si128(_mm_srai_epi32(n, 31), _mm_set1_epi32((1 << shift) - 1));
    return _mm_sra_epi32(_mm_add_epi32(n, negative_bias), _mm_cvtsi32_si128(shift));
}

// Four or eight 32-bit values >> 16, clamped to bytes.
inline __m128i Bytes(__m128i low, __m128i high) { return _mm_packus_epi16(High16(low, high), _mm_setzero_si128()); }

void YuvRowsSSE2(const ToYuvMap& m, const YuvRows& r) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma_yb = Pair(static_cast<int16_t>(m.k[0][0]), static_cast<int16_t>(m.k[0][1]));
    const __m128i luma_r = Pair(static_cast<int16_t>(m.k[0][2]), 0);
    const __m128i luma_bias = _mm_set1_epi32(m.bias[0]);
    // A colour row's coefficient, once for each of a pair of 16-bit lanes that are summed.
    __m128i k[2][3], bias[2];
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 3; ++j) k[i][j] = _mm_set1_epi16(static_cast<int16_t>(m.k[i + 1][j]));
        bias[i] = _mm_set1_epi32(m.bias[i + 1]);
    }
    const int shift = r.shift_x + (r.second ? 1 : 0);  // log2 of the pixels in a block
    const auto luma = [&](__m128i y, __m128i cb, __m128i cr, uint8_t* to) {
        const __m128i low = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(y, cb), luma_yb),
                                                        _mm_madd_epi16(_mm_unpacklo_epi16(cr, zero), luma_r)), luma_bias);
        const __m128i high = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(y, cb), luma_yb),
                                                         _mm_madd_epi16(_mm_unpackhi_epi16(cr, zero), luma_r)), luma_bias);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), Bytes(low, high));
    };
    int x = 0;
    for (; x + 8 < r.width; x += 8) {
        __m128i a[3], b[3] = {zero, zero, zero};
        LoadPixels(r.first + x, a[0], a[1], a[2]);
        luma(a[0], a[1], a[2], r.luma_first + x);
        if (r.second) {
            LoadPixels(r.second + x, b[0], b[1], b[2]);
            luma(b[0], b[1], b[2], r.luma_second + x);
        }
        // The block sums' map: with two pixels across a block, a multiply-add sums each pair of
        // neighbours; with one, the pixels of the two rows are paired.
        for (int i = 0; i < 2; ++i) {
            uint8_t* to = i == 0 ? r.cb : r.cr;
            if (r.shift_x) {
                __m128i n = zero;
                for (int j = 0; j < 3; ++j) {
                    n = _mm_add_epi32(n, _mm_add_epi32(_mm_madd_epi16(a[j], k[i][j]), _mm_madd_epi16(b[j], k[i][j])));
                }
                const __m128i four = Bytes(_mm_add_epi32(DivideTowardsZero(n, shift), bias[i]), zero);
                const int32_t packed = _mm_cvtsi128_si32(four);
                memcpy(to + x / 2, &packed, 4);
            } else {
                __m128i low = zero, high = zero;
                for (int j = 0; j < 3; ++j) {
                    low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a[j], b[j]), k[i][j]));
                    high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a[j], b[j]), k[i][j]));
                }
                low = _mm_add_epi32(DivideTowardsZero(low, shift), bias[i]);
                high = _mm_add_epi32(DivideTowardsZero(high, shift), bias[i]);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(to + x), Bytes(low, high));
            }
        }
    }
    YuvRowsPortable(m, r, x);
}

// The AVX2 form of the way back: sixteen pixels a step, the first eight in the low 128-bit lane
// and the next eight in the high one, each lane doing the SSE2 form's work on its eight. Only
// the loads, the stores and the closing of the two lanes' bytes cross lanes.

// One 16-byte load for each lane.
[[gnu::target("avx2")]] inline __m256i LanePair(const void* low, const void* high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// Sixteen PixelYC to their components, as LoadPixels lane by lane, from a load a pixel of it
// and 10 bytes past it: reads 10 bytes past the sixteenth pixel, so pixels 17 and 18 must
// follow in the row.
[[gnu::target("avx2")]] inline void LoadPixelsAVX2(const PixelYC* in, __m256i& y, __m256i& cb, __m256i& cr) {
    __m256i p[8];
    for (int i = 0; i < 8; ++i) p[i] = LanePair(in + i, in + i + 8);
    const __m256i a0 = _mm256_unpacklo_epi16(p[0], p[1]), a1 = _mm256_unpacklo_epi16(p[2], p[3]);
    const __m256i a2 = _mm256_unpacklo_epi16(p[4], p[5]), a3 = _mm256_unpacklo_epi16(p[6], p[7]);
    const __m256i yb_low = _mm256_unpacklo_epi32(a0, a1), r_low = _mm256_unpackhi_epi32(a0, a1);
    const __m256i yb_high = _mm256_unpacklo_epi32(a2, a3), r_high = _mm256_unpackhi_epi32(a2, a3);
    y = _mm256_unpacklo_epi64(yb_low, yb_high);
    cb = _mm256_unpackhi_epi64(yb_low, yb_high);
    cr = _mm256_unpacklo_epi64(r_low, r_high);
}

[[gnu::target("avx2")]] inline __m256i DivideTowardsZeroAVX2(__m256i n, int shift) {
    if (shift == 0) return n;
    const __m256i negative_bias = _mm256_and_si256(_mm256_srai_epi32(n, 31), _mm256_set1_epi32((1 << shift) - 1));
    return _mm256_sra_epi32(_mm256_add_epi32(n, negative_bias), _mm_cvtsi32_si128(shift));
}

// Values >> 16 as 16-bit lanes, clamped to bytes: each 128-bit lane's in its low 8 bytes.
[[gnu::target("avx2")]] inline __m256i BytesByLane(__m256i low, __m256i high) {
    const __m256i words = _mm256_packs_epi32(_mm256_srai_epi32(low, 16), _mm256_srai_epi32(high, 16));
    return _mm256_packus_epi16(words, words);
}

// The low 8 bytes of each lane, closed up: sixteen bytes in order.
[[gnu::target("avx2")]] inline __m128i Sixteen(__m256i by_lane) {
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(by_lane, 0b1000));
}

[[gnu::target("avx2")]] inline void LumaAVX2(__m256i y, __m256i cb, __m256i cr, __m256i k_yb, __m256i k_r, __m256i bias,
                                             uint8_t* to) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(y, cb), k_yb),
                                                          _mm256_madd_epi16(_mm256_unpacklo_epi16(cr, zero), k_r)), bias);
    const __m256i high = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(y, cb), k_yb),
                                                           _mm256_madd_epi16(_mm256_unpackhi_epi16(cr, zero), k_r)), bias);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), Sixteen(BytesByLane(low, high)));
}

// The AVX2 form of the map to PixelYC, sixteen pixels a step in the same lanes, whose 96 bytes
// of PixelYC are closed up in registers by byte shuffles and stored in six 16-byte pieces: one
// shuffle a component and piece where the SSE2 form spends an unpack and a store a pixel.

// The byte shuffles of the pieces: for piece s of eight pixels' 48 bytes and component c, where
// c's 16-bit values go in it (-1, which the shuffle makes zero, elsewhere).
struct CloseUp {
    int8_t bytes[3][3][16];
};
constexpr CloseUp MakeCloseUp() {
    CloseUp m{};
    for (int s = 0; s < 3; ++s) {
        for (int c = 0; c < 3; ++c) {
            for (int at = 0; at < 8; ++at) {
                const int value = 8 * s + at;  // the value's place among the eight pixels' 24
                const bool mine = value % 3 == c;
                m.bytes[s][c][2 * at] = static_cast<int8_t>(mine ? 2 * (value / 3) : -1);
                m.bytes[s][c][2 * at + 1] = static_cast<int8_t>(mine ? 2 * (value / 3) + 1 : -1);
            }
        }
    }
    return m;
}
constexpr CloseUp kCloseUp = MakeCloseUp();

// One component of sixteen pixels, as Component lane by lane.
template <int kShiftX>
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i ComponentAVX2(__m256i l_low, __m256i l_high, __m256i k,
                                                                         const int32_t* terms, int x) {
    __m256i t_low, t_high;
    if (kShiftX) {
        const __m256i eight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(terms + x / 2));
        t_low = _mm256_unpacklo_epi32(eight, eight);
        t_high = _mm256_unpackhi_epi32(eight, eight);
    } else {
        t_low = LanePair(terms + x, terms + x + 8);
        t_high = LanePair(terms + x + 4, terms + x + 12);
    }
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(l_low, k), t_low), 16),
                              _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(l_high, k), t_high), 16));
}

template <int kShiftX>
[[gnu::target("avx2")]] void PixelsAVX2(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int width,
                                        PixelYC* out) {
    const __m256i k_y = _mm256_broadcastsi128_si256(Split(m.k[0][0]));
    const __m256i k_cb = _mm256_broadcastsi128_si256(Split(m.k[1][0]));
    const __m256i k_cr = _mm256_broadcastsi128_si256(Split(m.k[2][0]));
    const int32_t *t_y = terms, *t_cb = terms + samples, *t_cr = terms + 2 * samples;
    __m256i close_up[3][3];
    for (int s = 0; s < 3; ++s) {
        for (int c = 0; c < 3; ++c) {
            close_up[s][c] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kCloseUp.bytes[s][c])));
        }
    }
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i l = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x)));
        const __m256i shifted = _mm256_slli_epi16(l, 7);
        const __m256i l_low = _mm256_unpacklo_epi16(l, shifted), l_high = _mm256_unpackhi_epi16(l, shifted);
        const __m256i component[3] = {ComponentAVX2<kShiftX>(l_low, l_high, k_y, t_y, x),
                                      ComponentAVX2<kShiftX>(l_low, l_high, k_cb, t_cb, x),
                                      ComponentAVX2<kShiftX>(l_low, l_high, k_cr, t_cr, x)};
        __m256i piece[3];
        for (int s = 0; s < 3; ++s) {
            piece[s] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(component[0], close_up[s][0]),
                                                       _mm256_shuffle_epi8(component[1], close_up[s][1])),
                                       _mm256_shuffle_epi8(component[2], close_up[s][2]));
        }
        // The pieces in order: the low lane's three, then the high lane's.
        auto* to = reinterpret_cast<__m256i*>(out + x);
        _mm256_storeu_si256(to, _mm256_permute2x128_si256(piece[0], piece[1], 0x20));
        _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(piece[2], piece[0], 0x30));
        _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(piece[1], piece[2], 0x31));
    }
    // GCC leaves the upper halves dirty at the end of this form, and the SSE code after it (the
    // tail, the caller's SSE2 forms) then ran a third slower, more than the form gained: clear them.
    _mm256_zeroupper();
    PixelsPortable(m, luma, terms, samples, kShiftX, x, width, out);
}

// The luma's Y and Cb coefficients as the two 16-bit halves of a lane, for the multiply-adds of
// the wide forms against (y, cb) pairs.
inline int32_t LumaPair(const ToYuvMap& m) {
    return static_cast<int32_t>(static_cast<uint16_t>(m.k[0][0]) | uint32_t{static_cast<uint16_t>(m.k[0][1])} << 16);
}

// The way back reads pictures the decoder wrote frames earlier, which come from memory, two rows
// at a time; the hardware's prefetcher left its loads waiting. Asking for the lines 1 KiB ahead
// of the `kBytes` of each row a step reads took a 1080p picture from memory from 1.45 to 1.15 ms
// at AVX-512 and from 1.9 to 1.5 ms at AVX2 (media_bench BackToYuvCold; 512 bytes ahead gained
// less, 2 and 4 KiB no more). A prefetch past the picture's end is harmless: it never faults.
template <int kBytes>
inline void ReadAhead(const PixelYC* row) {
    const char* ahead = reinterpret_cast<const char*>(row) + 1024;
    for (int line = 0; line < kBytes; line += 64) _mm_prefetch(ahead + line, _MM_HINT_T0);
}

[[gnu::target("avx2")]] void YuvRowsAVX2(const ToYuvMap& m, const YuvRows& r) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i luma_yb = _mm256_set1_epi32(LumaPair(m));
    const __m256i luma_r = _mm256_set1_epi32(static_cast<uint16_t>(m.k[0][2]));
    const __m256i luma_bias = _mm256_set1_epi32(m.bias[0]);
    __m256i k[2][3], bias[2];
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 3; ++j) k[i][j] = _mm256_set1_epi16(static_cast<int16_t>(m.k[i + 1][j]));
        bias[i] = _mm256_set1_epi32(m.bias[i + 1]);
    }
    const int shift = r.shift_x + (r.second ? 1 : 0);
    // Each lane's four block samples in its first 4 bytes, gathered into 8.
    const __m256i first_dwords = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
    int x = 0;
    for (; x + 18 <= r.width; x += 16) {  // the loads read 10 bytes past pixel x + 15
        __m256i a[3], b[3] = {zero, zero, zero};
        ReadAhead<16 * sizeof(PixelYC)>(r.first + x);
        if (r.second) ReadAhead<16 * sizeof(PixelYC)>(r.second + x);
        LoadPixelsAVX2(r.first + x, a[0], a[1], a[2]);
        LumaAVX2(a[0], a[1], a[2], luma_yb, luma_r, luma_bias, r.luma_first + x);
        if (r.second) {
            LoadPixelsAVX2(r.second + x, b[0], b[1], b[2]);
            LumaAVX2(b[0], b[1], b[2], luma_yb, luma_r, luma_bias, r.luma_second + x);
        }
        for (int i = 0; i < 2; ++i) {
            uint8_t* to = i == 0 ? r.cb : r.cr;
            if (r.shift_x) {
                __m256i n = zero;
                for (int j = 0; j < 3; ++j) {
                    n = _mm256_add_epi32(n, _mm256_add_epi32(_mm256_madd_epi16(a[j], k[i][j]), _mm256_madd_epi16(b[j], k[i][j])));
                }
                n = _mm256_add_epi32(DivideTowardsZeroAVX2(n, shift), bias[i]);
                const __m256i eight = _mm256_permutevar8x32_epi32(BytesByLane(n, n), first_dwords);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(to + x / 2), _mm256_castsi256_si128(eight));
            } else {
                __m256i low = zero, high = zero;
                for (int j = 0; j < 3; ++j) {
                    low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a[j], b[j]), k[i][j]));
                    high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a[j], b[j]), k[i][j]));
                }
                low = _mm256_add_epi32(DivideTowardsZeroAVX2(low, shift), bias[i]);
                high = _mm256_add_epi32(DivideTowardsZeroAVX2(high, shift), bias[i]);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), Sixteen(BytesByLane(low, high)));
            }
        }
    }
    _mm256_zeroupper();  // as in PixelsAVX2
    YuvRowsPortable(m, r, x);
}

// The AVX-512 form of the way back, for colour samples that cover two pixels across (4:2:0 and
// 4:2:2, what encoders are given): thirty-two pixels a step. Their 192 bytes are read in three
// loads and parted into the three components by two word permutes each, where the narrower
// forms spend a load and a share of the unpacks on every pixel; the arithmetic is theirs.
KINETRA_AVX512_QUIET

// For component `c`, the word permutes' indices: the first takes pixel i's word from the first
// two loads (words 0..63), the second keeps it or takes it from the third load.
struct PartIndices {
    int16_t from_first_two[32], with_third[32];
};
constexpr PartIndices MakePartIndices(int c) {
    PartIndices p{};
    for (int i = 0; i < 32; ++i) {
        const int word = 3 * i + c;
        p.from_first_two[i] = static_cast<int16_t>(word < 64 ? word : 0);
        p.with_third[i] = static_cast<int16_t>(word < 64 ? i : 32 + word - 64);
    }
    return p;
}
constexpr PartIndices kPartIndices[3] = {MakePartIndices(0), MakePartIndices(1), MakePartIndices(2)};

[[gnu::target(KINETRA_AVX512_TARGET)]] inline void LoadPixelsAVX512(const PixelYC* in, __m512i component[3]) {
    const __m512i w0 = _mm512_loadu_si512(in), w1 = _mm512_loadu_si512(reinterpret_cast<const char*>(in) + 64);
    const __m512i w2 = _mm512_loadu_si512(reinterpret_cast<const char*>(in) + 128);
    for (int c = 0; c < 3; ++c) {
        const __m512i first_two = _mm512_permutex2var_epi16(w0, _mm512_loadu_si512(kPartIndices[c].from_first_two), w1);
        component[c] = _mm512_permutex2var_epi16(first_two, _mm512_loadu_si512(kPartIndices[c].with_third), w2);
    }
}

// Values >> 16 clamped to bytes.
[[gnu::target(KINETRA_AVX512_TARGET)]] inline __m128i BytesOfAVX512(__m512i v) {
    return _mm512_cvtusepi32_epi8(_mm512_max_epi32(_mm512_srai_epi32(v, 16), _mm512_setzero_si512()));
}

[[gnu::target(KINETRA_AVX512_TARGET)]] inline void LumaAVX512(const __m512i p[3], __m512i k_yb, __m512i k_r,
                                                               __m512i bias, uint8_t* to) {
    const __m512i zero = _mm512_setzero_si512();
    // Within each 128-bit lane the low half's pixels and then the high half's, as the
    // narrower forms do; the two halves' bytes are then put back in order.
    const __m512i low = _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(p[0], p[1]), k_yb),
                                                          _mm512_madd_epi16(_mm512_unpacklo_epi16(p[2], zero), k_r)), bias);
    const __m512i high = _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(p[0], p[1]), k_yb),
                                                           _mm512_madd_epi16(_mm512_unpackhi_epi16(p[2], zero), k_r)), bias);
    const __m512i words = _mm512_packs_epi32(_mm512_srai_epi32(low, 16), _mm512_srai_epi32(high, 16));
    const __m512i bytes = _mm512_packus_epi16(words, words);  // each lane's eight pixels, twice
    const __m512i in_order = _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 0, 2, 4, 6), bytes);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm512_castsi512_si256(in_order));
}

[[gnu::target(KINETRA_AVX512_TARGET)]] void YuvRowsAVX512(const ToYuvMap& m, const YuvRows& r) {
    if (!r.shift_x) return YuvRowsAVX2(m, r);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i luma_yb = _mm512_set1_epi32(LumaPair(m));
    const __m512i luma_r = _mm512_set1_epi32(static_cast<uint16_t>(m.k[0][2]));
    const __m512i luma_bias = _mm512_set1_epi32(m.bias[0]);
    __m512i k[2][3], bias[2];
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 3; ++j) k[i][j] = _mm512_set1_epi16(static_cast<int16_t>(m.k[i + 1][j]));
        bias[i] = _mm512_set1_epi32(m.bias[i + 1]);
    }
    const int shift = 1 + (r.second ? 1 : 0);
    const __m128i shift_count = _mm_cvtsi32_si128(shift);
    const __m512i rounding = _mm512_set1_epi32((1 << shift) - 1);
    int x = 0;
    for (; x + 32 <= r.width; x += 32) {
        __m512i a[3], b[3] = {zero, zero, zero};
        ReadAhead<32 * sizeof(PixelYC)>(r.first + x);
        if (r.second) ReadAhead<32 * sizeof(PixelYC)>(r.second + x);
        LoadPixelsAVX512(r.first + x, a);
        LumaAVX512(a, luma_yb, luma_r, luma_bias, r.luma_first + x);
        if (r.second) {
            LoadPixelsAVX512(r.second + x, b);
            LumaAVX512(b, luma_yb, luma_r, luma_bias, r.luma_second + x);
        }
        for (int i = 0; i < 2; ++i) {
            // Each pair of neighbours summed by a multiply-add: sixteen blocks, in order.
            __m512i n = zero;
            for (int j = 0; j < 3; ++j) {
                n = _mm512_add_epi32(n, _mm512_add_epi32(_mm512_madd_epi16(a[j], k[i][j]), _mm512_madd_epi16(b[j], k[i][j])));
            }
            // Divided by the pixels of a block, rounded towards zero.
            n = _mm512_sra_epi32(_mm512_add_epi32(n, _mm512_and_si512(_mm512_srai_epi32(n, 31), rounding)), shift_count);
            _mm_storeu_si128(reinterpret_cast<__m128i*>((i == 0 ? r.cb : r.cr) + x / 2),
                             BytesOfAVX512(_mm512_add_epi32(n, bias[i])));
        }
    }
    _mm256_zeroupper();
    // The last pixels, fewer than a step, by the AVX2 form from x on (a block starts there).
    const YuvRows rest{r.first + x,   r.second ? r.second + x : nullptr, r.luma_first + x,
                       r.luma_second ? r.luma_second + x : nullptr,    r.cb + x / 2, r.cr + x / 2, r.width - x, r.shift_x};
    YuvRowsAVX2(m, rest);
}

// The AVX-512 form of the map to PixelYC: thirty-two pixels a step, each 128-bit lane doing the
// SSE2 form's arithmetic on its eight. The three components' words are then woven into the
// pixels' 192 bytes by two word permutes for each of three stores, the way back's parting turned
// round, where the AVX2 form spends nine byte shuffles and three lane permutes on sixteen pixels.

// Sixteen bytes v, each widened to a 32-bit lane holding the pair (v, v * 2^7): one multiply-add
// with a split coefficient gives k * v, in the bytes' order.
[[gnu::target(KINETRA_AVX512_TARGET)]] inline __m512i BytePairsAVX512(const uint8_t* bytes) {
    const __m512i v = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
    return _mm512_or_si512(v, _mm512_slli_epi32(v, 23));
}

// The colour terms sixteen samples a step.
[[gnu::target(KINETRA_AVX512_TARGET)]] void ColourTermsAVX512(const ToYcMap& m, const uint8_t* cb, const uint8_t* cr,
                                                               int samples, int32_t* terms) {
    __m512i k_cb[3], k_cr[3], bias[3];
    for (int i = 0; i < 3; ++i) {
        k_cb[i] = _mm512_set1_epi32(_mm_cvtsi128_si32(Split(m.k[i][1])));
        k_cr[i] = _mm512_set1_epi32(_mm_cvtsi128_si32(Split(m.k[i][2])));
        bias[i] = _mm512_set1_epi32(m.bias[i]);
    }
    int c = 0;
    for (; c + 16 <= samples; c += 16) {
        const __m512i b = BytePairsAVX512(cb + c), r = BytePairsAVX512(cr + c);
        for (int i = 0; i < 3; ++i) {
            _mm512_storeu_si512(terms + i * samples + c,
                                _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(b, k_cb[i]), _mm512_madd_epi16(r, k_cr[i])),
                                                 bias[i]));
        }
    }
    _mm256_zeroupper();
    ColourTermsPortable(m, cb, cr, c, samples, terms);
}

// For store `s`, the word permutes' indices: the first takes each word's pixel from the luma
// (0..31) or Cb (32..63), the second keeps that word or takes the pixel's Cr.
struct WeaveIndices {
    int16_t luma_and_cb[32], with_cr[32];
};
constexpr WeaveIndices MakeWeaveIndices(int s) {
    WeaveIndices p{};
    for (int i = 0; i < 32; ++i) {
        const int word = 32 * s + i, pixel = word / 3, c = word % 3;
        p.luma_and_cb[i] = static_cast<int16_t>(c == 0 ? pixel : c == 1 ? 32 + pixel : 0);
        p.with_cr[i] = static_cast<int16_t>(c == 2 ? 32 + pixel : i);
    }
    return p;
}
constexpr WeaveIndices kWeaveIndices[3] = {MakeWeaveIndices(0), MakeWeaveIndices(1), MakeWeaveIndices(2)};

// One component of thirty-two pixels, as Component lane by lane: lane j holds pixels 8j..8j+7.
template <int kShiftX>
[[gnu::target(KINETRA_AVX512_TARGET), gnu::always_inline]] inline __m512i ComponentAVX512(__m512i l_low, __m512i l_high,
                                                                                       __m512i k, const int32_t* terms,
                                                                                       int x) {
    __m512i t_low, t_high;
    if (kShiftX) {
        const __m512i sixteen = _mm512_loadu_si512(terms + x / 2);
        t_low = _mm512_unpacklo_epi32(sixteen, sixteen);
        t_high = _mm512_unpackhi_epi32(sixteen, sixteen);
    } else {
        // Lane j's first four terms are 8j..8j+3, its last four 8j+4..8j+7.
        const __m512i first = _mm512_loadu_si512(terms + x), second = _mm512_loadu_si512(terms + x + 16);
        t_low = _mm512_shuffle_i32x4(first, second, _MM_SHUFFLE(2, 0, 2, 0));
        t_high = _mm512_shuffle_i32x4(first, second, _MM_SHUFFLE(3, 1, 3, 1));
    }
    return _mm512_packs_epi32(_mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(l_low, k), t_low), 16),
                              _mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(l_high, k), t_high), 16));
}

template <int kShiftX>
[[gnu::target(KINETRA_AVX512_TARGET)]] void PixelsAVX512(const ToYcMap& m, const uint8_t* luma, const int32_t* terms,
                                                          int samples, int width, PixelYC* out) {
    const __m512i k_y = _mm512_set1_epi32(_mm_cvtsi128_si32(Split(m.k[0][0])));
    const __m512i k_cb = _mm512_set1_epi32(_mm_cvtsi128_si32(Split(m.k[1][0])));
    const __m512i k_cr = _mm512_set1_epi32(_mm_cvtsi128_si32(Split(m.k[2][0])));
    const int32_t *t_y = terms, *t_cb = terms + samples, *t_cr = terms + 2 * samples;
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m512i l = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + x)));
        const __m512i shifted = _mm512_slli_epi16(l, 7);
        const __m512i l_low = _mm512_unpacklo_epi16(l, shifted), l_high = _mm512_unpackhi_epi16(l, shifted);
        const __m512i y = ComponentAVX512<kShiftX>(l_low, l_high, k_y, t_y, x);
        const __m512i cb = ComponentAVX512<kShiftX>(l_low, l_high, k_cb, t_cb, x);
        const __m512i cr = ComponentAVX512<kShiftX>(l_low, l_high, k_cr, t_cr, x);
        char* to = reinterpret_cast<char*>(out + x);
        for (int s = 0; s < 3; ++s) {
            const __m512i luma_and_cb = _mm512_permutex2var_epi16(y, _mm512_loadu_si512(kWeaveIndices[s].luma_and_cb), cb);
            _mm512_storeu_si512(to + 64 * s,
                                _mm512_permutex2var_epi16(luma_and_cb, _mm512_loadu_si512(kWeaveIndices[s].with_cr), cr));
        }
    }
    _mm256_zeroupper();
    // The last pixels, fewer than a step, by the AVX2 form from x on (a colour sample starts there).
    PixelsAVX2<kShiftX>(m, luma + x, terms + (x >> kShiftX), samples, width - x, out + x);
}
#endif

void ColourTermsWhole(const ToYcMap& m, const uint8_t* cb, const uint8_t* cr, int samples, int32_t* terms) {
    ColourTermsPortable(m, cb, cr, 0, samples, terms);
}
void PixelsWhole(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int shift_x, int width,
                 PixelYC* out) {
    PixelsPortable(m, luma, terms, samples, shift_x, 0, width, out);
}
void YuvRowsWhole(const ToYuvMap& m, const YuvRows& rows) { YuvRowsPortable(m, rows, 0); }

#if defined(KINETRA_VECTOR_KERNELS)
void PixelsEitherSSE2(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int shift_x, int width,
                      PixelYC* out) {
    shift_x ? PixelsSSE2<1>(m, luma, terms, samples, width, out) : PixelsSSE2<0>(m, luma, terms, samples, width, out);
}
void PixelsEitherAVX2(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int shift_x, int width,
                      PixelYC* out) {
    shift_x ? PixelsAVX2<1>(m, luma, terms, samples, width, out) : PixelsAVX2<0>(m, luma, terms, samples, width, out);
}
void PixelsEitherAVX512(const ToYcMap& m, const uint8_t* luma, const int32_t* terms, int samples, int shift_x, int width,
                        PixelYC* out) {
    shift_x ? PixelsAVX512<1>(m, luma, terms, samples, width, out) : PixelsAVX512<0>(m, luma, terms, samples, width, out);
}
#endif

}  // namespace

constinit const KernelTable<ColourTermsForm> kColourTerms("kColourTerms", ColourTermsWhole,
                                                          KINETRA_VECTOR_FORM(ColourTermsSSE2), nullptr,
                                                          KINETRA_VECTOR_FORM(ColourTermsAVX512));
constinit const KernelTable<PixelsForm> kPixels("kPixels", PixelsWhole, KINETRA_VECTOR_FORM(PixelsEitherSSE2),
                                                KINETRA_VECTOR_FORM(PixelsEitherAVX2), KINETRA_VECTOR_FORM(PixelsEitherAVX512));
constinit const KernelTable<YuvRowsForm> kYuvRows("kYuvRows", YuvRowsWhole, KINETRA_VECTOR_FORM(YuvRowsSSE2),
                                                  KINETRA_VECTOR_FORM(YuvRowsAVX2), KINETRA_VECTOR_FORM(YuvRowsAVX512));

namespace {

// The form of `table` for a map whose coefficients the vector forms may take (`exact`), or the
// portable one.
template <typename Form>
Form FormFor(const KernelTable<Form>& table, bool exact) {
    return exact ? table.Active() : table.At(KernelLevel::kPortable);
}

}  // namespace

YuvToYc::YuvToYc(const ColourSpace& space, int bits) : space_(space), bits_(std::clamp(bits, 8, 16)) {
    Matrix m;
    YccToYcc(space, kPixelYc, m);
    for (int i = 0; i < 3; ++i) {
        double bias = 0.5 * kFraction, deep_bias = bias;
        for (int j = 0; j < 3; ++j) {
            const double per_code = kYcScale * m[i][j] / CodeScale(space, j) * kFraction;
            coefficient_[i][j] = static_cast<int32_t>(std::lround(per_code));
            bias -= per_code * CodeOffset(space, j);
            const double per_deep_code = kYcScale * m[i][j] / CodeScale(space, j, bits_) * kFraction;
            deep_coefficient_[i][j] = std::llround(per_deep_code);
            deep_bias -= per_deep_code * CodeOffset(space, j, bits_);
        }
        bias_[i] = static_cast<int32_t>(std::lround(bias));
        deep_bias_[i] = std::llround(deep_bias);
    }
#if defined(KINETRA_VECTOR_KERNELS)
    vector_ = ToYcVectorExact({coefficient_, bias_});
#endif
}

void YuvToYc::Convert(const PlanarPicture& source, const YcPicture& dest) {
    const int width = std::min(source.width, dest.width);
    const int height = std::min(source.height, dest.height);
    if (width <= 0 || height <= 0) return;
    if (bits_ > 8) return ConvertDeep(source, dest, width, height);
    const ToYcMap map{coefficient_, bias_};
    const int samples = ((width - 1) >> source.shift_x) + 1;
    colour_terms_.resize(3 * static_cast<size_t>(samples));
    int32_t* terms = colour_terms_.data();
    const auto colour_terms = FormFor(kColourTerms, vector_);
    const auto pixels = FormFor(kPixels, vector_);
    for (int y = 0; y < height; ++y) {
        if (y == 0 || (y >> source.shift_y) != ((y - 1) >> source.shift_y)) {
            const ptrdiff_t row = static_cast<ptrdiff_t>(y >> source.shift_y);
            colour_terms(map, source.planes[1] + row * source.strides[1], source.planes[2] + row * source.strides[2],
                         samples, terms);
        }
        pixels(map, source.planes[0] + static_cast<ptrdiff_t>(y) * source.strides[0], terms, samples, source.shift_x,
               width, dest.pixels + static_cast<ptrdiff_t>(y) * dest.stride);
    }
}

// Deeper codes, pixel by pixel in the portable form: pictures of more than 8 bits are rare
// enough that they have no vector form.
void YuvToYc::ConvertDeep(const PlanarPicture& source, const YcPicture& dest, int width, int height) const {
    const auto row = [&](int plane, int y) {
        return reinterpret_cast<const uint16_t*>(source.planes[plane] + static_cast<ptrdiff_t>(y) * source.strides[plane]);
    };
    for (int y = 0; y < height; ++y) {
        const uint16_t *luma = row(0, y), *cb = row(1, y >> source.shift_y), *cr = row(2, y >> source.shift_y);
        PixelYC* out = dest.pixels + static_cast<ptrdiff_t>(y) * dest.stride;
        for (int x = 0; x < width; ++x) {
            const int64_t codes[3] = {luma[x], cb[x >> source.shift_x], cr[x >> source.shift_x]};
            int16_t* components[3] = {&out[x].y, &out[x].cb, &out[x].cr};
            for (int i = 0; i < 3; ++i) {
                const int64_t sum = deep_coefficient_[i][0] * codes[0] + deep_coefficient_[i][1] * codes[1] +
                                    deep_coefficient_[i][2] * codes[2] + deep_bias_[i];
                *components[i] = static_cast<int16_t>(sum >> 16);
            }
        }
    }
}

YcToYuv::YcToYuv(const ColourSpace& space, int bits) : bits_(std::clamp(bits, 8, 16)) {
    Matrix m;
    YccToYcc(kPixelYc, space, m);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            deep_coefficient_[i][j] = std::llround(CodeScale(space, i, bits_) * m[i][j] / kYcScale * kFraction);
            coefficient_[i][j] = static_cast<int32_t>(std::lround(CodeScale(space, i) * m[i][j] / kYcScale * kFraction));
        }
        deep_bias_[i] = std::llround((CodeOffset(space, i, bits_) + 0.5) * kFraction);
        bias_[i] = static_cast<int32_t>(std::lround((CodeOffset(space, i) + 0.5) * kFraction));
    }
#if defined(KINETRA_VECTOR_KERNELS)
    vector_ = ToYuvVectorExact({coefficient_, bias_});
#endif
}

void YcToYuv::Convert(const YcPicture& source, const PlanarPicture& dest) const {
    const int width = std::min(source.width, dest.width);
    const int height = std::min(source.height, dest.height);
    if (width <= 0 || height <= 0) return;
    const ToYuvMap map{coefficient_, bias_};
    const DeepToYuvMap deep{deep_coefficient_, deep_bias_, (int64_t{1} << bits_) - 1};
    // At 8 bits the PixelYC values are 16-bit, the coefficients below 2^15: every product fits
    // 32 bits. Deeper codes are 16-bit samples, addressed by the planes' byte strides.
    const auto yuv_rows = FormFor(kYuvRows, vector_);
    const int block_h = 1 << dest.shift_y;
    for (int cy = 0; cy * block_h < height; ++cy) {
        const int y = cy * block_h;
        const bool two = block_h == 2 && y + 1 < height;
        const auto pixels = [&](int row) { return source.pixels + static_cast<ptrdiff_t>(row) * source.stride; };
        const auto luma = [&](int row) { return dest.planes[0] + static_cast<ptrdiff_t>(row) * dest.strides[0]; };
        const YuvRows rows{pixels(y),
                           two ? pixels(y + 1) : nullptr,
                           luma(y),
                           two ? luma(y + 1) : nullptr,
                           dest.planes[1] + static_cast<ptrdiff_t>(cy) * dest.strides[1],
                           dest.planes[2] + static_cast<ptrdiff_t>(cy) * dest.strides[2],
                           width,
                           dest.shift_x};
        if (bits_ == 8) {
            yuv_rows(map, rows);
        } else {
            const auto deeper = [](uint8_t* row) { return reinterpret_cast<uint16_t*>(row); };
            const YuvRowsOf<uint16_t> deep_rows{rows.first,         rows.second,        deeper(rows.luma_first),
                                                deeper(rows.luma_second), deeper(rows.cb), deeper(rows.cr),
                                                width,              dest.shift_x};
            YuvRowsPortable(deep, deep_rows, 0);
        }
    }
}

void YcToRgb24(const YcPicture& source, uint8_t* dest, int dest_stride) {
    Matrix m;
    RgbFromYcc(kPixelYc, m);
    int32_t k[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) k[i][j] = static_cast<int32_t>(std::lround(255.0 * m[i][j] / kYcScale * kFraction));
    }
    constexpr int32_t kHalf = 1 << 15;
    for (int y = 0; y < source.height; ++y) {
        const PixelYC* in = source.pixels + static_cast<ptrdiff_t>(y) * source.stride;
        uint8_t* out = dest + static_cast<ptrdiff_t>(y) * dest_stride;
        for (int x = 0; x < source.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                out[3 * x + c] = ClampToByte((k[c][0] * in[x].y + k[c][1] * in[x].cb + k[c][2] * in[x].cr + kHalf) >> 16);
            }
        }
    }
}

}  // namespace kinetra::media
