// The sound plug-in's description, callbacks and export.
#include "audio/plugin.h"

#include "audio/commands.h"

namespace kinetra::audio {
namespace {

int32_t KINETRA_CALL ProcessFrame(FilterTable* filter, FrameContext* frame) {
    return SoundPlugin().ProcessFrame(filter, frame);
}
int32_t KINETRA_CALL ExitFilter(FilterTable*) { return SoundPlugin().Exit(); }
int32_t KINETRA_CALL UpdateSettings(FilterTable* filter, int32_t) {
    return SoundPlugin().UpdateSettings(filter);
}

FilterTable filter_table = DescribeFilter(KINETRA_FLAG_INFORMATION | KINETRA_FLAG_AUDIO, "Kinetra[Audio]",
                                          "Kinetra[Audio] version 0.1", ProcessFrame, ExitFilter,
                                          UpdateSettings);

}  // namespace

Plugin& SoundPlugin() {
    static const PluginDefinition definition{BufferKind::kSound, Commands(), ReleaseCommandState};
    static Plugin plugin(definition);
    return plugin;
}

}  // namespace kinetra::audio

extern "C" KINETRA_EXPORT FilterTable* KINETRA_CALL GetFilterTable(void) {
    return &kinetra::audio::filter_table;
}
