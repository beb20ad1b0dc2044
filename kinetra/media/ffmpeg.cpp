#include "kinetra/media/ffmpeg.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace kinetra::media {
namespace {

thread_local std::string t_last_error;

void KeepError(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    vsnprintf(line, sizeof line, format, arguments);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '.')) text.pop_back();
    if (!text.empty()) t_last_error = text;
}

}  // namespace

void KeepFfmpegErrors() {
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(KeepError); });
    t_last_error.clear();
}

std::string FfmpegReason(int code) {
    std::string reason = t_last_error.empty() ? AvError(code) : t_last_error;
    t_last_error.clear();
    return reason;
}

bool OpenInput(const std::string& path, InputPtr& input, std::string& error) {
    AVFormatContext* context = nullptr;
    int status = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
    if (status < 0) {
        error = "cannot open " + path + ": " + AvError(status);
        return false;
    }
    input.reset(context);
    status = avformat_find_stream_info(context, nullptr);
    if (status < 0) {
        error = "cannot read the streams of " + path + ": " + AvError(status);
        return false;
    }
    return true;
}

bool OpenDecoder(const AVStream& stream, int threads, CodecPtr& codec, std::string& error) {
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!decoder) {
        error = std::string("no decoder for its ") + avcodec_get_name(stream.codecpar->codec_id) + " stream";
        return false;
    }
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec) {
        error = "out of memory";
        return false;
    }
    int status = avcodec_parameters_to_context(codec.get(), stream.codecpar);
    if (status >= 0) {
        codec->thread_count = threads;
        codec->pkt_timebase = stream.time_base;
        status = avcodec_open2(codec.get(), decoder, nullptr);
    }
    if (status < 0) {
        error = std::string("cannot open the ") + decoder->name + " decoder: " + AvError(status);
        return false;
    }
    return true;
}

}  // namespace kinetra::media
