// a_volume, a_blend, a_swap, a_mono, a_reverse: samples changed in place or from one buffer into
// another, in the sample loop. Results keep the low 16 bits of their integer value.
#include "audio/handlers.h"
#include "audio/kernels/samples.h"
#include "host/parallel.h"

namespace kinetra::audio {
namespace {

// Sample frames a thread below which starting a worker costs more than the work: the integer
// commands stream at memory speed, the volume ramp divides once a sample frame.
constexpr int32_t kIntegerShare = 32768;
constexpr int32_t kRampShare = 8192;

}  // namespace

void Volume(const SoundArguments& args) {
    int16_t* sound = args.Sound(1);
    const double start = args.Real(2), end = args.Real(3);
    const int32_t count = args.n;
    // One-channel sound is scaled whatever the mode; stereo by the mode's channels.
    const RampForm ramp = !args.Stereo()  ? kRampOneChannel.Active()
                          : args[4] == 1 ? kRampLeft.Active()
                          : args[4] == 2 ? kRampRight.Active()
                                         : kRampStereo.Active();
    SampleLoop(count, args.threads, kRampShare,
               [&](int32_t begin, int32_t stop) { ramp(sound, count, start, end, begin, stop); });
}

void Blend(const SoundArguments& args) {
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

void Swap(const SoundArguments& args) {
    if (!args.Stereo()) return;
    int16_t* sound = args.Sound(1);
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) {
        StereoFrame* frames = Frames(sound);
#pragma omp simd
        for (int32_t i = begin; i < end; ++i) frames[i] = frames[i] << 16 | frames[i] >> 16;
    });
}

void Mono(const SoundArguments& args) {
    if (!args.Stereo()) return;
    int16_t* sound = args.Sound(1);
    const MonoForm mono = (args[2] == 0 ? kMonoMean : args[2] == 1 ? kMonoLeft : kMonoRight).Active();
    SampleLoop(args.n, args.threads, kIntegerShare, [&](int32_t begin, int32_t end) { mono(sound, begin, end); });
}

namespace {

void ReverseFrames(const KernelTable<ReverseForm>& reverse, const KernelTable<ExchangeForm>& exchange,
                   const int16_t* source, int16_t* destination, int32_t n, int threads) {
    if (source == destination) {
        // In place: each worker exchanges sample frame i with n - 1 - i, for i in the first
        // half, so every sample frame is read before it is written, whatever the thread count.
        const ExchangeForm form = exchange.Active();
        SampleLoop(n / 2, threads, kIntegerShare, [&](int32_t begin, int32_t end) { form(destination, n, begin, end); });
        return;
    }
    const ReverseForm form = reverse.Active();
    SampleLoop(n, threads, kIntegerShare, [&](int32_t begin, int32_t end) { form(source, destination, n, begin, end); });
}

}  // namespace

void Reverse(const SoundArguments& args) {
    // Both samples of a stereo sample frame move together, left staying left.
    if (args.Stereo()) {
        ReverseFrames(kReverseStereo, kExchangeStereo, args.Sound(1), args.Sound(2), args.n, args.threads);
    } else {
        ReverseFrames(kReverseOneChannel, kExchangeOneChannel, args.Sound(1), args.Sound(2), args.n, args.threads);
    }
}

}  // namespace kinetra::audio
