// The sound commands' registry: a row a command, with what `kinetra help` tells of it.
#pragma once

#include "audio/handlers.h"
#include "audio/tables.h"
#include "host/command.h"

namespace kinetra::audio {

// The headings `kinetra help` lists the commands under.
inline constexpr char kCopying[] = "Copying";
inline constexpr char kSamples[] = "Sample processing";
inline constexpr char kGenerators[] = "Noise and tone";

// Dispatch order: a line is offered to the first row of its name.
inline constexpr CommandRow<SoundArguments> kCommands[] = {
    {"a_copyframe", kCopyFrameArguments, CopyFrame,
     {kCopying, "another frame's sound into a buffer", "a_copyframe(3,f-1)"}, CommandEffect::kOverwrites},
    {"a_copyframe2", kCopyFrameSpanArguments, CopyFrameSpan,
     {kCopying, "a span of frames squeezed or stretched into one frame", "a_copyframe2(4,f,f+2)"},
     CommandEffect::kOverwrites},
    {"a_copy", kSourceAndDestination, Copy,
     {kCopying, "a buffer's sound into another", "a_copy(0,2)"}, CommandEffect::kOverwrites},
    {"a_volume", kVolumeArguments, Volume,
     {kSamples, "a gain that ramps from the frame's start to its end", "a_volume(0,g/n,(g+1)/n,0)"}},
    {"a_blend", kBlendArguments, Blend,
     {kSamples, "one buffer's sound added into another", "a_blend(2,0)"}},
    {"a_swap", kSwapArguments, Swap,
     {kSamples, "left and right exchanged", "a_swap(0)"}},
    {"a_mono", kMonoArguments, Mono,
     {kSamples, "both channels made one", "a_mono(0,0)"}},
    {"a_reverse", kSourceAndDestination, Reverse,
     {kSamples, "the frame's sound played backwards", "a_reverse(3,3)"}, CommandEffect::kOverwrites},
    {"a_noise", kNoiseArguments, Noise,
     {kGenerators, "white noise", "a_noise(2,0.1)"}, CommandEffect::kKeepsState},
    {"a_tone", kToneArguments, Tone,
     {kGenerators, "a sine or square tone whose phase runs on from frame to frame", "a_tone(2,440,0,0.25)"},
     CommandEffect::kContinues},
};

// Runs a command line through its row; false when no command has its name.
bool RunCommand(CommandCall& call);

// Releases what single commands keep between frames.
void ReleaseCommandState();

}  // namespace kinetra::audio
