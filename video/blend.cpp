// mkmask, mkmask_rgb: a rectangle turned into a two-valued mask by a box of colour ranges.
// alpha, alpha2, alpha3, alpha4: a rectangle blended over another with an opacity that is
// constant, gated by the source's or a key's luma, or read from a mask per pixel.
#include <cstring>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "video/compositing.h"

#include "kernels/table.h"
#include "video/kernels/tables.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

constexpr char kTransparent[] = "nothing is blended (fully transparent)";

constexpr ArgumentSpec kMaskArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "mask buffer"),
    Pixels(3, "source left column"),
    Pixels(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Pixels(7, "mask left column"),
    Pixels(8, "mask top row"),
    Level(9, "lowest y or R"),
    Level(10, "lowest cb or G"),
    Level(11, "lowest cr or B"),
    Level(12, "highest y or R"),
    Level(13, "highest cb or G"),
    Level(14, "highest cr or B"),
    Level(15, "value inside"),
    Level(16, "value outside"),
};

constexpr ArgumentSpec kAlphaArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Pixels(3, "source left column"),
    Pixels(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Pixels(7, "destination left column"),
    Pixels(8, "destination top row"),
    Fraction(9, "opacity").IfZero(kTransparent),
};

constexpr ArgumentSpec kAlpha2Arguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Pixels(3, "source left column"),
    Pixels(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Pixels(7, "destination left column"),
    Pixels(8, "destination top row"),
    Fraction(9, "opacity").IfZero(kTransparent),
    Level(10, "luma threshold"),
};

constexpr ArgumentSpec kAlpha3Arguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Buffer(3, "key buffer"),
    Pixels(4, "source left column"),
    Pixels(5, "source top row"),
    Width(6, "width"),
    Height(7, "height"),
    Pixels(8, "destination left column"),
    Pixels(9, "destination top row"),
    Pixels(10, "key left column"),
    Pixels(11, "key top row"),
    Fraction(12, "opacity").IfZero(kTransparent),
    Level(13, "luma threshold"),
};

constexpr ArgumentSpec kAlpha4Arguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Buffer(3, "mask buffer"),
    Pixels(4, "source left column"),
    Pixels(5, "source top row"),
    Width(6, "width"),
    Height(7, "height"),
    Pixels(8, "destination left column"),
    Pixels(9, "destination top row"),
    Pixels(10, "mask left column"),
    Pixels(11, "mask top row"),
};

inline int16_t Mix(int16_t s, int16_t d, int16_t a) { return BlendNarrow(s, d, a); }
inline int16_t Mix(int16_t s, int16_t d, uint32_t a) { return Blend(s, d, a); }

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

}  // namespace

constinit const KernelTable<BlendRowNarrowForm> kBlendRowNarrow("kBlendRowNarrow", BlendRowNarrowPortable,
                                                                KINETRA_VECTOR_FORM(BlendRowNarrowSSE2));

namespace {

// A gated or masked row, pixel by pixel: each pixel where pass(source luma, key luma) holds
// is blended with opacity(key luma). `key` is the key or mask row, or the source row for
// commands without one. Every pixel is blended and the result selected, with no branch to
// mispredict. (A gate or a per-pixel opacity would have to be spread over the three
// components for a vector loop, a shuffle the baseline vector instructions lack.)
template <typename Opacity, typename Pass>
void BlendRowGated(const PixelYC* source, const PixelYC* key, PixelYC* destination, int32_t count,
                   Opacity opacity, Pass pass) {
    for (int32_t i = 0; i < count; ++i) {
        const PixelYC s = source[i], d = destination[i];
        const int16_t key_y = key[i].y;
        const auto a = opacity(key_y);
        const PixelYC mixed{Mix(s.y, d.y, a), Mix(s.cb, d.cb, a), Mix(s.cr, d.cr, a)};
        destination[i] = Select(pass(s.y, key_y), mixed, d);
    }
}

// alpha2 and alpha3's blend where the gate row's luma is above the threshold, for an opacity
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

}  // namespace

constinit const KernelTable<BlendRowAboveForm> kBlendRowAbove("kBlendRowAbove", BlendRowAbovePortable, nullptr,
                                                              KINETRA_VECTOR_FORM(BlendRowAboveSSE41));

namespace {

// A constant opacity with a gate: the 16-bit arithmetic when the opacity fits.
template <typename Pass>
void BlendRowConstant(const MappedRow& r, int32_t a, Pass pass) {
    const PixelYC* key = r.also ? r.also : r.source;
    if (FitsInt16(a)) {
        const int16_t narrow = static_cast<int16_t>(a);
        BlendRowGated(
            r.source, key, r.destination, r.count, [narrow](int16_t) { return narrow; }, pass);
    } else {
        const uint32_t wide = static_cast<uint32_t>(a);
        BlendRowGated(
            r.source, key, r.destination, r.count, [wide](int16_t) { return wide; }, pass);
    }
}

// alpha2 and alpha3: blended where the key row's luma (the source's, when there is no key) is
// above the threshold.
void BlendRowAbove(const MappedRow& r, int32_t a, int32_t threshold) {
    if (FitsInt16(a) && FitsInt16(4096 - a) && FitsInt16(threshold)) {
        return kBlendRowAbove(r.source, r.also ? r.also : r.source, r.destination, r.count, static_cast<int16_t>(a),
                              static_cast<int16_t>(threshold));
    }
    BlendRowConstant(r, a, [threshold](int16_t, int16_t key_y) { return key_y > threshold; });
}

// The mask value of each of `count` pixels: inside where inside_at(i) holds. A mask, not a
// branch: noisy pictures fall either side at random.
template <typename InsideAt>
void WriteMask(PixelYC* destination, int32_t count, int16_t inside, int16_t outside, InsideAt inside_at) {
    for (int32_t i = 0; i < count; ++i) {
        destination[i] = {Select(inside_at(i), inside, outside), 0, 0};
    }
}

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

constinit const KernelTable<MaskOfBlockForm> kMaskOfBlock("kMaskOfBlock", WriteMaskOfBlockPortable,
                                                          KINETRA_VECTOR_FORM(WriteMaskOfBlockSSE2),
                                                          KINETRA_VECTOR_FORM(WriteMaskOfBlockAVX2));

namespace {

// mkmask and mkmask_rgb differ only in the three components they test.
template <typename MaskRow>
void MakeMaskWith(CommandCall& call, MaskRow mask_row) {
    ImageArguments args;
    if (!args.Read(call, kMaskArguments)) return;
    const ColourBox box{{args[9], args[10], args[11]}, {args[12], args[13], args[14]}};
    const int16_t inside = Low16(args[15]), outside = Low16(args[16]);
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1), args.Image(2));
    ForEachMappedRow(args, plan, [&](const MappedRow& r) { mask_row(r, box, inside, outside); });
}

}  // namespace

void MakeMask(CommandCall& call) {
    MakeMaskWith(call, [](const MappedRow& r, const ColourBox& box, int16_t inside, int16_t outside) {
        const PixelYC* source = r.source;
        WriteMask(r.destination, r.count, inside, outside, [&](int32_t i) {
            return box.Contains(source[i].y, source[i].cb, source[i].cr);
        });
    });
}

void MakeMaskRGB(CommandCall& call) {
    const MaskOfBlockForm mask_of_block = kMaskOfBlock.Active();
    MakeMaskWith(call, [mask_of_block](const MappedRow& r, const ColourBox& box, int16_t inside, int16_t outside) {
        ForEachRGBBlock(r.source, r.count, [&](const RGBBlock& c, int32_t offset, int32_t n) {
            mask_of_block(c, n, box, inside, outside, r.destination + offset);
        });
    });
}

void Alpha(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kAlphaArguments)) return;
    const int32_t a = args[9];
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1), args.Image(2));
    ForEachMappedRow(
        args, plan, [a, blend_narrow = kBlendRowNarrow.Active()](const MappedRow& r) {
            if (FitsInt16(a) && FitsInt16(4096 - a)) {
                blend_narrow(r.source, r.destination, r.count, static_cast<int16_t>(a));
            } else {
                BlendRowConstant(r, a, [](int16_t, int16_t) { return true; });
            }
        });
}

void AlphaAboveLuma(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kAlpha2Arguments)) return;
    const int32_t a = args[9], threshold = args[10];
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1), args.Image(2));
    ForEachMappedRow(args, plan, [a, threshold](const MappedRow& r) { BlendRowAbove(r, a, threshold); });
}

void AlphaWhereKey(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kAlpha3Arguments)) return;
    const int32_t a = args[12], threshold = args[13];
    const MappedPlan plan(args, {args[4], args[5], args[6], args[7], args[8], args[9]}, args.Image(1),
                          args.Image(2), {args.Image(3), args[10], args[11]});
    ForEachMappedRow(args, plan, [a, threshold](const MappedRow& r) { BlendRowAbove(r, a, threshold); });
}

// The mask's luma is a 16-bit opacity, so the 16-bit form always applies.
void AlphaFromMask(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kAlpha4Arguments)) return;
    const MappedPlan plan(args, {args[4], args[5], args[6], args[7], args[8], args[9]}, args.Image(1),
                          args.Image(2), {args.Image(3), args[10], args[11]});
    ForEachMappedRow(args, plan,
                     [](const MappedRow& r) {
                         BlendRowGated(
                             r.source, r.also, r.destination, r.count,
                             [](int16_t mask_y) { return mask_y; },
                             [](int16_t, int16_t) { return true; });
                     });
}

// The tables, for the registry.
constinit const ArgumentTable kMaskTable = kMaskArguments;
constinit const ArgumentTable kAlphaTable = kAlphaArguments;
constinit const ArgumentTable kAlpha2Table = kAlpha2Arguments;
constinit const ArgumentTable kAlpha3Table = kAlpha3Arguments;
constinit const ArgumentTable kAlpha4Table = kAlpha4Arguments;

}  // namespace kinetra::video
