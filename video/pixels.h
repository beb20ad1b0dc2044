// Pixel arithmetic shared by the picture commands. Pixel values wrap: "32-bit signed"
// arithmetic is done in uint32_t (modulo 2^32, as on x86) and a result is stored as its low
// 16 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/integer.h"
#include "kernels/level.h"
#include "kinetra/filter_abi.h"

namespace kinetra::video {

// 0 below 0, limit above limit.
template <typename T>
constexpr T ClampToLimit(T value, T limit) {
    return value < 0 ? T{0} : (value > limit ? limit : value);
}
// 1 below 1, limit above limit.
template <typename T>
constexpr T ClampSize(T value, T limit) {
    return value < 1 ? T{1} : (value > limit ? limit : value);
}

// A 32-bit result read as signed, shifted right with sign (rounds toward minus infinity).
constexpr int32_t ShiftRight(uint32_t value, int bits) {
    return static_cast<int32_t>(value) >> bits;
}

// Element index of pixel (x, y); both must lie inside the image.
constexpr size_t PixelIndex(int64_t x, int64_t y, int32_t stride) {
    return static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x);
}


// `taken` where `take` holds, else `kept`, without a branch: on pictures where a threshold
// splits neighbouring pixels at random, a branch per pixel costs more than the pixel.
inline int16_t Select(bool take, int16_t taken, int16_t kept) {
    const int16_t mask = static_cast<int16_t>(-static_cast<int16_t>(take));
    return static_cast<int16_t>((taken & mask) | (kept & ~mask));
}
inline PixelYC Select(bool take, const PixelYC& taken, const PixelYC& kept) {
    return {Select(take, taken.y, kept.y), Select(take, taken.cb, kept.cb), Select(take, taken.cr, kept.cr)};
}

// (s * a + d * (4096 - a)) >> 12 in wrapping 32-bit arithmetic, stored as 16 bits.
inline int16_t Blend(int16_t s, int16_t d, uint32_t a) {
    const uint32_t mix = static_cast<uint32_t>(s) * a + static_cast<uint32_t>(d) * (4096u - a);
    return Low16(ShiftRight(mix, 12));
}

// The same for an opacity that fits 16 bits, written as s*a + d*4096 - d*a so that every
// product is of two 16-bit values (which vectorises); equal to Blend modulo 2^32.
inline int16_t BlendNarrow(int16_t s, int16_t d, int16_t a) {
    const uint32_t mix = static_cast<uint32_t>(int32_t{s} * a) + (static_cast<uint32_t>(d) << 12) -
                         static_cast<uint32_t>(int32_t{d} * a);
    return Low16(ShiftRight(mix, 12));
}
constexpr bool FitsInt16(int32_t v) { return v >= INT16_MIN && v <= INT16_MAX; }

// A multiplier m with trunc(n * m) = trunc(n / d) for every integer n with |n| <= 2^33 and
// every d >= 1, the product in doubles: a multiplication where the vector forms have no
// integer division. m is 1 / d made larger by a relative 2^-34, give or take the 2^-52 of the
// roundings of m and of the product. A whole quotient then comes out at its integer or a
// little beyond, never short of it; one that is not whole lies at least 1 / d short of the
// next integer and gains less than |n / d| * 2^-33 <= 1 / d.
inline double TruncatingReciprocal(int64_t d) {
    return (1.0 / static_cast<double>(d)) * (1.0 + 0x1p-34);
}

// Interpolates four neighbours with weights (255 - f, f) per axis in 1/256 units; the sum is
// shifted right by 16 with sign, so a uniform area keeps 65025/65536 of its value.
inline PixelYC BilinearSample(int32_t fx, int32_t fy, const PixelYC& p00, const PixelYC& p10,
                              const PixelYC& p01, const PixelYC& p11) {
    const uint32_t ax = static_cast<uint32_t>(255 - int64_t{fx}), bx = static_cast<uint32_t>(fx);
    const uint32_t ay = static_cast<uint32_t>(255 - int64_t{fy}), by = static_cast<uint32_t>(fy);
    auto mix = [&](int16_t c00, int16_t c10, int16_t c01, int16_t c11) {
        const uint32_t top = static_cast<uint32_t>(c00) * ax + static_cast<uint32_t>(c10) * bx;
        const uint32_t bottom = static_cast<uint32_t>(c01) * ax + static_cast<uint32_t>(c11) * bx;
        return Low16(ShiftRight(top * ay + bottom * by, 16));
    };
    return {mix(p00.y, p10.y, p01.y, p11.y), mix(p00.cb, p10.cb, p01.cb, p11.cb),
            mix(p00.cr, p10.cr, p01.cr, p11.cr)};
}

#if defined(KINETRA_VECTOR_KERNELS)
// A pixel's three components in the low 16-bit lanes, reading its six bytes and no more.
inline __m128i LoadPixel(const PixelYC* p) {
    int32_t y_cb;
    memcpy(&y_cb, p, sizeof y_cb);
    return _mm_insert_epi16(_mm_cvtsi32_si128(y_cb), p->cr, 2);
}
// The three low 16-bit lanes stored as a pixel, writing its six bytes and no more.
inline void StorePixel(PixelYC* p, __m128i lanes) {
    const int32_t y_cb = _mm_cvtsi128_si32(lanes);
    memcpy(p, &y_cb, sizeof y_cb);
    p->cr = static_cast<int16_t>(_mm_extract_epi16(lanes, 2));
}
#endif

#if defined(KINETRA_VECTOR_KERNELS)
// BilinearSample of the neighbours given as each row's pair interleaved per component (c0.y c1.y
// c0.cb c1.cb c0.cr c1.cr, two lanes unread), in the three low 16-bit lanes of the result. The
// sum is that of the four neighbours c times weights w = (255 - f or f) x (255 - f or f), which
// lies within +-32768 * 65025 < 2^31 and so needs no wrapping. It is formed by 16-bit
// multiply-adds: w reaches 65025, past a signed 16-bit factor, but w - 32768 does not, and
// sum c * w = sum c * (w - 32768) + 32768 * sum c.
inline __m128i BilinearMix(__m128i top, __m128i bottom, int32_t fx, int32_t fy) {
    // A row's weights are (255 - fx, fx) times that row's 255 - fy or fy: one multiply of the
    // pair held as two 16-bit halves (no product passes 65025, so none carries into the next
    // half); flipping each half's top bit subtracts 32768 from it.
    const uint32_t across = static_cast<uint32_t>(255 - fx) | static_cast<uint32_t>(fx) << 16;
    auto row = [across](int32_t f) {
        const uint32_t weights = across * static_cast<uint32_t>(f);
        return _mm_set1_epi32(static_cast<int32_t>(weights ^ 0x80008000u));
    };
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i biased =
        _mm_add_epi32(_mm_madd_epi16(top, row(255 - fy)), _mm_madd_epi16(bottom, row(fy)));
    const __m128i sums = _mm_add_epi32(_mm_madd_epi16(top, ones), _mm_madd_epi16(bottom, ones));
    const __m128i result = _mm_srai_epi32(_mm_add_epi32(biased, _mm_slli_epi32(sums, 15)), 16);
    return _mm_packs_epi32(result, result);  // each fits 16 bits: no saturation
}
#endif

// BilinearSample of p[0], p[right], p[down], p[down + right] (fractions 0..255), stored at *out:
// the portable form, and the SSE2 form the kernels that sample take at that level.
inline void BilinearSampleAt(PixelYC* out, const PixelYC* p, size_t right, size_t down, int32_t fx,
                             int32_t fy) {
    *out = BilinearSample(fx, fy, p[0], p[right], p[down], p[down + right]);
}
#if defined(KINETRA_VECTOR_KERNELS)
inline void BilinearSampleAtSSE2(PixelYC* out, const PixelYC* p, size_t right, size_t down, int32_t fx, int32_t fy) {
    const __m128i top = _mm_unpacklo_epi16(LoadPixel(p), LoadPixel(p + right));
    const __m128i bottom = _mm_unpacklo_epi16(LoadPixel(p + down), LoadPixel(p + down + right));
    StorePixel(out, BilinearMix(top, bottom, fx, fy));
}
#endif

}  // namespace kinetra::video
