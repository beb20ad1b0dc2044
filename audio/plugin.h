#pragma once

#include "host/plugin.h"

namespace kinetra::audio {

// The sound plug-in's state, for the callbacks and for tests that drive it directly.
Plugin& SoundPlugin();

// Where its buffers lie.
extern const BufferLayout kSoundLayout;

}  // namespace kinetra::audio
