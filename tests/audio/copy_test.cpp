// a_copyframe, a_copyframe2, a_copy and the fetch of another frame's sound.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/support/sound_buffers.h"

namespace kinetra::audio {
namespace {

using testing::SoundBuffers;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Sample frames `first`.. of frame f as the host serves them, `count` of them.
std::vector<int16_t> KnownFrames(int32_t f, int32_t first, int32_t count, int32_t c) {
    std::vector<int16_t> samples;
    for (int32_t k = first; k < first + count; ++k) {
        for (int32_t ch = 0; ch < c; ++ch) samples.push_back(SoundBuffers::Known(f, k, ch));
    }
    return samples;
}

TEST(CopyFrame, FetchesTheRoundedDownFrameIntoTheDestination) {
    struct Case {
        double destination, frame;
        int buffer;          // that receives the frame; -1: none
        int32_t read;        // frame asked of the host; INT32_MIN: none
    };
    const Case cases[] = {
        {2, 7.9, 2, 7}, {-0.5, 3, 0, 3}, {9, 4, 9, 4}, {3, -0.1, 3, -1}, {10, 3, -1, INT32_MIN}, {-1, 3, -1, INT32_MIN},
    };
    for (int32_t c : {1, 2, 6}) {
        for (const Case& t : cases) {
            SCOPED_TRACE(::testing::Message() << "c " << c << " destination " << t.destination << " frame " << t.frame);
            SoundBuffers sound(16, c);
            sound.Randomize(1);
            SoundBuffers before(sound);
            sound.Run("a_copyframe", {t.destination, t.frame});
            EXPECT_EQ(sound.reads, t.read == INT32_MIN ? std::vector<int32_t>{} : std::vector<int32_t>{t.read});
            for (int b = 0; b < kBufferCount; ++b) {
                if (b == t.buffer) {
                    EXPECT_EQ(sound.Samples(b), KnownFrames(t.read, 0, 16, c)) << b;
                } else if (b != 9) {  // a fetch always overwrites buffer 9
                    EXPECT_EQ(sound.Samples(b), before.Samples(b)) << b;
                }
            }
        }
    }
}

TEST(FetchFrameAudio, CacheKeyedOnFrameSampleCountAndChannels) {
    SoundBuffers sound(16, 2);
    sound.Run("a_copyframe", {2, 5});
    sound.Run("a_copyframe", {3, 5});
    EXPECT_EQ(sound.reads, std::vector<int32_t>{5});
    // A write into buffer 9 is what a later hit delivers: the cache is not cleared by it.
    sound.Sound(9)[0] = 1234;
    sound.Run("a_copyframe", {4, 5});
    EXPECT_EQ(sound.Sound(4)[0], 1234);
    // Another sample count, or another channel count, is another fetch.
    sound.Resize(20, 2);
    sound.Run("a_copyframe", {2, 5});
    sound.Resize(20, 1);
    sound.Run("a_copyframe", {2, 5});
    EXPECT_EQ(sound.reads, (std::vector<int32_t>{5, 5, 5}));
    EXPECT_EQ(sound.Samples(2), KnownFrames(5, 0, 20, 1));
}

TEST(FetchFrameAudio, AShortFrameIsCompletedByTheNextFrame) {
    struct Case {
        int32_t delivered;
        std::vector<int32_t> reads;
        int32_t from_first;  // sample frames from the first frame
        int32_t from_next;   // then the next frame's; silence after them, up to n
    };
    const Case cases[] = {
        {30, {3, 4}, 30, 10},  // n - 10
        {30, {3, 4}, 30, 4},   // and the next frame short too
        {40, {3}, 40, 0},      // a whole frame
        {55, {3}, 40, 0},      // a longer frame: n of it
        {0, {3}, 0, 0},        // nothing delivered: silence
        {-7, {3}, 0, 0},       // a count below 0 is nothing delivered
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.delivered);
        SoundBuffers sound(40, 2);
        sound.Run("a_copyframe", {2, 7});  // the fetch area full of another frame's sound
        sound.reads.clear();
        sound.delivered = [&](int32_t f) { return f == 3 ? t.delivered : t.from_next; };
        sound.Run("a_copyframe", {2, 3});
        EXPECT_EQ(sound.reads, t.reads);
        std::vector<int16_t> want = KnownFrames(3, 0, t.from_first, 2), next = KnownFrames(4, 0, t.from_next, 2);
        want.insert(want.end(), next.begin(), next.end());
        want.resize(2 * 40, 0);
        EXPECT_EQ(sound.Samples(2), want);
    }
}

// What the host's reader writes for a short frame and its completion stays inside the fetch
// area, also once the frame has more samples or more channels than the block was made for
// (the sanitizer build's guard gap after the area catches an overrun).
TEST(FetchFrameAudio, TheReadersWritesFitAfterTheFrameGrows) {
    SoundBuffers sound(100, 2);
    sound.Run("a_copyframe", {2, 1});
    for (auto [n, c] : {std::pair{400, 2}, std::pair{400, 6}, std::pair{50, 8}}) {
        sound.Resize(n, c);
        // One sample frame short, and the next frame twice as long as this one.
        sound.delivered = [n = n](int32_t f) { return f == 1 ? n - 1 : 2 * n; };  // clang 14 captures no binding
        sound.Run("a_copyframe", {2, 1});
        std::vector<int16_t> want = KnownFrames(1, 0, n - 1, c), next = KnownFrames(2, 0, 1, c);
        want.insert(want.end(), next.begin(), next.end());
        EXPECT_EQ(sound.Samples(2), want) << n << "x" << c;
    }
}

TEST(CopyFrameSpan, MapsTheSpanOntoTheFrame) {
    struct Case {
        const char* what;
        double s, e;
        std::vector<std::pair<int32_t, int32_t>> taken;  // (frame, sample frame) per output sample frame
    };
    const Case cases[] = {
        {"two frames squeezed", 10, 12, {{10, 0}, {10, 2}, {10, 4}, {10, 6}, {11, 0}, {11, 2}, {11, 4}, {11, 6}}},
        {"half a frame stretched", 10, 10.5, {{10, 0}, {10, 0}, {10, 1}, {10, 1}, {10, 2}, {10, 2}, {10, 3}, {10, 3}}},
        {"a fraction rounded down", 3.25, 4.25, {{3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6}, {3, 7}, {4, 0}, {4, 1}}},
    };
    for (int32_t c : {1, 2}) {
        for (const Case& t : cases) {
            SCOPED_TRACE(::testing::Message() << t.what << ", c " << c);
            SoundBuffers sound(8, c);
            sound.Run("a_copyframe2", {2, t.s, t.e});
            std::vector<int16_t> want;
            for (auto [f, k] : t.taken) {
                for (int32_t ch = 0; ch < (c == 2 ? 2 : 1); ++ch) want.push_back(SoundBuffers::Known(f, k, ch));
            }
            EXPECT_EQ(sound.Samples(2), want);
        }
    }
}

TEST(CopyFrameSpan, EmptyNonFiniteOrBeyond32BitSpansDoNothing) {
    const std::vector<double> lines[] = {
        {2, 10, 10}, {2, 12, 10}, {2, kNaN, 10}, {2, 0, kInf}, {2, -kInf, 0}, {2, -1.7e308, 1.7e308},
        {2, 3e9, 3e9 + 1}, {2, -3e9, -3e9 + 0.5}, {2, 2147483647.5, 2147483648.5}, {10, 1, 2}, {-1, 1, 2},
    };
    for (const auto& args : lines) {
        SoundBuffers sound(8, 2);
        sound.Randomize(2);
        SoundBuffers before(sound);
        sound.Run("a_copyframe2", args);
        EXPECT_TRUE(sound.reads.empty()) << args[1] << " " << args[2];
        EXPECT_TRUE(sound.SameBuffers(before)) << args[1] << " " << args[2];
    }
}

// Just below a frame boundary t - floor(t) rounds up to 1, and the position to n: the nearest
// earlier sample frame is then the frame's last.
TEST(CopyFrameSpan, APositionThatRoundsUpToTheNextFrameTakesTheLastSample) {
    SoundBuffers sound(8, 2);
    sound.Run("a_copyframe2", {2, -std::ldexp(1.0, -60), 1});
    EXPECT_EQ(sound.Sound(2)[0], SoundBuffers::Known(-1, 7, 0));
    EXPECT_EQ(sound.Sound(2)[1], SoundBuffers::Known(-1, 7, 1));
}

// Buffer 9 is where the fetches land: written there, the result is the one any other buffer
// receives.
TEST(CopyFrameSpan, IntoBufferNineAsIntoAnyOther) {
    for (auto [s, e] : {std::pair{10.0, 12.0}, std::pair{3.3, 6.9}, std::pair{7.0, 7.25}}) {
        SoundBuffers into9(64, 2), into8(64, 2);
        into9.Run("a_copyframe2", {9, s, e});
        into8.Run("a_copyframe2", {8, s, e});
        EXPECT_EQ(into9.Samples(9), into8.Samples(8)) << s << ".." << e;
    }
}

TEST(Copy, MovesEveryChannelOrNothing) {
    struct Case {
        std::vector<double> args;
        int changed;  // buffer that takes buffer 2's samples; -1: none
    };
    const Case cases[] = {{{2, 0}, 0}, {{2, 7}, 7}, {{3, 3}, -1}, {{2, 10}, -1}, {{-1, 2}, -1}};
    for (int32_t c : {1, 2, 6}) {
        for (const Case& t : cases) {
            SoundBuffers sound(16, c);
            sound.Randomize(3);
            SoundBuffers before(sound);
            sound.Run("a_copy", t.args);
            for (int b = 0; b < kBufferCount; ++b) {
                EXPECT_EQ(sound.Samples(b), before.Samples(b == t.changed ? 2 : b)) << "c " << c << " buffer " << b;
            }
        }
    }
}

}  // namespace
}  // namespace kinetra::audio
