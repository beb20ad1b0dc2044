// The blend and mask kernels' forms (blend.h).
#include "video/kernels/blend.h"

#include <cstring>
#if defined(KINETRA_VECTOR_KERNELS)
#include <immintrin.h>
#endif

namespace kinetra::video {
namespace {

// alpha with an opacity a such that a and 4096 - a both fit 16 bits (opacities from about -7
// to 8). A row is 3 x count components in a row, all treated alike.
#if defined(KINETRA_VECTOR_KERNELS)
// Eight components at a time: source and destination components interleaved in pairs, and
// one multiply-add against (a, 4096 - a) gives s*a + d*(4096 - a) exactly (it cannot leave
// 32 bits when the weights sum to 4096). The vector loads read the pixels' bytes, which the
// vector types may alias.
inline __m128i NarrowWeights(int16_t a) {
    const int16_t b = static_cast<int16_t>(4096 - a);
    return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(a)) |
                                               (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}
inline __m128i BlendEight(__m128i s, __m128i d, __m128i weights) {
    __m128i low = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(s, d), weights), 12);
    __m128i high = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(s, d), weights), 12);
    // Low 16 bits of each, sign-extended, so that the pack never saturates.
    low = _mm_srai_epi32(_mm_slli_epi32(low, 16), 16);
    high = _mm_srai_epi32(_mm_slli_epi32(high, 16), 16);
    return _mm_packs_epi32(low, high);
}
inline __m128i LoadBytes(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreBytes(unsigned char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

#endif

// BlendNarrow on components [k, end) of a row, through bytes, which the pixels' type allows.
void BlendComponentsNarrow(const unsigned char* from, unsigned char* to, size_t k, size_t end, int16_t a) {
    for (; k < end; ++k) {
        int16_t s, d;
        memcpy(&s, from + 2 * k, sizeof s);
        memcpy(&d, to + 2 * k, sizeof d);
        d = BlendNarrow(s, d, a);
        memcpy(to + 2 * k, &d, sizeof d);
    }
}

void BlendRowNarrowPortable(const PixelYC* source, PixelYC* destination, int32_t count, int16_t a) {
    BlendComponentsNarrow(reinterpret_cast<const unsigned char*>(source), reinterpret_cast<unsigned char*>(destination),
                          0, static_cast<size_t>(count) * 3, a);
}

#if defined(KINETRA_VECTOR_KERNELS)
void BlendRowNarrowSSE2(const PixelYC* source, PixelYC* destination, int32_t count, int16_t a) {
    const __m128i weights = NarrowWeights(a);
    const auto* from = reinterpret_cast<const unsigned char*>(source);
    auto* to = reinterpret_cast<unsigned char*>(destination);
    const size_t components = static_cast<size_t>(count) * 3;
    size_t k = 0;
    for (; k + 8 <= components; k += 8) {
        StoreBytes(to + 2 * k, BlendEight(LoadBytes(from + 2 * k), LoadBytes(to + 2 * k), weights));
    }
    BlendComponentsNarrow(from, to, k, components, a);
}
#endif

// that fits 16 bits (and so does 4096 - a).
void BlendRowAbovePortable(const PixelYC* source, const PixelYC* gate, PixelYC* destination, int32_t count, int16_t a,
                           int16_t threshold) {
    BlendRowGated(
        source, gate, destination, count, [a](int16_t) { return a; },
        [threshold](int16_t, int16_t gate_y) { return gate_y > threshold; });
}

#if defined(KINETRA_VECTOR_KERNELS)
KINETRA_SSE41_BEGIN
// BlendRowGated with an opacity that fits 16 bits (and so does 4096 - a) and the gate "the gate
// row's luma above the threshold", eight pixels (24 components, three vectors) at a time. Each
// vector's lumas are compared and kept at the luma lanes, then spread to the two lanes after
// each by byte shifts that carry across the vectors (SSSE3 palignr), and the blend is selected
// by the spread gate (SSE4.1 pblendvb).
void BlendRowAboveSSE41(const PixelYC* source, const PixelYC* gate, PixelYC* destination, int32_t count,
                        int16_t a, int16_t threshold) {
    const __m128i weights = NarrowWeights(a), limit = _mm_set1_epi16(threshold);
    // The lanes holding a luma in each of the three vectors: components 0, 3, 6 | 9, 12, 15 | 18, 21.
    const __m128i lumas[3] = {_mm_setr_epi16(-1, 0, 0, -1, 0, 0, -1, 0), _mm_setr_epi16(0, -1, 0, 0, -1, 0, 0, -1),
                              _mm_setr_epi16(0, 0, -1, 0, 0, -1, 0, 0)};
    const auto* from = reinterpret_cast<const unsigned char*>(source);
    const auto* gates = reinterpret_cast<const unsigned char*>(gate);
    auto* to = reinterpret_cast<unsigned char*>(destination);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const size_t at = 6 * static_cast<size_t>(i);
        __m128i before = _mm_setzero_si128();  // the gates of the vector before
        for (size_t k = 0; k < 3; ++k) {
            const __m128i here = _mm_and_si128(_mm_cmpgt_epi16(LoadBytes(gates + at + 16 * k), limit), lumas[k]);
            const __m128i spread = _mm_or_si128(here, _mm_or_si128(_mm_alignr_epi8(here, before, 14),
                                                                  _mm_alignr_epi8(here, before, 12)));
            before = here;
            const __m128i d = LoadBytes(to + at + 16 * k);
            const __m128i mixed = BlendEight(LoadBytes(from + at + 16 * k), d, weights);
            StoreBytes(to + at + 16 * k, _mm_blendv_epi8(d, mixed, spread));
        }
    }
    BlendRowAbovePortable(source + i, gate + i, destination + i, count - i, a, threshold);
}
KINETRA_SSE41_END
#endif

// mkmask_rgb's mask of a block of R, G, B. The vector forms test and select the values in
// vector lanes, then store the pixels.
void WriteMaskOfBlockPortable(const RGBBlock& c, int32_t count, const ColourBox& box, int16_t inside,
                              int16_t outside, PixelYC* destination) {
    WriteMask(destination, count, inside, outside, [&](int32_t i) { return box.Contains(c.r[i], c.g[i], c.b[i]); });
}

#if defined(KINETRA_VECTOR_KERNELS)
[[gnu::always_inline]] inline void WriteMaskOfBlockLoop(const RGBBlock& c, int32_t count, const ColourBox& box,
                                                        int16_t inside, int16_t outside, PixelYC* destination) {
    int16_t values[kColourBlock];
#pragma omp simd
    for (int32_t i = 0; i < count; ++i) values[i] = box.Contains(c.r[i], c.g[i], c.b[i]) ? inside : outside;
    for (int32_t i = 0; i < count; ++i) destination[i] = {values[i], 0, 0};
}
void WriteMaskOfBlockSSE2(const RGBBlock& c, int32_t count, const ColourBox& box, int16_t inside,
                          int16_t outside, PixelYC* destination) {
    WriteMaskOfBlockLoop(c, count, box, inside, outside, destination);
}
[[gnu::target("avx2")]] void WriteMaskOfBlockAVX2(const RGBBlock& c, int32_t count, const ColourBox& box,
                                                  int16_t inside, int16_t outside, PixelYC* destination) {
    WriteMaskOfBlockLoop(c, count, box, inside, outside, destination);
}
#endif

}  // namespace

constinit const KernelTable<BlendRowNarrowForm> kBlendRowNarrow("kBlendRowNarrow", BlendRowNarrowPortable,
                                                                KINETRA_VECTOR_FORM(BlendRowNarrowSSE2));
constinit const KernelTable<BlendRowAboveForm> kBlendRowAbove("kBlendRowAbove", BlendRowAbovePortable, nullptr,
                                                              KINETRA_VECTOR_FORM(BlendRowAboveSSE41));
constinit const KernelTable<MaskOfBlockForm> kMaskOfBlock("kMaskOfBlock", WriteMaskOfBlockPortable,
                                                          KINETRA_VECTOR_FORM(WriteMaskOfBlockSSE2),
                                                          KINETRA_VECTOR_FORM(WriteMaskOfBlockAVX2));

}  // namespace kinetra::video
