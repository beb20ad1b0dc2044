// gamma, posterize, posterize_rgb: every component mapped through a fixed curve.
#include <algorithm>
#include <cmath>

#include "video/effects.h"

#include "video/arguments.h"
#include "video/color_space.h"
#include "video/kernels/quantise.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

// ---------------------------------------------------------------------------------------------
// gamma

// pow(v / scale, 1 / g) * scale, truncated; what pow cannot give as a 32-bit number (no real
// power, infinity, NaN) truncates to INT32_MIN, whose low 16 bits are 0.
struct Curve {
    double inverse_scale, scale, exponent;
    int16_t operator()(int32_t v) const {
        return Low16(TruncateToInt32(std::pow(v * inverse_scale, exponent) * scale));
    }
};

constexpr int kTableSize = 4098;  // y 0..4097; cb, cr -2048..2049

// The curves of the last gamma triple; rebuilt only when a command brings another one.
struct GammaTables {
    int16_t y[kTableSize];
    int16_t cb[kTableSize];
    int16_t cr[kTableSize];
    double built_for[3];
    bool built = false;
} gamma_tables;

// A component through its table when the table covers it, else through the curve itself.
inline int16_t Lookup(const int16_t* table, int32_t offset, int32_t v, const Curve& curve) {
    const uint32_t at = static_cast<uint32_t>(v + offset);
    return at < kTableSize ? table[at] : curve(v);
}

// ---------------------------------------------------------------------------------------------
// posterize

// Runs `convert(source, destination, count, quantisers)` on each visible row, the source as it
// was before the command (in place, position by position, when the rectangle is the same).
template <typename Convert>
void MapRows(const ImageArguments& args, Convert&& convert) {
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1),
                          args.Image(2));
    if (plan.empty()) return;
    const Quantisers quantisers{Quantiser(args[9]), Quantiser(args[10]), Quantiser(args[11])};
    ForEachMappedRow(args, plan, [&](const MappedRow& row) {
        convert(row.source, row.destination, row.count, quantisers);
    });
}

}  // namespace

void Gamma(const ImageArguments& args) {
    const double g[3] = {args.Real(6), args.Real(7), args.Real(8)};
    const Region region = ClipRegion(args[2], args[3], args[4], args[5], args.size);
    if (region.empty()) return;
    const Curve y_curve{kInverse4096, 4096.0, 1.0 / g[0]};
    const Curve cb_curve{1.0 / 2048.0, 2048.0, 1.0 / g[1]};
    const Curve cr_curve{1.0 / 2048.0, 2048.0, 1.0 / g[2]};
    GammaTables& t = gamma_tables;
    if (!t.built || !std::equal(g, g + 3, t.built_for)) {
        for (int32_t i = 0; i < kTableSize; ++i) {
            t.y[i] = y_curve(i);
            t.cb[i] = cb_curve(i - 2048);
            t.cr[i] = cr_curve(i - 2048);
        }
        std::copy(g, g + 3, t.built_for);
        t.built = true;
    }
    PixelYC* image = args.Image(1);
    RowLoop(region.y0, region.rows(), args.threads, [&](int32_t row) {
        PixelYC* p = image + PixelIndex(region.x0, row, args.size.width);
        for (int32_t i = 0; i < region.columns(); ++i, ++p) {
            const PixelYC v = *p;
            // One test for the usual pixel, every component inside its table's first 4096.
            const uint32_t at_y = static_cast<uint16_t>(v.y), at_cb = static_cast<uint16_t>(v.cb + 2048),
                           at_cr = static_cast<uint16_t>(v.cr + 2048);
            if ((at_y | at_cb | at_cr) < 4096) {
                *p = {t.y[at_y], t.cb[at_cb], t.cr[at_cr]};
            } else {
                *p = {Lookup(t.y, 0, v.y, y_curve), Lookup(t.cb, 2048, v.cb, cb_curve),
                      Lookup(t.cr, 2048, v.cr, cr_curve)};
            }
        }
    });
}

void Posterize(const ImageArguments& args) {
    // y, and cb and cr moved up by 2048, as a block's three arrays, so that the quantisers'
    // vector forms take them; a block is read whole before it is written.
    MapRows(args, [](const PixelYC* source, PixelYC* destination, int32_t count, const Quantisers& s) {
        RGBBlock c;
        for (int32_t offset = 0; offset < count; offset += kColourBlock) {
            const int32_t n = std::min(kColourBlock, count - offset);
            for (int32_t i = 0; i < n; ++i) {
                const PixelYC p = source[offset + i];
                c.r[i] = p.y;
                c.g[i] = p.cb + 2048;
                c.b[i] = p.cr + 2048;
            }
            kQuantise(c, n, s);
            for (int32_t i = 0; i < n; ++i) {
                destination[offset + i] = {static_cast<int16_t>(c.r[i]), static_cast<int16_t>(c.g[i] - 2048),
                                           static_cast<int16_t>(c.b[i] - 2048)};
            }
        }
    });
}

void PosterizeRGB(const ImageArguments& args) {
    MapRows(args, [](const PixelYC* source, PixelYC* destination, int32_t count, const Quantisers& s) {
        ForEachRGBBlock(source, count, [&](RGBBlock& c, int32_t offset, int32_t n) {
            kQuantise(c, n, s);
            ToYC(c, n, 1.0, destination + offset);  // 0..4096 each
        });
    });
}

}  // namespace kinetra::video
