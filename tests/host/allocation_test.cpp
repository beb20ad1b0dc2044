// Work memory sizes that the address space cannot hold: where size_t is 32 bits they wrap long
// before an allocator could refuse them, so the size computation itself must catch them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "tests/support/test_platform.h"

namespace kinetra {
namespace {

using testing::TempFolder;
using testing::TestPlatform;

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
    BufferKind kind;
    int32_t max_width, max_height;      // picture
    int32_t sample_count, channel_count;  // sound
    bool representable_in_64_bits;      // else even a 64-bit size computation must refuse it
};

const OversizedFrame kOversizedFrames[] = {
    // 70000 × 70000 pixels of 6 bytes: 29.4 GB an area.
    {"picture 70000x70000", BufferKind::kImage, 70000, 70000, 0, 0, true},
    // One area (2.4 GB) fits in 32 bits; the nine areas do not.
    {"picture whose nine areas pass 4 GiB", BufferKind::kImage, 20000, 20000, 0, 0, true},
    // 2^31 × 2^31 × 6 bytes passes even 64 bits.
    {"picture at the 32-bit limits", BufferKind::kImage, INT32_MAX, INT32_MAX, 0, 0, false},
    // Three values per stereo sample: 12.9 GB an area.
    {"sound of 2^31 stereo samples", BufferKind::kSound, 320, 180, INT32_MAX, 2, true},
    {"sound of many channels", BufferKind::kSound, 320, 180, 48000, INT32_MAX, true},
    // Three values per sample of 0x55555556 channels wrap to 2 in 32 bits...
    {"sound whose values per sample wrap", BufferKind::kSound, 320, 180, 1, 0x55555556, true},
    // ...and 3 × 0x55555555 is 2^32 - 1, which rounds up to no values at all.
    {"sound whose value count rounds up to zero", BufferKind::kSound, 320, 180, 1, 0x55555555, true},
};

void PrintTo(const OversizedFrame& frame, std::ostream* out) { *out << frame.name; }

class OversizedWorkMemory : public ::testing::TestWithParam<OversizedFrame> {};

TEST_P(OversizedWorkMemory, FailsTheFrameWithOneMessage) {
    const OversizedFrame& test = GetParam();
    CountingPlatform platform;
    constexpr size_t kRefuse = size_t{1} << 30;
    platform.refuse_from_bytes = kRefuse;  // what a 64-bit machine without 100 GB would do
    TempFolder folder;
    Editor editor(folder);
    const PluginDefinition definition{test.kind, {}, nullptr};
    Plugin plugin(definition);

    // Nothing may touch the frame's data when the work memory is missing: one sample or pixel.
    PixelYC pixel{};
    int16_t sample = 0;
    FrameContext frame{};
    frame.width = frame.max_width = test.max_width;
    frame.height = frame.max_height = test.max_height;
    frame.frame_count = 10;
    frame.edit_handle = &editor;
    if (test.kind == BufferKind::kImage) {
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
    if (test.kind == BufferKind::kImage) {
        for (const PixelYC& p : pixels) EXPECT_EQ(p.y, 0);
    } else {
        for (int16_t s : samples) EXPECT_EQ(s, 0);
    }
    EXPECT_EQ(plugin.Exit(), 1);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, OversizedWorkMemory, ::testing::ValuesIn(kOversizedFrames),
                         [](const ::testing::TestParamInfo<OversizedFrame>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                             }
                             return name;
                         });

}  // namespace
}  // namespace kinetra
