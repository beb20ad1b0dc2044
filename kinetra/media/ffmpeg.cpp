#include "kinetra/media/ffmpeg.h"

namespace kinetra::media {

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
