#include "video/commands.h"

#include "video/compositing.h"
#include "video/effects.h"

namespace kinetra::video {
namespace {

// Dispatch order: a line is offered to the first entry of its name.
constexpr CommandEntry kCommands[] = {
    {"copyframe", CopyFrame},
    {"mkmask", MakeMask},
    {"mkmask_rgb", MakeMaskRGB},
    {"copy", Copy},
    {"copy2", CopyAboveLuma},
    {"copy3", CopyWhereKey},
    {"alpha", Alpha},
    {"alpha2", AlphaAboveLuma},
    {"alpha3", AlphaWhereKey},
    {"alpha4", AlphaFromMask},
    {"swapbuf", SwapBuffers},
    {"dispsize", SetDisplaySize},
    {"fill", Fill},
    {"fill2", FillWhereMask},
    {"color", Color},
    {"color_rgb", ColorRGB},
    {"resize", Resize},
    {"rotate", Rotate},
    {"flipv", FlipTopToBottom},
    {"fliph", FlipLeftToRight},
    {"mosaic", Mosaic},
    {"defocus", Defocus},
    {"gamma", Gamma},
    {"diffuse", Diffuse},
    {"font", Font},
    {"text", Text},
    {"posterize", Posterize},
    {"posterize_rgb", PosterizeRGB},
    {"ellipse", Ellipse},
};

}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

void ReleaseCommandState() { ReleaseTextState(); }

}  // namespace kinetra::video
