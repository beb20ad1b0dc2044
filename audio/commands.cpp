#include "audio/commands.h"

#include "audio/handlers.h"

namespace kinetra::audio {
namespace {

// Dispatch order: a line is offered to the first entry of its name.
constexpr CommandEntry kCommands[] = {
    {"a_copyframe", CopyFrame},
    {"a_copyframe2", CopyFrameSpan},
    {"a_copy", Copy},
    {"a_volume", Volume},
    {"a_blend", Blend},
    {"a_swap", Swap},
    {"a_mono", Mono},
    {"a_reverse", Reverse},
    {"a_noise", Noise},
    {"a_tone", Tone},
};

}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

// The fetched frame's samples go with the own block; the noise generator runs on.
void ReleaseCommandState() { ForgetFetchedFrame(); }

}  // namespace kinetra::audio
