// a_volume, a_blend, a_swap, a_mono, a_reverse on stated samples.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernels/level.h"
#include "tests/support/sound_buffers.h"

namespace kinetra::audio {
namespace {

using testing::SoundBuffers;
using Samples = std::vector<int16_t>;

// Buffers 2 and 3 before and after one line; n follows from the samples and c.
struct Row {
    const char* what;
    int32_t c;
    Samples b2, b3;
    const char* command;
    std::vector<double> args;
    Samples want2;
    Samples want3 = {};  // looked at when b3 is given
};

// `samples` `times` over.
Samples Repeat(const Samples& samples, int times) {
    Samples all;
    for (int t = 0; t < times; ++t) all.insert(all.end(), samples.begin(), samples.end());
    return all;
}

const Samples kMonoIn = {1, -2, -3, 0, 32767, 32767, -32768, -32768};
const Samples kMonoMeans = {0, 0, -1, -1, 32767, 32767, -32768, -32768};

const Row kRows[] = {
    {"volume 0 to 1 over four sample frames", 1, {1000, 1000, 1000, 1000}, {}, "a_volume", {2, 0, 1, 0},
     {0, 250, 500, 750}},
    {"volume ramp on both channels", 2, {1000, -1000, 1000, -1000, 1000, -1000, 1000, -1000}, {}, "a_volume",
     {2, 0, 1, 0}, {0, 0, 250, -250, 500, -500, 750, -750}},
    {"volume 1 to 1 unchanged", 2, {7, -8, 32767, -32768}, {}, "a_volume", {2, 1, 1, 0}, {7, -8, 32767, -32768}},
    {"volume 0 silences", 1, {7, -8, 32767, -32768}, {}, "a_volume", {2, 0, 0, 0}, {0, 0, 0, 0}},
    {"volume 2 wraps around", 1, {20000, -3, 100}, {}, "a_volume", {2, 2, 2, 0}, {-25536, -6, 200}},
    {"volume 0.5 truncates toward zero", 1, {-3, 3, -1}, {}, "a_volume", {2, 0.5, 0.5, 0}, {-1, 1, 0}},
    {"volume left only", 2, {100, 100, 100, 100}, {}, "a_volume", {2, 0.5, 0.5, 1}, {50, 100, 50, 100}},
    {"volume right only", 2, {100, 100, 100, 100}, {}, "a_volume", {2, 0.5, 0.5, 2}, {100, 50, 100, 50}},
    {"volume of one channel ignores the mode", 1, {100, 100}, {}, "a_volume", {2, 0.5, 0.5, 2}, {50, 50}},
    {"volume mode 3 does nothing", 1, {100, 100}, {}, "a_volume", {2, 0.5, 0.5, 3}, {100, 100}},
    {"volume mode -1 does nothing", 2, {100, 100}, {}, "a_volume", {2, 0.5, 0.5, -1}, {100, 100}},
    {"volume of NaN stores 0", 1, {100, 100}, {}, "a_volume", {2, std::nan(""), 1, 0}, {0, 0}},
    {"blend wraps around", 2, {30000, 1, -32768, 5}, {30000, 2, -1, 5}, "a_blend", {3, 2},
     {-5536, 3, 32767, 10}, {30000, 2, -1, 5}},
    {"blend of a buffer onto itself doubles", 1, {30000, -7}, {}, "a_blend", {2, 2}, {-5536, -14}},
    {"blend with buffer 10 does nothing", 1, {1, 2}, {3, 4}, "a_blend", {3, 10}, {1, 2}, {3, 4}},
    {"swap exchanges left and right", 2, {1, 2, 3, 4}, {}, "a_swap", {2}, {2, 1, 4, 3}},
    {"swap of one channel does nothing", 1, {1, 2, 3, 4}, {}, "a_swap", {2}, {1, 2, 3, 4}},
    {"mono mean truncates toward zero", 2, kMonoIn, {}, "a_mono", {2, 0}, kMonoMeans},
    {"mono mean truncates toward zero across whole vectors", 2, Repeat(kMonoIn, 9), {}, "a_mono", {2, 0},
     Repeat(kMonoMeans, 9)},
    {"mono left to both", 2, {1, -2, -3, 0}, {}, "a_mono", {2, 1}, {1, 1, -3, -3}},
    {"mono right to both", 2, {1, -2, -3, 0}, {}, "a_mono", {2, 2}, {-2, -2, 0, 0}},
    {"mono mode 3 does nothing", 2, {1, -2}, {}, "a_mono", {2, 3}, {1, -2}},
    {"mono of one channel does nothing", 1, {1, -2}, {}, "a_mono", {2, 0}, {1, -2}},
    {"reverse into another buffer", 1, {10, 11, 12}, {0, 0, 0}, "a_reverse", {2, 3}, {10, 11, 12}, {12, 11, 10}},
    {"reverse keeps left left", 2, {1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0, 0}, "a_reverse", {2, 3},
     {1, 2, 3, 4, 5, 6}, {5, 6, 3, 4, 1, 2}},
    {"reverse in place, odd count", 2, {1, 2, 3, 4, 5, 6}, {}, "a_reverse", {2, 2}, {5, 6, 3, 4, 1, 2}},
    {"reverse in place, even count", 1, {1, 2, 3, 4}, {}, "a_reverse", {2, 2}, {4, 3, 2, 1}},
    {"reverse from buffer -1 does nothing", 1, {1, 2}, {3, 4}, "a_reverse", {-1, 3}, {1, 2}, {3, 4}},
};

// At every level the machine has, so that each vector form meets the stated samples.
TEST(SampleProcessing, RowsOfStatedSamples) {
    for (KernelLevel level : {KernelLevel::kPortable, KernelLevel::kSSE2, KernelLevel::kAVX2, KernelLevel::kAVX512}) {
        if (level > MachineKernelLevel()) continue;
        SetKernelLevel(level);
        for (const Row& row : kRows) {
            SCOPED_TRACE(::testing::Message() << row.what << " at " << KernelLevelName(level));
            SoundBuffers sound(static_cast<int32_t>(row.b2.size()) / row.c, row.c);
            sound.Set(2, row.b2);
            sound.Set(3, row.b3);
            sound.Run(row.command, row.args);
            EXPECT_EQ(sound.Samples(2), row.want2);
            if (!row.b3.empty()) {
                EXPECT_EQ(sound.Samples(3), row.want3);
            }
        }
    }
    SetKernelLevel(MachineKernelLevel());
}

// The per-sample commands see sound of other than two channels as one channel of n samples:
// the rest of the c x n samples stay as they were.
TEST(SampleProcessing, MoreThanTwoChannelsAreOneChannelOfNSamples) {
    SoundBuffers sound(4, 3);
    sound.Set(2, Samples(12, 100));
    sound.Run("a_volume", {2, 0.5, 0.5, 0});
    sound.Run("a_reverse", {2, 2});
    sound.Run("a_swap", {2});
    EXPECT_EQ(sound.Samples(2), (Samples{50, 50, 50, 50, 100, 100, 100, 100, 100, 100, 100, 100}));
}

}  // namespace
}  // namespace kinetra::audio
