#include "video/commands.h"

#include "video/compositing.h"

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
    {"color", Color},
    {"color_rgb", ColorRGB},
    {"flipv", FlipTopToBottom},
    {"fliph", FlipLeftToRight},
};

}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

void ReleaseCommandState() {}

}  // namespace kinetra::video
