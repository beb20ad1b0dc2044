// The render's output, chosen by its name: a video file (.mp4, .mkv, .mov), a PNG sequence (a
// name with %d), a WAV file, or "null" (nothing is written). Everything is written under a
// temporary name beside the output and renamed to it by Finish, so a render that fails or is
// stopped leaves nothing under the output's name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kinetra/media/colour.h"
#include "kinetra/media/ffmpeg.h"

namespace kinetra::media {

enum class OutputKind { kVideoFile, kPictureSequence, kWave, kNull };

// The kind of output `name` asks for; false with `error` set when it names none.
bool OutputKindOf(const std::string& name, OutputKind& kind, std::string& error);

struct OutputSettings {
    std::string path;
    // Pictures (ignored when `pictures` is false).
    bool pictures = false;
    int width = 0;
    int height = 0;
    AVRational frame_rate{30, 1};
    ColourSpace colour = ColourSpace::Bt709(false);
    AVColorPrimaries primaries = AVCOL_PRI_BT709;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_BT709;
    AVColorSpace matrix_tag = AVCOL_SPC_BT709;
    std::string preset = "medium";  // libx264's
    int crf = 18;
    bool lossless = false;          // a lossless codec even where libx264 is there
    // Sound (ignored when `sound` is false).
    bool sound = false;
    int32_t sampling_rate = 48000;
    int channels = 2;
};

class MediaWriter {
public:
    MediaWriter() = default;
    ~MediaWriter();  // removes what an unfinished output wrote
    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    bool Open(const OutputSettings& settings, std::string& error);
    // The codecs chosen, for the summary ("libx264 + aac").
    std::string codecs() const;
    bool WritePicture(const YcPicture& picture, std::string& error);
    bool WriteSound(const int16_t* samples, int32_t count, std::string& error);
    // Flushes the encoders, completes the file and gives it its name.
    bool Finish(std::string& error);

private:
    bool OpenVideoEncoder(std::string& error);
    bool OpenAudioEncoder(std::string& error);
    bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& error);
    bool EncodeSound(int count, std::string& error);
    bool Fail(std::string& error, const std::string& what, int status);
    void Discard();

    OutputSettings settings_;
    OutputKind kind_ = OutputKind::kNull;
    std::string temporary_;   // the file, or for a sequence the folder, written before renaming
    std::string final_folder_;
    AVFormatContext* output_ = nullptr;
    CodecPtr video_;
    CodecPtr audio_;
    AVStream* video_stream_ = nullptr;
    AVStream* audio_stream_ = nullptr;
    FramePtr picture_;
    YcToYuv to_yuv_{ColourSpace::Bt709(false)};  // for the output's matrix and range, made at Open
    FramePtr sound_;
    PacketPtr packet_;
    std::vector<uint8_t> rgb_;
    std::vector<int16_t> pending_;  // interleaved samples waiting for a whole codec frame
    int64_t pictures_written_ = 0;
    int64_t samples_written_ = 0;
    bool finished_ = false;
};

}  // namespace kinetra::media
