// The renderer behind the golden files: checksums that see every shown pixel and sample and
// nothing else, and a render that hands the plug-ins the synthetic clip.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kinetra/editor/filter_host.h"
#include "kinetra/editor/render.h"

namespace kinetra::editor {
namespace {

// A 5 × 3 picture in buffers of 8 × 4, as a host with spare stride and rows hands it over.
struct PaddedPicture {
    Image image{8, 4, PixelYC{1000, -200, 300}};
    FrameContext context{};
    PaddedPicture() {
        context.edit_image = image.pixels.data();
        context.width = 5;
        context.height = 3;
        context.max_width = 8;
        context.max_height = 4;
    }
};

struct ImageChange {
    const char* what;
    std::function<void(PaddedPicture&)> change;
    bool seen;
};

TEST(ImageChecksum, SeesTheShownAreaAndItsSizeOnly) {
    const ImageChange kChanges[] = {
        {"luma of the first pixel", [](PaddedPicture& p) { p.image.at(0, 0).y += 1; }, true},
        {"cb of the last shown pixel", [](PaddedPicture& p) { p.image.at(4, 2).cb -= 1; }, true},
        {"cr in the middle", [](PaddedPicture& p) { p.image.at(2, 1).cr ^= 0x100; }, true},
        {"width", [](PaddedPicture& p) { p.context.width = 4; }, true},
        {"height", [](PaddedPicture& p) { p.context.height = 2; }, true},
        {"the stride beyond the width", [](PaddedPicture& p) { p.image.at(5, 0).y = 0; }, false},
        {"the rows beyond the height", [](PaddedPicture& p) { p.image.at(0, 3).y = 0; }, false},
    };
    const uint64_t before = ImageChecksum(PaddedPicture().context);
    for (const ImageChange& test : kChanges) {
        PaddedPicture picture;
        test.change(picture);
        EXPECT_EQ(ImageChecksum(picture.context) != before, test.seen) << test.what;
    }
}

TEST(ImageChecksum, CutsASizeBeyondTheBufferToIt) {
    PaddedPicture picture;
    picture.context.width = INT32_MAX;
    picture.context.height = -5;
    ImageChecksum(picture.context);  // reads nothing outside the 8 × 4 buffer (ASan watches)
    picture.context.height = INT32_MAX;
    ImageChecksum(picture.context);
    picture.context.edit_image = nullptr;
    EXPECT_NE(ImageChecksum(picture.context), 0u);
}

TEST(SoundChecksum, SeesEverySampleAndTheLayout) {
    const std::vector<int16_t> samples = {1, -1, 300, -300, 32767, -32768};
    const uint64_t before = SoundChecksum(samples.data(), 3, 2);
    for (size_t k = 0; k < samples.size(); ++k) {
        std::vector<int16_t> changed = samples;
        changed[k] ^= 1;
        EXPECT_NE(SoundChecksum(changed.data(), 3, 2), before) << "sample " << k;
    }
    EXPECT_NE(SoundChecksum(samples.data(), 6, 1), before) << "same values as mono";
    EXPECT_NE(SoundChecksum(samples.data(), 2, 2), before) << "fewer samples";
}

TEST(Fnv1a, MatchesTheReferenceValues) {
    // The published FNV-1a 64 test vectors: the golden files stay readable by other tools.
    const std::pair<const char*, uint64_t> kVectors[] = {
        {"", 0xCBF29CE484222325ull}, {"a", 0xAF63DC4C8601EC8Cull}, {"foobar", 0x85944171F73967E8ull}};
    for (const auto& [text, expected] : kVectors) {
        Fnv1a hash;
        hash.Add(text, strlen(text));
        EXPECT_EQ(hash.value(), expected) << '"' << text << '"';
    }
    Fnv1a little, bytes;
    little.AddInt16(static_cast<int16_t>(0x8001));
    const unsigned char order[2] = {0x01, 0x80};
    bytes.Add(order, 2);
    EXPECT_EQ(little.value(), bytes.value()) << "16-bit values go in low byte first";
}

// A script with no line for either plug-in: what comes back is the clip itself.
TEST(RenderChecksums, OfAnEmptyScriptAreThoseOfTheClip) {
    RenderOptions options;
    options.clip.width = 64;
    options.clip.height = 36;
    options.clip.frames = 6;
    options.clip.frame_rate = 30000;
    options.clip.frame_rate_scale = 1001;
    options.plugin_dir = KINETRA_PLUGIN_DIR;
    std::vector<FrameChecksum> frames;
    std::string error;
    ASSERT_TRUE(RenderChecksums("# nothing to do\n", options, frames, error)) << error;
    ASSERT_EQ(frames.size(), 6u);
    for (int32_t f = 0; f < 6; ++f) {
        VideoFrame picture(64, 36, f, 6);
        DrawSyntheticFrame(picture.edit, 64, 36, f);
        const int32_t count = options.clip.SampleCount(f);
        std::vector<int16_t> sound(2 * static_cast<size_t>(count));
        DrawSyntheticSound(sound.data(), options.clip.FirstSample(f), count, options.clip.sampling_rate);
        EXPECT_EQ(frames[f].frame, f);
        EXPECT_EQ(frames[f].image, ImageChecksum(picture.Prepare())) << "frame " << f;
        EXPECT_EQ(frames[f].sound, SoundChecksum(sound.data(), count, 2)) << "frame " << f;
    }
    // Consecutive frames of a moving clip differ, so a render stuck on one frame shows.
    EXPECT_NE(frames[0].image, frames[1].image);
    EXPECT_NE(frames[0].sound, frames[1].sound);
}

TEST(RenderChecksums, NamesAMissingPlugin) {
    RenderOptions options;
    options.plugin_dir = "/nonexistent";
    std::vector<FrameChecksum> frames;
    std::string error;
    EXPECT_FALSE(RenderChecksums("", options, frames, error));
    EXPECT_NE(error.find("dizorud.auf"), std::string::npos) << error;
}

}  // namespace
}  // namespace kinetra::editor
