// The block forms of the colour conversion. The SSE2 and AVX2 forms are the same loops compiled
// for each instruction set: packed double arithmetic rounds each product and sum exactly as the
// scalar instructions do, and no multiply-add is fused (-ffp-contract=off), so every form gives
// the portable form's bits.
#include "video/color_space.h"

#include "kernels/table.h"

namespace kinetra::video {
namespace {

void ToRGBPortable(const PixelYC* pixels, int32_t count, RGBBlock& out) {
    for (int32_t i = 0; i < count; ++i) {
        const RGB c = YCToRGB(pixels[i]);
        out.r[i] = c.r;
        out.g[i] = c.g;
        out.b[i] = c.b;
    }
}

void ToYCPortable(const RGBBlock& in, int32_t count, double scale, PixelYC* pixels) {
    for (int32_t i = 0; i < count; ++i) pixels[i] = RGBToYC(in.r[i], in.g[i], in.b[i], scale);
}

#if defined(KINETRA_VECTOR_KERNELS)
// The sums lie inside the 32-bit range (see RGBSums and ToYC), so a plain conversion truncates
// them as TruncateToInt32 does, and vectorises.
[[gnu::always_inline]] inline void ToRGBLoop(const PixelYC* pixels, int32_t count, RGBBlock& out) {
#pragma omp simd
    for (int32_t i = 0; i < count; ++i) {
        const ComponentSums s = RGBSums(pixels[i].y, pixels[i].cb, pixels[i].cr);
        out.r[i] = static_cast<int32_t>(s.a);
        out.g[i] = static_cast<int32_t>(s.b);
        out.b[i] = static_cast<int32_t>(s.c);
    }
}

[[gnu::always_inline]] inline void ToYCLoop(const RGBBlock& in, int32_t count, double scale,
                                            PixelYC* pixels) {
#pragma omp simd
    for (int32_t i = 0; i < count; ++i) {
        const ComponentSums s = YCSums(in.r[i], in.g[i], in.b[i]);
        pixels[i] = {Low16(static_cast<int32_t>(s.a * scale)), Low16(static_cast<int32_t>(s.b * scale)),
                     Low16(static_cast<int32_t>(s.c * scale))};
    }
}

void ToRGBSSE2(const PixelYC* pixels, int32_t count, RGBBlock& out) { ToRGBLoop(pixels, count, out); }
void ToYCSSE2(const RGBBlock& in, int32_t count, double scale, PixelYC* pixels) {
    ToYCLoop(in, count, scale, pixels);
}
[[gnu::target("avx2")]] void ToRGBAVX2(const PixelYC* pixels, int32_t count, RGBBlock& out) {
    ToRGBLoop(pixels, count, out);
}
[[gnu::target("avx2")]] void ToYCAVX2(const RGBBlock& in, int32_t count, double scale, PixelYC* pixels) {
    ToYCLoop(in, count, scale, pixels);
}
#endif

}  // namespace

constinit const KernelTable<ToRGBForm> kToRGB("kToRGB", ToRGBPortable, KINETRA_VECTOR_FORM(ToRGBSSE2),
                                              KINETRA_VECTOR_FORM(ToRGBAVX2));
constinit const KernelTable<ToYCForm> kToYC("kToYC", ToYCPortable, KINETRA_VECTOR_FORM(ToYCSSE2),
                                            KINETRA_VECTOR_FORM(ToYCAVX2));

}  // namespace kinetra::video
