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

constexpr int32_t kSmallestPicture = 16;

// At least the smallest picture, and at most the image (checked by hand: it changes by frame).
constexpr ArgumentSpec kDisplaySizeArguments[] = {Pixels(1, "width").AtLeast(kSmallestPicture),
                                                  Pixels(2, "height").AtLeast(kSmallestPicture)};

constexpr ArgumentSpec kFillArguments[] = {
    Buffer(1, "buffer"), Pixels(2, "x"), Pixels(3, "y"), Width(4, "w"), Height(5, "h"),
    Level(6, "colour y"), Level(7, "colour cb"), Level(8, "colour cr")};

constexpr ArgumentSpec kFillWhereMaskArguments[] = {
    Buffer(1, "destination"), Buffer(2, "mask"), Pixels(3, "x"), Pixels(4, "y"),
    Width(5, "w"), Height(6, "h"), Level(7, "colour y"), Level(8, "colour cb"),
    Level(9, "colour cr"), Pixels(10, "mask x"), Pixels(11, "mask y"),
    Level(12, "threshold")};

// A colour triple is stored as given, wrapped to 16 bits, never clamped.
PixelYC ColourAt(const ImageArguments& args, int first) {
    return {Low16(args[first]), Low16(args[first + 1]), Low16(args[first + 2])};
}

}  // namespace

void SwapBuffers(CommandCall& call) {
    FrameContext& frame = *call.frame;
    std::swap(frame.edit_image, frame.scratch_image);
    call.buffers.slots[0] = frame.edit_image;
    call.buffers.slots[1] = frame.scratch_image;
}

void SetDisplaySize(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kDisplaySizeArguments)) return;
    const int32_t w = args[1], h = args[2];
    if (w > args.size.width || h > args.size.height) return;
    call.frame->width = w;
    call.frame->height = h;
}

// The width is limited to the image before the rectangle is clipped, so a rectangle that
// starts left of the image ends max_width columns after its start, not at the right edge.
void Fill(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kFillArguments)) return;
    const Region region = ClipRegion(args[2], args[3], args[4], args[5], args.size);
    if (region.empty()) return;
    const PixelYC colour = ColourAt(args, 6);
    PixelYC* image = args.Image(1);
    RowLoop(region.y0, region.rows(), args.threads, [&](int32_t y) {
        std::fill_n(image + PixelIndex(region.x0, y, args.size.width), region.columns(), colour);
    });
}

void FillWhereMask(CommandCall& call) {
    ImageArguments args;
    if (!args.Read(call, kFillWhereMaskArguments)) return;
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

// The tables, for the registry.
constinit const ArgumentTable kDisplaySizeTable = kDisplaySizeArguments;
constinit const ArgumentTable kFillTable = kFillArguments;
constinit const ArgumentTable kFillWhereMaskTable = kFillWhereMaskArguments;

}  // namespace kinetra::video
