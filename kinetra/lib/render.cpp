#include "kinetra/lib/render.h"

#include <algorithm>
#include <memory>

#include "kinetra/lib/filter_host.h"
#include "kinetra/lib/session.h"

namespace kinetra::editor {
namespace fs = std::filesystem;

namespace {

PluginSettings SettingsFor(const ScriptFolder& folder, const RenderOptions& options) {
    PluginSettings settings;
    settings.edited_path = folder.EditedPath("synthetic-clip");
    settings.sampling_rate = options.clip.sampling_rate;
    settings.tracks[0] = options.threads;
    return settings;
}

bool RenderPicturesIn(const ScriptFolder& folder, const RenderOptions& options,
                      const PictureSink& picture, std::string& error) {
    const SyntheticClip& clip = options.clip;
    LoadedPlugin plugin;
    if (!plugin.Load(options.plugin_dir / "dizorud.auf", SettingsFor(folder, options), error)) return false;
    Image source(clip.width, clip.height);
    plugin.host().frame_image = [&](int32_t frame) -> const PixelYC* {
        if (frame < 0 || frame >= clip.frames) return nullptr;
        DrawSyntheticFrame(source, clip.width, clip.height, frame);
        return source.pixels.data();
    };
    for (int32_t f = 0; f < clip.frames; ++f) {
        VideoFrame frame(clip.width, clip.height, f, clip.frames);
        DrawSyntheticFrame(frame.edit, clip.width, clip.height, f);
        if (plugin.host().Process(frame.Prepare()) != 1) {
            error = "the image plug-in failed at frame " + std::to_string(f);
            return false;
        }
        if (!picture(frame.context, error)) return false;
    }
    return plugin.Unload(error);
}

bool RenderSound(const ScriptFolder& folder, const RenderOptions& options,
                 std::vector<FrameChecksum>& frames, std::string& error) {
    const SyntheticClip& clip = options.clip;
    constexpr int32_t kChannels = 2;
    LoadedPlugin plugin;
    if (!plugin.Load(options.plugin_dir / "dizorud_audio.auf", SettingsFor(folder, options), error)) return false;
    plugin.host().frame_audio = [&](int32_t frame, int16_t* dest) -> int32_t {
        if (frame < 0 || frame >= clip.frames || !dest) return 0;
        const int32_t count = clip.SampleCount(frame);
        DrawSyntheticSound(dest, clip.FirstSample(frame), count, clip.sampling_rate);
        return count;
    };
    std::vector<int16_t> samples;
    for (int32_t f = 0; f < clip.frames; ++f) {
        const int32_t count = clip.SampleCount(f);
        samples.assign(static_cast<size_t>(count) * kChannels, 0);
        DrawSyntheticSound(samples.data(), clip.FirstSample(f), count, clip.sampling_rate);
        // The editor hands the picture's geometry to a sound filter too; it has no images.
        FrameContext context{};
        context.width = context.max_width = clip.width;
        context.height = context.max_height = clip.height;
        context.frame = f;
        context.frame_count = clip.frames;
        context.audio_samples = samples.data();
        context.sample_count = count;
        context.channel_count = kChannels;
        if (plugin.host().Process(context) != 1) {
            error = "the sound plug-in failed at frame " + std::to_string(f);
            return false;
        }
        frames[f].sound = SoundChecksum(samples.data(), count, kChannels);
    }
    return plugin.Unload(error);
}

}  // namespace

void Fnv1a::Add(const void* bytes, size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i) {
        hash_ ^= p[i];
        hash_ *= 0x100000001B3ull;
    }
}

void Fnv1a::AddInt16(int16_t value) {
    const auto bits = static_cast<uint16_t>(value);
    const unsigned char bytes[2] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8)};
    Add(bytes, sizeof bytes);
}

void Fnv1a::AddInt32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    AddInt16(static_cast<int16_t>(bits & 0xFFFF));
    AddInt16(static_cast<int16_t>(bits >> 16));
}

uint64_t ImageChecksum(const FrameContext& frame) {
    // The host shows width × height of the edit image, which a command may have resized or
    // exchanged; a size beyond the buffer is cut to it.
    const int32_t width = std::clamp(frame.width, 0, std::max(frame.max_width, 0));
    const int32_t height = std::clamp(frame.height, 0, std::max(frame.max_height, 0));
    Fnv1a hash;
    hash.AddInt32(frame.width);
    hash.AddInt32(frame.height);
    if (!frame.edit_image) return hash.value();
    for (int32_t y = 0; y < height; ++y) {
        const PixelYC* row = frame.edit_image + static_cast<size_t>(y) * static_cast<size_t>(frame.max_width);
        for (int32_t x = 0; x < width; ++x) {
            hash.AddInt16(row[x].y);
            hash.AddInt16(row[x].cb);
            hash.AddInt16(row[x].cr);
        }
    }
    return hash.value();
}

uint64_t SoundChecksum(const int16_t* samples, int32_t sample_count, int32_t channel_count) {
    Fnv1a hash;
    hash.AddInt32(sample_count);
    hash.AddInt32(channel_count);
    if (!samples || sample_count <= 0 || channel_count <= 0) return hash.value();
    const size_t values = static_cast<size_t>(sample_count) * static_cast<size_t>(channel_count);
    for (size_t i = 0; i < values; ++i) hash.AddInt16(samples[i]);
    return hash.value();
}

bool RenderChecksums(const std::string& script, const RenderOptions& options,
                     std::vector<FrameChecksum>& frames, std::string& error) {
    const int32_t count = std::max(options.clip.frames, 0);
    frames.assign(static_cast<size_t>(count), FrameChecksum{});
    for (int32_t f = 0; f < count; ++f) frames[f].frame = f;
    ScriptFolder folder;
    if (!folder.Write(script)) {
        error = "cannot write the script into a temporary folder";
        return false;
    }
    const PictureSink checksum = [&frames](const FrameContext& frame, std::string&) {
        frames[frame.frame].image = ImageChecksum(frame);
        return true;
    };
    return RenderPicturesIn(folder, options, checksum, error) && RenderSound(folder, options, frames, error);
}

bool RenderPictures(const std::string& script, const RenderOptions& options,
                    const PictureSink& picture, std::string& error) {
    ScriptFolder folder;
    if (!folder.Write(script)) {
        error = "cannot write the script into a temporary folder";
        return false;
    }
    return RenderPicturesIn(folder, options, picture, error);
}

}  // namespace kinetra::editor
