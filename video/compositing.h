// The commands that copy, mask, blend, mirror and recolour rectangles between buffers.
#pragma once

#include "host/command.h"

namespace kinetra::video {

// copy.cpp: whole pixels moved into a buffer.
void CopyFrame(CommandCall& call);      // "copyframe": from another frame of the edit
void Copy(CommandCall& call);           // "copy"
void CopyAboveLuma(CommandCall& call);  // "copy2": where the source's luma exceeds a threshold
void CopyWhereKey(CommandCall& call);   // "copy3": where a key buffer's luma exceeds a threshold

// blend.cpp: masks and opacity.
void MakeMask(CommandCall& call);        // "mkmask": y/cb/cr box to a two-valued mask
void MakeMaskRGB(CommandCall& call);     // "mkmask_rgb": the same box in R, G, B
void Alpha(CommandCall& call);           // "alpha": constant opacity
void AlphaAboveLuma(CommandCall& call);  // "alpha2": where the source's luma exceeds a threshold
void AlphaWhereKey(CommandCall& call);   // "alpha3": where a key buffer's luma exceeds a threshold
void AlphaFromMask(CommandCall& call);   // "alpha4": opacity of each pixel from a mask's luma

// flip.cpp: mirrored copies.
void FlipTopToBottom(CommandCall& call);  // "flipv"
void FlipLeftToRight(CommandCall& call);  // "fliph"

// color.cpp: gain and offset in place.
void Color(CommandCall& call);     // "color": on y, cb, cr
void ColorRGB(CommandCall& call);  // "color_rgb": on R, G, B

// The argument tables the registry lists with the handlers.
extern const ArgumentTable kCopyFrameTable;
extern const ArgumentTable kCopyTable;
extern const ArgumentTable kCopy2Table;
extern const ArgumentTable kCopy3Table;
extern const ArgumentTable kMaskTable;
extern const ArgumentTable kAlphaTable;
extern const ArgumentTable kAlpha2Table;
extern const ArgumentTable kAlpha3Table;
extern const ArgumentTable kAlpha4Table;
extern const ArgumentTable kFlipTable;
extern const ArgumentTable kColorTable;

}  // namespace kinetra::video
