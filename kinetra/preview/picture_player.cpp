#include "kinetra/preview/picture_player.h"

#include <algorithm>

namespace kinetra::preview {
namespace {

// The shown width x height at the top left; the rest of the canvas black, as the editor shows a
// smaller result on the edit's frame.
void BlackenOutside(editor::Image& picture, int32_t width, int32_t height) {
    width = std::clamp(width, 0, picture.max_width);
    height = std::clamp(height, 0, picture.max_height);
    for (int32_t y = 0; y < picture.max_height; ++y) {
        for (int32_t x = y < height ? width : 0; x < picture.max_width; ++x) picture.at(x, y) = PixelYC{0, 0, 0};
    }
}

}  // namespace

bool PicturePlayer::Load(const std::filesystem::path& plugin, const editor::PluginSettings& settings,
                         std::string& error) {
    if (!plugin_.Unload(error)) return false;
    const media::EditFormat& format = source_.format();
    if (!cache_) {
        std::unique_ptr<media::PictureReader> reader = source_.NewReader(error);
        if (!reader) return false;
        cache_ = std::make_unique<media::FrameCache>(std::move(reader), format.width, format.height,
                                                     format.frame_count,
                                                     media::FrameCache::CapacityFor(format.width, format.height));
        scratch_ = editor::Image(format.width, format.height);
    }
    if (!plugin_.Load(plugin, settings, error)) return false;
    plugin_.host().frame_image = [this](int32_t frame) -> const PixelYC* {
        std::string ignored;  // a frame that cannot be decoded is no frame, as past the edit's end
        return frame >= 0 && frame < source_.format().frame_count ? cache_->Fetch(frame, ignored) : nullptr;
    };
    next_in_order_ = 0;
    return true;
}

void PicturePlayer::SetTracks(const std::array<int32_t, KINETRA_TRACK_COUNT>& tracks) {
    if (plugin_.host().tracks == tracks) return;
    plugin_.host().tracks = tracks;
    plugin_.host().UpdateSettings();
}

bool PicturePlayer::Source(int32_t frame, editor::Image& picture, std::string& error) {
    const media::EditFormat& format = source_.format();
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
    const media::EditFormat& format = source_.format();
    FrameContext context{};
    context.edit_image = result.pixels.data();
    context.scratch_image = scratch_.pixels.data();
    context.width = context.max_width = format.width;
    context.height = context.max_height = format.height;
    context.frame = frame;
    context.frame_count = format.frame_count;
    next_in_order_ = frame == next_in_order_ ? frame + 1 : -1;
    plugin_.host().lengthen_requests.clear();  // the preview keeps the edit's own length
    if (plugin_.host().Process(context) != 1) {
        error = "the picture plug-in could not take its memory at frame " + std::to_string(frame);
        return false;
    }
    // A command may have exchanged the edit image and the scratch image.
    if (context.edit_image == scratch_.pixels.data()) std::swap(result.pixels, scratch_.pixels);
    BlackenOutside(result, context.width, context.height);
    return true;
}

}  // namespace kinetra::preview
