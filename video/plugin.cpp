// The image plug-in's description, callbacks and export.
#include "video/plugin.h"

#include "video/commands.h"

namespace kinetra::video {
namespace {

int32_t KINETRA_CALL ProcessFrame(FilterTable* filter, FrameContext* frame) {
    return ImagePlugin().ProcessFrame(filter, frame);
}
int32_t KINETRA_CALL ExitFilter(FilterTable*) { return ImagePlugin().Exit(); }
int32_t KINETRA_CALL UpdateSettings(FilterTable* filter, int32_t) {
    return ImagePlugin().UpdateSettings(filter);
}

FilterTable filter_table = DescribeFilter(KINETRA_FLAG_INFORMATION, "Kinetra[Video]",
                                          "Kinetra[Video] version 0.1", ProcessFrame, ExitFilter,
                                          UpdateSettings);

}  // namespace

Plugin& ImagePlugin() {
    static const PluginDefinition definition{BufferKind::kImage, Commands(), ReleaseCommandState};
    static Plugin plugin(definition);
    return plugin;
}

}  // namespace kinetra::video

extern "C" KINETRA_EXPORT FilterTable* KINETRA_CALL GetFilterTable(void) {
    return &kinetra::video::filter_table;
}
