// kinetra render end to end: clips made with the ffmpeg program, a script beside each, the
// program run on them, and its output decoded again and checked for what the script did.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

constexpr int kWidth = 160, kHeight = 90, kFrames = 60;  // two seconds at 30 fps
constexpr int kFrameBytes = kWidth * kHeight * 3 / 2;      // yuv420p
constexpr int kSamples = 96000;                            // per channel, at 48 kHz

struct Result {
    int status = -1;
    std::string output;  // what the command wrote on standard output
    std::string errors;  // and on standard error
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command line in `folder`; what it writes is kept.
Result Shell(const std::string& line, const fs::path& folder) {
    const fs::path output = folder / "stdout.txt", errors = folder / "stderr.txt";
    const int status = std::system(("cd " + Quote(folder.string()) + " && (" + line + ") >" + Quote(output.string()) +
                                    " 2>" + Quote(errors.string())).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(output), ReadFile(errors)};
}

Result Kinetra(const std::string& arguments, const fs::path& folder) {
    return Shell(Quote(KINETRA_PROGRAM) + " render " + arguments, folder);
}

// The pictures of `file` as yuv420p frames, and its sound as 48 kHz stereo.
std::string DecodePictures(const fs::path& file, const char* pixel_format = "yuv420p") {
    const fs::path raw = file.string() + ".raw";
    Shell("ffmpeg -v error -y -i " + Quote(file.string()) + " -f rawvideo -pix_fmt " + pixel_format + " " +
              Quote(raw.string()), file.parent_path());
    return ReadFile(raw);
}

std::vector<int16_t> DecodeSound(const fs::path& file) {
    const fs::path raw = file.string() + ".pcm";
    Shell("ffmpeg -v error -y -i " + Quote(file.string()) + " -f s16le -ac 2 -ar 48000 " + Quote(raw.string()),
          file.parent_path());
    const std::string bytes = ReadFile(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

uint8_t LumaAt(const std::string& pictures, int frame, int x, int y) {
    return static_cast<uint8_t>(pictures[static_cast<size_t>(frame) * kFrameBytes + y * kWidth + x]);
}

int MaxDifference(const std::string& a, size_t a_at, const std::string& b, size_t b_at, size_t size) {
    int most = 0;
    for (size_t i = 0; i < size; ++i) {
        most = std::max(most, std::abs(static_cast<uint8_t>(a[a_at + i]) - static_cast<uint8_t>(b[b_at + i])));
    }
    return most;
}

// The clips every test renders: made once, in a folder of their own.
class Render : public testing::Test {
protected:
    static void SetUpTestSuite() {
        clips_ = fs::temp_directory_path() / ("kinetra-media-test-" + std::to_string(getpid()));
        fs::create_directories(clips_);
        const std::string pattern = "-f lavfi -i testsrc2=size=160x90:rate=30:duration=2 ";
        const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -ac 2 ";
        // H.264 with B-frames and short key-frame intervals (seeking is exercised), AAC, untagged
        // BT.601 limited range.
        ASSERT_EQ(Shell("ffmpeg -v error -y " + pattern + tone +
                            "-c:v libx264 -preset veryfast -g 12 -bf 2 -pix_fmt yuv420p -c:a aac h264.mp4",
                        clips_).status, 0);
        // Lossless FFV1 tagged BT.709 full range, with PCM sound.
        ASSERT_EQ(Shell("ffmpeg -v error -y " + pattern + tone +
                            "-c:v ffv1 -pix_fmt yuv420p -color_range pc -colorspace bt709 -color_primaries bt709 "
                            "-color_trc bt709 -c:a pcm_s16le ffv1.mkv",
                        clips_).status, 0);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(clips_, ignored);
    }

    // A folder for one test with `clip` in it and `script` beside it as animation.txt.
    fs::path Folder(const std::string& clip, const std::string& script) {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        fs::path folder = clips_ / (std::string(test->name()) + "-" + fs::path(clip).stem().string());
        fs::create_directories(folder);
        fs::copy_file(clips_ / clip, folder / clip, fs::copy_options::overwrite_existing);
        std::ofstream(folder / "animation.txt") << script;
        return folder;
    }

    static fs::path clips_;
};
fs::path Render::clips_;

TEST_F(Render, AnEmptyScriptGivesTheColoursBack) {
    for (const char* clip : {"h264.mp4", "ffv1.mkv"}) {
        const fs::path folder = Folder(clip, "");
        ASSERT_EQ(Kinetra(std::string(clip) + " --lossless -q -o out.mkv", folder).status, 0) << clip;
        const std::string in = DecodePictures(folder / clip, "rgb24"), out = DecodePictures(folder / "out.mkv", "rgb24");
        ASSERT_EQ(out.size(), in.size()) << clip;
        EXPECT_LE(MaxDifference(in, 0, out, 0, in.size()), 2) << clip;
        // Tagged with what it holds: the input's matrix and range.
        const std::string tags =
            Shell("ffprobe -v error -select_streams v -show_entries stream=color_space,color_range -of csv=p=0 out.mkv",
                  folder).output;
        EXPECT_EQ(tags, std::string(clip) == "h264.mp4" ? "tv,smpte170m\n" : "pc,bt709\n") << clip;
    }
}

TEST_F(Render, AFillCoversItsRectangleAtItsFramesOnly) {
    const fs::path folder = Folder("h264.mp4", "[10-19]\nfill(0,16,16,32,32,4096,0,0)\n");
    ASSERT_EQ(Kinetra("h264.mp4 --lossless -q -o out.mkv", folder).status, 0);
    const std::string in = DecodePictures(folder / "h264.mp4"), out = DecodePictures(folder / "out.mkv");
    ASSERT_EQ(out.size(), static_cast<size_t>(kFrames) * kFrameBytes);
    for (int f = 0; f < kFrames; ++f) {
        const bool filled = f >= 10 && f <= 19;
        for (const auto& [x, y] : {std::pair{16, 16}, std::pair{47, 47}, std::pair{30, 20}}) {
            if (filled) {
                EXPECT_EQ(LumaAt(out, f, x, y), 235) << "frame " << f;  // white in limited range
            } else {
                EXPECT_NEAR(LumaAt(out, f, x, y), LumaAt(in, f, x, y), 1) << "frame " << f;
            }
        }
        EXPECT_NEAR(LumaAt(out, f, 48, 48), LumaAt(in, f, 48, 48), 1) << "outside, frame " << f;
    }
}

TEST_F(Render, CopyframeReadsOtherFramesByNumber) {
    struct Case {
        const char* script;
        int (*source)(int frame);  // the input frame that output frame `frame` shows
    };
    const Case kCases[] = {
        // The frame before; before frame 0 the host has none, and the frame stays itself.
        {"copyframe(0,f-1,0,0,i,j,0,0)\n", [](int f) { return f > 0 ? f - 1 : 0; }},
        // Reverse order: every frame fetched by seeking backwards.
        {"copyframe(0,59-f,0,0,i,j,0,0)\n", [](int f) { return kFrames - 1 - f; }},
        // One fixed frame throughout.
        {"copyframe(0,33,0,0,i,j,0,0)\n", [](int) { return 33; }},
    };
    for (const char* clip : {"h264.mp4", "ffv1.mkv"}) {
        const std::string in = DecodePictures(clips_ / clip);
        for (const Case& c : kCases) {
            const fs::path folder = Folder(clip, c.script);
            ASSERT_EQ(Kinetra(std::string(clip) + " --lossless -q -o out.mkv", folder).status, 0) << c.script;
            const std::string out = DecodePictures(folder / "out.mkv");
            ASSERT_EQ(out.size(), in.size()) << c.script;
            for (int f = 0; f < kFrames; ++f) {
                ASSERT_LE(MaxDifference(out, static_cast<size_t>(f) * kFrameBytes, in,
                                        static_cast<size_t>(c.source(f)) * kFrameBytes, kFrameBytes), 1)
                    << clip << ", " << c.script << "frame " << f;
            }
        }
    }
}

TEST_F(Render, SoundPassesThroughWithTheInputsLength) {
    // PCM in, PCM out: the plug-in's buffer 0 comes back sample for sample. AAC output is
    // checked for its length (the encoder's padding aside).
    const fs::path folder = Folder("ffv1.mkv", "");
    ASSERT_EQ(Kinetra("ffv1.mkv -q -o out.mkv", folder).status, 0);
    ASSERT_EQ(Kinetra("ffv1.mkv -q -o out.wav", folder).status, 0);
    ASSERT_EQ(Kinetra("ffv1.mkv -q -o out.mp4", folder).status, 0);
    const std::vector<int16_t> in = DecodeSound(folder / "ffv1.mkv");
    ASSERT_EQ(in.size(), 2u * kSamples);
    EXPECT_EQ(DecodeSound(folder / "out.mkv"), in);
    EXPECT_EQ(DecodeSound(folder / "out.wav"), in);
    const size_t aac = DecodeSound(folder / "out.mp4").size() / 2;
    EXPECT_GE(aac, static_cast<size_t>(kSamples));
    EXPECT_LE(aac, static_cast<size_t>(kSamples) + 1024);
    EXPECT_EQ(DecodePictures(folder / "out.mkv").size(), static_cast<size_t>(kFrames) * kFrameBytes);
}

TEST_F(Render, ARangeBeyondTheEndLengthensTheEditWithBlackSilentFrames) {
    // The range's end is the length the plug-in asks for.
    const fs::path folder = Folder("ffv1.mkv", "[0-90]\n");
    ASSERT_EQ(Kinetra("ffv1.mkv --lossless -q -o out.mkv", folder).status, 0);
    const std::string out = DecodePictures(folder / "out.mkv");
    ASSERT_EQ(out.size(), 90u * kFrameBytes);
    EXPECT_EQ(LumaAt(out, 75, 80, 45), 0);  // black in full range
    const std::vector<int16_t> sound = DecodeSound(folder / "out.mkv");
    ASSERT_EQ(sound.size(), 2u * 144000);
    EXPECT_NE(sound[2 * 1000], 0);
    for (size_t i = 2 * kSamples; i < sound.size(); ++i) ASSERT_EQ(sound[i], 0) << i;
}

TEST_F(Render, OutputsByName) {
    const fs::path folder = Folder("h264.mp4", "");
    ASSERT_EQ(Kinetra("h264.mp4 -q -o 'f%03d.png'", folder).status, 0);
    EXPECT_TRUE(fs::exists(folder / "f000.png"));
    EXPECT_TRUE(fs::exists(folder / "f059.png"));
    EXPECT_FALSE(fs::exists(folder / "f060.png"));
    const Result null = Kinetra("h264.mp4 -o null", folder);
    EXPECT_EQ(null.status, 0);
    EXPECT_NE(null.errors.find("60 frames"), std::string::npos) << null.errors;
    // Without -o: beside the input; sound alone goes to WAV and keeps its length.
    ASSERT_EQ(Kinetra("h264.mp4 -q", folder).status, 0);
    EXPECT_EQ(DecodePictures(folder / "h264-kinetra.mp4").size(), static_cast<size_t>(kFrames) * kFrameBytes);
    const fs::path sound = Folder("ffv1.mkv", "");
    ASSERT_EQ(Shell("ffmpeg -v error -y -i ffv1.mkv -vn -t 1.01 alone.wav", sound).status, 0);
    ASSERT_EQ(Kinetra("alone.wav -q", sound).status, 0);
    EXPECT_EQ(DecodeSound(sound / "alone-kinetra.wav"), DecodeSound(sound / "alone.wav"));
}

TEST_F(Render, TheBuiltInClipRendersTheDemoWithSound) {
    const fs::path folder = clips_ / "demo";
    fs::create_directories(folder);
    // The demo's ranges end at frame 47: a shorter clip would be lengthened to it.
    ASSERT_EQ(Kinetra("--size 160x90 --frames 50 -q", folder).status, 0);
    EXPECT_EQ(DecodePictures(folder / "demo.mp4").size(), 50u * kFrameBytes);
    const size_t samples = DecodeSound(folder / "demo.mp4").size() / 2;
    EXPECT_GE(samples, 80000u);  // 50 frames at 30 fps; AAC pads to whole frames of 1024
    EXPECT_LE(samples, 80000u + 1024);
    // An empty script on the built-in clip: the drawn pattern comes back within rounding.
    std::ofstream(folder / "empty.txt") << "";
    ASSERT_EQ(Kinetra("--size 160x90 --frames 2 --script empty.txt --lossless -q -o plain.mkv", folder).status, 0);
    ASSERT_EQ(Kinetra("--size 160x90 --frames 2 --script empty.txt -q -o 'plain%d.png'", folder).status, 0);
    const std::string video = DecodePictures(folder / "plain.mkv", "rgb24");
    const std::string png = DecodePictures(folder / "plain0.png", "rgb24");
    ASSERT_EQ(png.size(), static_cast<size_t>(kWidth) * kHeight * 3);
    // Colour bars at the top left: white, then yellow from 1/8 of the width on.
    EXPECT_GE(static_cast<uint8_t>(png[0]), 253);
    EXPECT_LE(MaxDifference(video, 0, png, 0, png.size()), 2);
}

TEST_F(Render, BadInputEndsWithOneMessageAndNoOutput) {
    const fs::path folder = Folder("h264.mp4", "");
    std::ofstream(folder / "broken.mp4") << "not a video";
    fs::create_directories(folder / "no-plugins");
    const fs::path fake = folder / "fake-plugins";
    fs::create_directories(fake);
    fs::copy_file(KINETRA_NO_FILTER_TABLE, fake / "dizorud.auf", fs::copy_options::overwrite_existing);
    fs::copy_file(KINETRA_NO_FILTER_TABLE, fake / "dizorud_audio.auf", fs::copy_options::overwrite_existing);
    struct Case {
        const char* arguments;
        const char* message;  // a part of what standard error must say
    };
    const Case kCases[] = {
        {"missing.mp4 -o out.mp4", "missing.mp4"},
        {"broken.mp4 -o out.mp4", "cannot open broken.mp4"},
        {"h264.mp4 --crf 99 -o out.mp4", "--crf"},
        {"h264.mp4 --var a=5000 -o out.mp4", "--var a=5000: outside 0..4096"},
        {"h264.mp4 --threads 0 -o out.mp4", ""},  // 0 means "as many as there are processors"
        {"h264.mp4 --threads 17 -o out.mp4", "--threads 17: outside 1..16"},
        {"h264.mp4 -o out.avi", "out.avi"},
        {"h264.mp4 -o no/such/folder/out.mp4", "cannot write no/such/folder/out.mp4"},
        {"h264.mp4 --plugins no-plugins -o out.mp4", "dizorud.auf is missing"},
        {"h264.mp4 --plugins fake-plugins -o out.mp4", "has no filter table"},
        // A disk that fills: the file size limit makes every write past it fail.
        {"h264.mp4 --lossless -o out.mkv", "cannot write out.mkv"},
    };
    for (const Case& c : kCases) {
        std::error_code ignored;
        fs::remove(folder / "out.mp4", ignored);
        const bool disk_full = std::string(c.arguments).find("out.mkv") != std::string::npos;
        const Result result = disk_full ? Shell("trap '' XFSZ; ulimit -f 8; " + Quote(KINETRA_PROGRAM) + " render h264.mp4 "
                                                "--lossless -q -o out.mkv", folder)
                                        : Kinetra(c.arguments, folder);
        if (!*c.message) {
            EXPECT_EQ(result.status, 0) << c.arguments << ": " << result.errors;
            continue;
        }
        EXPECT_NE(result.status, 0) << c.arguments;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.arguments << ": " << result.errors;
        // One line, or the option parser's line and its hint to --help.
        EXPECT_LE(std::count(result.errors.begin(), result.errors.end(), '\n'), 2) << c.arguments << ": " << result.errors;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name.rfind("out.", 0) != 0 && name.find(".part") == std::string::npos)
                << c.arguments << " left " << name;
        }
    }
}

}  // namespace
