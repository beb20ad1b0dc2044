// color, color_rgb: a gain and an offset per component applied in place to a clipped region,
// on y/cb/cr directly or on R/G/B through the colour conversion.
#include "video/compositing.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

// Gains and offsets on the 4096 scale; products and sums wrap as 32-bit values do.
struct GainOffset {
    uint32_t gain[3], offset[3];
    uint32_t Apply(int k, int32_t value) const {
        return static_cast<uint32_t>(value) * gain[k] + offset[k];
    }
};

// work(row, columns, gains) for each row of the clipped region.
template <typename RowWork>
void InRegion(const ImageArguments& args, RowWork work) {
    const Region region = ClipRegion(args[2], args[3], args[4], args[5], args.size);
    if (region.empty()) return;
    const GainOffset g{
        {static_cast<uint32_t>(args[6]), static_cast<uint32_t>(args[7]), static_cast<uint32_t>(args[8])},
        {static_cast<uint32_t>(args[9]), static_cast<uint32_t>(args[10]), static_cast<uint32_t>(args[11])}};
    PixelYC* image = args.Image(1);
    const int32_t stride = args.size.width;
    RowLoop(region.y0, region.rows(), args.threads, [&](int32_t y) {
        work(image + PixelIndex(region.x0, y, stride), region.columns(), g);
    });
}

}  // namespace

void Color(const ImageArguments& args) {
    InRegion(args, [](PixelYC* row, int32_t columns, const GainOffset& g) {
#pragma omp simd
        for (int32_t i = 0; i < columns; ++i) {
            PixelYC& p = row[i];
            p.y = Low16(ShiftRight(g.Apply(0, p.y), 12));
            p.cb = Low16(ShiftRight(g.Apply(1, p.cb), 12));
            p.cr = Low16(ShiftRight(g.Apply(2, p.cr), 12));
        }
    });
}

void ColorRGB(const ImageArguments& args) {
    InRegion(args, [](PixelYC* row, int32_t columns, const GainOffset& g) {
        ForEachRGBBlock(row, columns, [&](RGBBlock& c, int32_t offset, int32_t count) {
#pragma omp simd
            for (int32_t i = 0; i < count; ++i) {
                c.r[i] = static_cast<int32_t>(g.Apply(0, c.r[i]));
                c.g[i] = static_cast<int32_t>(g.Apply(1, c.g[i]));
                c.b[i] = static_cast<int32_t>(g.Apply(2, c.b[i]));
            }
            ToYC(c, count, kInverse4096, row + offset);
        });
    });
}

}  // namespace kinetra::video
