#include "kinetra/editor/edit_player.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace kinetra::editor {

EditPlayer::EditPlayer(const EditShape& shape, const PlayerPlugins& plugins)
    : shape_(shape), plugins_(plugins), length_(shape.frames) {
    plugins_.settings.sampling_rate = shape.timing.sampling_rate;
}

bool EditPlayer::Load(std::string& error) {
    length_ = shape_.frames;
    if (shape_.pictures) {
        if (!picture_plugin_.Load(plugins_.picture, plugins_.settings, error)) return false;
        picture_plugin_.host().frame_image = [this](int32_t frame) -> const PixelYC* {
            if (frame < 0 || frame >= length_) return nullptr;
            if (frame < shape_.frames) return frame_image ? frame_image(frame) : nullptr;
            // A frame the edit was lengthened by: black.
            if (black_.pixels.empty()) black_ = Image(shape_.width, shape_.height);
            return black_.pixels.data();
        };
        scratch_ = Image(shape_.width, shape_.height);
    }
    if (shape_.sound) {
        if (!sound_plugin_.Load(plugins_.sound, plugins_.settings, error)) return false;
        sound_plugin_.host().frame_audio = [this](int32_t frame, int16_t* dest) -> int32_t {
            if (frame < 0 || frame >= length_ || !dest) return 0;
            if (frame < shape_.frames) return frame_audio ? frame_audio(frame, dest) : 0;
            // A frame the edit was lengthened by: silence.
            const int32_t count = shape_.timing.SampleCount(frame);
            std::fill_n(dest, static_cast<size_t>(count) * shape_.channels, int16_t{0});
            return count;
        };
    }
    return true;
}

bool EditPlayer::Unload(std::string& error) {
    const bool picture = picture_plugin_.Unload(error);
    return sound_plugin_.Unload(error) && picture;
}

bool EditPlayer::SetTrack(int track, int32_t value, std::string& error) {
    if (track < 0 || track >= KINETRA_TRACK_COUNT) {
        error = "no track " + std::to_string(track);
        return false;
    }
    for (LoadedPlugin* plugin : {&picture_plugin_, &sound_plugin_}) {
        if (!plugin->loaded()) continue;
        const FilterTable& table = plugin->host().description();
        if (track < table.track_count && (value < table.track_minimums[track] || value > table.track_maximums[track])) {
            error = plugins_.settings.track_options[track] + std::to_string(value) + ": outside " +
                    std::to_string(table.track_minimums[track]) + ".." + std::to_string(table.track_maximums[track]);
            return false;
        }
    }
    plugins_.settings.tracks[track] = value;
    for (LoadedPlugin* plugin : {&picture_plugin_, &sound_plugin_}) {
        if (!plugin->loaded()) continue;
        plugin->host().tracks[track] = value;
        plugin->host().UpdateSettings();
    }
    return true;
}

FrameContext EditPlayer::Context(int32_t frame) const {
    // The editor hands the picture's geometry to the sound plug-in too; it has no images.
    FrameContext context{};
    context.width = context.max_width = shape_.width;
    context.height = context.max_height = shape_.height;
    context.frame = frame;
    context.frame_count = length_;
    return context;
}

bool EditPlayer::Run(LoadedPlugin& plugin, FrameContext& context, const char* what, std::string& error) {
    FilterHost& host = plugin.host();
    const int32_t result = host.Process(context);
    // What a fetch source threw was held at the boundary; it ends the frame here, on this side.
    if (host.failure) std::rethrow_exception(std::exchange(host.failure, nullptr));
    if (result != 1) {
        error = std::string("the ") + what + " plug-in could not take its memory at frame " + std::to_string(context.frame);
        return false;
    }
    for (const int32_t end : std::exchange(host.lengthen_requests, {})) {
        const Lengthening asked{end, length_, static_cast<int64_t>(end) + 1};
        if (asked.to <= length_) continue;
        if (lengthen && !lengthen(asked, error)) return false;
        length_ = static_cast<int32_t>(std::min<int64_t>(asked.to, INT32_MAX));
    }
    return true;
}

bool EditPlayer::RunPicture(int32_t frame, Image& picture, std::string& error, FrameContext* shown) {
    FrameContext context = Context(frame);
    context.edit_image = picture.pixels.data();
    context.scratch_image = scratch_.pixels.data();
    if (!Run(picture_plugin_, context, "picture", error)) return false;
    // A command may have exchanged the edit image and the scratch image.
    if (context.edit_image == scratch_.pixels.data()) std::swap(picture.pixels, scratch_.pixels);
    BlackenOutside(picture, context.width, context.height);
    if (shown) {
        *shown = context;
        shown->edit_image = picture.pixels.data();
        shown->scratch_image = scratch_.pixels.data();
    }
    return true;
}

bool EditPlayer::RunSound(int32_t frame, int16_t* samples, int32_t count, std::string& error) {
    FrameContext context = Context(frame);
    context.audio_samples = samples;
    context.sample_count = count;
    context.channel_count = shape_.channels;
    return Run(sound_plugin_, context, "sound", error);
}

void BlackenOutside(Image& picture, int32_t width, int32_t height) {
    width = std::clamp(width, 0, picture.max_width);
    height = std::clamp(height, 0, picture.max_height);
    if (width == picture.max_width && height == picture.max_height) return;
    for (int32_t y = 0; y < picture.max_height; ++y) {
        for (int32_t x = y < height ? width : 0; x < picture.max_width; ++x) picture.at(x, y) = PixelYC{0, 0, 0};
    }
}

}  // namespace kinetra::editor
