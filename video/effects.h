// The commands that manage buffers, fill, resample, blur and tone pictures, and draw text and
// ellipses.
#pragma once

#include "host/command.h"

namespace kinetra::video {

// fill.cpp: the buffers themselves, and flat colour.
void SwapBuffers(CommandCall& call);     // "swapbuf": the host's edit and scratch images trade places
void SetDisplaySize(CommandCall& call);  // "dispsize": the size of the picture the host receives
void Fill(CommandCall& call);            // "fill": one colour over a rectangle
void FillWhereMask(CommandCall& call);   // "fill2": one colour where a mask's luma exceeds a threshold

// geometry.cpp: bilinear resampling.
void Resize(CommandCall& call);  // "resize"
void Rotate(CommandCall& call);  // "rotate": about the rectangle's centre

// blur.cpp: neighbourhood filters.
void Mosaic(CommandCall& call);   // "mosaic": the mean colour of each cell
void Defocus(CommandCall& call);  // "defocus": the mean of a box window
void Diffuse(CommandCall& call);  // "diffuse": a random pixel nearby

// curves.cpp: tone curves.
void Gamma(CommandCall& call);          // "gamma": a power curve per component, in place
void Posterize(CommandCall& call);      // "posterize": levels of y, cb, cr
void PosterizeRGB(CommandCall& call);   // "posterize_rgb": levels of R, G, B

// text.cpp: strings through the platform's text renderer.
void Font(CommandCall& call);  // "font": the face, height, style and colour of the texts after it
void Text(CommandCall& call);  // "text": a string blended into a buffer
void ReleaseTextState();       // the surface, the renderer's fonts and the font settings

// ellipse.cpp
void Ellipse(CommandCall& call);  // "ellipse": filled, axis-aligned

// The argument tables the registry lists with the handlers.
extern const ArgumentTable kDisplaySizeTable;
extern const ArgumentTable kFillTable;
extern const ArgumentTable kFillWhereMaskTable;
extern const ArgumentTable kResizeTable;
extern const ArgumentTable kRotateTable;
extern const ArgumentTable kMosaicTable;
extern const ArgumentTable kDefocusTable;
extern const ArgumentTable kDiffuseTable;
extern const ArgumentTable kGammaTable;
extern const ArgumentTable kPosterizeTable;
extern const ArgumentTable kEllipseTable;
extern const ArgumentTable kFontTable;
extern const ArgumentTable kTextTable;

}  // namespace kinetra::video
