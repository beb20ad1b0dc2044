// The synthetic clip's sound: frame boundaries that lose no sample, and a tone of the stated
// pitches whatever way it is cut into frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kinetra/editor/frame_timing.h"
#include "kinetra/editor/synthetic.h"

namespace kinetra::editor {
namespace {

struct FrameRate {
    int32_t rate, scale, sampling_rate;
    int32_t seconds;  // a span after which frames and samples line up again
};

class SampleCounts : public ::testing::TestWithParam<FrameRate> {};

TEST_P(SampleCounts, AddUpToTheExactTimeAndDifferByAtMostOne) {
    const FrameRate& test = GetParam();
    SyntheticClip clip;
    clip.frame_rate = test.rate;
    clip.frame_rate_scale = test.scale;
    clip.sampling_rate = test.sampling_rate;
    const int32_t frames = test.rate * test.seconds / test.scale;
    const int64_t per_frame_floor = int64_t{test.sampling_rate} * test.scale / test.rate;

    EXPECT_EQ(clip.FirstSample(0), 0);
    int64_t total = 0;
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t count = clip.SampleCount(f);
        ASSERT_GE(count, per_frame_floor) << "frame " << f;
        ASSERT_LE(count, per_frame_floor + 1) << "frame " << f;
        ASSERT_EQ(clip.FirstSample(f) + count, clip.FirstSample(f + 1));
        total += count;
    }
    EXPECT_EQ(total, int64_t{test.sampling_rate} * test.seconds);
    // Far into a long clip the boundaries are still exact: no drift, no overflow.
    const int32_t late = INT32_MAX - 1;
    EXPECT_GE(clip.SampleCount(late), per_frame_floor);
    EXPECT_LE(clip.SampleCount(late), per_frame_floor + 1);
}

INSTANTIATE_TEST_SUITE_P(Rates, SampleCounts,
                         ::testing::Values(FrameRate{24, 1, 48000, 1}, FrameRate{30000, 1001, 48000, 1001},
                                           FrameRate{25, 1, 44100, 1}, FrameRate{60, 1, 44100, 1},
                                           FrameRate{24000, 1001, 44100, 1001}));

TEST(SampleCounts, TwentyFourFramesASecondAtFortyEightKilohertzAreTwoThousandEach) {
    SyntheticClip clip;  // the default clip
    for (int32_t f : {0, 1, 23, 24, 47, 100000}) EXPECT_EQ(clip.SampleCount(f), 2000) << "frame " << f;
}

TEST(SampleCounts, ANonsenseFormatHasNoSound) {
    for (auto [rate, scale, sampling] : {std::tuple{0, 1, 48000}, {24, 0, 48000}, {24, 1, 0}, {-24, 1, 48000}}) {
        SyntheticClip clip;
        clip.frame_rate = rate;
        clip.frame_rate_scale = scale;
        clip.sampling_rate = sampling;
        EXPECT_EQ(clip.SampleCount(5), 0) << rate << "/" << scale << " at " << sampling;
    }
}

// Each boundary is the nearest sample to the frame's exact start, halves rounded up.
TEST(SampleCounts, FramesStartAtTheNearestSample) {
    struct Case {
        int32_t rate, scale, sampling_rate, frame;
        int64_t first;
    };
    const Case cases[] = {
        // 30000/1001 fps at 48 kHz: 1601.6 samples a frame.
        {30000, 1001, 48000, 1, 1602},    // 1601.6
        {30000, 1001, 48000, 2, 3203},    // 3203.2
        {30000, 1001, 48000, 3, 4805},    // 4804.8
        {30000, 1001, 48000, 5, 8008},    // exact
        {30000, 1001, 48000, -1, -1602},  // -1601.6
        // 24 fps at 44.1 kHz: 1837.5 samples a frame, a half at every odd frame.
        {24, 1, 44100, 1, 1838},    // 1837.5
        {24, 1, 44100, -1, -1837},  // -1837.5
        {24, 1, 44100, 3, 5513},    // 5512.5
        // 24000/1001 fps at 44.1 kHz: 1839.3375 samples a frame.
        {24000, 1001, 44100, 2, 3679},  // 3678.675
    };
    for (const Case& c : cases) {
        const FrameTiming timing{c.rate, c.scale, c.sampling_rate};
        EXPECT_EQ(timing.FirstSample(c.frame), c.first) << c.rate << "/" << c.scale << " fps, frame " << c.frame;
    }
}

// Upward zero crossings of one channel over `count` stereo samples.
int RisingCrossings(const std::vector<int16_t>& samples, int channel) {
    int crossings = 0;
    for (size_t k = 2 + channel; k < samples.size(); k += 2) {
        if (samples[k - 2] < 0 && samples[k] >= 0) ++crossings;
    }
    return crossings;
}

TEST(SyntheticSound, IsATwoToneStereoSignalOfAThirdOfFullScale) {
    constexpr int32_t kRate = 48000;
    std::vector<int16_t> second(2 * kRate);
    DrawSyntheticSound(second.data(), 0, kRate, kRate);
    EXPECT_EQ(RisingCrossings(second, 0), 440 - 1);  // the first period starts at sample 0
    EXPECT_EQ(RisingCrossings(second, 1), 660 - 1);
    int peak = 0;
    for (int16_t s : second) peak = std::max(peak, std::abs(int{s}));
    EXPECT_NEAR(peak, 32767 / 3, 2);
}

TEST(SyntheticSound, DoesNotDependOnHowItIsCutIntoFrames) {
    SyntheticClip clip;
    clip.frame_rate = 30000;
    clip.frame_rate_scale = 1001;
    const int32_t frames = 40;
    const int64_t end = clip.FirstSample(frames);
    std::vector<int16_t> whole(2 * static_cast<size_t>(end));
    DrawSyntheticSound(whole.data(), 0, static_cast<int32_t>(end), clip.sampling_rate);
    std::vector<int16_t> pieces(whole.size());
    for (int32_t f = 0; f < frames; ++f) {
        DrawSyntheticSound(pieces.data() + 2 * clip.FirstSample(f), clip.FirstSample(f), clip.SampleCount(f),
                           clip.sampling_rate);
    }
    EXPECT_EQ(whole, pieces);
    // The tone repeats every second, so a sample a day into the clip is the same as at its start.
    std::vector<int16_t> later(2 * 100);
    DrawSyntheticSound(later.data(), int64_t{48000} * 86400, 100, 48000);
    EXPECT_EQ(later, std::vector<int16_t>(whole.begin(), whole.begin() + 200));
}

}  // namespace
}  // namespace kinetra::editor
