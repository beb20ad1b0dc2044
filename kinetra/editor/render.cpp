#include "kinetra/editor/render.h"

#include <algorithm>
#include <memory>

#include "kinetra/editor/edit_player.h"
#include "kinetra/editor/session.h"

namespace kinetra::editor {
namespace fs = std::filesystem;

namespace {

EditPlayer PlayerFor(const ScriptFolder& folder, const RenderOptions& options) {
    const SyntheticClip& clip = options.clip;
    EditShape shape;
    shape.pictures = shape.sound = true;
    shape.width = clip.width;
    shape.height = clip.height;
    shape.timing = clip.timing();
    shape.channels = 2;
    shape.frames = clip.frames;
    PlayerPlugins plugins;
    plugins.picture = options.plugin_dir / "dizorud.auf";
    plugins.sound = options.plugin_dir / "dizorud_audio.auf";
    plugins.settings.edited_path = folder.EditedPath("synthetic-clip");
    plugins.settings.tracks[0] = options.threads;
    return EditPlayer(shape, plugins);
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
    frames.clear();
    ScriptFolder folder;
    if (!folder.Write(script)) {
        error = "cannot write the script into a temporary folder";
        return false;
    }
    const SyntheticClip& clip = options.clip;
    EditPlayer player = PlayerFor(folder, options);
    Image source(clip.width, clip.height);
    player.frame_image = [&](int32_t frame) -> const PixelYC* {
        DrawSyntheticFrame(source, clip.width, clip.height, frame);
        return source.pixels.data();
    };
    player.frame_audio = [&](int32_t frame, int16_t* dest) -> int32_t {
        const int32_t count = clip.SampleCount(frame);
        DrawSyntheticSound(dest, clip.FirstSample(frame), count, clip.sampling_rate);
        return count;
    };
    if (!player.Load(error)) return false;
    Image picture(clip.width, clip.height);
    std::vector<int16_t> samples;
    for (int32_t f = 0; f < player.length(); ++f) {
        // The frames a lengthening adds are black and silent.
        const bool in_clip = f < clip.frames;
        std::fill(picture.pixels.begin(), picture.pixels.end(), PixelYC{0, 0, 0});
        if (in_clip) DrawSyntheticFrame(picture, clip.width, clip.height, f);
        FrameContext shown;
        if (!player.RunPicture(f, picture, error, &shown)) return false;
        const int32_t count = clip.SampleCount(f);
        samples.assign(static_cast<size_t>(count) * 2, 0);
        if (in_clip) DrawSyntheticSound(samples.data(), clip.FirstSample(f), count, clip.sampling_rate);
        if (!player.RunSound(f, samples.data(), count, error)) return false;
        frames.push_back({f, ImageChecksum(shown), SoundChecksum(samples.data(), count, 2)});
    }
    return player.Unload(error);
}

}  // namespace kinetra::editor
