#include "kinetra/media/sound_track.h"

#include <algorithm>
#include <cstring>

#include "kinetra/media/ffmpeg.h"

namespace kinetra::media {

bool SoundTrack::Open(const std::string& path, const SoundFormat& format, std::string& error) {
    InputPtr input;
    if (!OpenInput(path, input, error)) return false;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return false;
    ReadOnly(*input, index);
    const AVStream& stream = *input->streams[index];
    CodecPtr codec;
    if (!OpenDecoder(stream, 0, codec, error)) {
        error = path + ": " + error;
        return false;
    }
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_uninit(&codec->ch_layout);
        av_channel_layout_default(&codec->ch_layout, stream.codecpar->ch_layout.nb_channels);
    }
    const int source_channels = codec->ch_layout.nb_channels;
    if (source_channels < 1 || codec->sample_rate <= 0) {
        error = path + ": its sound has no channels or no sampling rate";
        return false;
    }
    source_rate_ = codec->sample_rate;
    source_channels_ = source_channels;
    const int32_t sampling_rate = format.sampling_rate > 0 ? format.sampling_rate : codec->sample_rate;
    sampling_rate_ = sampling_rate;
    const bool keep = format.keep_channels || source_channels <= 2;
    channels_ = keep ? source_channels : 2;
    AVChannelLayout out_layout{};  // zeroed: the copy releases what the destination held first
    if (keep) {
        av_channel_layout_copy(&out_layout, &codec->ch_layout);
    } else {
        av_channel_layout_default(&out_layout, channels_);
    }
    channel_mask_ = out_layout.order == AV_CHANNEL_ORDER_NATIVE ? out_layout.u.mask : 0;
    SwrContext* resampler = nullptr;
    const int made = swr_alloc_set_opts2(&resampler, &out_layout, AV_SAMPLE_FMT_S16, sampling_rate, &codec->ch_layout,
                                         codec->sample_fmt, codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&out_layout);
    if (made < 0 || swr_init(resampler) < 0) {
        swr_free(&resampler);
        error = path + ": its sound cannot be resampled";
        return false;
    }
    ResamplePtr resample(resampler);
    char layout[64] = {};
    av_channel_layout_describe(&codec->ch_layout, layout, sizeof layout);
    description_ = std::string(avcodec_get_name(stream.codecpar->codec_id)) + ", " +
                   std::to_string(codec->sample_rate) + " Hz, " + layout;

    samples_.clear();
    start_ = INT64_MIN;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    std::vector<int16_t> converted;
    const auto append = [&](const uint8_t** data, int count) -> bool {
        const int room = swr_get_out_samples(resample.get(), count);
        if (room < 0) return false;
        converted.resize(static_cast<size_t>(room) * channels_);
        uint8_t* out = reinterpret_cast<uint8_t*>(converted.data());
        const int made = swr_convert(resample.get(), &out, room, data, count);
        if (made < 0) return false;
        samples_.insert(samples_.end(), converted.begin(), converted.begin() + static_cast<ptrdiff_t>(made) * channels_);
        return true;
    };
    bool draining = false;
    for (;;) {
        int status = avcodec_receive_frame(codec.get(), frame.get());
        if (status == 0) {
            if (start_ == INT64_MIN) {
                const int64_t pts = frame->best_effort_timestamp;
                start_ = pts == AV_NOPTS_VALUE ? 0 : av_rescale_q(pts, stream.time_base, AV_TIME_BASE_Q);
            }
            if (!append(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples)) {
                error = path + ": its sound cannot be resampled";
                return false;
            }
            continue;
        }
        if (status == AVERROR_EOF) break;
        if (status != AVERROR(EAGAIN)) {
            error = path + ": cannot decode its sound: " + AvError(status);
            return false;
        }
        if (draining) break;
        if (av_read_frame(input.get(), packet.get()) < 0) {
            avcodec_send_packet(codec.get(), nullptr);
            draining = true;
            continue;
        }
        // A damaged packet costs its samples, as in FFmpeg's own tools, not the render.
        if (packet->stream_index == index) avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
    }
    if (!append(nullptr, 0)) {
        error = path + ": its sound cannot be resampled";
        return false;
    }
    return true;
}

void SoundTrack::Align(int64_t origin) {
    if (start_ == INT64_MIN) return;
    // Samples before the edit's time 0 are dropped; a later start is preceded by silence.
    const int64_t offset = av_rescale(start_ - origin, sampling_rate_, AV_TIME_BASE);
    const size_t values = static_cast<size_t>(std::min<int64_t>(std::abs(offset), length())) * channels_;
    if (offset > 0) {
        samples_.insert(samples_.begin(), static_cast<size_t>(offset) * channels_, 0);
    } else {
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<ptrdiff_t>(values));
    }
    start_ = origin;
}

void SoundTrack::Assign(int32_t sampling_rate, int channels, std::vector<int16_t> samples) {
    sampling_rate_ = sampling_rate;
    channels_ = channels;
    samples_ = std::move(samples);
}

void SoundTrack::Read(int64_t first, int32_t count, int16_t* dest) const {
    if (count <= 0) return;
    std::fill(dest, dest + static_cast<size_t>(count) * channels_, int16_t{0});
    const int64_t begin = std::max<int64_t>(first, 0);
    const int64_t end = std::min<int64_t>(first + count, length());
    if (begin >= end) return;
    std::memcpy(dest + (begin - first) * channels_, samples_.data() + begin * channels_,
                static_cast<size_t>(end - begin) * channels_ * sizeof(int16_t));
}

}  // namespace kinetra::media
