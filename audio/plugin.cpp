// The sound plug-in's description, state and export.
#include "audio/plugin.h"

#include <algorithm>

#include "audio/commands.h"

namespace kinetra::audio {
namespace {

// A sound area holds one and a half times the frame's samples of all channels (three values per
// sample of a stereo frame); sound of no channels has no samples.
bool SoundGeometry(const FrameContext& frame, AreaGeometry& geometry) {
    geometry.rows = 1;
    if (frame.sample_count <= 0 || frame.channel_count < 1) {
        geometry.row_bytes = 0;
        return true;
    }
    const size_t channels = std::max<size_t>(2, static_cast<size_t>(frame.channel_count));
    // Every step checked: with a 32-bit size_t a huge channel count wraps the per-sample count
    // or rounds the value count up to zero, leaving an area too small for the frame.
    size_t per_sample, values;
    if (!MultiplySizes(channels, 3, per_sample) ||
        !MultiplySizes(static_cast<size_t>(frame.sample_count), per_sample, values)) {
        return false;
    }
    return MultiplySizes(values / 2 + values % 2, sizeof(int16_t), geometry.row_bytes);
}

void AttachSound(void** slots, const FrameContext& frame) { slots[0] = frame.audio_samples; }

// The host's buffer holds the frame's samples of its channels, and no more.
size_t SoundBytes(const FrameContext& frame) {
    if (frame.sample_count <= 0 || frame.channel_count < 1) return 0;
    return static_cast<size_t>(frame.sample_count) * static_cast<size_t>(frame.channel_count) * sizeof(int16_t);
}

}  // namespace

// Buffer 0 is the host's sound, 1..9 the plug-in's. The fetch area starts at buffer 9 and runs
// on into the first work area; the second holds what is written into buffer 9 from the fetch
// area, until the reading is done.
const BufferLayout kSoundLayout = {
    .first_own_slot = 1,
    .extra_areas = 2,
    .last_buffer_runs_on = true,
    .exact_geometry = false,
    .area_geometry = SoundGeometry,
    .attach_host_data = AttachSound,
    .frame_bytes = SoundBytes,
    .scratch_bytes = nullptr,
};

Plugin& SoundPlugin() {
    static const PluginDefinition definition{kSoundLayout, RunCommand, ReleaseCommandState};
    static Plugin plugin(definition);
    return plugin;
}

namespace {
FilterTable filter_table = DescribeFilter<SoundPlugin>(KINETRA_FLAG_INFORMATION | KINETRA_FLAG_AUDIO,
                                                       "Kinetra[Audio]", "Kinetra[Audio] version " KINETRA_VERSION);
}  // namespace

}  // namespace kinetra::audio

extern "C" KINETRA_EXPORT FilterTable* KINETRA_CALL GetFilterTable(void) {
    return &kinetra::audio::filter_table;
}
