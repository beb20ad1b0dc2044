#pragma once

#include "host/plugin.h"

namespace kinetra::video {

// The image plug-in's state, for the callbacks and for tests that drive it directly.
Plugin& ImagePlugin();

// Where its buffers lie.
extern const BufferLayout kImageLayout;

}  // namespace kinetra::video
