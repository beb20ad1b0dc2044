// The cache of fetched frames on a real file: frames fetched backwards, or one fixed frame, come
// out as the decoder gives them in order, and the pictures are not decoded again for each.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kinetra/media/edit_source.h"
#include "kinetra/media/frame_cache.h"

namespace kinetra::media {
namespace {
namespace fs = std::filesystem;

TEST(FrameCache, FramesFetchedBackwardsAreDecodedOnceARun) {
    const fs::path folder = fs::temp_directory_path() / ("kinetra-cache-test-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path clip = folder / "clip.mp4";
    // Key frames every 12 pictures, with B-frames: every fetch backwards seeks.
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x36:rate=30:duration=2 -c:v libx264 "
                           "-preset veryfast -g 12 -bf 2 -pix_fmt yuv420p " + clip.string()).c_str()), 0);
    std::string error;
    const std::unique_ptr<EditSource> source = OpenFileSource(clip.string(), {{48000}}, AVRational{30, 1}, error);
    ASSERT_TRUE(source) << error;
    const EditFormat& format = source->format();
    ASSERT_EQ(format.frame_count, 60);
    // The pictures in order, as the render reads them.
    std::unique_ptr<PictureReader> in_order = source->NewReader(error);
    ASSERT_TRUE(in_order) << error;
    std::vector<editor::Image> expected;
    for (int32_t f = 0; f < 60; ++f) {
        expected.emplace_back(format.width, format.height);
        ASSERT_TRUE(in_order->Read(f, expected.back(), error, {})) << error;
    }
    struct Case {
        const char* name;
        size_t capacity;
        int64_t most_decodes;  // reads of the decoder for the 60 fetches
    };
    // With room for a run between key frames, each run is decoded once (at most a few more
    // reads where x264 put an extra key frame); with room for 4, one read for every 3 frames.
    for (const Case& c : {Case{"room for a run", 16, 8}, Case{"room for 4", 4, 22}}) {
        FrameCache cache(source->NewReader(error), format.width, format.height, format.frame_count, c.capacity);
        for (int32_t f = 59; f >= 0; --f) {
            const PixelYC* got = cache.Fetch(f, error);
            ASSERT_NE(got, nullptr) << c.name << ", frame " << f << ": " << error;
            const std::vector<PixelYC>& want = expected[f].pixels;
            for (size_t i = 0; i < want.size(); ++i) {
                ASSERT_TRUE(got[i].y == want[i].y && got[i].cb == want[i].cb && got[i].cr == want[i].cr)
                    << c.name << ", frame " << f << " at " << i;
            }
            // A fixed frame meanwhile is found, not decoded.
            if (f == 30) {
                const int64_t decodes = cache.decoded();
                ASSERT_NE(cache.Fetch(30, error), nullptr);
                EXPECT_EQ(cache.decoded(), decodes) << c.name;
            }
        }
        EXPECT_LE(cache.decoded(), c.most_decodes) << c.name;
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace
}  // namespace kinetra::media
