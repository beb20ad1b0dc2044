// kinetra's command line and render's output side end to end: exit statuses, overwrites,
// encoders and containers by name, deeper pixel formats, odd sizes and the summary line. Clips
// are made with the ffmpeg program; outputs are read back with ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "program.h"

namespace {
namespace fs = std::filesystem;
using kinetra::test::ProgramResult;
using kinetra::test::Quote;
using kinetra::test::ReadFile;
using kinetra::test::Shell;

class RenderOutput : public testing::Test {
protected:
    static void SetUpTestSuite() {
        clips_ = fs::temp_directory_path() / ("kinetra-output-test-" + std::to_string(getpid()));
        fs::create_directories(clips_);
        ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x90:rate=30:duration=1 -f lavfi -i "
                        "sine=frequency=440:sample_rate=48000:duration=1 -ac 2 -c:v libx264 -preset veryfast "
                        "-pix_fmt yuv420p -c:a aac clip.mp4 && ffmpeg -v error -y -i clip.mp4 -vn tone.wav",
                        clips_).status, 0);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(clips_, ignored);
    }

    // A folder of the test's own with the clips and an empty script beside them.
    fs::path Folder() {
        const fs::path folder = clips_ / testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder);
        for (const char* clip : {"clip.mp4", "tone.wav"}) {
            fs::copy_file(clips_ / clip, folder / clip, fs::copy_options::overwrite_existing);
        }
        std::ofstream(folder / "animation.txt") << "";
        return folder;
    }

    static ProgramResult Kinetra(const std::string& arguments, const fs::path& folder) {
        return Shell(Quote(KINETRA_PROGRAM) + " " + arguments, folder);
    }

    // ffprobe's answer for `entries` of the streams of `file` (or only its `kind`, v or a), one
    // stream a line.
    static std::string Probe(const fs::path& file, const std::string& entries, const std::string& kind = "") {
        return Shell("ffprobe -v error " + (kind.empty() ? "" : "-select_streams " + kind + " ") + "-show_entries stream=" +
                         entries + " -of csv=p=0 " + Quote(file.string()),
                     file.parent_path()).output;
    }

    // Files a render left under names beginning "o." (the outputs below) or a temporary name.
    static std::vector<std::string> Left(const fs::path& folder) {
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("o.", 0) == 0 || name.find(".part") != std::string::npos) left.push_back(name);
        }
        return left;
    }

    static fs::path clips_;
};
fs::path RenderOutput::clips_;

TEST_F(RenderOutput, CommandLinesEndWithTheConventionsStatus) {
    const fs::path folder = Folder();
    std::ofstream(folder / "bad.txt") << "nosuch(1)\n";
    std::ofstream(folder / "empty.txt") << "";
    struct Case {
        const char* arguments;
        int status;
        const char* message;  // a part of what standard error (or, for help, standard output) says
        const char* absent = nullptr;  // and a part it must not say
    };
    const Case kCases[] = {
        {"--version", 0, ""},
        {"render --help", 0, "Exit status: 0 success; 1"},
        {"--frobnicate", 2, ""},
        {"render clip.mp4 --frobnicate -o o.mkv", 2, "--frobnicate"},
        {"check --frames x bad.txt", 2, "--frames"},
        {"check bad.txt", 1, ""},
        // A file that cannot be read is work that failed, not a usage error.
        {"render missing.mp4 -o o.mkv", 1, "missing.mp4: No such file or directory"},
        {"render clip.mp4 --script missing.txt -o o.mkv", 1, "missing.txt: No such file or directory"},
        // An input is read more than once: a pipe or a device (here /dev/null) is refused as one.
        {"render - -o o.mkv", 1, "-: standard input cannot be read"},
        {"render clip.mp4 -o -", 2, "-: standard output cannot be written"},
        {"render /dev/stdin -o o.mkv", 1, "/dev/stdin: is a pipe"},
        {"preview missing.mp4", 1, "missing.mp4: No such file or directory"},
        {"render clip.mp4 --threads 0 -o o.mkv", 2, "--threads"},
        {"render clip.mp4 --threads -3 -o o.mkv", 2, "--threads"},
        {"render clip.mp4 --threads 17 -o o.mkv", 2, "--threads"},
        {"render clip.mp4 -threads 17 -o o.mkv", 2, "--threads"},  // ffmpeg's spelling, not -t hreads
        {"render clip.mp4 -s 1280x720 -o o.mkv", 2, "-s names the script here"},  // not ffmpeg's size
        {"render clip.mp4 --display 10 -o o.mkv", 2, "--display"},
        {"render clip.mp4 --var a=4097 -o o.mkv", 2, "--var a=4097: outside 0..4096"},
        // One value a --var: the clip after it is the input.
        {"render --var a=100 clip.mp4 -q -o o.var.mkv", 0, ""},
        {"render --var a=100 b=7 -o o.mkv", 2, "give --var b=7"},
        // The built-in clip's shape does not apply to a file; its frame rate does to sound alone.
        {"render clip.mp4 --frames 10 -o o.mkv", 2, "--frames"},
        {"render clip.mp4 --size 64x36 -o o.mkv", 2, "--size"},
        {"render clip.mp4 --rate 25 -o o.mkv", 2, "--rate"},
        {"render tone.wav --rate 25 -q -o o.rate.wav", 0, ""},
        // Pairings that cannot be written say why.
        {"render clip.mp4 --lossless -o o.mp4", 2, "--lossless needs .mkv or .avi"},
        {"render clip.mp4 --lossless -q -o o.avi", 0, ""},
        {"render clip.mp4 -c:v no_such_encoder -o o.mkv", 2, "no video encoder by that name"},
        {"render clip.mp4 -c:a libx264 -o o.mkv", 2, "no sound encoder by that name"},
        {"render clip.mp4 -c:a copy -o o.mkv", 2, "-c:a copy: the sound goes through the sound plug-in"},
        {"render clip.mp4 -c:v ffv1 -o o.mp4", 2, ".mp4 cannot hold ffv1"},
        {"render clip.mp4 -c:v mpeg4 -pix_fmt yuv444p -o o.mkv", 2, "mpeg4 takes yuv420p"},
        {"render clip.mp4 -pix_fmt no_such_format -o o.mkv", 2, "no such pixel format"},
        {"render clip.mp4 -b:v fast -o o.mkv", 2, "-b:v fast"},
        // The JPEG encoder's own 4:2:0 by default; FFmpeg's reason when it refuses one.
        {"render clip.mp4 -c:v mjpeg -q -o o.avi", 0, ""},
        {"render clip.mp4 -c:v mjpeg -pix_fmt yuv420p -o o.mkv", 1, "full-range"},
        // Sound containers whose pictures are only cover art are sound files.
        {"render clip.mp4 -o o.flac", 0, "wrote o.flac: 1.00 s of sound (flac)", "frame"},
        {"render clip.mp4 -o o.mp3", 0, "wrote o.mp3: 1.00 s of sound", "png"},
        // And containers without sound take the pictures alone.
        {"render clip.mp4 -o o.gif", 0, "wrote o.gif: 30 frames of 160x90", "sound"},
        {"render clip.mp4 -y -n -o o.mkv", 2, ""},
        // One picture is one frame's.
        {"render --size 64x36 --frames 1 --script empty.txt -o o.png", 0, "wrote o.png: 1 frame of 64x36", "sound"},
        {"render clip.mp4 --frame 3 -o o.jpg", 0, "wrote o.jpg: 1 frame of 160x90", "sound"},
        {"render clip.mp4 -an -o o.an.mp4", 0, "wrote o.an.mp4: 30 frames of 160x90", "sound"},
        {"render clip.mp4 -vn -o o.vn.mp4", 0, "wrote o.vn.mp4: 1.00 s of sound", "frame"},
        {"render clip.mp4 --frame 3 -o o.jpg", 0, "wrote o.jpg: 1 frame of 160x90", "sound"},
        {"render clip.mp4 -an -o o.an.mp4", 0, "wrote o.an.mp4: 30 frames of 160x90", "sound"},
        {"render clip.mp4 -vn -o o.vn.mp4", 0, "wrote o.vn.mp4: 1.00 s of sound", "frame"},
        {"render --size 64x36 --frames 2 --script empty.txt -o o.png", 1, "o.png holds one picture"},
        // The summary speaks of what was written.
        {"render --size 64x36 --frames 1 --script empty.txt -o 'o.%d.png'", 0, "wrote o.%d.png: 1 frame of", "sound"},
        {"render tone.wav -o o.wav", 0, "wrote o.wav: 1.00 s of sound (pcm_s16le)", "frame"},
        {"render clip.mp4 -o null", 0, "rendered 30 frames of 160x90", "wrote"},
        {"render -i clip.mp4 -t 10f -o null", 0, "rendered 10 frames of 160x90"},
        // The output named after the input, as ffmpeg takes it; named twice, refused.
        {"render -i clip.mp4 o.pos.mkv", 0, "wrote o.pos.mkv: 30 frames"},
        {"render clip.mp4 o.a.mkv -o o.b.mkv", 2, "--output"},
    };
    for (const Case& c : kCases) {
        const ProgramResult result = Kinetra(c.arguments, folder);
        EXPECT_EQ(result.status, c.status) << c.arguments << ": " << result.errors;
        EXPECT_NE((result.errors + result.output).find(c.message), std::string::npos) << c.arguments << ": " << result.errors;
        if (c.absent) {
            EXPECT_EQ(result.errors.find(c.absent), std::string::npos) << c.arguments << ": " << result.errors;
        }
        if (c.status != 0) {
            EXPECT_EQ(Left(folder), std::vector<std::string>{}) << c.arguments;
        }
        for (const std::string& name : Left(folder)) fs::remove(folder / name);
    }
}

TEST_F(RenderOutput, AnExistingOutputIsReplacedOnlyWhenAsked) {
    const fs::path folder = Folder();
    fs::create_symlink("clip.mp4", folder / "link.mp4");
    const std::string clip = ReadFile(folder / "clip.mp4");
    struct Case {
        const char* arguments;
        const char* existing;  // the file the output's name (or a sequence's first) holds already
        const char* answer;    // typed on a terminal; null: run without one
        int status;
        const char* message;
    };
    const Case kCases[] = {
        {"clip.mp4 -o o.mkv", "o.mkv", nullptr, 1, "-y overwrites"},
        {"clip.mp4 -o o.mkv", "o.mkv", "n", 1, "Overwrite? [y/N]"},
        {"clip.mp4 -o o.mkv", "o.mkv", "y", 0, "Overwrite? [y/N]"},
        {"clip.mp4 -n -o o.mkv", "o.mkv", nullptr, 1, "not overwritten"},
        {"clip.mp4 -o 'o.%03d.png'", "o.000.png", nullptr, 1, "o.000.png already exists"},
        {"clip.mp4 -y -o o.mkv", "o.mkv", nullptr, 0, ""},
        // The input itself, by its name or through a link, is never written over.
        {"clip.mp4 -y -o clip.mp4", nullptr, nullptr, 1, "the input itself"},
        {"link.mp4 -y -o clip.mp4", nullptr, nullptr, 1, "the input itself"},
        {"clip.mp4 -y -o link.mp4", nullptr, nullptr, 1, "the input itself"},
        // A sequence's pattern, though its first number (0) names no file of the input's.
        {"'p%03d.png' -y -o './p%03d.png'", nullptr, nullptr, 1, "the input itself"},
    };
    ASSERT_EQ(Shell("ffmpeg -v error -i clip.mp4 -frames:v 3 -start_number 5 'p%03d.png'", folder).status, 0);
    for (const Case& c : kCases) {
        if (c.existing) std::ofstream(folder / c.existing) << "the user's file";
        const std::string render = Quote(KINETRA_PROGRAM) + " render -q " + c.arguments;
        // script(1) gives the render a terminal and types the answer on it.
        const ProgramResult result =
            Shell(c.answer ? "printf '" + std::string(c.answer) + "\\n' | script -qec " + Quote(render) + " /dev/null" : render,
                  folder);
        EXPECT_EQ(result.status, c.status) << c.arguments << ": " << result.errors;
        EXPECT_NE((result.errors + result.output).find(c.message), std::string::npos) << c.arguments << ": " << result.errors;
        if (c.existing) {
            EXPECT_EQ(ReadFile(folder / c.existing) == "the user's file", c.status != 0) << c.arguments;
        }
        EXPECT_EQ(ReadFile(folder / "clip.mp4"), clip) << c.arguments;
        for (const std::string& name : Left(folder)) fs::remove(folder / name);
    }
}

TEST_F(RenderOutput, EncodersAndContainersByName) {
    const fs::path folder = Folder();
    struct Case {
        const char* arguments;
        const char* streams;  // ffprobe's codec names, one stream a line
    };
    const Case kCases[] = {
        {"-o o.mp4", "h264\naac\n"},
        {"-c:v libx265 -c:a flac -o o.mkv", "hevc\nflac\n"},
        {"-o o.webm", "vp9\nopus\n"},
        {"-c:v prores_ks -c:a pcm_s24le -o o.mov", "prores\npcm_s24le\n"},
        {"-c:a libopus -b:a 64k -o o.opus.mkv", "h264\nopus\n"},
        {"-c:v mpeg4 -o o.avi", "mpeg4\npcm_s16le\n"},
        {"-o o.flac", "flac\n"},
    };
    for (const Case& c : kCases) {
        const ProgramResult result = Kinetra("render clip.mp4 -q " + std::string(c.arguments), folder);
        ASSERT_EQ(result.status, 0) << c.arguments << ": " << result.errors;
        const std::string output = std::string(c.arguments).substr(std::string(c.arguments).rfind(' ') + 1);
        EXPECT_EQ(Probe(folder / output, "codec_name"), c.streams) << c.arguments;
    }
    // An encoder that takes no 44.1 kHz sound is handed it resampled, none of it lost.
    ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 o.44.wav", folder).status, 0);
    const ProgramResult opus = Kinetra("render o.44.wav --sampling-rate 44100 -c:a libopus -o o.opus", folder);
    ASSERT_EQ(opus.status, 0) << opus.errors;
    EXPECT_NE(opus.errors.find("resampled to 48000 Hz"), std::string::npos) << opus.errors;
    const size_t samples = Shell("ffmpeg -v error -i o.opus -f s16le -ac 1 -ar 48000 -", folder).output.size() / 2;
    EXPECT_NEAR(static_cast<double>(samples), 48000.0, 48000 * 0.01);
    // A bitrate is the encoder's: ten times the bits make a larger file.
    ASSERT_EQ(Kinetra("render clip.mp4 -q -b:v 100k -o o.low.mp4", folder).status, 0);
    ASSERT_EQ(Kinetra("render clip.mp4 -q -b:v 1M -o o.high.mp4", folder).status, 0);
    EXPECT_GT(fs::file_size(folder / "o.high.mp4"), 2 * fs::file_size(folder / "o.low.mp4"));
}

// The built-in clip's ramp (its lower third: luma x * 4096 / width on the 4096 scale) through
// a pixel format and back: the distinct luma codes along one of its rows.
std::set<int> RampLevels(const fs::path& folder, const std::string& pixel_format, const char* decoded_as,
                         std::vector<int>* codes = nullptr) {
    constexpr int kWidth = 1024, kHeight = 96, kRow = 80;
    const std::string output = "o." + pixel_format + ".mkv";
    const ProgramResult result = Shell(Quote(KINETRA_PROGRAM) + " render --size 1024x96 --frames 1 --script empty.txt -q -y "
                                       "-c:v ffv1 -pix_fmt " + pixel_format + " -o " + output + " && ffmpeg -v error -i " +
                                       output + " -f rawvideo -pix_fmt " + decoded_as + " o.raw", folder);
    EXPECT_EQ(result.status, 0) << pixel_format << ": " << result.errors;
    const std::string raw = ReadFile(folder / "o.raw");
    fs::remove(folder / "o.raw");
    std::set<int> levels;
    if (raw.size() < static_cast<size_t>(kWidth) * kHeight * 2) return levels;
    for (int x = 0; x < kWidth; ++x) {
        uint16_t code;
        std::memcpy(&code, raw.data() + (static_cast<size_t>(kRow) * kWidth + x) * 2, 2);
        levels.insert(code);
        if (codes) codes->push_back(code);
    }
    return levels;
}

TEST_F(RenderOutput, DeeperPixelFormatsKeepTheRampsLevels) {
    const fs::path folder = Folder();
    std::ofstream(folder / "empty.txt") << "";
    const size_t eight = RampLevels(folder, "yuv420p", "gray16le").size();
    ASSERT_GT(eight, 100u);
    // Directly written 10-bit codes, and R'G'B' through libswscale: more levels than 8 bits hold.
    for (const char* deep : {"yuv420p10le", "gbrp10le"}) {
        const size_t levels = RampLevels(folder, deep, "gray16le").size();
        EXPECT_GT(levels, 256u) << deep;
        EXPECT_GT(levels, eight) << deep;
    }
    // The 10-bit codes are the ramp's own: limited range, 64 + 876 * luma / 4096, rounded.
    std::vector<int> codes;
    RampLevels(folder, "yuv420p10le", "yuv420p10le", &codes);
    ASSERT_EQ(codes.size(), 1024u);
    for (int x = 0; x < 1024; ++x) {
        ASSERT_LE(std::abs(codes[x] - (64.0 + 876.0 * (x * 4096 / 1024) / 4096.0)), 0.5 + 1e-9) << "x " << x;
    }
}

TEST_F(RenderOutput, DeepInputsReachADeepOutputWithEveryLevel) {
    const fs::path folder = Folder();
    std::ofstream(folder / "empty.txt") << "";
    // A luma ramp over the 877 codes of 10-bit limited range; the same in 10-bit R'G'B', which
    // goes through libswscale on its way in.
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i \"nullsrc=s=1024x16:d=0.1:r=10,format=yuv420p10le,"
                    "geq=lum='64+X*876/1023':cb=512:cr=512\" -c:v ffv1 ramp.mkv && "
                    "ffmpeg -v error -y -i ramp.mkv -pix_fmt gbrp10le -c:v ffv1 rgb.mkv", folder).status, 0);
    const auto luma = [&](const std::string& file) {
        return Shell("ffmpeg -v error -i " + file + " -frames:v 1 -f rawvideo -pix_fmt gray10le -", folder).output;
    };
    for (const char* input : {"ramp.mkv", "rgb.mkv"}) {
        const ProgramResult result = Kinetra(std::string("render ") + input + " --script empty.txt -q -y -c:v ffv1 "
                                             "-pix_fmt yuv420p10le -o o.mkv", folder);
        ASSERT_EQ(result.status, 0) << input << ": " << result.errors;
        const std::string out = luma("o.mkv");
        ASSERT_EQ(out.size(), 1024u * 16 * 2) << input;
        std::set<std::string> levels;
        for (size_t at = 0; at < 1024 * 2; at += 2) levels.insert(out.substr(at, 2));
        EXPECT_EQ(levels.size(), 877u) << input;
    }
    // Read directly, the 10-bit codes come back as they were.
    ASSERT_EQ(Kinetra("render ramp.mkv --script empty.txt -q -y -c:v ffv1 -pix_fmt yuv420p10le -o o.mkv", folder).status, 0);
    EXPECT_EQ(luma("o.mkv"), luma("ramp.mkv"));
    EXPECT_NE(Kinetra("info ramp.mkv", folder).output.find("ffv1, 10-bit, BT.601"), std::string::npos);
    // Without -pix_fmt they are written at 8 bits, for every player, and the user is told.
    const ProgramResult plain = Kinetra("render ramp.mkv --script empty.txt -q -y -o o.mp4", folder);
    EXPECT_NE(plain.errors.find("10-bit pictures written as yuv420p"), std::string::npos) << plain.errors;
}

TEST_F(RenderOutput, TheScriptSummarysCheckCommandRunsAsPasted) {
    const fs::path folder = Folder(), inner = folder / "a clip's folder";
    fs::create_directories(inner);
    fs::copy_file(folder / "clip.mp4", inner / "my clip.mp4", fs::copy_options::overwrite_existing);
    std::ofstream(inner / "animation.txt") << "nosuch(1)\n";
    const ProgramResult render = Kinetra("render " + Quote("a clip's folder/my clip.mp4") + " -o null", folder);
    ASSERT_EQ(render.status, 0) << render.errors;
    const std::string line = render.errors.substr(0, render.errors.find('\n'));
    const size_t from = line.find("(kinetra check ");
    ASSERT_NE(from, std::string::npos) << line;
    const std::string suggested = line.substr(from + 9, line.size() - from - 10);
    const ProgramResult check = Kinetra(suggested, folder);
    EXPECT_EQ(check.status, 1) << suggested << ": " << check.errors;
    EXPECT_NE(check.output.find("1 error"), std::string::npos) << suggested << ": " << check.output << check.errors;
}

TEST_F(RenderOutput, TheProgressLineCountsTheFramesATrimRuns) {
    const fs::path folder = Folder();
    // The progress line is drawn on a terminal only: `script` gives the render one.
    const ProgramResult result = Shell("script -qec " + Quote(Quote(KINETRA_PROGRAM) + " render clip.mp4 -ss 10f -t 12f "
                                                              "-o null") + " /dev/null", folder);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("\rframe 12/12 "), std::string::npos) << result.output;
}

TEST_F(RenderOutput, AnamorphicPixelsKeepTheirShape) {
    // Pixels 4:3 wide, as HDV's 1440x1080 are: the picture is shown 2:1, and must stay so.
    const fs::path folder = Folder();
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i testsrc2=size=180x120:rate=30:duration=0.2 -vf setsar=4/3 "
                    "-c:v libx264 -pix_fmt yuv420p wide.mp4", folder).status, 0);
    EXPECT_NE(Kinetra("info wide.mp4", folder).output.find("pixels 4:3 (shown 240x120)"), std::string::npos);
    // In the codec's own stream (H.264), and in the container's alone (FFV1 in Matroska).
    for (const char* output : {"o.mp4", "o.mkv --lossless"}) {
        const ProgramResult result = Kinetra(std::string("render wide.mp4 -q -o ") + output, folder);
        ASSERT_EQ(result.status, 0) << output << ": " << result.errors;
        const std::string file = std::string(output).substr(0, std::string(output).find(' '));
        EXPECT_EQ(Probe(folder / file, "sample_aspect_ratio,display_aspect_ratio", "v"), "4:3,2:1\n") << output;
    }
}

TEST_F(RenderOutput, TheInputsTagsAreCarriedOverAsFfmpegCarriesThem) {
    const fs::path folder = Folder();
    ASSERT_EQ(Shell("ffmpeg -v error -y -i clip.mp4 -c copy -metadata title=Trip -metadata location=+35.6895+139.6917/ "
                    "-metadata creation_time=2024-05-01T10:20:30Z tagged.mp4", folder).status, 0);
    ASSERT_EQ(Kinetra("render tagged.mp4 -q -o o.mp4", folder).status, 0);
    const std::string tags = Shell("ffprobe -v error -show_entries format_tags=title,location,creation_time -of "
                                   "default=nw=1 o.mp4", folder).output;
    // Not its time: the output is made now.
    EXPECT_EQ(tags, "TAG:title=Trip\nTAG:location=+35.6895+139.6917/\n");
}

TEST_F(RenderOutput, OddSizesArePaddedToPlayEverywhere) {
    const fs::path folder = Folder();
    std::ofstream(folder / "empty.txt") << "";
    struct Case {
        const char* arguments;
        const char* stream;  // width, height and pixel format
        bool padded;
    };
    const Case kCases[] = {
        {"-o o.mp4", "854,482,yuv420p\n", true},
        {"--lossless -o o.mkv", "854,482,yuv420p\n", true},
        {"-pix_fmt yuv444p -o o.444.mp4", "853,481,yuv444p\n", false},
    };
    for (const Case& c : kCases) {
        const ProgramResult result = Kinetra("render --size 853x481 --frames 1 --script empty.txt " + std::string(c.arguments),
                                             folder);
        ASSERT_EQ(result.status, 0) << c.arguments << ": " << result.errors;
        const std::string output = std::string(c.arguments).substr(std::string(c.arguments).rfind(' ') + 1);
        EXPECT_EQ(Probe(folder / output, "width,height,pix_fmt", "v"), c.stream) << c.arguments;
        EXPECT_EQ(result.errors.find("written as 854x482") != std::string::npos, c.padded) << result.errors;
    }
    // The padding repeats the edge: losslessly, the last column and row are the ones before.
    const std::string luma = Shell("ffmpeg -v error -i o.mkv -f rawvideo -pix_fmt gray -", folder).output;
    ASSERT_EQ(luma.size(), 854u * 482);
    for (int y = 0; y < 482; ++y) ASSERT_EQ(luma[y * 854 + 853], luma[y * 854 + 852]) << "row " << y;
    EXPECT_EQ(luma.substr(481 * 854, 854), luma.substr(480 * 854, 854));
}

TEST_F(RenderOutput, RunningOutOfMemoryEndsWithOneLineAndNoOutput) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit under an address-space limit";
#endif
    const fs::path folder = Folder();
    const ProgramResult result = Shell("ulimit -v 1000000; " + Quote(KINETRA_PROGRAM) +
                                           " render --size 8192x8192 --frames 2 --lossless -q -o o.mkv",
                                       folder);
    EXPECT_EQ(result.status, 1) << result.errors;
    EXPECT_NE(result.errors.find("kinetra: not enough memory"), std::string::npos) << result.errors;
    EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
    EXPECT_EQ(Left(folder), std::vector<std::string>{});
}

}  // namespace
