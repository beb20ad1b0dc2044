#include "video/commands.h"

#include "video/compositing.h"
#include "video/effects.h"

namespace kinetra::video {
namespace {

// Dispatch order: a line is offered to the first entry of its name.
constexpr CommandEntry kCommands[] = {
    {"copyframe", CopyFrame, &kCopyFrameTable},
    {"mkmask", MakeMask, &kMaskTable},
    {"mkmask_rgb", MakeMaskRGB, &kMaskTable},
    {"copy", Copy, &kCopyTable},
    {"copy2", CopyAboveLuma, &kCopy2Table},
    {"copy3", CopyWhereKey, &kCopy3Table},
    {"alpha", Alpha, &kAlphaTable},
    {"alpha2", AlphaAboveLuma, &kAlpha2Table},
    {"alpha3", AlphaWhereKey, &kAlpha3Table},
    {"alpha4", AlphaFromMask, &kAlpha4Table},
    {"swapbuf", SwapBuffers, &kNoArguments},
    {"dispsize", SetDisplaySize, &kDisplaySizeTable},
    {"fill", Fill, &kFillTable},
    {"fill2", FillWhereMask, &kFillWhereMaskTable},
    {"color", Color, &kColorTable},
    {"color_rgb", ColorRGB, &kColorTable},
    {"resize", Resize, &kResizeTable},
    {"rotate", Rotate, &kRotateTable},
    {"flipv", FlipTopToBottom, &kFlipTable},
    {"fliph", FlipLeftToRight, &kFlipTable},
    {"mosaic", Mosaic, &kMosaicTable},
    {"defocus", Defocus, &kDefocusTable},
    {"gamma", Gamma, &kGammaTable},
    {"diffuse", Diffuse, &kDiffuseTable},
    {"font", Font, &kFontTable},
    {"text", Text, &kTextTable},
    {"posterize", Posterize, &kPosterizeTable},
    {"posterize_rgb", PosterizeRGB, &kPosterizeTable},
    {"ellipse", Ellipse, &kEllipseTable},
};

}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

void ReleaseCommandState() { ReleaseTextState(); }

}  // namespace kinetra::video
