// The sound plug-in as the editor sees it: its description, the display copy, its own buffers.
#include <gtest/gtest.h>

#include <vector>

#include "audio/plugin.h"
#include "host/plugin.h"
#include "tests/support/plugin_harness.h"

namespace kinetra {
namespace {

using testing::PluginHarness;

struct SoundFrame {
    std::vector<int16_t> samples;
    FrameContext context{};

    SoundFrame(int32_t sample_count, int32_t channels, int16_t value)
        : samples(static_cast<size_t>(sample_count) * std::max(channels, 0), value) {
        context.audio_samples = samples.data();
        context.sample_count = sample_count;
        context.channel_count = channels;
        context.frame_count = 10;
    }
};

TEST(SoundDescription, TableWords) {
    FilterTable* table = GetFilterTable();
    ASSERT_EQ(table, GetFilterTable());
    EXPECT_EQ(table->flags, 0x240000);
    EXPECT_STREQ(table->name, "Kinetra[Audio]");
    EXPECT_EQ(table->track_count, 11);
    EXPECT_EQ(table->track_defaults[0], 2);
    EXPECT_EQ(table->track_maximums[1], 9);
    EXPECT_EQ(table->track_defaults[10], 2048);
    EXPECT_EQ(table->track_values, nullptr);
    EXPECT_EQ(table->services, nullptr);
    EXPECT_EQ(table->exit(table), 1);
}

TEST(SoundDisplay, CopiesTheSamplesOfEveryChannelAndNoMore) {
    PluginHarness harness(GetFilterTable);
    BufferTable& buffers = audio::SoundPlugin().buffers();
    struct Case {
        int32_t channels;
        int32_t display;
    } cases[] = {{1, 4}, {2, 4}, {6, 9}, {2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels * 10 + c.display);
        SoundFrame frame(480, c.channels, 1000);
        harness.host->tracks[1] = c.display;
        ASSERT_EQ(harness.Process(frame.context), 1);  // fills, then shows a zero-filled buffer
        if (c.display == 0) {
            EXPECT_EQ(frame.samples.back(), 1000);
            continue;
        }
        int16_t* own = buffers.Sound(c.display);
        for (size_t k = 0; k < frame.samples.size(); ++k) own[k] = static_cast<int16_t>(k);
        ASSERT_EQ(harness.Process(frame.context), 1);
        for (size_t k = 0; k < frame.samples.size(); ++k) ASSERT_EQ(frame.samples[k], static_cast<int16_t>(k));
    }
}

TEST(SoundBuffers, GrowKeepingSamplesAtTheirPositions) {
    PluginHarness harness(GetFilterTable);
    BufferTable& buffers = audio::SoundPlugin().buffers();
    SoundFrame small(100, 2, 0);
    ASSERT_EQ(harness.Process(small.context), 1);
    for (int n = 1; n < kBufferCount; ++n) buffers.Sound(n)[299] = static_cast<int16_t>(n);

    SoundFrame large(2000, 2, 0);
    ASSERT_EQ(harness.Process(large.context), 1);
    for (int n = 1; n < kBufferCount; ++n) {
        EXPECT_EQ(buffers.Sound(n)[299], n);
        buffers.Sound(n)[5999] = 1;  // the grown areas are usable to their end
    }

    // Shorter frames, and sound of no channel, keep the block.
    for (int32_t channels : {2, 0, -1}) {
        SoundFrame frame(100, channels, 0);
        ASSERT_EQ(harness.Process(frame.context), 1);
        EXPECT_EQ(buffers.Sound(4)[299], 4);
    }
}

TEST(SoundBuffers, ImpossibleSizesFailLikeAllocations) {
    PluginHarness harness(GetFilterTable);
    FrameContext frame{};
    frame.sample_count = INT32_MAX;
    frame.channel_count = INT32_MAX;
    frame.frame_count = 10;
    EXPECT_EQ(harness.Process(frame), 0);
    EXPECT_EQ(harness.platform.messages.size(), 1u);
}

}  // namespace
}  // namespace kinetra
