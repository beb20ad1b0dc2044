// a_noise and a_tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/handlers.h"
#include "host/random.h"
#include "tests/support/sound_buffers.h"

namespace kinetra::audio {
namespace {

using testing::SoundBuffers;
using Samples = std::vector<int16_t>;

TEST(Tone, StatedValues) {
    struct Case {
        const char* what;
        std::vector<double> args;
        int32_t rate;
        Samples want;  // one channel; with stereo both channels hold it
    };
    const Case cases[] = {
        {"12 kHz at 48 kHz", {2, 12000, 0, 1}, 48000, {0, 32767, 0, -32767}},
        {"a fractional frequency is truncated", {2, 12000.9, 2, 1}, 48000, {0, 32767, 0, -32767}},
        {"half amplitude", {2, 12000, 0, 0.5}, 48000, {0, 16383, 0, -16383}},
        // Positive exactly where the sine truncates to 1 or more; at the zero crossings negative.
        {"square wave", {2, 12000, 1, 0.5}, 48000, {-16383, 16383, -16383, -16383}},
        {"no sampling rate is silence", {2, 12000, 0, 1}, 0, {0, 0, 0, 0}},
        {"a negative sampling rate is silence", {2, 12000, 1, 1}, -48000, {0, 0, 0, 0}},
    };
    for (int32_t c : {1, 2}) {
        for (const Case& t : cases) {
            SCOPED_TRACE(::testing::Message() << t.what << ", c " << c);
            SoundBuffers sound(4, c);
            sound.sampling_rate = t.rate;
            sound.Run("a_tone", t.args);
            Samples want;
            for (int16_t v : t.want) want.insert(want.end(), c, v);
            EXPECT_EQ(sound.Samples(2), want);
            EXPECT_EQ(sound.line.sample_position, 4);
        }
    }
}

TEST(Tone, InvalidArgumentsTouchNothing) {
    const std::vector<double> lines[] = {{2, 440, 0, 1.5}, {2, 440, 0, -0.1}, {10, 440, 0, 1}, {-1, 440, 0, 1}};
    for (const auto& args : lines) {
        SoundBuffers sound(4, 2);
        sound.Randomize(4);
        sound.line.sample_position = 77;
        SoundBuffers before(sound);
        sound.Run("a_tone", args);
        EXPECT_TRUE(sound.SameBuffers(before));
        EXPECT_EQ(sound.line.sample_position, 77);
    }
}

// Two frames of a line are the wave one frame of twice the length gives; at the line's start
// frame the wave begins again; a frame rendered twice runs on.
TEST(Tone, OneWaveAcrossFramesThatBeginsAgainAtTheStartFrame) {
    const std::vector<double> args = {2, 441, 0, 0.9};
    SoundBuffers whole(3200, 2), part(1600, 2);
    whole.line.start_frame = part.line.start_frame = 10;
    whole.context.frame = 10;
    whole.Run("a_tone", args);
    for (int32_t frame : {10, 11}) {
        part.context.frame = frame;
        part.Run("a_tone", args);
        const Samples half(whole.Sound(2) + (frame - 10) * 3200, whole.Sound(2) + (frame - 9) * 3200);
        EXPECT_EQ(part.Samples(2), half) << frame;
    }
    EXPECT_EQ(part.line.sample_position, 3200);
    part.Run("a_tone", args);  // frame 11 again: from 3200 on
    EXPECT_EQ(part.line.sample_position, 4800);
    part.context.frame = 10;
    part.Run("a_tone", args);
    EXPECT_EQ(part.Samples(2), Samples(whole.Sound(2), whole.Sound(2) + 3200));
    EXPECT_EQ(part.line.sample_position, 1600);
}

// After some six hours of one line twice the position leaves 32 bits; the wave goes on.
TEST(Tone, APositionBeyond32BitsContinuesTheWave) {
    SoundBuffers sound(4, 1);
    sound.line.start_frame = -1;
    sound.line.sample_position = (int64_t{1} << 30) - 2;  // 2 (p + i) reaches 2^31 at i = 2
    sound.Run("a_tone", {2, 12000, 0, 0.5});
    // (p + i) mod 4 is 2, 3, 0, 1: the sine at 2, 3, 0, 1 quarter periods.
    EXPECT_EQ(sound.Samples(2), (Samples{0, -16383, 0, 16383}));
    EXPECT_EQ(sound.line.sample_position, (int64_t{1} << 30) + 2);
}

// Two draws a sample in sample order, the first for the sign and the second for the size.
Samples ReferenceNoise(uint32_t state, size_t samples, double amplitude) {
    Samples out;
    for (size_t k = 0; k < samples; ++k) {
        const bool negative = NextDraw(state) < 16384;
        const double size = NextDraw(state);
        out.push_back(static_cast<int16_t>(TruncateToInt32((negative ? -size : size) * amplitude)));
    }
    return out;
}

TEST(Noise, TwoDrawsASampleOnTheCallingThread) {
    struct Case {
        int32_t c;
        double amplitude;
    };
    for (const Case& t : {Case{2, 1}, Case{1, 0.3}, Case{6, 1}, Case{2, 0}}) {
        SoundBuffers sound(500, t.c);
        const uint32_t start = NoiseState();
        sound.Run("a_noise", {2, t.amplitude}, 16);
        const size_t samples = t.c == 2 ? 1000 : 500;
        Samples want = ReferenceNoise(start, samples, t.amplitude);
        want.resize(sound.Values(), 0);
        EXPECT_EQ(sound.Samples(2), want) << t.c << " " << t.amplitude;
        uint32_t after = start;
        for (size_t d = 0; d < 2 * samples; ++d) NextDraw(after);
        EXPECT_EQ(NoiseState(), after);  // the draws are consumed at amplitude 0 too
        EXPECT_TRUE(std::all_of(want.begin(), want.end(), [](int16_t v) { return v >= -32767; }));
    }
}

TEST(Noise, AnAmplitudeOutside0To1DoesNothing) {
    for (double amplitude : {1.5, -0.1, std::nan("")}) {
        SoundBuffers sound(8, 2);
        sound.Randomize(5);
        SoundBuffers before(sound);
        const uint32_t start = NoiseState();
        sound.Run("a_noise", {2, amplitude});
        EXPECT_TRUE(sound.SameBuffers(before)) << amplitude;
        EXPECT_EQ(NoiseState(), start);
    }
}

}  // namespace
}  // namespace kinetra::audio
