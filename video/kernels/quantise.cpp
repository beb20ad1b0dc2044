// The quantisation forms (quantise.h).
#include "video/kernels/quantise.h"

namespace kinetra::video {
namespace {

void QuantisePortable(RGBBlock& c, int32_t count, const Quantisers& s) {
    for (int32_t i = 0; i < count; ++i) {
        c.r[i] = s.a(c.r[i]);
        c.g[i] = s.b(c.g[i]);
        c.b[i] = s.c(c.b[i]);
    }
}

#if defined(KINETRA_VECTOR_KERNELS)
[[gnu::always_inline]] inline void QuantiseLoop(RGBBlock& c, int32_t count, const Quantisers& s) {
#pragma omp simd
    for (int32_t i = 0; i < count; ++i) {
        c.r[i] = s.a.Narrow(c.r[i]);
        c.g[i] = s.b.Narrow(c.g[i]);
        c.b[i] = s.c.Narrow(c.b[i]);
    }
}
void QuantiseSSE2(RGBBlock& c, int32_t count, const Quantisers& s) { QuantiseLoop(c, count, s); }
[[gnu::target("avx2")]] void QuantiseAVX2(RGBBlock& c, int32_t count, const Quantisers& s) {
    QuantiseLoop(c, count, s);
}
#endif

}  // namespace

constinit const KernelTable<QuantiseForm> kQuantise("kQuantise", QuantisePortable, KINETRA_VECTOR_FORM(QuantiseSSE2),
                                                    KINETRA_VECTOR_FORM(QuantiseAVX2));

}  // namespace kinetra::video
