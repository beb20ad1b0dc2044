// Work memory sizes that the address space cannot hold: where size_t is 32 bits they wrap long
// before an allocator could refuse them, so the size computation itself must catch them. Each
// plug-in's tests run their own frames through this with their own buffer layout.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "tests/support/test_platform.h"

namespace kinetra::testing {

// Records every request, so a test can tell a refused allocation from one never asked for.
class CountingPlatform : public TestPlatform {
public:
    void* AllocateZeroed(size_t bytes) override {
        requests.push_back(bytes);
        return TestPlatform::AllocateZeroed(bytes);
    }
    std::vector<size_t> requests;
};

// An editor with an edit in an empty folder: no script, so the own buffers are all the memory
// a frame asks for.
struct Editor {
    static Editor* Of(void* edit) { return static_cast<Editor*>(edit); }
    static int32_t KINETRA_CALL Query(void* edit, EditFileInfo* info) {
        info->path = Of(edit)->path.c_str();
        info->sampling_rate = 48000;
        return 1;
    }

    explicit Editor(const TempFolder& folder) : path((folder.path() / "edit.avi").string()) {
        services.query_edit_file = Query;
        record.track_values = tracks;
        record.services = &services;
    }

    std::string path;
    int32_t tracks[KINETRA_TRACK_COUNT] = {1, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    HostServices services{};
    FilterTable record{};
};

struct OversizedFrame {
    const char* name;
    bool picture;  // else sound
    int32_t max_width, max_height;      // picture
    int32_t sample_count, channel_count;  // sound
    bool representable_in_64_bits;      // else even a 64-bit size computation must refuse it
};

inline void PrintTo(const OversizedFrame& frame, std::ostream* out) { *out << frame.name; }

inline std::string OversizedFrameName(const ::testing::TestParamInfo<OversizedFrame>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) {
        if (isalnum(static_cast<unsigned char>(*p))) name += *p;
    }
    return name;
}

// The frame fails with one message and asks for no wrapped size; the next frame that fits works.
inline void CheckOversizedFrame(const OversizedFrame& test, const BufferLayout& layout) {
    CountingPlatform platform;
    constexpr size_t kRefuse = size_t{1} << 30;
    platform.refuse_from_bytes = kRefuse;  // what a 64-bit machine without 100 GB would do
    TempFolder folder;
    Editor editor(folder);
    const PluginDefinition definition{layout, {}, nullptr};
    Plugin plugin(definition);

    // Nothing may touch the frame's data when the work memory is missing: one sample or pixel.
    PixelYC pixel{};
    int16_t sample = 0;
    FrameContext frame{};
    frame.width = frame.max_width = test.max_width;
    frame.height = frame.max_height = test.max_height;
    frame.frame_count = 10;
    frame.edit_handle = &editor;
    if (test.picture) {
        frame.edit_image = frame.scratch_image = &pixel;
    } else {
        frame.audio_samples = &sample;
        frame.sample_count = test.sample_count;
        frame.channel_count = test.channel_count;
    }

    EXPECT_EQ(plugin.ProcessFrame(&editor.record, &frame), 0);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0], std::string(kMessageCaption) + ": " + kAllocationMessage);
    if (sizeof(size_t) == 4 || !test.representable_in_64_bits) {
        // The size wraps: the computation must see it, without asking for a wrapped size.
        EXPECT_TRUE(platform.requests.empty()) << "asked for " << platform.requests.front() << " bytes";
    } else {
        ASSERT_EQ(platform.requests.size(), 1u);
        EXPECT_GE(platform.requests[0], kRefuse) << "the size must not have wrapped";
    }

    // The next frame of a size that fits works, and shows an own buffer.
    PixelYC pixels[4 * 3];
    int16_t samples[8 * 2];
    for (PixelYC& p : pixels) p = {100, 20, -20};
    for (int16_t& s : samples) s = 1000;
    FrameContext small{};
    small.width = small.max_width = 4;
    small.height = small.max_height = 3;
    small.frame_count = 10;
    small.edit_handle = &editor;
    small.edit_image = pixels;
    small.audio_samples = samples;
    small.sample_count = 8;
    small.channel_count = 2;
    editor.tracks[1] = 2;  // display buffer 2, still all zeros
    EXPECT_EQ(plugin.ProcessFrame(&editor.record, &small), 1);
    EXPECT_EQ(platform.messages.size(), 1u);
    if (test.picture) {
        for (const PixelYC& p : pixels) EXPECT_EQ(p.y, 0);
    } else {
        for (int16_t s : samples) EXPECT_EQ(s, 0);
    }
    EXPECT_EQ(plugin.Exit(), 1);
}

}  // namespace kinetra::testing
