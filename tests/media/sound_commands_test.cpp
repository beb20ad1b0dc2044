// The sound plug-in's commands through kinetra render: the volume ramp, a tone's frequency and
// silence where the script silences, decoded from the output again.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

constexpr int kRate = 48000, kFrames = 30, kPerFrame = 1600;  // one second at 30 fps

std::vector<int16_t> Samples(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Renders a one-second 440 Hz stereo tone (as 16-bit WAV) with `script` and gives back the
// input's and the output's samples, interleaved.
bool RenderTone(const std::string& name, const std::string& script, std::vector<int16_t>& in, std::vector<int16_t>& out) {
    const fs::path folder = fs::temp_directory_path() / ("kinetra-sound-test-" + std::to_string(getpid()) + "-" + name);
    fs::create_directories(folder);
    std::ofstream(folder / "animation.txt") << script;
    const std::string cd = "cd '" + folder.string() + "' && ";
    const int made = std::system((cd + "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 "
                                       "-ac 2 -c:a pcm_s16le tone.wav").c_str());
    const int rendered = std::system((cd + "'" KINETRA_PROGRAM "' render tone.wav -q -o out.wav").c_str());
    const int decoded = std::system((cd + "ffmpeg -v error -y -i tone.wav -f s16le in.pcm && "
                                          "ffmpeg -v error -y -i out.wav -f s16le out.pcm").c_str());
    in = Samples(folder / "in.pcm");
    out = Samples(folder / "out.pcm");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return made == 0 && rendered == 0 && decoded == 0 && in.size() == out.size() && in.size() == 2u * kRate;
}

TEST(SoundCommands, AVolumeRampRisesAcrossTheRangeAndZeroSilences) {
    std::vector<int16_t> in, out;
    // Frames 0..14 ramp from silence to full; frames 15..29 are silenced.
    ASSERT_TRUE(RenderTone("volume", "[0-14]\na_volume(0,g/15,(g+1)/15,0)\n[15-29]\na_volume(0,0,0,0)\n", in, out));
    ASSERT_NE(in, out);
    for (int i = 0; i < kFrames / 2 * kPerFrame; ++i) {
        const double gain = static_cast<double>(i) / (kFrames / 2 * kPerFrame);
        ASSERT_NEAR(out[2 * i], in[2 * i] * gain, 2.0) << "sample " << i;
    }
    for (size_t i = 2 * kFrames / 2 * kPerFrame; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << "sample " << i / 2;
}

TEST(SoundCommands, ATonePlaysItsFrequency) {
    std::vector<int16_t> in, out;
    ASSERT_TRUE(RenderTone("tone", "a_tone(0,1000,0,0.5)\n", in, out));
    ASSERT_NE(in, out);
    // 1000 Hz: 2000 sign changes a second on each channel, both channels equal, half scale.
    int changes = 0, peak = 0;
    for (int i = 1; i < kRate; ++i) {
        changes += (out[2 * i] >= 0) != (out[2 * i - 2] >= 0);
        peak = std::max(peak, std::abs(static_cast<int>(out[2 * i])));
        ASSERT_EQ(out[2 * i], out[2 * i + 1]) << "sample " << i;
    }
    EXPECT_NEAR(changes, 2000, 2);
    EXPECT_NEAR(peak, 16383, 2);
}

}  // namespace
