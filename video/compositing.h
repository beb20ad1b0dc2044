// The commands that copy, mask, blend, mirror and recolour rectangles between buffers.
#pragma once

#include "host/command.h"

namespace kinetra::video {

struct ImageArguments;

// copy.cpp: whole pixels moved into a buffer.
void CopyFrame(const ImageArguments& args);      // "copyframe": from another frame of the edit
void Copy(const ImageArguments& args);           // "copy"
void CopyAboveLuma(const ImageArguments& args);  // "copy2": where the source's luma exceeds a threshold
void CopyWhereKey(const ImageArguments& args);   // "copy3": where a key buffer's luma exceeds a threshold

// blend.cpp: masks and opacity.
void MakeMask(const ImageArguments& args);        // "mkmask": y/cb/cr box to a two-valued mask
void MakeMaskRGB(const ImageArguments& args);     // "mkmask_rgb": the same box in R, G, B
void Alpha(const ImageArguments& args);           // "alpha": constant opacity
void AlphaAboveLuma(const ImageArguments& args);  // "alpha2": where the source's luma exceeds a threshold
void AlphaWhereKey(const ImageArguments& args);   // "alpha3": where a key buffer's luma exceeds a threshold
void AlphaFromMask(const ImageArguments& args);   // "alpha4": opacity of each pixel from a mask's luma

// flip.cpp: mirrored copies.
void FlipTopToBottom(const ImageArguments& args);  // "flipv"
void FlipLeftToRight(const ImageArguments& args);  // "fliph"

// color.cpp: gain and offset in place.
void Color(const ImageArguments& args);     // "color": on y, cb, cr
void ColorRGB(const ImageArguments& args);  // "color_rgb": on R, G, B

}  // namespace kinetra::video
