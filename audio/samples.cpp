// a_volume, a_blend, a_swap, a_mono, a_reverse: samples changed in place or from one buffer into
// another, in the sample loop. Results keep the low 16 bits of their integer value.
#include <bit>

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

// A stereo sample frame moved or turned as one 32-bit value (at the samples' alignment, and
// allowed to alias them), so that the loops over sample frames vectorise.
typedef uint32_t __attribute__((may_alias, aligned(alignof(int16_t)))) StereoFrame;
typedef uint16_t __attribute__((may_alias)) MonoFrame;
// Where the left sample sits in a StereoFrame.
constexpr int kLeftShift = std::endian::native == std::endian::little ? 0 : 16;

inline StereoFrame* Frames(int16_t* sound) { return reinterpret_cast<StereoFrame*>(sound); }

// The ramp for sample frames [begin, end) of sound with `kValues` samples a sample frame, of
// which `kFirst`..`kLast` are scaled: fixed at compile time, so the loop vectorises.
template <int kValues, int kFirst, int kLast>
void Ramp(int16_t* sound, int32_t count, double start, double end, int32_t begin, int32_t stop) {
    const double n = count;
#pragma omp simd
    for (int32_t i = begin; i < stop; ++i) {
        // The start gain at the first sample frame, in equal steps towards the end gain.
        const double gain = (double(count - i) * start + double(i) * end) / n;
        for (int v = kFirst; v <= kLast; ++v) {
            int16_t& sample = sound[size_t(i) * kValues + v];
            sample = LowBits(TruncateToInt32(gain * sample));
        }
    }
}

}  // namespace

void Volume(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kVolumeArguments)) return;
    int16_t* sound = args.Sound(1);
    const double start = args.Real(2), end = args.Real(3);
    const int32_t count = args.n;
    // One-channel sound is scaled whatever the mode; stereo by the mode's channels.
    auto ramp = !args.Stereo() ? Ramp<1, 0, 0> : args[4] == 1 ? Ramp<2, 0, 0> : args[4] == 2 ? Ramp<2, 1, 1> : Ramp<2, 0, 1>;
    SampleLoop(count, args.threads, kRampShare,
               [&](int32_t begin, int32_t stop) { ramp(sound, count, start, end, begin, stop); });
}

void Blend(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kBlendArguments)) return;
    const int16_t* source = args.Sound(1);
    int16_t* destination = args.Sound(2);
    const int32_t values = args.FrameValues();
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
#pragma omp simd
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
        StereoFrame* frames = Frames(sound);
#pragma omp simd
        for (int32_t i = begin; i < end; ++i) frames[i] = frames[i] << 16 | frames[i] >> 16;
    });
}

namespace {

// Both samples of each stereo sample frame set to `kMode`'s value: 0 the mean of left and right,
// truncated toward zero ((-3 + 0) / 2 is -1), 1 the left, 2 the right.
template <int kMode>
void MakeMono(StereoFrame* frames, int32_t begin, int32_t end) {
#pragma omp simd
    for (int32_t i = begin; i < end; ++i) {
        const int32_t left = static_cast<int16_t>(frames[i] >> kLeftShift);
        const int32_t right = static_cast<int16_t>(frames[i] >> (16 - kLeftShift));
        const uint32_t value = static_cast<uint16_t>(kMode == 0 ? (left + right) / 2 : kMode == 1 ? left : right);
        frames[i] = value << 16 | value;
    }
}

}  // namespace

void Mono(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kMonoArguments) || !args.Stereo()) return;
    StereoFrame* frames = Frames(args.Sound(1));
    auto mono = args[2] == 0 ? MakeMono<0> : args[2] == 1 ? MakeMono<1> : MakeMono<2>;
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) { mono(frames, begin, end); });
}

namespace {

template <typename Frame>
void ReverseFrames(const int16_t* source_samples, int16_t* destination_samples, int32_t n, int threads) {
    const Frame* source = reinterpret_cast<const Frame*>(source_samples);
    Frame* destination = reinterpret_cast<Frame*>(destination_samples);
    if (source == destination) {
        // In place: each worker exchanges sample frame i with n - 1 - i, for i in the first
        // half, so every sample frame is read before it is written, whatever the thread count.
        SampleLoop(n / 2, threads, kIntegerShare, [&](int32_t begin, int32_t end) {
#pragma omp simd
            for (int32_t i = begin; i < end; ++i) {
                const Frame front = destination[i];
                destination[i] = destination[n - 1 - i];
                destination[n - 1 - i] = front;
            }
        });
        return;
    }
    SampleLoop(n, threads, kIntegerShare, [&](int32_t begin, int32_t end) {
#pragma omp simd
        for (int32_t i = begin; i < end; ++i) destination[i] = source[n - 1 - i];
    });
}

}  // namespace

void Reverse(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kReverseArguments)) return;
    // Both samples of a stereo sample frame move together, left staying left.
    if (args.Stereo()) {
        ReverseFrames<StereoFrame>(args.Sound(1), args.Sound(2), args.n, args.threads);
    } else {
        ReverseFrames<MonoFrame>(args.Sound(1), args.Sound(2), args.n, args.threads);
    }
}

// The tables, for the registry.
constinit const ArgumentTable kVolumeTable = kVolumeArguments;
constinit const ArgumentTable kBlendTable = kBlendArguments;
constinit const ArgumentTable kSwapTable = kSwapArguments;
constinit const ArgumentTable kMonoTable = kMonoArguments;
constinit const ArgumentTable kReverseTable = kReverseArguments;

}  // namespace kinetra::audio
