// The render's output, chosen by its name: a file of any container FFmpeg writes (.mp4, .mkv,
// .mov, .webm, .avi, ...; a sound-only one such as .wav or .flac), a PNG sequence (a name with
// %d), one PNG picture, or "null" (nothing is written). Everything is written under a temporary name beside the
// output and renamed to it by Finish, so a render that fails or is stopped leaves nothing under
// the output's name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kinetra/media/colour.h"
#include "kinetra/media/ffmpeg.h"

namespace kinetra::media {

// kPicture: one PNG picture, for a render of one frame.
// A video file holds pictures and sound; a silent one (.gif, .y4m, a raw .h264 stream) pictures alone.
enum class OutputKind { kVideoFile, kSilentVideoFile, kPictureSequence, kPicture, kSoundFile, kNull };

// The kind of output `name` asks for; false with `error` set when it names none.
bool OutputKindOf(const std::string& name, OutputKind& kind, std::string& error);
// Whether an output of `kind` takes the pictures, and the sound (null takes both, to discard).
bool TakesPictures(OutputKind kind);
bool TakesSound(OutputKind kind);

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
    std::string preset = "medium";  // libx264's and libx265's
    int crf = 18;                   // for encoders that have a constant rate factor, without a bitrate
    bool lossless = false;          // a lossless codec even where libx264 is there
    // An FFmpeg encoder by name; empty: libx264 where the container holds H.264, else the
    // container's own.
    std::string video_encoder;
    int64_t video_bitrate = 0;  // bits a second; 0: the encoder's own rate control
    // Empty: 8-bit 4:2:0 where the encoder takes it, else the encoder's first.
    std::string pixel_format;
    int source_bits = 8;  // the input pictures' depth, told when the default writes fewer
    AVRational pixel_aspect{1, 1};  // a pixel's width over its height: the input's, for players
    // The input file's tags (title, location...), carried over as ffmpeg carries them.
    std::vector<std::pair<std::string, std::string>> tags;
    // Clockwise degrees a player turns the pictures by to show them (0, 90, 180, 270): the
    // input's rotation, carried over when its pictures were kept as stored.
    int rotation = 0;
    // Sound (ignored when `sound` is false).
    bool sound = false;
    int32_t sampling_rate = 48000;
    int channels = 2;
    uint64_t channel_mask = 0;  // where they play, as FFmpeg's mask; 0: the usual layout of the count
    // Empty: AAC in .mp4, PCM where the container holds it, else the container's own.
    std::string audio_encoder;
    int64_t audio_bitrate = 0;
    // Left out of the output though the input has them (ffmpeg's -vn, -an).
    bool without_pictures = false;
    bool without_sound = false;
    // Told, in one line, of a choice made for the user (padding to an even size, resampling).
    std::function<void(const std::string&)> notice;
};

// Whether `settings` names encoders, a pixel format and a container that go together, before
// anything is written; false with `error` saying why in one line.
bool CheckOutput(const OutputSettings& settings, std::string& error);

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
    bool OpenVideoEncoder(const AVCodec& codec, AVPixelFormat pixel_format, std::string& error);
    void LayoutFor(const AVCodec& codec, AVChannelLayout& layout) const;
    bool OpenAudioEncoder(const AVCodec& codec, AVSampleFormat sample_format, std::string& error);
    bool Resample(const int16_t* samples, int32_t count, std::string& error);
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
    // Pictures the codes can be written to directly are; others are converted by libswscale
    // from 16-bit 4:4:4 in `deep_`.
    FramePtr deep_;
    ScalePtr scale_;
    int width_ = 0, height_ = 0;  // the pictures' size; the encoder's is padded to whole colour samples
    YcToYuv to_yuv_{ColourSpace::Bt709(false)};  // for the output's matrix, range and depth, made at Open
    ResamplePtr resample_;  // to a sampling rate the sound encoder takes
    FramePtr sound_;
    PacketPtr packet_;
    std::vector<uint8_t> rgb_;
    std::vector<int16_t> pending_;  // interleaved samples waiting for a whole codec frame
    int64_t pictures_written_ = 0;
    int64_t samples_written_ = 0;
    bool finished_ = false;
};

}  // namespace kinetra::media
