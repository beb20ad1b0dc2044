// copyframe, copy, copy2, copy3: rectangles of whole pixels moved into a buffer, from another
// frame of the edit, from a buffer, or from a buffer where a luma test passes.
#include <cstring>

#include "video/compositing.h"
#include "video/image.h"

namespace kinetra::video {
namespace {

constexpr ArgumentSpec kCopyFrameArguments[] = {
    Buffer(1, "destination buffer"),
    FrameNumber(2, "frame of the edit"),
    Integer(3, "source left column"),
    Integer(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Integer(7, "destination left column"),
    Integer(8, "destination top row"),
};

constexpr ArgumentSpec kCopyArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Integer(3, "source left column"),
    Integer(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Integer(7, "destination left column"),
    Integer(8, "destination top row"),
};

constexpr ArgumentSpec kCopy2Arguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Integer(3, "source left column"),
    Integer(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Integer(7, "destination left column"),
    Integer(8, "destination top row"),
    Integer(9, "luma threshold"),
};

constexpr ArgumentSpec kCopy3Arguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Buffer(3, "key buffer"),
    Integer(4, "source left column"),
    Integer(5, "source top row"),
    Width(6, "width"),
    Height(7, "height"),
    Integer(8, "destination left column"),
    Integer(9, "destination top row"),
    Integer(10, "key left column"),
    Integer(11, "key top row"),
    Integer(12, "luma threshold"),
};

// Copies the visible part of (sx, sy, w, h) of `source` to (dx, dy) of `destination`, as if
// the source had been read whole before the first write.
void CopyRectangle(const CommandFrame& f, const PixelYC* source, PixelYC* destination, int32_t sx,
                   int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
    RectangleMap map(sx, sy, w, h, f.size);
    map.Destination(dx, dy);
    if (map.empty() || (source == destination && sx == dx && sy == dy)) return;
    source = ReadBeforeWriting(f, source, destination, map.SourceRegion(), map.DestinationRegion());
    ForEachMappedRow(f, map, source, destination, nullptr, 0, 0, [](const MappedRow& r) {
        memcpy(r.destination, r.source, static_cast<size_t>(r.count) * sizeof(PixelYC));
    });
}

// Copies a pixel only where a luma exceeds `threshold`: the source's own, or, when `key` is
// given, the key's, read at (kx, ky) for the source corner (sx, sy). Every visible pixel is
// stored (unchanged where the test fails), so the loop needs no branch.
void CopyAboveThreshold(const CommandFrame& f, const PixelYC* source, PixelYC* destination,
                        const PixelYC* key, int32_t sx, int32_t sy, int32_t w, int32_t h,
                        int32_t dx, int32_t dy, int32_t kx, int32_t ky, int32_t threshold) {
    RectangleMap map(sx, sy, w, h, f.size);
    map.Destination(dx, dy);
    if (key) map.Also(kx, ky);
    if (map.empty()) return;
    const PixelYC* test = key;
    if (key) {
        ReadBeforeWriting(f, source, map.SourceRegion(), test, map.AlsoRegion(kx, ky), destination,
                          map.DestinationRegion());
    } else {
        source =
            ReadBeforeWriting(f, source, destination, map.SourceRegion(), map.DestinationRegion());
    }
    ForEachMappedRow(f, map, source, destination, test, kx, ky, [threshold](const MappedRow& r) {
        const PixelYC* t = r.also ? r.also : r.source;
        for (int32_t i = 0; i < r.count; ++i) {
            r.destination[i] = Select(t[i].y > threshold, r.source[i], r.destination[i]);
        }
    });
}

}  // namespace

void CopyFrame(CommandCall& call) {
    CommandFrame f;
    if (!f.Read(call, kCopyFrameArguments)) return;
    HostServices* services = call.filter ? call.filter->services : nullptr;
    if (!services || !services->fetch_frame_image) return;
    // The host's frame fetch is prepared for the buffer geometry; its answer is not needed.
    if (services->prepare_frame_fetch) {
        services->prepare_frame_fetch(call.filter, f.size.width, f.size.height, 5, 0);
    }
    const PixelYC* image =
        services->fetch_frame_image(call.filter, call.frame->edit_handle, f[2], 0, 0);
    if (!image) return;
    CopyRectangle(f, image, f.Image(1), f[3], f[4], f[5], f[6], f[7], f[8]);
}

void Copy(CommandCall& call) {
    CommandFrame f;
    if (!f.Read(call, kCopyArguments)) return;
    CopyRectangle(f, f.Image(1), f.Image(2), f[3], f[4], f[5], f[6], f[7], f[8]);
}

void CopyAboveLuma(CommandCall& call) {
    CommandFrame f;
    if (!f.Read(call, kCopy2Arguments)) return;
    CopyAboveThreshold(f, f.Image(1), f.Image(2), nullptr, f[3], f[4], f[5], f[6], f[7], f[8], 0, 0,
                       f[9]);
}

void CopyWhereKey(CommandCall& call) {
    CommandFrame f;
    if (!f.Read(call, kCopy3Arguments)) return;
    CopyAboveThreshold(f, f.Image(1), f.Image(2), f.Image(3), f[4], f[5], f[6], f[7], f[8], f[9],
                       f[10], f[11], f[12]);
}

}  // namespace kinetra::video
