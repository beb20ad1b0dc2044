// swapbuf, dispsize, fill, fill2: the buffers themselves, and flat colour.
#include <algorithm>
#include <utility>

#include "video/effects.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

// A colour triple is stored as given, wrapped to 16 bits, never clamped.
PixelYC ColourAt(const ImageArguments& args, int first) {
    return {Low16(args[first]), Low16(args[first + 1]), Low16(args[first + 2])};
}

}  // namespace

void SwapBuffers(const ImageArguments& args) {
    FrameContext& frame = *args.call->frame;
    std::swap(frame.edit_image, frame.scratch_image);
    args.call->buffers.slots[0] = frame.edit_image;
    args.call->buffers.slots[1] = frame.scratch_image;
}

void SetDisplaySize(const ImageArguments& args) {
    const int32_t w = args[1], h = args[2];
    if (w > args.size.width || h > args.size.height) return;
    args.call->frame->width = w;
    args.call->frame->height = h;
}

// The width is limited to the image before the rectangle is clipped, so a rectangle that
// starts left of the image ends max_width columns after its start, not at the right edge.
void Fill(const ImageArguments& args) {
    const Region region = ClipRegion(args[2], args[3], args[4], args[5], args.size);
    if (region.empty()) return;
    const PixelYC colour = ColourAt(args, 6);
    PixelYC* image = args.Image(1);
    RowLoop(region.y0, region.rows(), args.threads, [&](int32_t y) {
        std::fill_n(image + PixelIndex(region.x0, y, args.size.width), region.columns(), colour);
    });
}

void FillWhereMask(const ImageArguments& args) {
    // The painted rectangle is its own source, in place: its positions and the mask's must
    // both lie inside the image.
    PixelYC* destination = args.Image(1);
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[3], args[4]}, destination,
                          destination, {args.Image(2), args[10], args[11]});
    const PixelYC colour = ColourAt(args, 7);
    const int32_t threshold = args[12];
    ForEachMappedRow(args, plan, [&](const MappedRow& r) {
        PixelYC* out = r.destination;
        const PixelYC* key = r.also;
        // Masks rather than a branch: a noisy mask would mispredict every other pixel.
        for (int32_t i = 0; i < r.count; ++i) {
            const uint16_t paint = static_cast<uint16_t>(-static_cast<int32_t>(key[i].y > threshold));
            auto select = [paint](int16_t painted, int16_t kept) {
                return static_cast<int16_t>((static_cast<uint16_t>(painted) & paint) |
                                            (static_cast<uint16_t>(kept) & static_cast<uint16_t>(~paint)));
            };
            out[i] = {select(colour.y, out[i].y), select(colour.cb, out[i].cb), select(colour.cr, out[i].cr)};
        }
    });
}

}  // namespace kinetra::video
