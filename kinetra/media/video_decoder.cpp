#include "kinetra/media/video_decoder.h"

#include <algorithm>
#include <cmath>

namespace kinetra::media {
namespace {

bool IsAttachedPicture(const AVStream& stream) { return stream.disposition & AV_DISPOSITION_ATTACHED_PIC; }

int FindVideoStream(AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !IsAttachedPicture(stream)) return static_cast<int>(i);
    }
    return -1;
}

// The matrix and range of a stream: its tags, and BT.601 limited range where it has none, as
// FFmpeg's own conversions take an untagged stream. An untagged Y'CbCr stream stays untagged:
// its codes come back as they were, so a player shows the output as it showed the input (an HD
// one as BT.709); R'G'B' pictures are made BT.601 here, and say so.
void ReadColour(const AVCodecParameters& codec, VideoFormat& format) {
    const auto pixel_format = static_cast<AVPixelFormat>(codec.format);
    const bool full = codec.color_range == AVCOL_RANGE_JPEG || pixel_format == AV_PIX_FMT_YUVJ420P ||
                      pixel_format == AV_PIX_FMT_YUVJ422P || pixel_format == AV_PIX_FMT_YUVJ444P;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(pixel_format);
    const bool untagged = codec.color_space == AVCOL_SPC_UNSPECIFIED && d && !(d->flags & AV_PIX_FMT_FLAG_RGB);
    AVColorPrimaries primaries;
    AVColorTransferCharacteristic transfer;
    switch (codec.color_space) {
        case AVCOL_SPC_BT709:
            format.colour = ColourSpace::Bt709(full);
            format.matrix_tag = AVCOL_SPC_BT709;
            primaries = AVCOL_PRI_BT709;
            transfer = AVCOL_TRC_BT709;
            break;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            format.colour = ColourSpace::Bt2020(full);
            format.matrix_tag = AVCOL_SPC_BT2020_NCL;
            primaries = AVCOL_PRI_BT2020;
            transfer = AVCOL_TRC_BT709;
            break;
        default:
            format.colour = ColourSpace::Bt601(full);
            format.matrix_tag = codec.color_space == AVCOL_SPC_BT470BG ? AVCOL_SPC_BT470BG
                                : untagged                              ? AVCOL_SPC_UNSPECIFIED
                                                                        : AVCOL_SPC_SMPTE170M;
            primaries = untagged ? AVCOL_PRI_UNSPECIFIED : AVCOL_PRI_SMPTE170M;
            transfer = untagged ? AVCOL_TRC_UNSPECIFIED : AVCOL_TRC_SMPTE170M;
            break;
    }
    format.primaries = codec.color_primaries != AVCOL_PRI_UNSPECIFIED ? codec.color_primaries : primaries;
    format.transfer = codec.color_trc != AVCOL_TRC_UNSPECIFIED ? codec.color_trc : transfer;
}

// The depth of planes the integer maps read as they are: three planes, one component each, of
// 8-bit samples or of 9 to 16 bits in 16-bit samples of the machine's order; 0 for any other layout.
int PlanarYuvDepth(AVPixelFormat pixel_format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(pixel_format);
    if (!d || d->nb_components != 3 || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) ||
        !(d->flags & AV_PIX_FMT_FLAG_PLANAR) || d->log2_chroma_w > 1 || d->log2_chroma_h > 1) {
        return 0;
    }
    const int depth = d->comp[0].depth;
    const bool big_endian = (d->flags & AV_PIX_FMT_FLAG_BE) != 0;
    if (depth > 8 && big_endian != (AV_NE(1, 0) == 1)) return 0;
    for (int c = 0; c < 3; ++c) {
        const AVComponentDescriptor& comp = d->comp[c];
        if (comp.plane != c || comp.depth != depth || comp.step != (depth > 8 ? 2 : 1) || comp.shift != 0 ||
            comp.offset != 0 || depth > 16) {
            return 0;
        }
    }
    return depth;
}

PlanarPicture PlanesOf(const AVFrame& frame) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    PlanarPicture picture;
    for (int c = 0; c < 3; ++c) {
        picture.planes[c] = frame.data[c];
        picture.strides[c] = frame.linesize[c];
    }
    picture.width = frame.width;
    picture.height = frame.height;
    picture.shift_x = d->log2_chroma_w;
    picture.shift_y = d->log2_chroma_h;
    return picture;
}

// The turn a player gives the stream's pictures, from its display matrix: clockwise, to the
// nearest quarter (the matrix gives the picture's counter-clockwise rotation).
int Rotation(const AVStream& stream) {
    const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) return 0;
    const double degrees = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(degrees)) return 0;
    const int quarters = static_cast<int>(std::lround(degrees / 90.0));
    return ((quarters % 4) + 4) % 4 * 90;
}

}  // namespace

bool VideoDecoder::Open(const std::string& path, int threads, std::string& error) {
    return Probe(path, threads, error) && Reopen(error);
}

bool VideoDecoder::Probe(const std::string& path, int threads, std::string& error) {
    path_ = path;
    threads_ = threads;
    if (!OpenInput(path, input_, error)) return false;
    stream_index_ = FindVideoStream(*input_);
    if (stream_index_ < 0) {
        input_.reset();  // sound alone: the file is read again for it, not kept open here
        return false;
    }
    ReadOnly(*input_, stream_index_);
    const AVStream& stream = *input_->streams[stream_index_];
    // Every picture's time and the key pictures, from the packets alone.
    struct Key {
        int64_t pts, seek;
    };
    std::vector<Key> keys;
    packet_.reset(av_packet_alloc());
    while (av_read_frame(input_.get(), packet_.get()) >= 0) {
        if (packet_->stream_index == stream_index_) {
            const int64_t pts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
            if (pts == AV_NOPTS_VALUE) {
                error = path + ": its video packets carry no times";
                return false;
            }
            // Pictures an edit list leaves out (a clip cut without re-encoding keeps the ones
            // from the key picture before its start) are decoded, never shown: they are no frames
            // of the clip, but their key picture is where decoding its first frames starts.
            if (!(packet_->flags & AV_PKT_FLAG_DISCARD)) pts_.push_back(pts);
            if (packet_->flags & AV_PKT_FLAG_KEY) {
                const int64_t seek = packet_->dts != AV_NOPTS_VALUE ? std::min(packet_->dts, pts) : pts;
                keys.push_back({pts, seek});
            }
        }
        av_packet_unref(packet_.get());
    }
    if (pts_.empty()) {
        error = path + ": its video stream holds no pictures";
        return false;
    }
    std::sort(pts_.begin(), pts_.end());
    pts_.erase(std::unique(pts_.begin(), pts_.end()), pts_.end());
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.pts < b.pts; });
    for (const Key& key : keys) {
        keys_.push_back(IndexOfPts(key.pts));
        key_seek_.push_back(key.seek);
    }

    format_.width = stream.codecpar->width;
    format_.height = stream.codecpar->height;
    // The average rate, made constant; but the stream's own rate where the average only misses
    // it by the time base's rounding (29.97 fps in 1/600 ticks averages 29.975).
    AVRational rate = stream.avg_frame_rate;
    const AVRational own = stream.r_frame_rate;
    const bool has_own = own.num > 0 && own.den > 0;
    if (rate.num <= 0 || rate.den <= 0 || (has_own && std::abs(av_q2d(own) / av_q2d(rate) - 1) < 0.002)) rate = own;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, 1 << 30);
    format_.frame_rate = rate;
    const AVRational base = stream.time_base;
    const int64_t span = av_rescale_rnd(pts_.back() - pts_.front(), int64_t{base.num} * rate.num,
                                        int64_t{base.den} * rate.den, AV_ROUND_NEAR_INF);
    format_.frame_count = static_cast<int32_t>(std::clamp<int64_t>(span + 1, 1, INT32_MAX));
    ReadColour(*stream.codecpar, format_);
    format_.start_time = av_rescale_q(pts_.front(), base, AV_TIME_BASE_Q);
    format_.codec_name = avcodec_get_name(stream.codecpar->codec_id);
    const AVRational aspect = av_guess_sample_aspect_ratio(input_.get(), input_->streams[stream_index_], nullptr);
    if (aspect.num > 0 && aspect.den > 0) format_.pixel_aspect = aspect;
    for (const AVDictionaryEntry* tag = nullptr; (tag = av_dict_get(input_->metadata, "", tag, AV_DICT_IGNORE_SUFFIX));) {
        format_.tags.emplace_back(tag->key, tag->value);
    }
    if (const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(stream.codecpar->format))) {
        format_.bits = d->comp[0].depth;
    }
    format_.rotation = Rotation(stream);
    if (format_.width <= 0 || format_.height <= 0) {
        error = path + ": its video stream has no picture size";
        return false;
    }
    input_.reset();
    return true;
}

bool VideoDecoder::OpenLike(const VideoDecoder& probed, std::string& error) {
    path_ = probed.path_;
    threads_ = probed.threads_;
    stream_index_ = probed.stream_index_;
    format_ = probed.format_;
    pts_ = probed.pts_;
    keys_ = probed.keys_;
    key_seek_ = probed.key_seek_;
    packet_.reset(av_packet_alloc());
    return Reopen(error);
}

bool VideoDecoder::Reopen(std::string& error) {
    input_.reset();
    codec_.reset();
    if (!picture_) {
        picture_.reset(av_frame_alloc());
        received_.reset(av_frame_alloc());
        converted_.reset(av_frame_alloc());
    }
    if (!OpenInput(path_, input_, error)) return false;
    if (FindVideoStream(*input_) != stream_index_) {
        error = path_ + " changed while it was read";
        return false;
    }
    ReadOnly(*input_, stream_index_);
    if (!OpenDecoder(*input_->streams[stream_index_], threads_, codec_, error)) {
        error = path_ + ": " + error;
        return false;
    }
    current_ = -1;
    ended_ = false;
    return true;
}

int32_t VideoDecoder::IndexOfPts(int64_t pts) const {
    const auto after = std::upper_bound(pts_.begin(), pts_.end(), pts);
    return after == pts_.begin() ? 0 : static_cast<int32_t>(after - pts_.begin() - 1);
}

int32_t VideoDecoder::SourceIndex(int32_t frame) const {
    // The picture on show at the middle of the frame's time: the last whose time is not after it.
    // Rounded down, since pictures' times are whole ticks: a middle half a tick past one (a time
    // base of one frame, as a picture sequence has) must not reach the next picture.
    const AVRational base = input_->streams[stream_index_]->time_base;
    const AVRational rate = format_.frame_rate;
    const int64_t middle = pts_.front() + av_rescale_rnd(2 * int64_t{frame} + 1, int64_t{base.den} * rate.den,
                                                         2 * int64_t{base.num} * rate.num, AV_ROUND_DOWN);
    return IndexOfPts(middle);
}

bool VideoDecoder::DecodeNext(std::string& error) {
    // Damaged data costs the pictures it held, as in FFmpeg's own tools; only a decoder that
    // gives nothing but errors fails the read.
    constexpr int kErrorsInARow = 64;
    for (int errors = 0;;) {
        int status = avcodec_receive_frame(codec_.get(), received_.get());
        if (status == 0) {
            const int64_t pts = received_->best_effort_timestamp;
            current_ = pts != AV_NOPTS_VALUE ? IndexOfPts(pts) : current_ + 1;
            av_frame_unref(picture_.get());
            av_frame_move_ref(picture_.get(), received_.get());
            return true;
        }
        if (status == AVERROR_EOF) {
            ended_ = true;
            return false;
        }
        if (status != AVERROR(EAGAIN)) {
            if (++errors < kErrorsInARow) continue;
            error = path_ + ": cannot decode its video: " + AvError(status);
            return false;
        }
        status = av_read_frame(input_.get(), packet_.get());
        if (status < 0) {
            avcodec_send_packet(codec_.get(), nullptr);  // drain the decoder
            continue;
        }
        if (packet_->stream_index == stream_index_) {
            // A damaged packet costs its picture, as in FFmpeg's own tools, not the render.
            avcodec_send_packet(codec_.get(), packet_.get());
        }
        av_packet_unref(packet_.get());
    }
}

bool VideoDecoder::SeekBefore(int32_t index, bool to_start, std::string& error) {
    const auto key = std::upper_bound(keys_.begin(), keys_.end(), index);
    if (to_start || key == keys_.begin()) return Reopen(error);
    const int64_t seek = key_seek_[key - keys_.begin() - 1];
    if (av_seek_frame(input_.get(), stream_index_, seek, AVSEEK_FLAG_BACKWARD) < 0) return Reopen(error);
    avcodec_flush_buffers(codec_.get());
    current_ = -1;
    ended_ = false;
    return true;
}

bool VideoDecoder::DecodeSource(int32_t index, std::string& error, const std::function<bool(std::string&)>& passing) {
    if (current_ == index && picture_->data[0]) return true;
    const auto key = std::upper_bound(keys_.begin(), keys_.end(), index);
    const int32_t key_index = key == keys_.begin() ? 0 : *(key - 1);
    const bool forward = !ended_ && current_ < index && key_index <= current_ + 1;
    if (!forward && !SeekBefore(index, false, error)) return false;
    for (bool from_start = false;;) {
        while (current_ < index) {
            if (!DecodeNext(error)) {
                // The stream ended before the picture (a truncated file, pictures that did not
                // decode): what comes before it is all there is.
                if (error.empty()) error = path_ + ": picture " + std::to_string(index) + " cannot be decoded";
                return false;
            }
            if (passing && current_ < index && !passing(error)) return false;
        }
        if (current_ == index || from_start) return true;
        // The seek landed past the picture: decode it from the start of the stream.
        from_start = true;
        if (!SeekBefore(index, true, error)) return false;
    }
}

bool VideoDecoder::ConvertPicture(const YcPicture& dest, std::string& error) {
    const AVFrame& frame = *picture_;
    const auto pixel_format = static_cast<AVPixelFormat>(frame.format);
    const int depth = PlanarYuvDepth(pixel_format);
    if (depth) {
        MapFor(format_.colour, depth).Convert(PlanesOf(frame), dest);
        return true;
    }
    // Other layouts go to 4:4:4 first, of 8 bits or, for deeper pictures, of 16 so that none of
    // their levels is lost: Y'CbCr keeps its values, R'G'B' becomes full-range BT.601.
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(pixel_format);
    const bool rgb = d && (d->flags & AV_PIX_FMT_FLAG_RGB);
    const bool deep = d && d->comp[0].depth > 8;
    const AVPixelFormat layout = deep ? AV_PIX_FMT_YUV444P16 : AV_PIX_FMT_YUV444P;
    const ColourSpace colour = rgb ? ColourSpace::Bt601(true) : format_.colour;
    scale_.reset(sws_getCachedContext(scale_.release(), frame.width, frame.height, pixel_format, frame.width,
                                      frame.height, layout, SWS_POINT, nullptr, nullptr, nullptr));
    if (!scale_) {
        error = path_ + ": its pictures (" + (d ? d->name : "?") + ") cannot be converted";
        return false;
    }
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scale_.get(), coefficients, colour.full_range, coefficients, colour.full_range, 0,
                             1 << 16, 1 << 16);
    if (converted_->width != frame.width || converted_->height != frame.height || converted_->format != layout) {
        av_frame_unref(converted_.get());
        converted_->format = layout;
        converted_->width = frame.width;
        converted_->height = frame.height;
        if (av_frame_get_buffer(converted_.get(), 0) < 0) {
            error = "out of memory";
            return false;
        }
    }
    sws_scale(scale_.get(), frame.data, frame.linesize, 0, frame.height, converted_->data, converted_->linesize);
    MapFor(colour, deep ? 16 : 8).Convert(PlanesOf(*converted_), dest);
    return true;
}

YuvToYc& VideoDecoder::MapFor(const ColourSpace& colour, int bits) {
    for (YuvToYc& map : maps_) {
        if (map.space() == colour && map.bits() == bits) return map;
    }
    return maps_.emplace_back(colour, bits);
}

bool VideoDecoder::Read(int32_t frame, const YcPicture& dest, std::string& error, int32_t lookback,
                        const EarlierFrames& earlier) {
    frame = std::clamp(frame, 0, format_.frame_count - 1);
    const int32_t index = SourceIndex(frame);
    std::function<bool(std::string&)> passing;
    if (earlier && lookback > 0) {
        passing = [&](std::string& convert_error) {
            for (int32_t f = std::max(0, frame - lookback); f < frame; ++f) {
                if (SourceIndex(f) != current_) continue;
                const YcPicture picture = earlier(f);
                if (picture.pixels && !ConvertPicture(picture, convert_error)) return false;
            }
            return true;
        };
    }
    return DecodeSource(index, error, passing) && ConvertPicture(dest, error);
}

}  // namespace kinetra::media
