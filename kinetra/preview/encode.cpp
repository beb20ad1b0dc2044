#include "kinetra/preview/encode.h"

#include "kinetra/media/colour.h"
#include "kinetra/media/ffmpeg.h"

namespace kinetra::preview {
namespace {

bool Failed(std::string& error, const char* what, int status) {
    error = std::string(what) + ": " + media::AvError(status);
    return false;
}

// Fills `frame`, already sized, from the picture: R'G'B' for PNG; full-range BT.601 Y'CbCr,
// JPEG's own, for JPEG.
void Fill(const editor::Image& picture, AVFrame& frame) {
    const media::YcPicture source{const_cast<PixelYC*>(picture.pixels.data()), picture.max_width, picture.max_width,
                                  picture.max_height};
    if (frame.format == AV_PIX_FMT_RGB24) {
        media::YcToRgb24(source, frame.data[0], frame.linesize[0]);
        return;
    }
    media::PlanarPicture planes;
    for (int c = 0; c < 3; ++c) {
        planes.planes[c] = frame.data[c];
        planes.strides[c] = frame.linesize[c];
    }
    planes.width = frame.width;
    planes.height = frame.height;
    planes.shift_x = planes.shift_y = frame.format == AV_PIX_FMT_YUVJ420P ? 1 : 0;
    media::YcToYuv(media::ColourSpace::Bt601(true)).Convert(source, planes);
}

}  // namespace

bool EncodePicture(const editor::Image& picture, PictureFormat format, std::string& bytes, std::string& error) {
    const bool png = format == PictureFormat::kPng;
    const AVCodec* codec = avcodec_find_encoder(png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
    if (!codec) {
        error = png ? "no PNG encoder" : "no JPEG encoder";
        return false;
    }
    // 4:2:0 halves the colour planes, which an odd size cannot.
    const bool even = picture.max_width % 2 == 0 && picture.max_height % 2 == 0;
    const AVPixelFormat pixel_format = png ? AV_PIX_FMT_RGB24 : even ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUVJ444P;
    media::CodecPtr context(avcodec_alloc_context3(codec));
    media::FramePtr frame(av_frame_alloc());
    media::PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        error = "out of memory";
        return false;
    }
    context->width = frame->width = picture.max_width;
    context->height = frame->height = picture.max_height;
    context->pix_fmt = pixel_format;
    frame->format = pixel_format;
    context->time_base = AVRational{1, 25};
    if (!png) {
        context->color_range = AVCOL_RANGE_JPEG;
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = frame->quality = 3 * FF_QP2LAMBDA;  // close to the eye's limit
    }
    int status = avcodec_open2(context.get(), codec, nullptr);
    if (status < 0) return Failed(error, "cannot open the picture encoder", status);
    status = av_frame_get_buffer(frame.get(), 0);
    if (status < 0) return Failed(error, "out of memory", status);
    Fill(picture, *frame);
    status = avcodec_send_frame(context.get(), frame.get());
    if (status >= 0) status = avcodec_receive_packet(context.get(), packet.get());
    if (status < 0) return Failed(error, "the picture encoder failed", status);
    bytes.assign(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
    return true;
}

std::string EncodeWave(const std::vector<int16_t>& samples, int channels, int32_t sampling_rate) {
    std::string out;
    const auto put = [&out](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * sizeof(int16_t));
    out += "RIFF";
    put(36 + data_bytes, 4);
    out += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(static_cast<uint32_t>(channels), 2);
    put(static_cast<uint32_t>(sampling_rate), 4);
    put(static_cast<uint32_t>(sampling_rate * channels * 2), 4);
    put(static_cast<uint32_t>(channels * 2), 2);
    put(16, 2);
    out += "data";
    put(data_bytes, 4);
    for (const int16_t sample : samples) put(static_cast<uint16_t>(sample), 2);
    return out;
}

}  // namespace kinetra::preview
