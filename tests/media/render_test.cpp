// kinetra render end to end: clips made with the ffmpeg program, a script beside each, the
// program run on them, and its output decoded again and checked for what the script did.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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

// kinetra render started in `folder` with `arguments`, its output in stdout.txt and stderr.txt
// there, for a test that acts while it renders; its process id.
pid_t StartKinetra(const std::vector<std::string>& arguments, const fs::path& folder) {
    std::vector<std::string> words = {KINETRA_PROGRAM, "render"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string out = (folder / "stdout.txt").string(), err = (folder / "stderr.txt").string();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(folder.c_str()) != 0 || out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True once the render in `folder` has written frames (its temporary file has grown past
// `bytes`); false when it ended first or took more than 20 seconds.
bool WaitForFrames(const fs::path& folder, uintmax_t bytes, pid_t pid) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < give_up) {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored)) {
            if (entry.path().filename().string().find(".part") != std::string::npos && entry.file_size(ignored) > bytes) {
                return true;
            }
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// The files a render left in `folder` under the output's name or a temporary one.
std::vector<std::string> OutputsLeft(const fs::path& folder) {
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("out.", 0) == 0 || name.find(".part") != std::string::npos) left.push_back(name);
    }
    return left;
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
        // Tagged as the input is: its matrix and range, and none where it has none, so that a
        // player shows both alike (an untagged HD clip as BT.709).
        const std::string tags =
            Shell("ffprobe -v error -select_streams v -show_entries stream=color_space,color_primaries,color_range "
                  "-of csv=p=0 out.mkv", folder).output;
        EXPECT_EQ(tags, std::string(clip) == "h264.mp4" ? "tv,unknown,unknown\n" : "pc,bt709,bt709\n") << clip;
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
            ASSERT_EQ(Kinetra(std::string(clip) + " --lossless -q -y -o out.mkv", folder).status, 0) << c.script;
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

TEST_F(Render, SoundPastTheLastPictureIsCutWithANotice) {
    // One second of pictures over three of sound: the edit is the pictures' second, and says so.
    const fs::path folder = Folder("ffv1.mkv", "");
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x90:rate=30:duration=1 -f lavfi -i "
                    "sine=sample_rate=48000:duration=3 -c:v ffv1 -c:a pcm_s16le long.mkv", folder).status, 0);
    const Result result = Kinetra("long.mkv -q -o out.mkv", folder);
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_NE(result.errors.find("long.mkv: the sound runs 2.00 s past the last picture"), std::string::npos)
        << result.errors;
    EXPECT_EQ(DecodeSound(folder / "out.mkv").size(), 2u * 48000);
    EXPECT_EQ(Kinetra("ffv1.mkv -q -o out2.mkv", folder).errors.find("past the last picture"), std::string::npos);
}

TEST_F(Render, ARangeBeyondTheEndLengthensTheEditToReachItsLastFrame) {
    struct Case {
        const char* script;
        const char* options;
        int frames;           // of the output; 0: refused, nothing written
        const char* message;  // a part of what standard error must say
    };
    const Case kCases[] = {
        {"[0-90]\n", "", 91, "animation.txt line 1 ranges to frame 90: the edit grows from 60 to 91 frames"},
        {"fill(0,0,0,8,8,0,0,0)\n[0-2000000000]\n", "", 0, "line 2 ranges to frame 2000000000"},
        {"[0-200]\n", "--max-frames 150", 0, "give --max-frames 201 to allow it"},
    };
    for (const Case& c : kCases) {
        const fs::path folder = Folder("ffv1.mkv", c.script);
        for (const std::string& name : OutputsLeft(folder)) fs::remove(folder / name);
        const Result result = Kinetra(std::string("ffv1.mkv --lossless -q -o out.mkv ") + c.options, folder);
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.script << result.errors;
        if (!c.frames) {
            EXPECT_EQ(result.status, 1) << c.script;
            EXPECT_EQ(OutputsLeft(folder), std::vector<std::string>{}) << c.script;
            continue;
        }
        ASSERT_EQ(result.status, 0) << result.errors;
        const std::string out = DecodePictures(folder / "out.mkv");
        ASSERT_EQ(out.size(), static_cast<size_t>(c.frames) * kFrameBytes);
        EXPECT_EQ(LumaAt(out, c.frames - 1, 80, 45), 0);  // black in full range
        const std::vector<int16_t> sound = DecodeSound(folder / "out.mkv");
        ASSERT_EQ(sound.size(), 2u * 1600 * c.frames);
        EXPECT_NE(sound[2 * 1000], 0);
        for (size_t i = 2 * kSamples; i < sound.size(); ++i) ASSERT_EQ(sound[i], 0) << i;
    }
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
        {"h264.mp4 --threads 0 -o out.mp4", "--threads"},
        {"h264.mp4 --threads 17 -o out.mp4", "--threads"},
        {"h264.mp4 -o out.xyz", "out.xyz"},
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

// The built-in clip, long enough to act on while it renders.
const std::vector<std::string> kLongRender = {"--size", "320x180", "--frames", "450", "--lossless", "-q"};

TEST_F(Render, EditsToTheScriptReachThePlugInsWithinASecond) {
    const fs::path folder = clips_ / "reload";
    fs::create_directories(folder);
    // A colour of strong Cb at the top left, then one of strong Cr, saved as an editor saves:
    // a new file renamed over the old.
    std::ofstream(folder / "fx.txt") << "fill(0,0,0,16,16,2048,2000,0)\n";
    std::vector<std::string> arguments = kLongRender;
    arguments.insert(arguments.end(), {"--script", "fx.txt", "-o", "out.mkv"});
    const pid_t pid = StartKinetra(arguments, folder);
    ASSERT_TRUE(WaitForFrames(folder, 256 << 10, pid));
    // Held still while the script changes, and for more than the plug-ins' second after it.
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    std::ofstream(folder / "fx.new") << "fill(0,0,0,16,16,2048,0,2000)\n";
    fs::rename(folder / "fx.new", folder / "fx.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(kill(pid, SIGCONT), 0);
    ASSERT_EQ(ExitStatus(pid), 0) << ReadFile(folder / "stderr.txt");

    constexpr int kBigWidth = 320, kBigHeight = 180, kBigFrame = kBigWidth * kBigHeight * 3 / 2;
    const std::string out = DecodePictures(folder / "out.mkv");
    ASSERT_EQ(out.size(), 450u * kBigFrame);
    // Each frame has one script's colour; the first has the first script's, and from the
    // frame where the second's appears it stays.
    int first_new = -1;
    for (int f = 0; f < 450; ++f) {
        const size_t at = static_cast<size_t>(f) * kBigFrame + kBigWidth * kBigHeight;  // Cb plane, then Cr
        const int cb = static_cast<uint8_t>(out[at + kBigWidth / 2 * 4 + 4]);
        const int cr = static_cast<uint8_t>(out[at + kBigWidth * kBigHeight / 4 + kBigWidth / 2 * 4 + 4]);
        const bool old_script = cb > 200 && cr < 160, new_script = cr > 200 && cb < 160;
        ASSERT_TRUE(old_script || new_script) << "frame " << f << ": Cb " << cb << ", Cr " << cr;
        if (new_script && first_new < 0) first_new = f;
        ASSERT_EQ(new_script, first_new >= 0 && f >= first_new) << "frame " << f;
    }
    EXPECT_GT(first_new, 0);
}

TEST_F(Render, AnInterruptStopsTheRenderAndLeavesNoOutput) {
    const fs::path folder = clips_ / "interrupt";
    fs::create_directories(folder);
    std::ofstream(folder / "fx.txt") << "fill(0,0,0,16,16,4096,0,0)\n";
    // Ctrl-C, kill, and the terminal closed under the render.
    const std::pair<const char*, int> kStops[] = {{"out.mkv", SIGINT}, {"out%03d.png", SIGINT}, {"out.mkv", SIGTERM},
                                                  {"out.mkv", SIGHUP}};
    for (const auto& [output, signal] : kStops) {
        std::vector<std::string> arguments = kLongRender;
        arguments.insert(arguments.end(), {"--script", "fx.txt", "-o", output});
        const pid_t pid = StartKinetra(arguments, folder);
        // A sequence's temporary is a folder: its size says nothing, so any time after it appears.
        ASSERT_TRUE(WaitForFrames(folder, std::string(output) == "out.mkv" ? 256 << 10 : 0, pid)) << output;
        if (std::string(output) != "out.mkv") std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_EQ(kill(pid, signal), 0);
        EXPECT_EQ(ExitStatus(pid), 130) << output << ", signal " << signal;
        const std::string errors = ReadFile(folder / "stderr.txt");
        EXPECT_NE(errors.find("stopped; nothing written to "), std::string::npos) << errors;
        EXPECT_EQ(OutputsLeft(folder), std::vector<std::string>{}) << output;
    }
}

TEST_F(Render, ACameraTimeBaseKeepsTheClipsFrameRate) {
    // 29.97 fps in a camera's 1/600 ticks: the pictures' times are rounded, and their average
    // rate is 29.975; the clip's own rate is the one written.
    const fs::path folder = Folder("h264.mp4", "");
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x90:rate=30000/1001:duration=2 -c:v libx264 "
                    "-preset veryfast -pix_fmt yuv420p -video_track_timescale 600 camera.mov", folder).status, 0);
    const Result result = Kinetra("camera.mov -q -o out.mp4", folder);
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=r_frame_rate,nb_frames -of csv=p=0 out.mp4", folder).output,
              "30000/1001,60\n");
}

TEST_F(Render, AVariableRateInputIsMadeConstantAtItsAverageRate) {
    // 30 pictures at 30 fps, then 30 at 15 fps: the pictures' times are n/30, then (30 + 2k)/30.
    const fs::path folder = Folder("h264.mp4", "");
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x90:rate=30:duration=2 "
                    "-vf \"setpts='if(lt(N,30),N,30+(N-30)*2)/30/TB'\" -vsync vfr -c:v libx264 -preset veryfast "
                    "-g 12 -bf 2 -pix_fmt yuv420p vfr.mp4", folder).status, 0);
    const std::string rate = Shell("ffprobe -v error -select_streams v -show_entries stream=avg_frame_rate "
                                   "-of csv=p=0 vfr.mp4", folder).output;
    int num = 0, den = 0;
    ASSERT_EQ(sscanf(rate.c_str(), "%d/%d", &num, &den), 2) << rate;
    const auto picture_time = [](int n) { return (n < 30 ? n : 30 + 2 * (n - 30)) / 30.0; };
    // The edit's frames cover the pictures' span at the average rate, as ffmpeg's constant-rate
    // conversion at that rate does; each shows the picture on show at the middle of its time.
    const int frames = static_cast<int>(std::lround(picture_time(59) * num / den)) + 1;
    ASSERT_EQ(Kinetra("vfr.mp4 --lossless -q -o out.mkv", folder).status, 0);
    const std::string in = Shell("ffmpeg -v error -i vfr.mp4 -vsync passthrough -f rawvideo -pix_fmt yuv420p -",
                                 folder).output;
    const std::string out = DecodePictures(folder / "out.mkv");
    ASSERT_EQ(in.size(), 60u * kFrameBytes);
    ASSERT_EQ(out.size(), static_cast<size_t>(frames) * kFrameBytes);
    for (int f = 0; f < frames; ++f) {
        const double middle = (f + 0.5) * den / num;
        int shown = 0;
        while (shown + 1 < 60 && picture_time(shown + 1) <= middle) ++shown;
        ASSERT_LE(MaxDifference(out, static_cast<size_t>(f) * kFrameBytes, in, static_cast<size_t>(shown) * kFrameBytes,
                                kFrameBytes), 1) << "frame " << f << " should show picture " << shown;
    }
}

// The sound of `file`: its sampling rate and channel count, and its samples as they are.
struct SoundStream {
    int rate = 0;
    int channels = 0;
    std::string layout;
    std::vector<int16_t> samples;  // interleaved, all channels, at the file's own rate
};

SoundStream ProbeSound(const fs::path& file) {
    SoundStream sound;
    const std::string line = Shell("ffprobe -v error -select_streams a -show_entries stream=sample_rate,channels,"
                                   "channel_layout -of csv=p=0 " + Quote(file.string()), file.parent_path()).output;
    char layout[64] = {};
    sscanf(line.c_str(), "%d,%d,%63[^\n]", &sound.rate, &sound.channels, layout);
    sound.layout = layout;
    const std::string bytes = Shell("ffmpeg -v error -i " + Quote(file.string()) + " -f s16le -", file.parent_path()).output;
    sound.samples.resize(bytes.size() / 2);
    memcpy(sound.samples.data(), bytes.data(), sound.samples.size() * 2);
    return sound;
}

TEST_F(Render, SoundKeepsItsRateAndItsChannelsAreMixedOrKeptWithANotice) {
    const fs::path folder = Folder("ffv1.mkv", "a_volume(0,0,0,0)\n");  // silences what the plug-in sees
    const std::string video = "-f lavfi -i testsrc2=size=160x90:rate=30:duration=1 ";
    const std::string codecs = " -c:v ffv1 -c:a pcm_s16le ";
    ASSERT_EQ(Shell("ffmpeg -v error -y " + video + "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1" +
                    codecs + "mono.mkv", folder).status, 0);
    ASSERT_EQ(Shell("ffmpeg -v error -y " + video + "-f lavfi -i 'aevalsrc=0.1*sin(300*t)|0.2*sin(400*t)|0.3*sin(500*t)|"
                    "0.4*sin(600*t)|0.5*sin(700*t)|0.6*sin(800*t):s=48000:c=5.1:d=1'" + codecs + "surround.mkv",
                    folder).status, 0);
    // A layout of its own, which a .wav file keeps (a .mkv of PCM keeps none).
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i 'aevalsrc=0.1*sin(300*t)|0.2*sin(400*t)|0.3*sin(500*t)|"
                    "0.4*sin(600*t):s=48000:c=quad:d=1' quad.wav", folder).status, 0);
    struct Case {
        const char* arguments;
        int rate, channels;
        const char* notice;  // a part of standard error; empty: nothing said
        const char* output = "out.mkv";
        const char* layout = nullptr;  // where the output's channels play, where its container says
    };
    const Case kCases[] = {
        {"mono.mkv", 44100, 1, ""},
        {"mono.mkv --sampling-rate 48000", 48000, 1, "sound resampled from 44100 Hz to 48000 Hz"},
        {"surround.mkv", 48000, 2, "6 channels of sound mixed to stereo"},
        {"surround.mkv --keep-channels", 48000, 6, ""},
        {"quad.wav --keep-channels", 48000, 4, "", "out.wav", "quad"},
        // An encoder without the input's layout writes the usual one for the count, and says so.
        {"quad.wav --keep-channels -c:a alac", 48000, 4, "quad sound written as 4.0: alac holds no quad", "out.m4a",
         "4.0"},
    };
    for (const Case& c : kCases) {
        const Result result = Kinetra(std::string(c.arguments) + " -q -y -o " + c.output, folder);
        ASSERT_EQ(result.status, 0) << c.arguments << result.errors;
        EXPECT_EQ(result.errors.empty(), !*c.notice) << c.arguments << result.errors;
        EXPECT_NE(result.errors.find(c.notice), std::string::npos) << c.arguments << result.errors;
        const SoundStream out = ProbeSound(folder / c.output);
        EXPECT_EQ(out.rate, c.rate) << c.arguments;
        ASSERT_EQ(out.channels, c.channels) << c.arguments;
        if (c.layout) {
            EXPECT_EQ(out.layout, c.layout) << c.arguments;
            continue;
        }
        // The plug-in's first two channels are silenced; those past them come through as they were.
        const SoundStream in = ProbeSound(folder / fs::path(c.arguments).stem().concat(".mkv"));
        ASSERT_EQ(out.samples.size() / c.channels, static_cast<size_t>(c.rate)) << c.arguments;
        for (size_t i = 0; i < out.samples.size(); ++i) {
            const int channel = static_cast<int>(i % c.channels);
            ASSERT_EQ(out.samples[i], channel < 2 ? 0 : in.samples[i]) << c.arguments << ", value " << i;
        }
    }
    // The sound plug-in is told the rate it works at: a 441 Hz square wave has 882 edges a second
    // at the input's own rate and at another asked for.
    std::ofstream(folder / "animation.txt") << "a_tone(0,441,1,0.5)\n";
    for (const char* arguments : {"mono.mkv", "mono.mkv --sampling-rate 48000"}) {
        ASSERT_EQ(Kinetra(std::string(arguments) + " -q -y -o out.wav", folder).status, 0) << arguments;
        const std::vector<int16_t> wave = ProbeSound(folder / "out.wav").samples;
        int edges = 0;
        for (size_t i = 1; i < wave.size(); ++i) edges += (wave[i - 1] < 0) != (wave[i] < 0);
        EXPECT_NEAR(edges, 882, 2) << arguments;
    }
}

TEST_F(Render, ARotatedClipIsTurnedAsPlayersShowItUnlessAskedNotTo) {
    // The last pixel of the plug-ins' picture made white: i and j are the size they see.
    const fs::path folder = Folder("h264.mp4", "fill(0,i-1,j-1,1,1,4096,0,0)\n");
    struct Case {
        int rotate;              // the clip's rotation tag
        const char* arguments;
        int width, height;       // of the output
        const char* info;        // what info says of the rotation
    };
    const Case kCases[] = {
        {90, "", 90, 160, "rotation    90 degrees counter-clockwise"},
        {270, "", 90, 160, "rotation    90 degrees clockwise"},
        {180, "", 160, 90, "rotation    180 degrees"},
        {90, "--no-autorotate", 160, 90, "rotation    90 degrees counter-clockwise"},
    };
    for (const Case& c : kCases) {
        const std::string clip = "rotate" + std::to_string(c.rotate) + ".mp4";
        ASSERT_EQ(Shell("ffmpeg -v error -y -i h264.mp4 -c copy -metadata:s:v:0 rotate=" + std::to_string(c.rotate) + " " +
                        clip, folder).status, 0);
        EXPECT_NE(Shell(Quote(KINETRA_PROGRAM) + " info " + clip, folder).output.find(c.info), std::string::npos) << clip;
        ASSERT_EQ(Kinetra(clip + " " + c.arguments + " --lossless -q -y -o out.mkv", folder).status, 0) << clip;
        const std::string size = Shell("ffprobe -v error -show_entries stream=width,height -of csv=p=0 out.mkv", folder).output;
        EXPECT_EQ(size.substr(0, size.find('\n')), std::to_string(c.width) + "," + std::to_string(c.height))
            << clip << " " << c.arguments;
        // Every pixel as ffmpeg shows the clip, turned or not, but the one the script made white.
        const bool turned = std::string(c.arguments).empty();
        std::string in = Shell("ffmpeg -v error " + std::string(turned ? "" : "-noautorotate ") + "-i " + clip +
                               " -f rawvideo -pix_fmt gray -", folder).output;
        const std::string out = DecodePictures(folder / "out.mkv", "gray");
        ASSERT_EQ(out.size(), in.size()) << clip << " " << c.arguments;
        const size_t picture = static_cast<size_t>(c.width) * c.height;
        for (size_t at = picture - 1; at < in.size(); at += picture) {
            EXPECT_EQ(static_cast<uint8_t>(out[at]), 255) << clip << " " << c.arguments;  // white
            in[at] = out[at];
        }
        EXPECT_LE(MaxDifference(in, 0, out, 0, in.size()), 1) << clip << " " << c.arguments;
    }
    // Kept as stored, the output carries the clip's rotation, so that players still show it upright.
    ASSERT_EQ(Kinetra("rotate90.mp4 --no-autorotate -q -y -o kept.mp4", folder).status, 0);
    EXPECT_NE(Shell(Quote(KINETRA_PROGRAM) + " info kept.mp4", folder).output.find("rotation    90 degrees counter-clockwise"),
              std::string::npos);
    ASSERT_EQ(Kinetra("rotate90.mp4 -q -y -o turned.mp4", folder).status, 0);
    EXPECT_EQ(Shell(Quote(KINETRA_PROGRAM) + " info turned.mp4", folder).output.find("rotation"), std::string::npos);
}

TEST_F(Render, AnAllocationFailureAtAnyStageEndsWithOneLineAndLeavesNothing) {
    // A script that fetches the frame before, so that every stage allocates.
    const fs::path folder = Folder("h264.mp4", "copyframe(0,f-1,0,0,i,j,0,0)\n");
    fs::copy_file(folder / "animation.txt", folder / "fx.txt", fs::copy_options::overwrite_existing);
    const fs::path temporary = folder / "tmp";
    for (const char* stage : {"decoder", "cache", "fetch", "encoder"}) {
        fs::create_directories(temporary);
        const Result result = Shell("TMPDIR=" + Quote(temporary.string()) + " KINETRA_FAIL_ALLOCATION=" + stage + " " +
                                    Quote(KINETRA_PROGRAM) + " render h264.mp4 --script fx.txt -q -o out.mp4", folder);
        EXPECT_EQ(result.status, 1) << stage;
        EXPECT_EQ(result.errors, "kinetra: not enough memory for 160x90 pictures: std::bad_alloc\n") << stage;
        EXPECT_EQ(OutputsLeft(folder), std::vector<std::string>{}) << stage;
        EXPECT_TRUE(fs::is_empty(temporary)) << stage << " left a private folder";
    }
}

TEST_F(Render, ATruncatedFileRendersTheFramesThatDecodeWithAWarning) {
    const fs::path folder = Folder("h264.mp4", "");
    // The index first, so that the cut leaves a file that opens; cut halfway, and where the
    // pictures begin.
    ASSERT_EQ(Shell("ffmpeg -v error -y -i h264.mp4 -c copy -movflags +faststart whole.mp4", folder).status, 0);
    const std::string whole = ReadFile(folder / "whole.mp4");
    const size_t pictures = whole.find("mdat") + 4;
    std::ofstream(folder / "half.mp4", std::ios::binary) << whole.substr(0, whole.size() / 2);
    std::ofstream(folder / "none.mp4", std::ios::binary) << whole.substr(0, pictures);
    const Result half = Kinetra("half.mp4 --lossless -q -o out.mkv", folder);
    ASSERT_EQ(half.status, 0) << half.errors;
    const std::string in = Shell("ffmpeg -v quiet -i half.mp4 -f rawvideo -pix_fmt yuv420p -", folder).output;
    const std::string out = DecodePictures(folder / "out.mkv");
    const size_t decoded = in.size() / kFrameBytes;
    ASSERT_GT(decoded, 0u);
    ASSERT_LT(decoded, static_cast<size_t>(kFrames));
    // The warning names the first frame not rendered; every frame before it was, and those
    // ffmpeg decodes are the same pictures (the frames of a missing picture's time show the one
    // before, as at a constant rate).
    const std::string warning = "warning: half.mp4: decoding stopped at frame ";
    const size_t at = half.errors.find(warning);
    ASSERT_NE(at, std::string::npos) << half.errors;
    const size_t stopped = std::stoul(half.errors.substr(at + warning.size()));
    EXPECT_EQ(out.size(), stopped * kFrameBytes);
    ASSERT_GE(out.size(), in.size());
    EXPECT_LE(MaxDifference(in, 0, out, 0, in.size()), 1);
    const Result none = Kinetra("none.mp4 -q -y -o out.mkv", folder);
    EXPECT_EQ(none.status, 1) << none.errors;
}

TEST_F(Render, AClipCutWithoutReencodingStartsWhereItsEditListSays) {
    const fs::path folder = Folder("h264.mp4", "");
    // Cut at 1.1 s with -c copy: the pictures from the key picture at 0.8 s are kept in the file,
    // marked to be left out, and the sound that goes with them is not there.
    ASSERT_EQ(Shell("ffmpeg -v error -y -ss 1.1 -i h264.mp4 -c copy cut.mp4", folder).status, 0);
    const Result result = Kinetra("cut.mp4 --lossless -q -o out.mkv", folder);
    ASSERT_EQ(result.status, 0) << result.errors;
    const std::string in = Shell("ffmpeg -v error -i cut.mp4 -f rawvideo -pix_fmt yuv420p -", folder).output;
    const std::string out = DecodePictures(folder / "out.mkv");
    ASSERT_GT(in.size(), 0u);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_LE(MaxDifference(in, 0, out, 0, in.size()), 1);
    // The sound as long as the pictures, not the cut-away lead's length longer.
    EXPECT_NEAR(DecodeSound(folder / "out.mkv").size() / 2.0 / 48000, in.size() / kFrameBytes / 30.0, 0.05);
}

TEST_F(Render, APictureSequencePatternIsAnInput) {
    const fs::path folder = Folder("h264.mp4", "");
    // Numbered from 1, and from 100, past where FFmpeg's reader looks for a first picture.
    for (const int first : {1, 100}) {
        const std::string pattern = "'img" + std::to_string(first) + "-%03d.png'", start = std::to_string(first);
        ASSERT_EQ(Shell("ffmpeg -v error -y -i h264.mp4 -frames:v 10 -start_number " + start + " " + pattern, folder).status, 0);
        const Result result = Kinetra(pattern + " --lossless -q -y -o out.mkv", folder);
        ASSERT_EQ(result.status, 0) << first << ": " << result.errors;
        // Without -o, one file named for the sequence, not for its number's pattern.
        ASSERT_EQ(Kinetra(pattern + " -q -y", folder).status, 0) << first;
        EXPECT_TRUE(fs::exists(folder / ("img" + start + "--kinetra.mp4"))) << first;
        // Luma: the output's chroma is subsampled, the pictures' is not.
        const std::string in =
            Shell("ffmpeg -v error -start_number " + start + " -i " + pattern + " -f rawvideo -pix_fmt gray -", folder).output;
        const std::string out = DecodePictures(folder / "out.mkv", "gray");
        ASSERT_EQ(in.size(), 10u * kWidth * kHeight) << first;
        ASSERT_EQ(out.size(), in.size()) << first;
        EXPECT_LE(MaxDifference(in, 0, out, 0, in.size()), 2) << first;
    }
}

TEST_F(Render, StartEndAndFrameRunTheClipsOwnFrameNumbers) {
    // Frame 30 marked; frame 40 shows what frame 10 left in buffer 2, when frame 10 ran.
    const fs::path folder = Folder("h264.mp4", "[30-30]\nfill(0,0,0,8,8,4096,0,0)\n[10-10]\nfill(2,0,0,8,8,4096,0,0)\n"
                                               "[40-40]\ncopy(2,0,0,0,8,8,0,0)\n");
    struct Case {
        const char* arguments;
        const char* output;
        int frames;
        int first;               // the input frame of the output's first
        std::vector<int> white;  // the output frames with the mark
    };
    const Case kCases[] = {
        {"--start 1 --end 1.5", "out.mkv", 15, 30, {0}},
        {"--start 00:00:01.0 --end 45f", "out.mkv", 15, 30, {0}},
        // ffmpeg's spellings: -t is a duration, as there.
        {"-ss 1 -t 0.5", "out.mkv", 15, 30, {0}},
        {"-ss 30f -to 1.5", "out.mkv", 15, 30, {0}},
        {"-ss 1 -t 1e20", "out.mkv", 30, 30, {0}},  // past any end: to the end, as in ffmpeg
        {"--frame 40", "shot.png", 1, 40, {0}},
        {"--frame 1.1s", "shot.png", 1, 33, {}},
    };
    const std::string in = DecodePictures(folder / "h264.mp4");
    for (const Case& c : kCases) {
        for (const std::string& name : OutputsLeft(folder)) fs::remove(folder / name);
        fs::remove(folder / "shot.png");
        const Result result = Kinetra("h264.mp4 " + std::string(c.arguments) + " --lossless -q -o '" + c.output + "'", folder);
        ASSERT_EQ(result.status, 0) << c.arguments << result.errors;
        const std::string out = DecodePictures(folder / c.output);
        ASSERT_EQ(out.size(), static_cast<size_t>(c.frames) * kFrameBytes) << c.arguments;
        for (int f = 0; f < c.frames; ++f) {
            const bool white = std::find(c.white.begin(), c.white.end(), f) != c.white.end();
            EXPECT_EQ(LumaAt(out, f, 2, 2) >= 230, white) << c.arguments << ", frame " << f;
            EXPECT_NEAR(LumaAt(out, f, 80, 45), LumaAt(in, c.first + f, 80, 45), 3) << c.arguments << ", frame " << f;
        }
    }
    // Positions outside the clip fail the render; malformed or out of order, they are usage errors.
    const std::pair<const char*, int> kRefused[] = {
        {"--start 2.5", 1}, {"--frame 60", 1}, {"--start 10f --end 5f", 2}, {"--start 1x", 2}, {"-t 0", 2},
        {"-t 1 --end 2", 2}};
    for (const auto& [refused, status] : kRefused) {
        EXPECT_EQ(Kinetra("h264.mp4 " + std::string(refused) + " -q -y -o out.mkv", folder).status, status) << refused;
    }
    // Past the end, said in time too: sound alone has frames only as the edit counts them.
    EXPECT_NE(Kinetra("h264.mp4 -ss 2.5 -o out.mkv", folder).errors.find("it has frames 0..59 (2.00 s at 30 fps)"),
              std::string::npos);
}

}  // namespace
