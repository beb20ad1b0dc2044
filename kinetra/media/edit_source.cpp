#include "kinetra/media/edit_source.h"

#include <filesystem>
#include <future>

#include "kinetra/editor/frame_timing.h"

namespace kinetra::media {
namespace {

YcPicture PictureOf(editor::Image& image) {
    return YcPicture{image.pixels.data(), image.max_width, image.max_width, image.max_height};
}

// Picture `source` turned clockwise by `rotation` degrees into `dest`, of the turned size.
void Rotate(const editor::Image& source, int rotation, editor::Image& dest) {
    const int32_t w = source.max_width, h = source.max_height;
    for (int32_t y = 0; y < dest.max_height; ++y) {
        for (int32_t x = 0; x < dest.max_width; ++x) {
            dest.at(x, y) = rotation == 90    ? source.at(y, h - 1 - x)
                            : rotation == 180 ? source.at(w - 1 - x, h - 1 - y)
                                              : source.at(w - 1 - y, x);
        }
    }
}

class FileReader : public PictureReader {
public:
    // False with `error` empty when the file has no video stream.
    bool Probe(const std::string& path, std::string& error) { return decoder_.Probe(path, 0, error); }
    // The stream `probe` found, read afresh and turned by `rotation`.
    bool OpenLike(const FileReader& probe, int rotation, std::string& error) {
        rotation_ = rotation;
        return decoder_.OpenLike(probe.decoder_, error);
    }
    bool Read(int32_t frame, editor::Image& dest, std::string& error, const Earlier& earlier) override {
        if (rotation_) {
            // Decoded at the stored size, then turned; the frames passed on the way are not kept.
            if (stored_.pixels.empty()) stored_ = editor::Image(decoder_.format().width, decoder_.format().height);
            if (!decoder_.Read(frame, PictureOf(stored_), error)) return false;
            Rotate(stored_, rotation_, dest);
            return true;
        }
        VideoDecoder::EarlierFrames earlier_pictures;
        if (earlier.image) {
            earlier_pictures = [&](int32_t f) {
                editor::Image* image = earlier.image(f);
                return image ? PictureOf(*image) : YcPicture{};
            };
        }
        return decoder_.Read(frame, PictureOf(dest), error, earlier.lookback, earlier_pictures);
    }
    const VideoFormat& format() const { return decoder_.format(); }

private:
    VideoDecoder decoder_;
    int rotation_ = 0;
    editor::Image stored_;  // a turned picture before its turn
};

class FileSource : public EditSource {
public:
    bool Open(const std::string& path, const SourceOptions& options, AVRational sound_only_rate, std::string& error) {
        path_ = path;
        std::error_code failed;
        edited_path_ = std::filesystem::absolute(path, failed).string();
        if (failed) edited_path_ = path;
        // The sound is decoded whole while the pictures' index is read: the two are the start's
        // longest steps, and each waits mostly on its own file reads and decoding.
        std::string video_error, sound_error;
        auto sound = std::async(std::launch::async, [&] { return sound_.Open(path, options.sound, sound_error); });
        const bool has_pictures = probe_.Probe(path, video_error);
        format_.has_sound = sound.get();
        if (has_pictures) {
            const VideoFormat& video = probe_.format();
            format_.has_pictures = true;
            format_.rotation = options.autorotate ? video.rotation : 0;
            const bool across = format_.rotation % 180 != 0;
            format_.width = across ? video.height : video.width;
            format_.height = across ? video.width : video.height;
            format_.frame_rate = video.frame_rate;
            format_.frame_count = video.frame_count;
            format_.video = video;
            if (format_.has_sound) sound_.Align(video.start_time);
        } else if (!video_error.empty()) {
            error = video_error;
            return false;
        }
        if (!sound_error.empty()) {
            error = sound_error;
            return false;
        }
        if (!format_.has_pictures && !format_.has_sound) {
            error = path + " has neither pictures nor sound";
            return false;
        }
        if (!format_.has_pictures) {
            format_.frame_rate = sound_only_rate;
            const editor::FrameTiming timing{sound_only_rate.num, sound_only_rate.den, sound_.sampling_rate()};
            int32_t frames = 1;
            while (timing.FirstSample(frames) < sound_.length() && frames < INT32_MAX) ++frames;
            format_.frame_count = frames;
        }
        return true;
    }

    std::unique_ptr<PictureReader> NewReader(std::string& error) const override {
        auto reader = std::make_unique<FileReader>();
        if (!reader->OpenLike(probe_, format_.rotation, error)) return nullptr;
        return reader;
    }

private:
    std::string path_;
    FileReader probe_;  // what the file holds, read once: the readers take their index from it
};

class SyntheticReader : public PictureReader {
public:
    explicit SyntheticReader(const editor::SyntheticClip& clip) : clip_(clip) {}
    bool Read(int32_t frame, editor::Image& dest, std::string&, const Earlier&) override {
        editor::DrawSyntheticFrame(dest, clip_.width, clip_.height, frame);
        return true;
    }

private:
    editor::SyntheticClip clip_;
};

class SyntheticSource : public EditSource {
public:
    SyntheticSource(const editor::SyntheticClip& clip, const std::string& edited_path) : clip_(clip) {
        edited_path_ = edited_path;
        format_.has_pictures = true;
        format_.width = clip.width;
        format_.height = clip.height;
        format_.frame_rate = AVRational{clip.frame_rate, clip.frame_rate_scale};
        format_.frame_count = clip.frames;
        format_.video.width = clip.width;
        format_.video.height = clip.height;
        format_.video.frame_rate = format_.frame_rate;
        format_.video.frame_count = clip.frames;
        format_.video.colour = ColourSpace::Bt709(false);
        format_.video.primaries = AVCOL_PRI_BT709;
        format_.video.transfer = AVCOL_TRC_BT709;
        format_.video.matrix_tag = AVCOL_SPC_BT709;
        format_.video.codec_name = "built-in clip";
        format_.has_sound = true;
        const int64_t length = clip.FirstSample(clip.frames);
        std::vector<int16_t> samples(static_cast<size_t>(length) * 2);
        editor::DrawSyntheticSound(samples.data(), 0, static_cast<int32_t>(length), clip.sampling_rate);
        sound_.Assign(clip.sampling_rate, 2, std::move(samples));
    }

    std::unique_ptr<PictureReader> NewReader(std::string&) const override {
        return std::make_unique<SyntheticReader>(clip_);
    }

private:
    editor::SyntheticClip clip_;
};

}  // namespace

std::unique_ptr<EditSource> OpenFileSource(const std::string& path, const SourceOptions& options,
                                           AVRational sound_only_rate, std::string& error) {
    auto source = std::make_unique<FileSource>();
    if (!source->Open(path, options, sound_only_rate, error)) return nullptr;
    return source;
}

std::unique_ptr<EditSource> MakeSyntheticSource(const editor::SyntheticClip& clip, const std::string& edited_path) {
    return std::make_unique<SyntheticSource>(clip, edited_path);
}

}  // namespace kinetra::media
