// a_noise, a_tone: a buffer overwritten with generated sound, every value within -32767..32767.
#include <algorithm>

#include "audio/handlers.h"
#include "audio/kernels/tone.h"
#include "host/parallel.h"
#include "host/random.h"

namespace kinetra::audio {
namespace {

constexpr uint32_t kNegativeBelow = 0x4000;  // a first draw below it makes the sample negative
constexpr int32_t kSquareWave = 1;
// A sine is some twenty nanoseconds: a few hundred sample frames are worth a worker. The
// vector forms need about one nanosecond a sample frame.
constexpr int32_t kToneShare = 512;
constexpr int32_t kFastToneShare = 8192;

}  // namespace

uint32_t& NoiseState() {
    static uint32_t state = 1;
    return state;
}

// On the calling thread, in sample order, so the draws follow one another the same way at any
// thread count: two a sample, the first for the sign and the second for the size.
void Noise(const SoundArguments& args) {
    int16_t* sound = args.Sound(1);
    const double amplitude = args.Real(2);
    uint32_t state = NoiseState();
    const size_t samples = size_t(args.n) * args.FrameValues();
    for (size_t k = 0; k < samples; ++k) {
        // Both draws come from the state before them, so the chain from sample to sample is
        // one step of the generator, not two.
        uint32_t sign_state = state;
        const bool negative = NextDraw(sign_state) < kNegativeBelow;
        const int32_t size = static_cast<int32_t>(NextDrawAfterOne(state));
        sound[k] = static_cast<int16_t>(TruncateToInt32((negative ? -size : size) * amplitude));
    }
    NoiseState() = state;
}

// A sine or square wave whose phase counts the sample frames the line has produced since its
// start frame, so a line that covers many frames is one continuous wave.
void Tone(const SoundArguments& args) {
    const CommandCall& call = *args.call;
    ScriptLine& line = call.line;
    if (call.frame->frame == line.start_frame) {
        line.sample_position = 0;
    }
    int16_t* sound = args.Sound(1);
    const int32_t values = args.FrameValues();
    // 64 bits: twice the position leaves 32 bits after some six hours of one line.
    const uint64_t position = static_cast<uint64_t>(line.sample_position);
    const double amplitude = args.Real(4);
    const ToneWave wave{position, double(args[2]), double(call.sampling_rate), amplitude,
                        args[3] == kSquareWave, TruncateToInt32(amplitude * kFullScale)};
    if (!(wave.rate > 0)) {
        // An edit without sound has no rate to divide by: silence.
        std::fill_n(sound, size_t(args.n) * values, int16_t{0});
    } else {
        int32_t share = kToneShare;
#if defined(KINETRA_FAST_TONE)
        const ToneForm tone = kTone.Active();
        ToneTable table;
        const bool fast = tone != kTone.At(KernelLevel::kPortable) && MakeToneTable(wave, args.n, table);
        if (fast) share = kFastToneShare;
#endif
        SampleLoop(args.n, args.threads, share, [&](int32_t begin, int32_t end) {
#if defined(KINETRA_FAST_TONE)
            if (fast) return tone(table, wave, sound, values, begin, end);
#endif
            ToneFrames(wave, sound, values, begin, end);
        });
    }
    line.sample_position = static_cast<int64_t>(position + uint64_t(args.n));
}

}  // namespace kinetra::audio
