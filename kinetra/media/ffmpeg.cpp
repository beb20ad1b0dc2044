#include "kinetra/media/ffmpeg.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

namespace {

// The lowest number of a picture sequence's files, for a `pattern` (img%03d.png) whose files
// start past 4: FFmpeg's reader looks for the first one among 0 to 4 alone. -1 when none matches.
int64_t FirstPictureNumber(const std::string& pattern) {
    const std::filesystem::path folder = std::filesystem::path(pattern).parent_path();
    const std::string name = std::filesystem::path(pattern).filename().string();
    const size_t percent = name.find('%');
    if (percent == std::string::npos) return -1;
    const std::string prefix = name.substr(0, percent);
    int64_t first = -1;
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, failed)) {
        const std::string file = entry.path().filename().string();
        if (file.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long long number = std::strtoll(file.c_str() + prefix.size(), &end, 10);
        char expected[1024];
        if (end == file.c_str() + prefix.size() || number < 0 || (first >= 0 && number >= first) ||
            av_get_frame_filename2(expected, sizeof expected, name.c_str(), static_cast<int>(number), 0) < 0 ||
            file != expected) {
            continue;
        }
        first = number;
    }
    return first;
}

}  // namespace

bool OpenInput(const std::string& path, InputPtr& input, std::string& error) {
    AVFormatContext* context = nullptr;
    int status = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
    if (status == AVERROR(ENOENT) && path.find('%') != std::string::npos) {
        if (const int64_t first = FirstPictureNumber(path); first >= 0 && first <= INT32_MAX) {
            AVDictionary* options = nullptr;
            av_dict_set_int(&options, "start_number", first, 0);
            status = avformat_open_input(&context, path.c_str(), nullptr, &options);
            av_dict_free(&options);
        }
    }
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

void ReadOnly(AVFormatContext& input, int stream) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (static_cast<int>(i) != stream) input.streams[i]->discard = AVDISCARD_ALL;
    }
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
