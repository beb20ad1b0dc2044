// color, color_rgb: a gain and an offset per component applied in place to a clipped region,
// on y/cb/cr directly or on R/G/B through the colour conversion.
#include "video/compositing.h"
#include "video/image.h"

namespace kinetra::video {
namespace {

constexpr ArgumentSpec kColorArguments[] = {
    Buffer(1, "buffer, changed in place"),
    Integer(2, "left column"),
    Integer(3, "top row"),
    Width(4, "width"),
    Height(5, "height"),
    Fraction(6, "gain of y or R"),
    Fraction(7, "gain of cb or G"),
    Fraction(8, "gain of cr or B"),
    Fraction(9, "offset of y or R"),
    Fraction(10, "offset of cb or G"),
    Fraction(11, "offset of cr or B"),
};

// Gains and offsets on the 4096 scale; products and sums wrap as 32-bit values do.
struct GainOffset {
    uint32_t gain[3], offset[3];
    uint32_t Apply(int k, int32_t value) const {
        return static_cast<uint32_t>(value) * gain[k] + offset[k];
    }
};

template <typename PixelWork>
void InRegion(CommandCall& call, PixelWork work) {
    CommandFrame f;
    if (!f.Read(call, kColorArguments)) return;
    const Region region = ClipRegion(f[2], f[3], f[4], f[5], f.size);
    if (region.empty()) return;
    const GainOffset g{
        {static_cast<uint32_t>(f[6]), static_cast<uint32_t>(f[7]), static_cast<uint32_t>(f[8])},
        {static_cast<uint32_t>(f[9]), static_cast<uint32_t>(f[10]), static_cast<uint32_t>(f[11])}};
    PixelYC* image = f.Image(1);
    const int32_t stride = f.size.width;
    RowLoop(region.y0, region.rows(), f.threads, [&](int32_t y) {
        PixelYC* row = image + PixelIndex(region.x0, y, stride);
        const int32_t columns = region.columns();
#pragma omp simd
        for (int32_t i = 0; i < columns; ++i) work(row[i], g);
    });
}

}  // namespace

void Color(CommandCall& call) {
    InRegion(call, [](PixelYC& p, const GainOffset& g) {
        p.y = Low16(ShiftRight(g.Apply(0, p.y), 12));
        p.cb = Low16(ShiftRight(g.Apply(1, p.cb), 12));
        p.cr = Low16(ShiftRight(g.Apply(2, p.cr), 12));
    });
}

void ColorRGB(CommandCall& call) {
    InRegion(call, [](PixelYC& p, const GainOffset& g) {
        const RGB c = YCToRGB(p);
        const double r = static_cast<int32_t>(g.Apply(0, c.r));
        const double gr = static_cast<int32_t>(g.Apply(1, c.g));
        const double b = static_cast<int32_t>(g.Apply(2, c.b));
        p = RGBToYC(r, gr, b, kInverse4096);
    });
}

}  // namespace kinetra::video
