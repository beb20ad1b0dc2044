// The image plug-in's description, state and export.
#include "video/plugin.h"

#include "video/arguments.h"
#include "video/commands.h"

namespace kinetra::video {
namespace {

// Every buffer is max_height rows of max_width pixels: the host's stride, so commands address
// every buffer alike.
bool PictureGeometry(const FrameContext& frame, AreaGeometry& geometry) {
    if (frame.max_width <= 0 || frame.max_height <= 0) {
        geometry = {};
        return true;
    }
    geometry.rows = static_cast<size_t>(frame.max_height);
    return MultiplySizes(static_cast<size_t>(frame.max_width), sizeof(PixelYC), geometry.row_bytes);
}

void AttachPictures(void** slots, const FrameContext& frame) {
    slots[0] = frame.edit_image;
    slots[1] = frame.scratch_image;
}

// A column's scratch for each column of a picture.
bool ColumnScratchBytes(const AreaGeometry& area, size_t& bytes) {
    return MultiplySizes(area.row_bytes / sizeof(PixelYC), kColumnScratchBytes, bytes);
}

size_t PictureBytes(const FrameContext& frame) {
    if (frame.max_width <= 0 || frame.max_height <= 0) return 0;
    return static_cast<size_t>(frame.max_width) * static_cast<size_t>(frame.max_height) * sizeof(PixelYC);
}

}  // namespace

// Buffers 0 and 1 are the host's edit and scratch images, 2..9 the plug-in's; one more area is
// the work area of the commands that must read a source before writing over it.
const BufferLayout kImageLayout = {
    .first_own_slot = 2,
    .extra_areas = 1,
    .last_buffer_runs_on = false,
    .exact_geometry = true,
    .area_geometry = PictureGeometry,
    .attach_host_data = AttachPictures,
    .frame_bytes = PictureBytes,
    .scratch_bytes = ColumnScratchBytes,
};

Plugin& ImagePlugin() {
    static const PluginDefinition definition{kImageLayout, RunCommand, ReleaseCommandState};
    static Plugin plugin(definition);
    return plugin;
}

namespace {
FilterTable filter_table = DescribeFilter<ImagePlugin>(KINETRA_FLAG_INFORMATION, "Kinetra[Video]",
                                                       "Kinetra[Video] version " KINETRA_VERSION);
}  // namespace

}  // namespace kinetra::video

extern "C" KINETRA_EXPORT FilterTable* KINETRA_CALL GetFilterTable(void) {
    return &kinetra::video::filter_table;
}
