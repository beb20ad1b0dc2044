// The commands that manage buffers, fill, resample, blur and tone pictures, and draw text and
// ellipses.
#pragma once

#include "host/command.h"

namespace kinetra::video {

struct ImageArguments;

// fill.cpp: the buffers themselves, and flat colour.
void SwapBuffers(const ImageArguments& args);     // "swapbuf": the host's edit and scratch images trade places
void SetDisplaySize(const ImageArguments& args);  // "dispsize": the size of the picture the host receives
void Fill(const ImageArguments& args);            // "fill": one colour over a rectangle
void FillWhereMask(const ImageArguments& args);   // "fill2": one colour where a mask's luma exceeds a threshold

// geometry.cpp: bilinear resampling.
void Resize(const ImageArguments& args);  // "resize"
void Rotate(const ImageArguments& args);  // "rotate": about the rectangle's centre

// blur.cpp: neighbourhood filters.
void Mosaic(const ImageArguments& args);   // "mosaic": the mean colour of each cell
void Defocus(const ImageArguments& args);  // "defocus": the mean of a box window
void Diffuse(const ImageArguments& args);  // "diffuse": a random pixel nearby

// curves.cpp: tone curves.
void Gamma(const ImageArguments& args);         // "gamma": a power curve per component, in place
void Posterize(const ImageArguments& args);     // "posterize": levels of y, cb, cr
void PosterizeRGB(const ImageArguments& args);  // "posterize_rgb": levels of R, G, B

// text.cpp: strings through the platform's text renderer.
void Font(const ImageArguments& args);  // "font": the face, height, style and colour of the texts after it
void Text(const ImageArguments& args);  // "text": a string blended into a buffer
void ReleaseTextState();                // the surface, the renderer's fonts and the font settings

// ellipse.cpp
void Ellipse(const ImageArguments& args);  // "ellipse": filled, axis-aligned

}  // namespace kinetra::video
