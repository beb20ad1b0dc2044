// The editor's side of the boundary: loads a plug-in file, keeps the filter record with the
// track values and the service table, and calls the callbacks as the editor would.
#pragma once

#include <array>
#include <exception>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kinetra/filter_abi.h"

namespace kinetra::editor {

// An image of the host's geometry: `max_height` rows of `max_width` pixels.
struct Image {
    int32_t max_width = 0;
    int32_t max_height = 0;
    std::vector<PixelYC> pixels;

    Image() = default;
    Image(int32_t width, int32_t height, PixelYC fill = {0, 0, 0});
    PixelYC& at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * max_width + x]; }
    const PixelYC& at(int32_t x, int32_t y) const {
        return pixels[static_cast<size_t>(y) * max_width + x];
    }
};

class FilterHost {
public:
    // Loads the plug-in at `path`; null with `error` set when it cannot.
    static std::unique_ptr<FilterHost> Load(const std::string& path, std::string& error);
    // Attaches to a plug-in linked into this program.
    static std::unique_ptr<FilterHost> Attach(GetFilterTableFn get_table);
    ~FilterHost();  // unloads the library; call Exit first, as the editor does
    // Whether the plug-in file at `path` is loaded in this process.
    static bool IsLoaded(const std::string& path);
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // The plug-in's own description, as GetFilterTable returned it.
    const FilterTable& description() const { return *description_; }
    // The record the callbacks receive: the description with track values and services.
    FilterTable& record() { return record_; }

    std::array<int32_t, KINETRA_TRACK_COUNT> tracks{};  // start at the plug-in's defaults

    // The edit as QueryEditFile reports it.
    std::string edited_path;
    int32_t sampling_rate = 48000;

    // Sources for the services that fetch other frames: an image of the host's geometry (or
    // null), and the samples of a frame into `dest` with their count per channel.
    std::function<const PixelYC*(int32_t frame)> frame_image;
    std::function<int32_t(int32_t frame, int16_t* dest)> frame_audio;

    // Frames the plug-in asked the edit to reach (SetEditLength's argument, a range's end).
    std::vector<int32_t> lengthen_requests;
    // What a source above threw while the plug-in ran: held here, since no exception may unwind
    // through the plug-in, and the frame then reported unavailable. The caller of Process
    // rethrows it.
    std::exception_ptr failure;

    int32_t UpdateSettings();
    // Runs one frame; `frame.edit_handle` is set to this host.
    int32_t Process(FrameContext& frame);
    int32_t Exit();

private:
    FilterHost() = default;

    static int32_t KINETRA_CALL SetEditLength(void* edit, int32_t frames);
    static int32_t KINETRA_CALL QueryEditFile(void* edit, EditFileInfo* info);
    static int32_t KINETRA_CALL ReadFrameAudio(FilterTable*, void* edit, int32_t frame, int16_t* dest);
    static int32_t KINETRA_CALL PrepareFrameFetch(FilterTable*, int32_t, int32_t, int32_t, int32_t);
    static PixelYC* KINETRA_CALL FetchFrameImage(FilterTable*, void* edit, int32_t frame, int32_t,
                                                 int32_t);

    void* library_ = nullptr;
    const FilterTable* description_ = nullptr;
    FilterTable record_{};
    HostServices services_{};
};

// A frame of a video edit: the edit image, the host's scratch image, and the record.
struct VideoFrame {
    Image edit;
    Image scratch;
    FrameContext context{};

    VideoFrame(int32_t width, int32_t height, int32_t frame, int32_t frame_count);
    // Points the record at the images again (a command may exchange them).
    FrameContext& Prepare();
};

}  // namespace kinetra::editor
