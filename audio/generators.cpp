// a_noise, a_tone: a buffer overwritten with generated sound, every value within -32767..32767.
#include <algorithm>
#include <cmath>

#include "audio/handlers.h"
#include "host/parallel.h"
#include "host/random.h"

namespace kinetra::audio {
namespace {

constexpr ArgumentSpec kNoiseArguments[] = {
    Buffer(1, "buffer"),
    Real(2, "amplitude, 1 = full scale").Within(0, 1),
};

constexpr ArgumentSpec kToneArguments[] = {
    Buffer(1, "buffer"),
    Integer(2, "frequency in hertz"),
    Integer(3, "waveform: 1 square, any other value sine"),
    Real(4, "amplitude, 1 = full scale").Within(0, 1),
};

constexpr double kFullScale = 32767.0;
constexpr uint32_t kNegativeBelow = 0x4000;  // a first draw below it makes the sample negative
constexpr int32_t kSquareWave = 1;
// A sine is some twenty nanoseconds: a few hundred sample frames are worth a worker.
constexpr int32_t kToneShare = 512;

}  // namespace

uint32_t& NoiseState() {
    static uint32_t state = 1;
    return state;
}

// On the calling thread, in sample order, so the draws follow one another the same way at any
// thread count: two a sample, the first for the sign and the second for the size.
void Noise(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kNoiseArguments)) return;
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
void Tone(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kToneArguments)) return;
    ScriptLine& line = call.line;
    if (call.frame->frame == line.start_frame) {
        line.sample_position = 0;
        line.sample_position_wide = 0;
    }
    int16_t* sound = args.Sound(1);
    const int32_t values = args.FrameValues();
    // 64 bits: twice the position leaves 32 bits after some six hours of one line.
    const uint64_t position = static_cast<uint64_t>(line.sample_position_wide);
    const double frequency = args[2], amplitude = args.Real(4), rate = call.sampling_rate;
    const bool square = args[3] == kSquareWave;
    const int32_t peak = TruncateToInt32(amplitude * kFullScale);
    static const double pi = 4.0 * std::atan(1.0);
    SampleLoop(args.n, args.threads, kToneShare, [&](int32_t begin, int32_t end) {
        for (int32_t i = begin; i < end; ++i) {
            int32_t value = 0;  // an edit without sound has no rate to divide by: silence
            if (rate > 0) {
                const int64_t twice = static_cast<int64_t>(2 * (position + uint64_t(i)));
                const double x = double(twice) * pi * frequency / rate;
                value = TruncateToInt32(std::sin(x) * kFullScale * amplitude);
                if (square) value = value > 0 ? peak : -peak;
            }
            std::fill_n(sound + size_t(i) * values, values, static_cast<int16_t>(value));
        }
    });
    line.sample_position_wide = static_cast<int64_t>(position + uint64_t(args.n));
    line.sample_position = static_cast<int32_t>(static_cast<uint32_t>(line.sample_position_wide));
}

// The tables, for the registry.
constinit const ArgumentTable kNoiseTable = kNoiseArguments;
constinit const ArgumentTable kToneTable = kToneArguments;

}  // namespace kinetra::audio
