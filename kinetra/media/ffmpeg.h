// FFmpeg's libraries for C++: their headers, owners that free what they allocate, and their
// error codes as text.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace kinetra::media {

struct FormatInputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct ResampleFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

using InputPtr = std::unique_ptr<AVFormatContext, FormatInputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleFreer>;
using ResamplePtr = std::unique_ptr<SwrContext, ResampleFreer>;

inline std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// FFmpeg prints nothing of its own (the program keeps it quiet), but its errors often say more
// than their status ("FLV does not support sample rate 48000" for "Function not implemented").
// From this call on, the last error it logs on each thread is kept; the calling thread's is
// forgotten.
void KeepFfmpegErrors();
// The kept error of this thread, taken, or the status's own text when there is none.
std::string FfmpegReason(int code);

}  // namespace kinetra::media

namespace kinetra::media {

// Opens `path` and reads its streams' parameters; false with `error` naming the file.
bool OpenInput(const std::string& path, InputPtr& input, std::string& error);
// Every stream of `input` but `stream` skipped by the demuxer from now on: their packets are not
// read, as ffmpeg skips the streams it does not use.
void ReadOnly(AVFormatContext& input, int stream);
// A decoder for `stream` with `threads` threads (0: as many as the codec likes).
bool OpenDecoder(const AVStream& stream, int threads, CodecPtr& codec, std::string& error);

}  // namespace kinetra::media
