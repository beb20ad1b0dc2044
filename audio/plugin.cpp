// The sound plug-in's description, state and export.
#include "audio/plugin.h"

#include "audio/commands.h"

namespace kinetra::audio {

Plugin& SoundPlugin() {
    static const PluginDefinition definition{BufferKind::kSound, Commands(), ReleaseCommandState};
    static Plugin plugin(definition);
    return plugin;
}

namespace {
FilterTable filter_table = DescribeFilter<SoundPlugin>(KINETRA_FLAG_INFORMATION | KINETRA_FLAG_AUDIO,
                                                       "Kinetra[Audio]", "Kinetra[Audio] version 0.1");
}  // namespace

}  // namespace kinetra::audio

extern "C" KINETRA_EXPORT FilterTable* KINETRA_CALL GetFilterTable(void) {
    return &kinetra::audio::filter_table;
}
