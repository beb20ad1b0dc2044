#include "kinetra/preview/picture_player.h"

#include <algorithm>
#include <exception>

#include "kinetra/media/pipeline.h"

namespace kinetra::preview {
namespace {

editor::EditShape PicturesOf(const media::EditSource& source) {
    editor::EditShape shape = media::ShapeOf(source);
    shape.sound = false;  // the sound plug-in plays on its own
    return shape;
}

}  // namespace

PicturePlayer::PicturePlayer(const media::EditSource& source, const std::filesystem::path& plugin,
                             const editor::PluginSettings& settings)
    : source_(source), player_(PicturesOf(source), editor::PlayerPlugins{plugin, {}, settings}) {
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) tracks_[t] = settings.tracks[t].value_or(0);
    player_.frame_image = [this](int32_t frame) -> const PixelYC* {
        std::string ignored;  // a frame that cannot be decoded is no frame, as past the edit's end
        return cache_->Fetch(frame, ignored);
    };
}

bool PicturePlayer::Reload(std::string& error) {
    if (!cache_) {
        const media::EditFormat& format = source_.format();
        std::unique_ptr<media::PictureReader> reader = source_.NewReader(error);
        if (!reader) return false;
        cache_ = std::make_unique<media::FrameCache>(std::move(reader), format.width, format.height,
                                                     format.frame_count,
                                                     media::FrameCache::CapacityFor(format.width, format.height));
    }
    next_in_order_ = -1;
    if (!player_.Reload(error)) return false;
    next_in_order_ = 0;
    return true;
}

bool PicturePlayer::SetTracks(const TrackValues& tracks, std::string& error) {
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) {
        if (tracks[t] == tracks_[t]) continue;
        if (!player_.SetTrack(t, tracks[t], error)) return false;
        tracks_[t] = tracks[t];
    }
    return true;
}

bool PicturePlayer::Source(int32_t frame, editor::Image& picture, std::string& error) {
    const media::EditFormat& format = source_.format();
    // A frame a range lengthened the edit by is black, as a render gives it to the plug-ins.
    if (frame >= format.frame_count) {
        picture = editor::Image(format.width, format.height);
        return true;
    }
    const PixelYC* pixels = cache_->Fetch(frame, error);
    if (!pixels) {
        if (error.empty()) error = "frame " + std::to_string(frame) + " is outside the edit";
        return false;
    }
    picture = editor::Image(format.width, format.height);
    std::copy_n(pixels, picture.pixels.size(), picture.pixels.begin());
    return true;
}

bool PicturePlayer::Run(int32_t frame, editor::Image& result, std::string& error) {
    if (!Source(frame, result, error)) return false;
    next_in_order_ = frame == next_in_order_ ? frame + 1 : -1;
    try {
        return player_.RunPicture(frame, result, error);
    } catch (const std::exception& e) {  // a fetch that failed beyond the plug-in
        error = e.what();
        return false;
    }
}

}  // namespace kinetra::preview
