// a_volume, a_blend, a_swap, a_mono, a_reverse: samples changed in place or from one buffer into
// another, in the sample loop. Results keep the low 16 bits of their integer value.
#include <algorithm>
#include <utility>

#include "audio/handlers.h"
#include "host/parallel.h"

namespace kinetra::audio {
namespace {

constexpr ArgumentSpec kVolumeArguments[] = {
    Buffer(1, "buffer"),
    Real(2, "gain at the start of the frame"),
    Real(3, "gain at the end of the frame"),
    Integer(4, "channels: 0 both, 1 left only, 2 right only").Within(0, 2),
};

constexpr ArgumentSpec kBlendArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer, which receives the sum"),
};

constexpr ArgumentSpec kSwapArguments[] = {
    Buffer(1, "buffer"),
};

constexpr ArgumentSpec kMonoArguments[] = {
    Buffer(1, "buffer"),
    Integer(2, "mode: 0 mean of both channels, 1 left to both, 2 right to both").Within(0, 2),
};

constexpr ArgumentSpec kReverseArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
};

// Sample frames a thread below which starting a worker costs more than the work: the integer
// commands stream at memory speed, the volume ramp divides once a sample frame.
constexpr int32_t kIntegerShare = 32768;
constexpr int32_t kRampShare = 8192;

inline int16_t LowBits(int32_t value) { return static_cast<int16_t>(value); }

}  // namespace

void Volume(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kVolumeArguments)) return;
    int16_t* sound = args.Sound(1);
    const double start = args.Real(2), end = args.Real(3), n = args.n;
    const int32_t count = args.n, values = args.FrameValues();
    // One-channel sound is scaled whatever the mode; stereo by the mode's channels.
    const int32_t first = values == 2 && args[4] == 2 ? 1 : 0;
    const int32_t last = values == 2 && args[4] != 1 ? 1 : 0;
    SampleLoop(count, args.threads, kRampShare, [&](int32_t begin, int32_t stop) {
        for (int32_t i = begin; i < stop; ++i) {
            // The start gain at the first sample frame, in equal steps towards the end gain.
            const double gain = (double(count - i) * start + double(i) * end) / n;
            for (int32_t v = first; v <= last; ++v) {
                int16_t& sample = sound[size_t(i) * values + v];
                sample = LowBits(TruncateToInt32(gain * sample));
            }
        }
    });
}

void Blend(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kBlendArguments)) return;
    const int16_t* source = args.Sound(1);
    int16_t* destination = args.Sound(2);
    const int32_t values = args.FrameValues();
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
        for (size_t k = size_t(begin) * values; k < size_t(end) * values; ++k) {
            destination[k] = static_cast<int16_t>(static_cast<uint16_t>(destination[k]) + static_cast<uint16_t>(source[k]));
        }
    });
}

void Swap(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kSwapArguments) || !args.Stereo()) return;
    int16_t* sound = args.Sound(1);
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
        for (size_t i = begin; i < size_t(end); ++i) std::swap(sound[2 * i], sound[2 * i + 1]);
    });
}

void Mono(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kMonoArguments) || !args.Stereo()) return;
    int16_t* sound = args.Sound(1);
    const int32_t mode = args[2];
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
        for (size_t i = begin; i < size_t(end); ++i) {
            const int32_t left = sound[2 * i], right = sound[2 * i + 1];
            // The mean truncates toward zero: (-3 + 0) / 2 is -1.
            const int32_t value = mode == 0 ? (left + right) / 2 : mode == 1 ? left : right;
            sound[2 * i] = sound[2 * i + 1] = LowBits(value);
        }
    });
}

void Reverse(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kReverseArguments)) return;
    const int16_t* source = args.Sound(1);
    int16_t* destination = args.Sound(2);
    const int32_t n = args.n, values = args.FrameValues();
    auto frame = [values](auto* sound, int32_t i) { return sound + size_t(i) * values; };
    if (source == destination) {
        // In place: each worker exchanges sample frame i with n - 1 - i, for i in the first
        // half, so every sample frame is read before it is written, whatever the thread count.
        SampleLoop(n / 2, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
            for (int32_t i = begin; i < end; ++i) {
                std::swap_ranges(frame(destination, i), frame(destination, i) + values, frame(destination, n - 1 - i));
            }
        });
        return;
    }
    SampleLoop(n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
        for (int32_t i = begin; i < end; ++i) {
            std::copy_n(frame(source, n - 1 - i), values, frame(destination, i));
        }
    });
}

}  // namespace kinetra::audio
