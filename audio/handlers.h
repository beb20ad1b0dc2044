// The sound commands by family, as the registry lists them.
#pragma once

#include <cstdint>

#include "audio/arguments.h"
#include "host/command.h"
#include "kernels/level.h"

namespace kinetra::audio {

// Fetch and copy (copy.cpp).
void CopyFrame(const SoundArguments& args);      // a_copyframe
void CopyFrameSpan(const SoundArguments& args);  // a_copyframe2
void Copy(const SoundArguments& args);           // a_copy

// Makes the first n sample frames of the fetch area (buffer 9, running on into the first work
// area) the sound of `frame` and returns it; a cache keyed on frame, n and c reads each frame
// once while they stay the same.
const int16_t* FetchFrameAudio(const SoundArguments& args, int32_t frame);
// Forgets the fetched frame: the next fetch reads again.
void ForgetFetchedFrame();

// Sample processing (samples.cpp).
void Volume(const SoundArguments& args);   // a_volume
void Blend(const SoundArguments& args);    // a_blend
void Swap(const SoundArguments& args);     // a_swap
void Mono(const SoundArguments& args);     // a_mono
void Reverse(const SoundArguments& args);  // a_reverse

// Generators (generators.cpp).
void Noise(const SoundArguments& args);  // a_noise
void Tone(const SoundArguments& args);   // a_tone

// The noise generator's state: it runs on from call to call and is never seeded; tests that
// replay a sequence save and restore it.
uint32_t& NoiseState();

}  // namespace kinetra::audio
