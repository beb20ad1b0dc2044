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

constexpr ArgumentSpec kCopyFrameArguments[] = {
    Buffer(1, "destination buffer"),
    FrameNumber(2, "frame of the edit"),
    Pixels(3, "source left column"),
    Pixels(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Pixels(7, "destination left column"),
    Pixels(8, "destination top row"),
};

constexpr ArgumentSpec kCopyArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Pixels(3, "source left column"),
    Pixels(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Pixels(7, "destination left column"),
    Pixels(8, "destination top row"),
};

constexpr ArgumentSpec kCopy2Arguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
    Pixels(3, "source left column"),
    Pixels(4, "source top row"),
    Width(5, "width"),
    Height(6, "height"),
    Pixels(7, "destination left column"),
    Pixels(8, "destination top row"),
    Level(9, "luma threshold"),
};

constexpr ArgumentSpec kCopy3Arguments[] = {
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
    Level(12, "luma threshold"),
};

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

void CopyFrame(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kCopyFrameArguments)) return;
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

void Copy(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kCopyArguments)) return;
    CopyRectangle(args, args.Image(1), args.Image(2), {args[3], args[4], args[5], args[6], args[7], args[8]});
}

void CopyAboveLuma(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kCopy2Arguments)) return;
    CopyAboveThreshold(args, args.Image(1), args.Image(2),
                       {args[3], args[4], args[5], args[6], args[7], args[8]}, {}, args[9]);
}

void CopyWhereKey(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kCopy3Arguments)) return;
    CopyAboveThreshold(args, args.Image(1), args.Image(2),
                       {args[4], args[5], args[6], args[7], args[8], args[9]},
                       {args.Image(3), args[10], args[11]}, args[12]);
}

// The tables, for the registry.
constinit const ArgumentTable kCopyFrameTable = kCopyFrameArguments;
constinit const ArgumentTable kCopyTable = kCopyArguments;
constinit const ArgumentTable kCopy2Table = kCopy2Arguments;
constinit const ArgumentTable kCopy3Table = kCopy3Arguments;

}  // namespace kinetra::video
