#include "kinetra/media/writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace kinetra::media {
namespace fs = std::filesystem;
namespace {

std::string LowerExtension(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return extension;
}

// A printf-style picture number in the file's name: %d, or %0Nd.
bool HasPictureNumber(const std::string& name) {
    for (size_t at = name.find('%'); at != std::string::npos; at = name.find('%', at + 1)) {
        size_t next = at + 1;
        while (next < name.size() && name[next] >= '0' && name[next] <= '9') ++next;
        if (next < name.size() && name[next] == 'd') return true;
    }
    return false;
}

const AVCodec* LosslessEncoderFor(const AVOutputFormat& format) {
    for (const char* name : {"ffv1", "utvideo"}) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (codec && avformat_query_codec(&format, codec->id, FF_COMPLIANCE_NORMAL) == 1) return codec;
    }
    return nullptr;
}

}  // namespace

bool OutputKindOf(const std::string& name, OutputKind& kind, std::string& error) {
    const std::string extension = LowerExtension(name);
    if (name == "null") {
        kind = OutputKind::kNull;
    } else if (HasPictureNumber(fs::path(name).filename().string()) && extension == ".png") {
        kind = OutputKind::kPictureSequence;
    } else if (extension == ".mp4" || extension == ".mkv" || extension == ".mov") {
        kind = OutputKind::kVideoFile;
    } else if (extension == ".wav") {
        kind = OutputKind::kWave;
    } else {
        error = "cannot tell what to write from the name " + name +
                ": use .mp4, .mkv, .mov, .wav, a PNG pattern such as frame%04d.png, or null";
        return false;
    }
    return true;
}

MediaWriter::~MediaWriter() {
    if (!finished_) Discard();
}

void MediaWriter::Discard() {
    if (output_) {
        if (output_->pb && !(output_->oformat->flags & AVFMT_NOFILE)) avio_closep(&output_->pb);
        avformat_free_context(output_);
        output_ = nullptr;
    }
    std::error_code ignored;
    if (!temporary_.empty()) fs::remove_all(temporary_, ignored);
    temporary_.clear();
}

bool MediaWriter::Fail(std::string& error, const std::string& what, int status) {
    error = what + ": " + AvError(status);
    return false;
}

bool MediaWriter::Open(const OutputSettings& settings, std::string& error) {
    settings_ = settings;
    to_yuv_ = YcToYuv(settings.colour);
    if (!OutputKindOf(settings.path, kind_, error)) return false;
    if (kind_ == OutputKind::kNull) return true;
    const bool pictures = settings.pictures && kind_ != OutputKind::kWave;
    const bool sound = settings.sound && (kind_ == OutputKind::kVideoFile || kind_ == OutputKind::kWave);
    if (!pictures && !sound) {
        error = "nothing to write to " + settings.path + ": " +
                (kind_ == OutputKind::kWave ? "the input has no sound" : "the input has no pictures");
        return false;
    }
    settings_.pictures = pictures;
    settings_.sound = sound;

    const fs::path final_path(settings.path);
    final_folder_ = final_path.parent_path().empty() ? "." : final_path.parent_path().string();
    const std::string tag = ".kinetra-" + std::to_string(getpid()) + ".part";
    std::string target;
    const AVOutputFormat* format = nullptr;
    if (kind_ == OutputKind::kPictureSequence) {
        temporary_ = (fs::path(final_folder_) / tag).string();
        std::error_code failed;
        if (!fs::create_directory(temporary_, failed) || failed) {
            temporary_.clear();
            error = "cannot write " + settings.path + ": " + (failed ? failed.message() : "cannot make a folder there");
            return false;
        }
        target = (fs::path(temporary_) / final_path.filename()).string();
        format = av_guess_format("image2", nullptr, nullptr);
    } else {
        temporary_ = (fs::path(final_folder_) / ("." + final_path.filename().string() + tag)).string();
        target = temporary_;
        format = av_guess_format(nullptr, settings.path.c_str(), nullptr);
    }
    if (!format) {
        error = "FFmpeg has no muxer for " + settings.path;
        return false;
    }
    int status = avformat_alloc_output_context2(&output_, format, nullptr, target.c_str());
    if (status < 0) return Fail(error, "cannot write " + settings.path, status);
    packet_.reset(av_packet_alloc());
    if (settings_.pictures && !OpenVideoEncoder(error)) return false;
    if (settings_.sound && !OpenAudioEncoder(error)) return false;
    if (!(format->flags & AVFMT_NOFILE)) {
        status = avio_open(&output_->pb, target.c_str(), AVIO_FLAG_WRITE);
        if (status < 0) {
            temporary_.clear();  // nothing was made
            return Fail(error, "cannot write " + settings.path, status);
        }
    }
    AVDictionary* options = nullptr;
    if (kind_ == OutputKind::kPictureSequence) av_dict_set(&options, "start_number", "0", 0);
    status = avformat_write_header(output_, &options);
    av_dict_free(&options);
    if (status < 0) return Fail(error, "cannot write " + settings.path, status);
    return true;
}

bool MediaWriter::OpenVideoEncoder(std::string& error) {
    const AVCodec* codec = nullptr;
    // 4:2:0 is what every player plays; an odd size cannot be halved, so it keeps 4:4:4.
    const bool even = settings_.width % 2 == 0 && settings_.height % 2 == 0;
    AVPixelFormat pixel_format = even ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
    AVDictionary* options = nullptr;
    if (kind_ == OutputKind::kPictureSequence) {
        codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
        pixel_format = AV_PIX_FMT_RGB24;
    } else if (!settings_.lossless && (codec = avcodec_find_encoder_by_name("libx264"))) {
        av_dict_set(&options, "preset", settings_.preset.c_str(), 0);
        av_dict_set(&options, "crf", std::to_string(settings_.crf).c_str(), 0);
    } else {
        codec = LosslessEncoderFor(*output_->oformat);
    }
    if (!codec) {
        error = "no encoder for the pictures of " + settings_.path + " (libx264, ffv1 or utvideo)";
        return false;
    }
    video_.reset(avcodec_alloc_context3(codec));
    video_stream_ = avformat_new_stream(output_, nullptr);
    if (!video_ || !video_stream_) {
        av_dict_free(&options);
        error = "out of memory";
        return false;
    }
    AVCodecContext& c = *video_;
    c.width = settings_.width;
    c.height = settings_.height;
    c.pix_fmt = pixel_format;
    c.time_base = av_inv_q(settings_.frame_rate);
    c.framerate = settings_.frame_rate;
    c.sample_aspect_ratio = AVRational{1, 1};
    if (pixel_format != AV_PIX_FMT_RGB24) {
        c.colorspace = settings_.matrix_tag;
        c.color_range = settings_.colour.full_range ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        c.color_primaries = settings_.primaries;
        c.color_trc = settings_.transfer;
    }
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int status = avcodec_open2(&c, codec, &options);
    av_dict_free(&options);
    if (status < 0) return Fail(error, std::string("cannot open the ") + codec->name + " encoder", status);
    status = avcodec_parameters_from_context(video_stream_->codecpar, &c);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    video_stream_->time_base = c.time_base;
    video_stream_->avg_frame_rate = settings_.frame_rate;
    picture_.reset(av_frame_alloc());
    picture_->format = pixel_format;
    picture_->width = c.width;
    picture_->height = c.height;
    status = av_frame_get_buffer(picture_.get(), 0);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    return true;
}

bool MediaWriter::OpenAudioEncoder(std::string& error) {
    const bool aac = LowerExtension(settings_.path) == ".mp4";
    const AVCodec* codec = avcodec_find_encoder(aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_PCM_S16LE);
    if (!codec) {
        error = std::string("no ") + (aac ? "AAC" : "PCM") + " encoder for the sound of " + settings_.path;
        return false;
    }
    audio_.reset(avcodec_alloc_context3(codec));
    audio_stream_ = avformat_new_stream(output_, nullptr);
    if (!audio_ || !audio_stream_) {
        error = "out of memory";
        return false;
    }
    AVCodecContext& c = *audio_;
    c.sample_rate = settings_.sampling_rate;
    av_channel_layout_default(&c.ch_layout, settings_.channels);
    c.sample_fmt = aac ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    c.time_base = AVRational{1, settings_.sampling_rate};
    if (aac) c.bit_rate = 96000 * settings_.channels;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int status = avcodec_open2(&c, codec, nullptr);
    if (status < 0) return Fail(error, std::string("cannot open the ") + codec->name + " encoder", status);
    status = avcodec_parameters_from_context(audio_stream_->codecpar, &c);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    audio_stream_->time_base = c.time_base;
    sound_.reset(av_frame_alloc());
    sound_->format = c.sample_fmt;
    sound_->nb_samples = c.frame_size > 0 ? c.frame_size : 1024;
    sound_->sample_rate = c.sample_rate;
    status = av_channel_layout_copy(&sound_->ch_layout, &c.ch_layout);
    if (status >= 0) status = av_frame_get_buffer(sound_.get(), 0);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    return true;
}

std::string MediaWriter::codecs() const {
    std::string names;
    if (video_) names = video_->codec->name;
    if (audio_) names += std::string(names.empty() ? "" : " + ") + audio_->codec->name;
    return names;
}

bool MediaWriter::Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& error) {
    int status = avcodec_send_frame(codec, frame);
    if (status < 0) return Fail(error, std::string("the ") + codec->codec->name + " encoder failed", status);
    for (;;) {
        status = avcodec_receive_packet(codec, packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) return Fail(error, std::string("the ") + codec->codec->name + " encoder failed", status);
        av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        status = av_interleaved_write_frame(output_, packet_.get());
        if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    }
}

bool MediaWriter::WritePicture(const YcPicture& picture, std::string& error) {
    if (!video_) return true;
    int status = av_frame_make_writable(picture_.get());
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    AVFrame& frame = *picture_;
    if (frame.format == AV_PIX_FMT_RGB24) {
        YcToRgb24(picture, frame.data[0], frame.linesize[0]);
    } else {
        PlanarPicture planes;
        for (int c = 0; c < 3; ++c) {
            planes.planes[c] = frame.data[c];
            planes.strides[c] = frame.linesize[c];
        }
        planes.width = frame.width;
        planes.height = frame.height;
        planes.shift_x = planes.shift_y = frame.format == AV_PIX_FMT_YUV420P ? 1 : 0;
        to_yuv_.Convert(picture, planes);
    }
    frame.pts = pictures_written_++;
    return Encode(video_.get(), video_stream_, &frame, error);
}

bool MediaWriter::EncodeSound(int count, std::string& error) {
    int status = av_frame_make_writable(sound_.get());
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    AVFrame& frame = *sound_;
    const int channels = settings_.channels;
    const int16_t* in = pending_.data();
    if (frame.format == AV_SAMPLE_FMT_S16) {
        std::memcpy(frame.data[0], in, static_cast<size_t>(count) * channels * sizeof(int16_t));
    } else {  // planar float
        for (int ch = 0; ch < channels; ++ch) {
            float* out = reinterpret_cast<float*>(frame.extended_data[ch]);
            for (int i = 0; i < count; ++i) out[i] = in[i * channels + ch] * (1.0f / 32768.0f);
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(count) * channels);
    const int full = frame.nb_samples;
    frame.nb_samples = count;
    frame.pts = samples_written_;
    samples_written_ += count;
    const bool done = Encode(audio_.get(), audio_stream_, &frame, error);
    frame.nb_samples = full;
    return done;
}

bool MediaWriter::WriteSound(const int16_t* samples, int32_t count, std::string& error) {
    if (!audio_ || count <= 0) return true;
    pending_.insert(pending_.end(), samples, samples + static_cast<ptrdiff_t>(count) * settings_.channels);
    const int frame_size = sound_->nb_samples;
    while (static_cast<int64_t>(pending_.size()) >= int64_t{frame_size} * settings_.channels) {
        if (!EncodeSound(frame_size, error)) return false;
    }
    return true;
}

bool MediaWriter::Finish(std::string& error) {
    if (kind_ == OutputKind::kNull) {
        finished_ = true;
        return true;
    }
    if (audio_ && !pending_.empty()) {
        const int count = static_cast<int>(pending_.size() / settings_.channels);
        // A codec that takes only whole frames gets its last one padded with silence.
        if (!(audio_->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE))) {
            pending_.resize(static_cast<size_t>(sound_->nb_samples) * settings_.channels, 0);
            if (!EncodeSound(sound_->nb_samples, error)) return false;
        } else if (!EncodeSound(count, error)) {
            return false;
        }
    }
    if (video_ && !Encode(video_.get(), video_stream_, nullptr, error)) return false;
    if (audio_ && !Encode(audio_.get(), audio_stream_, nullptr, error)) return false;
    int status = av_write_trailer(output_);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    if (output_->pb && !(output_->oformat->flags & AVFMT_NOFILE)) {
        status = avio_closep(&output_->pb);
        if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    }
    std::error_code failed;
    if (kind_ == OutputKind::kPictureSequence) {
        for (const auto& entry : fs::directory_iterator(temporary_, failed)) {
            fs::rename(entry.path(), fs::path(final_folder_) / entry.path().filename(), failed);
            if (failed) break;
        }
    } else {
        fs::rename(temporary_, settings_.path, failed);
    }
    if (failed) {
        error = "cannot write " + settings_.path + ": " + failed.message();
        return false;
    }
    avformat_free_context(output_);
    output_ = nullptr;
    std::error_code ignored;
    fs::remove_all(temporary_, ignored);
    temporary_.clear();
    finished_ = true;
    return true;
}

}  // namespace kinetra::media
