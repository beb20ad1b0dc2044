#include "kinetra/media/writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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

bool Holds(const AVOutputFormat& format, const AVCodec& codec) {
    return avformat_query_codec(&format, codec.id, FF_COMPLIANCE_NORMAL) == 1;
}

const AVCodec* LosslessEncoderFor(const AVOutputFormat& format) {
    for (const char* name : {"ffv1", "utvideo"}) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (codec && Holds(format, *codec)) return codec;
    }
    return nullptr;
}

bool Takes(const AVCodec& codec, AVPixelFormat format) {
    if (!codec.pix_fmts) return true;
    for (const AVPixelFormat* f = codec.pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == format) return true;
    }
    return false;
}

// The first of the pixel formats `codec` takes, for a message of one line.
std::string PixelFormatsOf(const AVCodec& codec) {
    std::string names;
    int count = 0;
    for (const AVPixelFormat* f = codec.pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f, ++count) {
        if (count == 8) return names + " ...";
        names += std::string(names.empty() ? "" : " ") + av_get_pix_fmt_name(*f);
    }
    return names;
}

// The sample formats the writer fills from 16-bit samples, in the order it prefers them.
constexpr AVSampleFormat kSampleFormats[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_FLTP,
                                             AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S32,  AV_SAMPLE_FMT_S32P};

AVSampleFormat SampleFormatFor(const AVCodec& codec) {
    for (AVSampleFormat wanted : kSampleFormats) {
        if (!codec.sample_fmts) return wanted;
        for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == wanted) return wanted;
        }
    }
    return AV_SAMPLE_FMT_NONE;
}

// The rate `codec` takes nearest above `rate` (or its highest): `rate` itself when it takes it.
int SamplingRateFor(const AVCodec& codec, int rate) {
    int above = 0, highest = 0;
    for (const int* r = codec.supported_samplerates; r && *r; ++r) {
        if (*r == rate) return rate;
        if (*r > rate && (above == 0 || *r < above)) above = *r;
        highest = std::max(highest, *r);
    }
    return above ? above : highest ? highest : rate;
}

// Planar Y'CbCr of one depth, at most 2:1 either way, in the machine's byte order: the codes
// the colour map writes itself. Anything else goes through libswscale.
bool WrittenDirectly(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    const uint64_t foreign = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                             AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_ALPHA;
    if (!d || d->nb_components != 3 || (d->flags & foreign) || !(d->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
    if (d->log2_chroma_w > 1 || d->log2_chroma_h > 1 || std::string(d->name).rfind("yuvj", 0) == 0) return false;
    const bool big_endian = (d->flags & AV_PIX_FMT_FLAG_BE) != 0;
    if (d->comp[0].depth > 8 && big_endian != (AV_NE(1, 0) == 1)) return false;
    for (int c = 0; c < 3; ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        if (comp.plane != c || comp.shift || comp.offset || comp.depth != d->comp[0].depth ||
            comp.step != (comp.depth > 8 ? 2 : 1) || comp.depth > 16) {
            return false;
        }
    }
    return true;
}

// Full-range codes whatever the input's range: R'G'B' and the JPEG-range Y'CbCr formats.
bool FullRangeFormat(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && ((d->flags & AV_PIX_FMT_FLAG_RGB) || std::string(d->name).rfind("yuvj", 0) == 0);
}

// Repeats the last column and row of each plane of a planar `frame` holding a `width` x
// `height` picture over the padding up to the frame's own size.
void RepeatEdges(AVFrame& frame, int width, int height) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    for (int c = 0; c < 3; ++c) {
        const int sx = c ? d->log2_chroma_w : 0, sy = c ? d->log2_chroma_h : 0, bytes = d->comp[c].step;
        const int used_w = -((-width) >> sx), used_h = -((-height) >> sy);
        const int full_w = frame.width >> sx, full_h = frame.height >> sy;
        uint8_t* plane = frame.data[d->comp[c].plane];
        const int stride = frame.linesize[d->comp[c].plane];
        for (int y = 0; y < used_h; ++y) {
            uint8_t* row = plane + static_cast<ptrdiff_t>(y) * stride;
            for (int x = used_w; x < full_w; ++x) std::memcpy(row + x * bytes, row + (used_w - 1) * bytes, bytes);
        }
        for (int y = used_h; y < full_h; ++y) {
            std::memcpy(plane + static_cast<ptrdiff_t>(y) * stride, plane + static_cast<ptrdiff_t>(used_h - 1) * stride,
                        static_cast<size_t>(full_w) * bytes);
        }
    }
}

// What an output is written with: its container, encoders and the pictures' and sound's formats.
struct Encoders {
    const AVOutputFormat* format = nullptr;
    const AVCodec* video = nullptr;
    AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
    const AVCodec* audio = nullptr;
    AVSampleFormat sample_format = AV_SAMPLE_FMT_NONE;
};

bool ChooseVideo(const OutputSettings& s, OutputKind kind, Encoders& e, std::string& error) {
    const std::string extension = LowerExtension(s.path);
    const bool pictures = kind == OutputKind::kPictureSequence || kind == OutputKind::kPicture;
    if (pictures) {
        // As every viewer reads them: PNG as R'G'B', JPEG as full-range 4:2:0.
        const bool png = extension == ".png";
        e.video = avcodec_find_encoder(png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
        e.pixel_format = png ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_YUVJ420P;
        if (!e.video) {
            error = "FFmpeg has no encoder for " + extension + " pictures";
            return false;
        }
        if ((!s.video_encoder.empty() && s.video_encoder != e.video->name) ||
            (!s.pixel_format.empty() && av_get_pix_fmt(s.pixel_format.c_str()) != e.pixel_format)) {
            error = std::string(png ? "PNG" : "JPEG") + " pictures are written by the " + e.video->name + " encoder as " +
                    av_get_pix_fmt_name(e.pixel_format) + ": -c:v and -pix_fmt do not apply";
            return false;
        }
    } else if (!s.video_encoder.empty()) {
        if (s.lossless) {
            error = "--lossless and -c:v both choose the video encoder: give one of them";
            return false;
        }
        if (s.video_encoder == "copy") {
            error = "-c:v copy: the pictures go through the plug-ins and are encoded again: name an encoder";
            return false;
        }
        e.video = avcodec_find_encoder_by_name(s.video_encoder.c_str());
        if (!e.video || e.video->type != AVMEDIA_TYPE_VIDEO) {
            error = "-c:v " + s.video_encoder + ": FFmpeg has no video encoder by that name (ffmpeg -encoders lists them)";
            return false;
        }
        if (avformat_query_codec(e.format, e.video->id, FF_COMPLIANCE_NORMAL) == 0) {
            error = "-c:v " + s.video_encoder + ": " + extension + " cannot hold " + avcodec_get_name(e.video->id) +
                    " (.mkv holds most)";
            return false;
        }
    } else if (s.lossless) {
        if (!(e.video = LosslessEncoderFor(*e.format))) {
            error = "--lossless needs .mkv or .avi: " + extension + " holds neither FFV1 nor Ut Video";
            return false;
        }
    } else {
        e.video = avcodec_find_encoder_by_name("libx264");
        if (!e.video || !Holds(*e.format, *e.video)) e.video = avcodec_find_encoder(e.format->video_codec);
        if (!e.video) {
            error = "no video encoder for " + s.path + ": name one with -c:v";
            return false;
        }
    }
    if (pictures) return true;
    if (!s.pixel_format.empty()) {
        e.pixel_format = av_get_pix_fmt(s.pixel_format.c_str());
        if (e.pixel_format == AV_PIX_FMT_NONE) {
            error = "-pix_fmt " + s.pixel_format + ": no such pixel format (ffmpeg -pix_fmts lists them)";
            return false;
        }
        if (!Takes(*e.video, e.pixel_format)) {
            error = "-pix_fmt " + s.pixel_format + ": " + e.video->name + " takes " + PixelFormatsOf(*e.video);
            return false;
        }
    } else {
        // 4:2:0 is what every player plays: the first of its two forms the encoder lists, since
        // the JPEG encoders list their full-range one first and refuse limited-range yuv420p.
        e.pixel_format = e.video->pix_fmts ? e.video->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        for (const AVPixelFormat* f = e.video->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f) {
            if (*f == AV_PIX_FMT_YUV420P || *f == AV_PIX_FMT_YUVJ420P) {
                e.pixel_format = *f;
                break;
            }
        }
    }
    if (!WrittenDirectly(e.pixel_format) && !sws_isSupportedOutput(e.pixel_format)) {
        error = std::string(e.video->name) + ": the pictures cannot be converted to " + av_get_pix_fmt_name(e.pixel_format);
        return false;
    }
    return true;
}

bool ChooseAudio(const OutputSettings& s, Encoders& e, std::string& error) {
    const std::string extension = LowerExtension(s.path);
    if (!s.audio_encoder.empty()) {
        if (s.audio_encoder == "copy") {
            error = "-c:a copy: the sound goes through the sound plug-in and is encoded again: name an encoder";
            return false;
        }
        e.audio = avcodec_find_encoder_by_name(s.audio_encoder.c_str());
        if (!e.audio || e.audio->type != AVMEDIA_TYPE_AUDIO) {
            error = "-c:a " + s.audio_encoder + ": FFmpeg has no sound encoder by that name (ffmpeg -encoders lists them)";
            return false;
        }
        if (avformat_query_codec(e.format, e.audio->id, FF_COMPLIANCE_NORMAL) == 0) {
            error = "-c:a " + s.audio_encoder + ": " + extension + " cannot hold " + avcodec_get_name(e.audio->id) +
                    " (.mkv holds most)";
            return false;
        }
    } else if (extension == ".mp4") {
        e.audio = avcodec_find_encoder(AV_CODEC_ID_AAC);
    } else {
        e.audio = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        if (!e.audio || !Holds(*e.format, *e.audio)) e.audio = avcodec_find_encoder(e.format->audio_codec);
    }
    if (!e.audio) {
        error = "no sound encoder for " + s.path + ": name one with -c:a";
        return false;
    }
    e.sample_format = SampleFormatFor(*e.audio);
    if (e.sample_format == AV_SAMPLE_FMT_NONE) {
        error = std::string("-c:a ") + e.audio->name + ": it takes no sample format of 16 or 32 bits";
        return false;
    }
    return true;
}

// The encoders for what `settings` holds (its pictures and sound already matched to `kind`).
bool ChooseEncoders(const OutputSettings& settings, OutputKind kind, Encoders& e, std::string& error) {
    const bool pictures = kind == OutputKind::kPictureSequence || kind == OutputKind::kPicture;
    e.format = pictures ? av_guess_format("image2", nullptr, nullptr) : av_guess_format(nullptr, settings.path.c_str(), nullptr);
    if (!e.format) {
        error = "FFmpeg has no muxer for " + settings.path;
        return false;
    }
    if (settings.pictures && !ChooseVideo(settings, kind, e, error)) return false;
    return !settings.sound || ChooseAudio(settings, e, error);
}

// `settings` with pictures and sound kept only where `kind` holds them; false when neither is.
bool MatchToKind(OutputSettings& settings, OutputKind kind, std::string& error) {
    settings.pictures = settings.pictures && TakesPictures(kind) && !settings.without_pictures;
    settings.sound = settings.sound && TakesSound(kind) && !settings.without_sound;
    if (kind == OutputKind::kNull || settings.pictures || settings.sound) return true;
    error = "nothing to write to " + settings.path + ": " +
            (settings.without_pictures || settings.without_sound ? "-vn and -an leave out what the input has"
             : kind == OutputKind::kSoundFile                   ? "the input has no sound"
                                                                : "the input has no pictures");
    return false;
}

}  // namespace

bool OutputKindOf(const std::string& name, OutputKind& kind, std::string& error) {
    const std::string extension = LowerExtension(name);
    const AVOutputFormat* format = av_guess_format(nullptr, name.c_str(), nullptr);
    const bool picture = extension == ".png" || extension == ".jpg" || extension == ".jpeg";
    if (name == "-" || name.rfind("pipe:", 0) == 0) {
        // An output is written aside and renamed once whole, so that no half of one is left.
        error = name + ": standard output cannot be written: name a file (or null to discard)";
        return false;
    } else if (name == "null") {
        kind = OutputKind::kNull;
    } else if (picture && HasPictureNumber(fs::path(name).filename().string())) {
        kind = OutputKind::kPictureSequence;
    } else if (picture) {
        kind = OutputKind::kPicture;
    } else if (!format || (format->flags & AVFMT_NOFILE) || std::string(format->name) == "image2") {
        error = "cannot tell what to write from the name " + name +
                ": use a container FFmpeg writes (.mp4, .mkv, .mov, .webm, .wav...), a .png or .jpg picture, a "
                "pattern such as frame%04d.png, or null";
        return false;
    } else {
        // Sound containers that take a picture only as cover art (.flac, .mp3, .aiff) are sound files.
        const bool sound_alone = format->video_codec == AV_CODEC_ID_NONE || format->video_codec == AV_CODEC_ID_PNG;
        kind = sound_alone                                ? OutputKind::kSoundFile
               : format->audio_codec == AV_CODEC_ID_NONE ? OutputKind::kSilentVideoFile
                                                          : OutputKind::kVideoFile;
    }
    return true;
}

bool TakesPictures(OutputKind kind) { return kind != OutputKind::kSoundFile; }
bool TakesSound(OutputKind kind) {
    return kind == OutputKind::kVideoFile || kind == OutputKind::kSoundFile || kind == OutputKind::kNull;
}

bool CheckOutput(const OutputSettings& settings, std::string& error) {
    OutputKind kind;
    OutputSettings matched = settings;
    Encoders encoders;
    return OutputKindOf(settings.path, kind, error) && MatchToKind(matched, kind, error) &&
           (kind == OutputKind::kNull || ChooseEncoders(matched, kind, encoders, error));
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
    error = what + ": " + FfmpegReason(status);
    return false;
}

bool MediaWriter::Open(const OutputSettings& settings, std::string& error) {
    settings_ = settings;
    if (!OutputKindOf(settings.path, kind_, error) || !MatchToKind(settings_, kind_, error)) return false;
    if (kind_ == OutputKind::kNull) return true;
    KeepFfmpegErrors();
    Encoders encoders;
    if (!ChooseEncoders(settings_, kind_, encoders, error)) return false;

    const fs::path final_path(settings.path);
    final_folder_ = final_path.parent_path().empty() ? "." : final_path.parent_path().string();
    const std::string tag = ".kinetra-" + std::to_string(getpid()) + ".part";
    std::string target;
    if (kind_ == OutputKind::kPictureSequence) {
        temporary_ = (fs::path(final_folder_) / tag).string();
        std::error_code failed;
        if (!fs::create_directory(temporary_, failed) || failed) {
            temporary_.clear();
            error = "cannot write " + settings.path + ": " + (failed ? failed.message() : "cannot make a folder there");
            return false;
        }
        target = (fs::path(temporary_) / final_path.filename()).string();
    } else {
        temporary_ = (fs::path(final_folder_) / ("." + final_path.filename().string() + tag)).string();
        target = temporary_;
    }
    const AVOutputFormat* format = encoders.format;
    int status = avformat_alloc_output_context2(&output_, format, nullptr, target.c_str());
    if (status < 0) return Fail(error, "cannot write " + settings.path, status);
    packet_.reset(av_packet_alloc());
    if (settings_.pictures && !OpenVideoEncoder(*encoders.video, encoders.pixel_format, error)) return false;
    if (settings_.sound && !OpenAudioEncoder(*encoders.audio, encoders.sample_format, error)) return false;
    if (!(format->flags & AVFMT_NOFILE)) {
        status = avio_open(&output_->pb, target.c_str(), AVIO_FLAG_WRITE);
        if (status < 0) {
            temporary_.clear();  // nothing was made
            return Fail(error, "cannot write " + settings.path, status);
        }
    }
    // As ffmpeg does, all but the input's times and makers: this file is made now, by FFmpeg.
    for (const auto& [key, value] : settings_.tags) {
        if (key != "creation_time" && key != "encoder" && key != "major_brand" && key != "minor_version" &&
            key != "compatible_brands") {
            av_dict_set(&output_->metadata, key.c_str(), value.c_str(), 0);
        }
    }
    AVDictionary* options = nullptr;
    if (kind_ == OutputKind::kPictureSequence) av_dict_set(&options, "start_number", "0", 0);
    if (kind_ == OutputKind::kPicture) av_dict_set(&options, "update", "1", 0);  // the name as it is, no number
    status = avformat_write_header(output_, &options);
    av_dict_free(&options);
    if (status == AVERROR_EXPERIMENTAL) {
        error = "cannot write " + settings.path + ": FFmpeg holds " + codecs() + " in " + LowerExtension(settings.path) +
                " only as an experiment; .mkv holds them";
        return false;
    }
    if (status < 0) return Fail(error, "cannot write " + settings.path, status);
    return true;
}

bool MediaWriter::OpenVideoEncoder(const AVCodec& codec, AVPixelFormat pixel_format, std::string& error) {
    AVDictionary* options = nullptr;
    const std::string name = codec.name;
    if (name == "libx264" || name == "libx265") av_dict_set(&options, "preset", settings_.preset.c_str(), 0);
    if (name == "libx265") av_dict_set(&options, "x265-params", "log-level=error", 0);  // it logs on its own
    if (name == "libsvtav1") setenv("SVT_LOG", "1", 0);  // so does it, unless the user says otherwise
    if (settings_.video_bitrate == 0 &&
        av_opt_find(const_cast<AVClass**>(&codec.priv_class), "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr) {
        av_dict_set(&options, "crf", std::to_string(settings_.crf).c_str(), 0);
    }
    video_.reset(avcodec_alloc_context3(&codec));
    video_stream_ = avformat_new_stream(output_, nullptr);
    if (!video_ || !video_stream_) {
        av_dict_free(&options);
        error = "out of memory";
        return false;
    }
    // A size the colour samples do not divide is padded to whole ones, the edge repeated.
    const AVPixFmtDescriptor& d = *av_pix_fmt_desc_get(pixel_format);
    const auto whole = [](int size, int shift) { return ((size + (1 << shift) - 1) >> shift) << shift; };
    width_ = settings_.width;
    height_ = settings_.height;
    AVCodecContext& c = *video_;
    c.width = whole(width_, d.log2_chroma_w);
    c.height = whole(height_, d.log2_chroma_h);
    if ((c.width != width_ || c.height != height_) && settings_.notice) {
        settings_.notice(std::to_string(width_) + "x" + std::to_string(height_) + " written as " +
                         std::to_string(c.width) + "x" + std::to_string(c.height) + ", the edge repeated: " +
                         d.name + " needs an even size (-pix_fmt yuv444p keeps the size, in fewer players)");
    }
    // Deeper pictures written at 8 bits by default, where the encoder could keep more: said.
    if (settings_.pixel_format.empty() && settings_.source_bits > 8 && d.comp[0].depth == 8 &&
        pixel_format != AV_PIX_FMT_RGB24 && Takes(codec, AV_PIX_FMT_YUV420P10LE) && settings_.notice) {
        settings_.notice(std::to_string(settings_.source_bits) + "-bit pictures written as " + d.name + ", which " +
                         "every player plays (-pix_fmt yuv420p10le keeps 10 bits)");
    }
    c.pix_fmt = pixel_format;
    c.time_base = av_inv_q(settings_.frame_rate);
    c.framerate = settings_.frame_rate;
    c.sample_aspect_ratio = settings_.pixel_aspect;
    c.bit_rate = settings_.video_bitrate;
    if (codec.id == AV_CODEC_ID_MJPEG && settings_.video_bitrate == 0) {
        // JPEG's own rate control aims at 200 kb/s, which blurs a still: a fine quantiser instead.
        c.flags |= AV_CODEC_FLAG_QSCALE;
        c.global_quality = FF_QP2LAMBDA * 2;
    }
    if (pixel_format != AV_PIX_FMT_RGB24) {
        const bool full = FullRangeFormat(pixel_format);
        c.colorspace = (d.flags & AV_PIX_FMT_FLAG_RGB) ? AVCOL_SPC_RGB : settings_.matrix_tag;
        c.color_range = full || settings_.colour.full_range ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        c.color_primaries = settings_.primaries;
        c.color_trc = settings_.transfer;
    }
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int status = avcodec_open2(&c, &codec, &options);
    av_dict_free(&options);
    if (status < 0) return Fail(error, "cannot open the " + name + " encoder", status);
    status = avcodec_parameters_from_context(video_stream_->codecpar, &c);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    if (settings_.rotation) {
        auto* matrix = reinterpret_cast<int32_t*>(
            av_stream_new_side_data(video_stream_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
        if (!matrix) return Fail(error, "cannot write " + settings_.path, AVERROR(ENOMEM));
        av_display_rotation_set(matrix, settings_.rotation);  // read back as this clockwise turn
    }
    video_stream_->time_base = c.time_base;
    video_stream_->avg_frame_rate = settings_.frame_rate;
    video_stream_->sample_aspect_ratio = c.sample_aspect_ratio;  // for containers that say it, not the codec

    const auto frame = [&c](AVPixelFormat format) {
        FramePtr made(av_frame_alloc());
        if (!made) return made;
        made->format = format;
        made->width = c.width;
        made->height = c.height;
        if (av_frame_get_buffer(made.get(), 0) < 0) made.reset();
        return made;
    };
    picture_ = frame(pixel_format);
    if (!picture_) return Fail(error, "cannot write " + settings_.path, AVERROR(ENOMEM));
    if (pixel_format == AV_PIX_FMT_RGB24) return true;
    if (WrittenDirectly(pixel_format)) {
        to_yuv_ = YcToYuv(settings_.colour, d.comp[0].depth);
        return true;
    }
    // Converted by libswscale from 16-bit codes of the input's matrix and range.
    to_yuv_ = YcToYuv(settings_.colour, 16);
    deep_ = frame(AV_PIX_FMT_YUV444P16);
    scale_.reset(sws_getContext(c.width, c.height, AV_PIX_FMT_YUV444P16, c.width, c.height, pixel_format,
                                SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
    if (!deep_ || !scale_) return Fail(error, "cannot convert the pictures to " + std::string(d.name), AVERROR(ENOMEM));
    // An untagged output holds BT.601 codes, as an untagged input is read.
    const int* matrix = sws_getCoefficients(settings_.matrix_tag == AVCOL_SPC_UNSPECIFIED ? SWS_CS_ITU601
                                                                                          : settings_.matrix_tag);
    sws_setColorspaceDetails(scale_.get(), matrix, settings_.colour.full_range, matrix,
                             c.color_range == AVCOL_RANGE_JPEG, 0, 1 << 16, 1 << 16);
    return true;
}

// The channels' layout written: the input's where the encoder takes it, else the usual one for
// their count, with a notice (ALAC holds 4.0 but no quad, for one).
void MediaWriter::LayoutFor(const AVCodec& codec, AVChannelLayout& layout) const {
    av_channel_layout_default(&layout, settings_.channels);
    AVChannelLayout own{};
    if (!settings_.channel_mask || av_channel_layout_from_mask(&own, settings_.channel_mask) < 0 ||
        own.nb_channels != settings_.channels || !av_channel_layout_compare(&own, &layout)) {
        return;
    }
    bool takes = !codec.ch_layouts;
    for (const AVChannelLayout* l = codec.ch_layouts; l && l->nb_channels; ++l) takes |= !av_channel_layout_compare(l, &own);
    if (takes) {
        av_channel_layout_copy(&layout, &own);
    } else if (settings_.notice) {
        char kept[64] = {}, written[64] = {};
        av_channel_layout_describe(&own, kept, sizeof kept);
        av_channel_layout_describe(&layout, written, sizeof written);
        settings_.notice(std::string(kept) + " sound written as " + written + ": " + codec.name + " holds no " + kept);
    }
}

bool MediaWriter::OpenAudioEncoder(const AVCodec& codec, AVSampleFormat sample_format, std::string& error) {
    audio_.reset(avcodec_alloc_context3(&codec));
    audio_stream_ = avformat_new_stream(output_, nullptr);
    if (!audio_ || !audio_stream_) {
        error = "out of memory";
        return false;
    }
    AVCodecContext& c = *audio_;
    c.sample_rate = SamplingRateFor(codec, settings_.sampling_rate);
    LayoutFor(codec, c.ch_layout);
    c.sample_fmt = sample_format;
    c.time_base = AVRational{1, c.sample_rate};
    c.bit_rate = settings_.audio_bitrate;
    if (c.bit_rate == 0 && codec.id == AV_CODEC_ID_AAC) c.bit_rate = 96000 * settings_.channels;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int status = avcodec_open2(&c, &codec, nullptr);
    if (status < 0) return Fail(error, std::string("cannot open the ") + codec.name + " encoder", status);
    status = avcodec_parameters_from_context(audio_stream_->codecpar, &c);
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    audio_stream_->time_base = c.time_base;
    if (c.sample_rate != settings_.sampling_rate) {
        SwrContext* made = nullptr;
        status = swr_alloc_set_opts2(&made, &c.ch_layout, AV_SAMPLE_FMT_S16, c.sample_rate, &c.ch_layout,
                                     AV_SAMPLE_FMT_S16, settings_.sampling_rate, 0, nullptr);
        resample_.reset(made);
        if (status >= 0) status = swr_init(made);
        if (status < 0) return Fail(error, "cannot resample the sound", status);
        if (settings_.notice) {
            settings_.notice(std::string(codec.name) + " takes no " + std::to_string(settings_.sampling_rate) +
                             " Hz sound: resampled to " + std::to_string(c.sample_rate) + " Hz");
        }
    }
    sound_.reset(av_frame_alloc());
    if (!sound_) return Fail(error, "cannot write " + settings_.path, AVERROR(ENOMEM));
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
    if (kind_ == OutputKind::kPicture && pictures_written_ == 1) {
        error = settings_.path + " holds one picture: render one frame, or write a sequence such as frame%04d.png";
        return false;
    }
    int status = av_frame_make_writable(picture_.get());
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    AVFrame& frame = *picture_;
    if (frame.format == AV_PIX_FMT_RGB24) {
        YcToRgb24(picture, frame.data[0], frame.linesize[0]);
    } else {
        AVFrame& codes = deep_ ? *deep_ : frame;
        const AVPixFmtDescriptor& d = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(codes.format));
        PlanarPicture planes;
        for (int c = 0; c < 3; ++c) {
            planes.planes[c] = codes.data[c];
            planes.strides[c] = codes.linesize[c];
        }
        planes.width = codes.width;
        planes.height = codes.height;
        planes.shift_x = d.log2_chroma_w;
        planes.shift_y = d.log2_chroma_h;
        to_yuv_.Convert(picture, planes);
        if (codes.width != width_ || codes.height != height_) RepeatEdges(codes, width_, height_);
        if (deep_) {
            status = sws_scale(scale_.get(), deep_->data, deep_->linesize, 0, deep_->height, frame.data, frame.linesize);
            if (status < 0) return Fail(error, "cannot convert the pictures", status);
        }
    }
    frame.pts = pictures_written_++;
    frame.quality = video_->global_quality;  // the fixed quantiser, where one is asked for
    return Encode(video_.get(), video_stream_, &frame, error);
}

bool MediaWriter::EncodeSound(int count, std::string& error) {
    int status = av_frame_make_writable(sound_.get());
    if (status < 0) return Fail(error, "cannot write " + settings_.path, status);
    AVFrame& frame = *sound_;
    const int channels = settings_.channels;
    const int16_t* in = pending_.data();
    const auto fill = [&]<typename Sample>(Sample (*convert)(int16_t)) {
        const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format));
        for (int ch = 0; ch < channels; ++ch) {
            Sample* out = reinterpret_cast<Sample*>(frame.extended_data[planar ? ch : 0]) + (planar ? 0 : ch);
            const int step = planar ? 1 : channels;
            for (int i = 0; i < count; ++i) out[i * step] = convert(in[i * channels + ch]);
        }
    };
    switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format))) {
        case AV_SAMPLE_FMT_S16:
            if (frame.format == AV_SAMPLE_FMT_S16) {
                std::memcpy(frame.data[0], in, static_cast<size_t>(count) * channels * sizeof(int16_t));
            } else {
                fill(+[](int16_t v) { return v; });
            }
            break;
        case AV_SAMPLE_FMT_S32:
            fill(+[](int16_t v) { return static_cast<int32_t>(v * 65536); });
            break;
        default:  // float: the formats offered are only these
            fill(+[](int16_t v) { return v * (1.0f / 32768.0f); });
            break;
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

// Samples at the input's rate into `pending_` at the encoder's; a null `samples` drains the
// resampler.
bool MediaWriter::Resample(const int16_t* samples, int32_t count, std::string& error) {
    if (!resample_) {
        if (samples) pending_.insert(pending_.end(), samples, samples + static_cast<ptrdiff_t>(count) * settings_.channels);
        return true;
    }
    const int room = swr_get_out_samples(resample_.get(), samples ? count : 0);
    if (room < 0) return Fail(error, "cannot resample the sound", room);
    const size_t before = pending_.size();
    pending_.resize(before + static_cast<size_t>(room) * settings_.channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(pending_.data() + before);
    const uint8_t* in = reinterpret_cast<const uint8_t*>(samples);
    const int made = swr_convert(resample_.get(), &out, room, samples ? &in : nullptr, samples ? count : 0);
    if (made < 0) return Fail(error, "cannot resample the sound", made);
    pending_.resize(before + static_cast<size_t>(made) * settings_.channels);
    return true;
}

bool MediaWriter::WriteSound(const int16_t* samples, int32_t count, std::string& error) {
    if (!audio_ || count <= 0) return true;
    if (!Resample(samples, count, error)) return false;
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
    if (audio_ && !Resample(nullptr, 0, error)) return false;
    while (audio_ && pending_.size() >= static_cast<size_t>(sound_->nb_samples) * settings_.channels) {
        if (!EncodeSound(sound_->nb_samples, error)) return false;
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
        // A sequence moved in part is taken away again: no half of one is left under its names.
        std::vector<fs::path> moved;
        for (const auto& entry : fs::directory_iterator(temporary_, failed)) {
            moved.push_back(fs::path(final_folder_) / entry.path().filename());
            fs::rename(entry.path(), moved.back(), failed);
            if (failed) break;
        }
        std::error_code ignored;
        for (const fs::path& file : failed ? moved : std::vector<fs::path>{}) fs::remove(file, ignored);
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
