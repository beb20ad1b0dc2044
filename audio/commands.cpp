#include "audio/commands.h"

#include "audio/handlers.h"

namespace kinetra::audio {
namespace {

// Dispatch order: a line is offered to the first entry of its name.
constexpr CommandEntry kCommands[] = {
    {"a_copyframe", CopyFrame, &kCopyFrameTable},
    {"a_copyframe2", CopyFrameSpan, &kCopyFrameSpanTable},
    {"a_copy", Copy, &kCopyTable},
    {"a_volume", Volume, &kVolumeTable},
    {"a_blend", Blend, &kBlendTable},
    {"a_swap", Swap, &kSwapTable},
    {"a_mono", Mono, &kMonoTable},
    {"a_reverse", Reverse, &kReverseTable},
    {"a_noise", Noise, &kNoiseTable},
    {"a_tone", Tone, &kToneTable},
};

}  // namespace

std::span<const CommandEntry> Commands() { return kCommands; }

// The fetched frame's samples go with the own block; the noise generator runs on.
void ReleaseCommandState() { ForgetFetchedFrame(); }

}  // namespace kinetra::audio
