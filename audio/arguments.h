// The sound commands' arguments: the shared argument tables' values, plus what a sound adds (the
// buffers as samples, the frame's sample count n and channel count c, the thread count). The
// dispatcher reads them through the command's table (audio/tables.h) and hands them to its
// handler.
//
//     void Blend(const SoundArguments& args) {
//         SampleLoop(args.n, args.threads, share, [&](int32_t begin, int32_t end) { ... });
//     }
//
// Stereo sound (c = 2) is left and right interleaved; the per-sample commands take any other
// channel count as one channel of n samples, while the copy commands move all c x n samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "host/command.h"
#include "script/arguments.h"

namespace kinetra::audio {

struct SoundArguments : Arguments {
    CommandCall* call = nullptr;
    int32_t n = 0;  // sample frames of the frame
    int32_t c = 0;  // channels
    int threads = 1;

    // Converts and checks the arguments of `table`; false when the command must do nothing: a
    // bad argument, a buffer without samples, or sound of no samples. The picture's size, which
    // the host may or may not hand a sound filter, plays no part.
    bool Read(CommandCall& command, ArgumentTable table);

    // The buffer a checked buffer-number argument names.
    int16_t* Sound(int number) const { return call->buffers.Sound(value[number]); }

    bool Stereo() const { return c == 2; }
    // Samples of a sample frame as the per-sample commands see it.
    int32_t FrameValues() const { return Stereo() ? 2 : 1; }
    // Every sample of the frame, all channels: what the copy commands move.
    size_t AllValues() const { return static_cast<size_t>(n) * static_cast<size_t>(c); }
};

}  // namespace kinetra::audio
