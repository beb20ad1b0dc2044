// copyframe, copy, copy2, copy3: rectangles of whole pixels moved into a buffer, from another
// frame of the edit, from a buffer, or from a buffer where a luma test passes.
#include <cstring>

#include "video/compositing.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

// Copies the visible part of the placement's source rectangle of `source` to `destination`, as
// if the source had been read whole before the first write.
void CopyRectangle(const ImageArguments& args, const PixelYC* source, PixelYC* destination,
                   const Placement& at) {
    if (source == destination && at.sx == at.dx && at.sy == at.dy) return;  // nothing moves
    const MappedPlan plan(args, at, source, destination);
    ForEachMappedRow(args, plan, [](const MappedRow& r) {
        memcpy(r.destination, r.source, static_cast<size_t>(r.count) * sizeof(PixelYC));
    });
}

// Copies a pixel only where a luma exceeds `threshold`: the source's own, or, when there is a
// key, the key's, read at the same offset. Every visible pixel is stored (unchanged where the
// test fails), so the loop needs no branch.
void CopyAboveThreshold(const ImageArguments& args, const PixelYC* source, PixelYC* destination,
                        const Placement& at, AlsoRead key, int32_t threshold) {
    const MappedPlan plan(args, at, source, destination, key);
    ForEachMappedRow(args, plan, [threshold](const MappedRow& r) {
        const PixelYC* t = r.also ? r.also : r.source;
        for (int32_t i = 0; i < r.count; ++i) {
            r.destination[i] = Select(t[i].y > threshold, r.source[i], r.destination[i]);
        }
    });
}

}  // namespace

void CopyFrame(const ImageArguments& args) {
    const CommandCall& call = *args.call;
    HostServices* services = call.filter ? call.filter->services : nullptr;
    if (!services || !services->fetch_frame_image) return;
    // The host's frame fetch is prepared for the buffer geometry; its answer is not needed.
    if (services->prepare_frame_fetch) {
        services->prepare_frame_fetch(call.filter, args.size.width, args.size.height, 5, 0);
    }
    const PixelYC* image =
        services->fetch_frame_image(call.filter, call.frame->edit_handle, args[2], 0, 0);
    if (!image) return;
    CopyRectangle(args, image, args.Image(1), {args[3], args[4], args[5], args[6], args[7], args[8]});
}

void Copy(const ImageArguments& args) {
    CopyRectangle(args, args.Image(1), args.Image(2), {args[3], args[4], args[5], args[6], args[7], args[8]});
}

void CopyAboveLuma(const ImageArguments& args) {
    CopyAboveThreshold(args, args.Image(1), args.Image(2),
                       {args[3], args[4], args[5], args[6], args[7], args[8]}, {}, args[9]);
}

void CopyWhereKey(const ImageArguments& args) {
    CopyAboveThreshold(args, args.Image(1), args.Image(2),
                       {args[4], args[5], args[6], args[7], args[8], args[9]},
                       {args.Image(3), args[10], args[11]}, args[12]);
}

}  // namespace kinetra::video
