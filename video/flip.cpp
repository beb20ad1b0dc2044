// flipv, fliph: a rectangle copied into another buffer mirrored top to bottom or left to right.
// The destination rectangle keeps its top-left corner at (dx, dy).
#include <cstring>

#include "video/compositing.h"
#include "video/arguments.h"
#include "video/color_space.h"
#include "video/pixels.h"
#include "video/rectangles.h"

namespace kinetra::video {
namespace {

void Flip(const ImageArguments& args, Mirror mirror) {
    // Mirroring a buffer onto itself reads the rectangle as it was, whatever the thread count.
    const MappedPlan plan(args, {args[3], args[4], args[5], args[6], args[7], args[8]}, args.Image(1),
                          args.Image(2), {}, mirror);
    ForEachMappedRow(args, plan, [](const MappedRow& r) {
        if (r.step > 0) {
            memcpy(r.destination, r.source, static_cast<size_t>(r.count) * sizeof(PixelYC));
            return;
        }
        for (int32_t i = 0; i < r.count; ++i) *(r.destination - i) = r.source[i];
    });
}

}  // namespace

void FlipTopToBottom(const ImageArguments& args) { Flip(args, Mirror::kTopToBottom); }
void FlipLeftToRight(const ImageArguments& args) { Flip(args, Mirror::kLeftToRight); }

}  // namespace kinetra::video
