// The image plug-in's description, state and export.
#include "video/plugin.h"

#include "video/commands.h"

namespace kinetra::video {

Plugin& ImagePlugin() {
    static const PluginDefinition definition{BufferKind::kImage, Commands(), ReleaseCommandState};
    static Plugin plugin(definition);
    return plugin;
}

namespace {
FilterTable filter_table = DescribeFilter<ImagePlugin>(KINETRA_FLAG_INFORMATION, "Kinetra[Video]",
                                                       "Kinetra[Video] version 0.1");
}  // namespace

}  // namespace kinetra::video

extern "C" KINETRA_EXPORT FilterTable* KINETRA_CALL GetFilterTable(void) {
    return &kinetra::video::filter_table;
}
