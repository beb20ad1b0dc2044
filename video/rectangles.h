// Rectangles and clipping: where a command's rectangles lie inside the image, how a source maps
// onto a destination, and how a command that writes over its own source reads it first.
#pragma once

#include <cstdint>

#include "kinetra/filter_abi.h"
#include "video/arguments.h"
#include "video/pixels.h"

namespace kinetra::video {


// A half-open area of one buffer: columns [x0, x1), rows [y0, y1), inside the image.
struct Region {
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    int32_t columns() const { return x1 - x0; }
    int32_t rows() const { return y1 - y0; }
};

bool Overlap(const Region& a, const Region& b);
Region Union(const Region& a, const Region& b);

// The in-place commands' clip: a (x0, y0, w, h) rectangle limited to the image. The sums are
// taken in 64 bits, so any arguments are safe.
Region ClipRegion(int32_t x0, int32_t y0, int32_t w, int32_t h, ImageSize size);

enum class Mirror : uint8_t { kNone, kTopToBottom, kLeftToRight };

// A source rectangle mapped onto other corners (destination, key, mask). A position at offset
// (u, v) from the source corner is processed only when every mapped position lies inside the
// image; those offsets form one rectangle, [u0, u1) x [v0, v1), computed here once in 64 bits
// instead of testing each pixel. The result is the same as the per-pixel test.
class RectangleMap {
public:
    RectangleMap(int32_t sx, int32_t sy, int32_t w, int32_t h, ImageSize size);

    // The destination corner; a mirrored destination fills the same rectangle reversed.
    void Destination(int32_t dx, int32_t dy, Mirror mirror = Mirror::kNone);
    // Another rectangle read at the same offsets (a key or a mask).
    void Also(int32_t kx, int32_t ky);

    bool empty() const { return u0 >= u1 || v0 >= v1; }
    Mirror mirror() const { return mirror_; }
    int32_t columns() const { return u1 - u0; }
    int32_t rows() const { return v1 - v0; }

    // Positions of a visible offset (always inside the image).
    int32_t SourceX(int32_t u) const { return static_cast<int32_t>(int64_t{sx_} + u); }
    int32_t SourceY(int32_t v) const { return static_cast<int32_t>(int64_t{sy_} + v); }
    int32_t DestinationX(int32_t u) const;
    int32_t DestinationY(int32_t v) const;
    int32_t AlsoX(int32_t kx, int32_t u) const { return static_cast<int32_t>(int64_t{kx} + u); }
    int32_t AlsoY(int32_t ky, int32_t v) const { return static_cast<int32_t>(int64_t{ky} + v); }

    // The visible parts, as areas of their buffers.
    Region SourceRegion() const;
    Region DestinationRegion() const;
    Region AlsoRegion(int32_t kx, int32_t ky) const;

    int32_t u0 = 0, u1 = 0, v0 = 0, v1 = 0;

private:
    void Keep(int64_t lo_u, int64_t hi_u, int64_t lo_v, int64_t hi_v);

    int32_t sx_, sy_, w_, h_;
    int32_t dx_ = 0, dy_ = 0;
    Mirror mirror_ = Mirror::kNone;
    ImageSize size_;
};

// Where a command reads `source` while it writes `region_written` of `destination`: the buffer
// itself, or, when it is the destination and `region_read` meets `region_written`, the work
// area, holding a copy of `region_read` at the same coordinates (copied in parallel). Either
// way the result is as if the whole source had been read before the first write.
const PixelYC* ReadBeforeWriting(const ImageArguments& args, const PixelYC* source,
                                 const PixelYC* destination, const Region& region_read,
                                 const Region& region_written);

// The same for a command that reads two rectangles (source and key, or source and mask) while
// writing one: each pointer that names the destination and meets the written region is
// replaced by the work area, which then holds both read regions if both need it.
void ReadBeforeWriting(const ImageArguments& args, const PixelYC*& first, const Region& first_read,
                       const PixelYC*& second, const Region& second_read,
                       const PixelYC* destination, const Region& region_written);

// Where a command's source rectangle lands: its corner and size, and the destination corner.
struct Placement {
    int32_t sx, sy, w, h, dx, dy;
};
// A second rectangle read at the same offsets as the source: a key or a mask, at its corner.
struct AlsoRead {
    const PixelYC* image = nullptr;
    int32_t x = 0, y = 0;
};

// A placement mapped inside the image (with the second rectangle, when there is one), and the
// buffers to read: each that the writes would overtake is replaced by its copy in the work
// area, so the result is that of reading everything before the first write. Every command that
// maps rectangles computes a pixel from the pixels at its own offset, so a source that is its
// own destination at the same corner, unmirrored, is read in place.
struct MappedPlan {
    MappedPlan(const ImageArguments& args, const Placement& at, const PixelYC* source,
               PixelYC* destination, AlsoRead also = {}, Mirror mirror = Mirror::kNone);

    bool empty() const { return map.empty(); }

    RectangleMap map;
    const PixelYC* source;
    PixelYC* destination;
    AlsoRead also;
};

// One visible row of a mapped rectangle: pointers to its first visible pixel in each buffer.
// A destination mirrored left to right runs backwards (step -1).
struct MappedRow {
    const PixelYC* source;
    PixelYC* destination;
    const PixelYC* also;  // key or mask; null when the command has none
    int32_t count;
    int32_t step;  // +1, or -1 for a left-to-right mirror
};

// Runs row(MappedRow) for every visible row of `map` in RowLoop. `also` is read at (ax, ay).
// Most commands run it through the MappedPlan overload below.
template <typename Work>
void ForEachMappedRow(const ImageArguments& args, const RectangleMap& map, const PixelYC* source,
                      PixelYC* destination, const PixelYC* also, int32_t ax, int32_t ay,
                      Work&& row) {
    if (map.empty()) return;
    const int32_t stride = args.size.width;
    const int32_t step = map.mirror() == Mirror::kLeftToRight ? -1 : 1;
    RowLoop(map.v0, map.rows(), args.threads, [&](int32_t v) {
        MappedRow r;
        r.source = source + PixelIndex(map.SourceX(map.u0), map.SourceY(v), stride);
        r.destination =
            destination + PixelIndex(map.DestinationX(map.u0), map.DestinationY(v), stride);
        r.also =
            also ? also + PixelIndex(map.AlsoX(ax, map.u0), map.AlsoY(ay, v), stride) : nullptr;
        r.count = map.columns();
        r.step = step;
        row(r);
    });
}

template <typename Work>
void ForEachMappedRow(const ImageArguments& args, const MappedPlan& plan, Work&& row) {
    ForEachMappedRow(args, plan.map, plan.source, plan.destination, plan.also.image, plan.also.x,
                     plan.also.y, row);
}

}  // namespace kinetra::video
