// The built-in clip: a moving test pattern, so the plug-ins can be shown and tested with no
// media of one's own, on every build.
#pragma once

#include <cstdint>

#include "kinetra/lib/filter_host.h"

namespace kinetra::host {

// Frame `frame` of the clip at the given size: colour bars that slide one pixel per frame,
// a luma ramp below them and a white square moving across.
void DrawSyntheticFrame(Image& image, int32_t width, int32_t height, int32_t frame);

// The demo script the host renders when it is given no input.
extern const char kDemoScript[];

}  // namespace kinetra::host
