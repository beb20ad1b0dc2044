// The picture commands' registry: a row a command, with what `kinetra help` tells of it.
#pragma once

#include "host/command.h"
#include "video/compositing.h"
#include "video/effects.h"
#include "video/tables.h"

namespace kinetra::video {

// The headings `kinetra help` lists the commands under.
inline constexpr char kCopying[] = "Copying";
inline constexpr char kBlending[] = "Masks and blending";
inline constexpr char kFlipsAndColour[] = "Flips and colour";
inline constexpr char kBuffersAndFills[] = "Buffers and fills";
inline constexpr char kGeometry[] = "Resize and rotate";
inline constexpr char kBlur[] = "Mosaic, defocus and diffuse";
inline constexpr char kCurves[] = "Gamma and posterize";
inline constexpr char kDrawing[] = "Text and ellipse";

// Dispatch order: a line is offered to the first row of its name.
inline constexpr CommandRow<ImageArguments> kCommands[] = {
    {"copyframe", kCopyFrameArguments, CopyFrame,
     {kCopying, "another frame of the edit into a buffer", "copyframe(2,f-1,0,0,i,j,0,0)"}, CommandEffect::kOverwrites},
    {"mkmask", kMaskArguments, MakeMask,
     {kBlending, "a two-valued mask from the pixels whose y, cb, cr lie in a box",
      "mkmask(0,5,0,0,i,j,0,0,1500,-100,-100,2500,100,100,4096,0)"}, CommandEffect::kOverwrites},
    {"mkmask_rgb", kMaskArguments, MakeMaskRGB,
     {kBlending, "the same mask, the box in R, G, B",
      "mkmask_rgb(0,4,0,0,i,j,0,0,3500,3500,0,5000,5000,1000,4096,0)"}, CommandEffect::kOverwrites},
    {"copy", kPlacement, Copy,
     {kCopying, "a rectangle from one buffer into another", "copy(0,2,0,0,i/2,j,i/2,0)"}, CommandEffect::kOverwrites},
    {"copy2", kCopy2Arguments, CopyAboveLuma,
     {kCopying, "a rectangle's pixels whose luma is above a threshold", "copy2(2,0,0,0,i,j,0,0,3000)"}},
    {"copy3", kCopy3Arguments, CopyWhereKey,
     {kCopying, "a rectangle where a key buffer's luma is above a threshold", "copy3(2,0,3,0,0,i,j,0,0,0,0,2048)"}},
    {"alpha", kAlphaArguments, Alpha,
     {kBlending, "a rectangle blended over another at one opacity", "alpha(2,0,0,0,i,j,0,0,0.5)"}},
    {"alpha2", kAlpha2Arguments, AlphaAboveLuma,
     {kBlending, "blended where the source's luma is above a threshold", "alpha2(2,0,0,0,i,j,0,0,0.5,2048)"}},
    {"alpha3", kAlpha3Arguments, AlphaWhereKey,
     {kBlending, "blended where a key buffer's luma is above a threshold", "alpha3(2,0,5,0,0,i,j,0,0,0,0,0.5,2048)"}},
    {"alpha4", kAlpha4Arguments, AlphaFromMask,
     {kBlending, "blended with each pixel's opacity read from a mask", "alpha4(3,0,4,0,0,i,j,0,0,0,0)"}},
    {"swapbuf", kNoArguments, SwapBuffers,
     {kBuffersAndFills, "the host's picture and its scratch image exchanged", "swapbuf()"},
     CommandEffect::kSwapsImages},
    {"dispsize", kDisplaySizeArguments, SetDisplaySize,
     {kBuffersAndFills, "the size of the picture the host shows", "dispsize(i*3/4,j*3/4)"}},
    {"fill", kFillArguments, Fill,
     {kBuffersAndFills, "a rectangle filled with one colour", "fill(0,0,0,i,j/8,4096,0,0)"},
     CommandEffect::kOverwrites},
    {"fill2", kFillWhereMaskArguments, FillWhereMask,
     {kBuffersAndFills, "a colour painted where a mask is above a threshold",
      "fill2(0,3,0,0,i,j,1500,1500,-500,0,0,4000)"}},
    {"color", kColorArguments, Color,
     {kFlipsAndColour, "gains and offsets of y, cb and cr in a rectangle", "color(0,0,0,i/4,j/4,0.5,1,1,0,0,0)"}},
    {"color_rgb", kColorArguments, ColorRGB,
     {kFlipsAndColour, "gains and offsets of R, G and B in a rectangle", "color_rgb(0,0,0,i,j,1.1,1.0,0.8,0,0,0)"}},
    {"resize", kResizeArguments, Resize,
     {kGeometry, "a rectangle scaled into another, bilinear", "resize(0,2,0,0,i,j,0,0,i/4,j/4)"},
     CommandEffect::kOverwrites},
    {"rotate", kRotateArguments, Rotate,
     {kGeometry, "a rectangle turned by an angle about its centre", "rotate(0,3,2*p*g/n,0,0,i/3,j/3,i/2,j/2)"}},
    {"flipv", kPlacement, FlipTopToBottom,
     {kFlipsAndColour, "a rectangle turned upside down", "flipv(0,3,0,0,i,j,0,0)"}, CommandEffect::kOverwrites},
    {"fliph", kPlacement, FlipLeftToRight,
     {kFlipsAndColour, "a rectangle mirrored left to right", "fliph(0,3,0,0,i/2,j,0,0)"}, CommandEffect::kOverwrites},
    {"mosaic", kMosaicArguments, Mosaic,
     {kBlur, "a rectangle in cells of one colour each", "mosaic(0,0,0,0,i,j,0,0,8,8)"}, CommandEffect::kOverwrites},
    {"defocus", kDefocusArguments, Defocus,
     {kBlur, "a box blur of a rectangle", "defocus(0,0,0,0,i,j,0,0,9,9)"}, CommandEffect::kOverwrites},
    {"gamma", kGammaArguments, Gamma,
     {kCurves, "gamma curves of y, cb and cr in a rectangle", "gamma(0,0,0,i,j,1.6,1,1)"}},
    {"diffuse", kDiffuseArguments, Diffuse,
     {kBlur, "each pixel taken from a random one within a reach", "diffuse(0,0,0,0,i,j,0,0,3,3)"},
     CommandEffect::kKeepsState},
    {"font", kFontArguments, Font,
     {kDrawing, "the face, size, style and colour of the text drawn after it",
      "font(\"MS Gothic\",48,1,0,0,4096,0,0)"}, CommandEffect::kSetsFont},
    {"text", kTextArguments, Text,
     {kDrawing, "a string drawn at a point", "text(0,i/2,j/2,1,\"Kinetra\")"}, CommandEffect::kDrawsText},
    {"posterize", kPosterizeArguments, Posterize,
     {kCurves, "fewer levels of y, cb and cr", "posterize(0,0,0,0,i,j,0,0,6,2,2)"}, CommandEffect::kOverwrites},
    {"posterize_rgb", kPosterizeArguments, PosterizeRGB,
     {kCurves, "fewer levels of R, G and B", "posterize_rgb(0,0,0,0,i,j,0,0,4,4,4)"}, CommandEffect::kOverwrites},
    {"ellipse", kEllipseArguments, Ellipse,
     {kDrawing, "a filled ellipse", "ellipse(0,i/2,j/2,40,24,3500,-600,1200)"}},
};

// Runs a command line through its row; false when no command has its name.
bool RunCommand(CommandCall& call);

// Releases what single commands keep between frames (the text command's drawing objects).
void ReleaseCommandState();

}  // namespace kinetra::video
