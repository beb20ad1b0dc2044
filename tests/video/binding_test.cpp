// The image plug-in as the editor sees it: its description, the display copy, its own buffers.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>

#include "host/plugin.h"
#include "tests/support/plugin_harness.h"
#include "video/plugin.h"

namespace kinetra {
namespace {

using editor::VideoFrame;
using testing::PluginHarness;

TEST(ImageDescription, TableWordsAndTrackBars) {
    FilterTable* table = GetFilterTable();
    ASSERT_EQ(table, GetFilterTable());
    EXPECT_EQ(table->flags, 0x40000);
    EXPECT_STREQ(table->name, "Kinetra[Video]");
    EXPECT_EQ(table->track_count, 11);
    EXPECT_EQ(table->check_count, 0);
    EXPECT_EQ(table->check_names, nullptr);
    EXPECT_EQ(table->check_defaults, nullptr);
    EXPECT_EQ(table->reserved_34, nullptr);
    EXPECT_EQ(table->reserved_40, nullptr);
    EXPECT_EQ(table->track_values, nullptr);
    EXPECT_EQ(table->services, nullptr);
    EXPECT_NE(table->process, nullptr);
    EXPECT_NE(table->exit, nullptr);
    EXPECT_NE(table->update, nullptr);
    ASSERT_NE(table->information, nullptr);
    EXPECT_EQ(strncmp(table->information, "Kinetra[Video]", 14), 0);
    EXPECT_EQ(table->reserved_04 | table->reserved_08, 0);
    for (int32_t word : table->reserved_48) EXPECT_EQ(word, 0);
    for (int32_t word : table->reserved_58) EXPECT_EQ(word, 0);
    for (int32_t word : table->reserved_64) EXPECT_EQ(word, 0);

    const char* names[11] = {"\x83\x58\x83\x8C\x83\x62\x83\x68\x90\x94", "\x95\x5C\x8E\xA6" "Buf",
                             "\x95\xCF\x90\x94" "a", "\x95\xCF\x90\x94" "b", "\x95\xCF\x90\x94" "c",
                             "\x95\xCF\x90\x94" "d", "\x95\xCF\x90\x94" "u", "\x95\xCF\x90\x94" "v",
                             "\x95\xCF\x90\x94" "x", "\x95\xCF\x90\x94" "y", "\x95\xCF\x90\x94" "z"};
    const int32_t defaults[11] = {2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    const int32_t maximums[11] = {16, 9, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096};
    for (int t = 0; t < 11; ++t) {
        EXPECT_STREQ(table->track_names[t], names[t]) << t;
        EXPECT_EQ(table->track_defaults[t], defaults[t]) << t;
        EXPECT_EQ(table->track_minimums[t], t == 0 ? 1 : 0) << t;
        EXPECT_EQ(table->track_maximums[t], maximums[t]) << t;
    }
}

TEST(ImageCallbacks, ExitBeforeAnyFrameAndUpdateResults) {
    FilterTable* table = GetFilterTable();
    EXPECT_EQ(table->exit(table), 1);
    int32_t tracks[11] = {40};
    FilterTable record = *table;
    record.track_values = tracks;
    EXPECT_EQ(record.update(&record, 0), 0);
    EXPECT_EQ(video::ImagePlugin().threads(), 16);  // beyond the bar's range: the nearest end
    tracks[0] = -3;
    EXPECT_EQ(record.update(&record, 1), 0);
    EXPECT_EQ(video::ImagePlugin().threads(), 1);
    EXPECT_EQ(table->update(table, 0), 0);  // no track values: the default
    EXPECT_EQ(video::ImagePlugin().threads(), 2);
}

// The whole buffer is shown, rows at the buffer's stride: a picture narrower and shorter than
// its buffer has rows beyond its own width x height pixels.
TEST(ImageDisplay, ShowsTheChosenBuffer) {
    PluginHarness harness(GetFilterTable);
    struct Case {
        int32_t display;
        int32_t width, height;  // the picture in a buffer of 5 x 4
        int16_t expected_y;
    } cases[] = {{0, 5, 4, 100}, {1, 5, 4, 200}, {5, 5, 4, 0}, {1, 2, 3, 200}, {5, 3, 2, 0}};
    for (const Case& c : cases) {
        VideoFrame frame(5, 4, 0, 10);
        frame.context.width = c.width;
        frame.context.height = c.height;
        for (auto& p : frame.edit.pixels) p.y = 100;
        for (auto& p : frame.scratch.pixels) p.y = 200;
        harness.host->tracks[1] = c.display;
        ASSERT_EQ(harness.Process(frame.Prepare()), 1);
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                ASSERT_EQ(frame.edit.at(x, y).y, c.expected_y) << "buffer " << c.display << " at " << x << "," << y;
            }
        }
    }
}

TEST(ImageBuffers, AllocationFailureShowsTheMessageAndRetries) {
    PluginHarness harness(GetFilterTable);
    VideoFrame frame(8, 6, 0, 10);
    for (auto& p : frame.edit.pixels) p.y = 77;
    harness.host->tracks[1] = 3;
    harness.platform.refuse_from_bytes = 8 * 6 * sizeof(PixelYC);  // less than the own block needs
    EXPECT_EQ(harness.Process(frame.Prepare()), 0);
    EXPECT_EQ(harness.Process(frame.Prepare()), 0);
    ASSERT_EQ(harness.platform.messages.size(), 2u);  // once for every frame that fails
    EXPECT_EQ(harness.platform.messages[0], std::string(kMessageCaption) + ": " + kAllocationMessage);
    EXPECT_EQ(frame.edit.at(3, 3).y, 77);  // the frame keeps what the host put in it
    EXPECT_EQ(harness.host->Exit(), 1);    // nothing to free after a failure

    harness.platform.refuse_from_bytes = SIZE_MAX;
    EXPECT_EQ(harness.Process(frame.Prepare()), 1);
    EXPECT_EQ(frame.edit.at(3, 3).y, 0);  // buffer 3 is there now, zero-filled
    EXPECT_EQ(harness.platform.messages.size(), 2u);
}

TEST(ImageBuffers, OwnBuffersKeepTheirPictureWhenTheGeometryChanges) {
    PluginHarness harness(GetFilterTable);
    BufferTable& buffers = video::ImagePlugin().buffers();
    VideoFrame small(4, 3, 0, 10);
    ASSERT_EQ(harness.Process(small.Prepare()), 1);
    for (int n = 2; n < kBufferCount; ++n) {
        buffers.Image(n)[2 * 4 + 3] = {static_cast<int16_t>(n), 1, 2};  // pixel (3, 2)
    }

    // Growing or re-striding keeps the marker at (3, 2); a geometry without that pixel drops it.
    struct Step {
        int32_t width, height;
        bool marker_kept;
    } steps[] = {{9, 7, true}, {12, 12, true}, {5, 3, true}, {9, 2, false}, {6, 6, false}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.width * 100 + step.height);
        VideoFrame frame(step.width, step.height, 1, 10);
        harness.host->tracks[1] = 6;
        ASSERT_EQ(harness.Process(frame.Prepare()), 1);
        if (step.height <= 2) continue;
        EXPECT_EQ(frame.edit.at(3, 2).y, step.marker_kept ? 6 : 0);
        EXPECT_EQ(frame.edit.at(2, 2).y, 0);
        for (int n = 2; n < kBufferCount; ++n) {
            EXPECT_EQ(buffers.Image(n)[2 * step.width + 3].y, step.marker_kept ? n : 0);
        }
    }
}

TEST(ImageCallbacks, CarelessHostsMeanAbsentNotACrash) {
    PluginHarness harness(GetFilterTable);
    harness.SetScript("copy(0,2,0,0,i,j,0,0)\ncopy(2,1,0,0,i,j,0,0)\nswapbuf()\ncopyframe(0,f-1,0,0,i,j,0,0)\n");
    // The script loads through a proper call first; then the host forgets its records.
    VideoFrame loaded(4, 4, 1, 10);
    ASSERT_EQ(harness.Process(loaded.Prepare()), 1);

    FilterTable record = *GetFilterTable();  // no track values, no services
    FrameContext frame{};
    frame.max_width = frame.width = 4;
    frame.max_height = frame.height = 4;
    frame.frame = 1;
    frame.frame_count = 10;  // no images at all
    EXPECT_EQ(record.process(&record, &frame), 1);

    HostServices empty{};  // a service table whose entries are all missing
    record.services = &empty;
    int32_t tracks[11] = {2, 0};
    record.track_values = tracks;
    VideoFrame images(4, 4, 1, 10);
    images.edit.at(1, 1).y = 99;
    EXPECT_EQ(record.process(&record, &images.Prepare()), 1);
    // The copies through buffer 2 ran, swapbuf made the scratch image the result, and
    // copyframe, with no fetch service to call, did nothing.
    EXPECT_EQ(images.context.edit_image, images.scratch.pixels.data());
    EXPECT_EQ(images.scratch.at(1, 1).y, 99);
}

TEST(ImageCallbacks, HostFloatingPointModesChangeNothing) {
    PluginHarness harness(GetFilterTable);
    harness.SetScript("A=1/3\n");
    VideoFrame frame(2, 2, 0, 10);
    const int host_mode = fegetround();
    fesetround(FE_UPWARD);
    const int32_t result = harness.Process(frame.Prepare());
    const int mode_after = fegetround();
    fesetround(host_mode);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(mode_after, FE_UPWARD);  // the host gets its own modes back
    volatile double three = 3.0;
    EXPECT_EQ(video::ImagePlugin().script().variables()[0], 1.0 / three);  // rounded to nearest
}

}  // namespace
}  // namespace kinetra
