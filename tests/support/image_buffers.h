// The image plug-in's ten buffers as it lays them out itself (FillBufferTable, with its poisoned
// guard gaps in the sanitizer build), the host's two images, a host that serves other frames,
// and one way to run a command line on them: the ground of every picture command's test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/buffers.h"
#include "host/command.h"
#include "kinetra/filter_abi.h"

namespace kinetra::testing {

inline bool SamePixel(const PixelYC& a, const PixelYC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

class ImageBuffers {
public:
    ImageBuffers(int32_t width, int32_t height);
    // The same size and the same pixels in buffers 0..9 and in the frame the host serves.
    ImageBuffers(const ImageBuffers& other);
    ImageBuffers& operator=(const ImageBuffers&) = delete;
    ~ImageBuffers();

    const int32_t W, H;
    BufferTable table;
    FrameContext context{};
    FilterTable filter{};
    HostServices services{};
    ScriptLine line{};

    // What the host returns for frames 0..5 (null for others), and the frames it was asked
    // for, each preparation logged as -100 and its four arguments.
    std::vector<PixelYC> frame_image;
    std::vector<int32_t> fetched;
    const PixelYC* served = nullptr;  // when set, returned for every frame instead

    size_t Area() const { return static_cast<size_t>(W) * H; }
    PixelYC* Image(int b) { return table.Image(b); }
    const PixelYC* Image(int b) const { return table.Image(b); }
    PixelYC& At(int b, int64_t x, int64_t y) { return Image(b)[y * W + x]; }
    const PixelYC& At(int b, int64_t x, int64_t y) const { return Image(b)[y * W + x]; }
    bool Inside(int64_t x, int64_t y) const { return x >= 0 && x < W && y >= 0 && y < H; }

    // Mostly nominal values, one in eight anywhere in 16 bits; then the served frame.
    void Randomize(uint32_t seed);

    // Runs the registered command `name` with `args` (the rest 0) on `threads` threads.
    void Run(const std::string& name, const std::vector<double>& args, int threads = 2);

    // Buffers 0..9, one after the other: what a reference reads as "before".
    std::vector<PixelYC> Snapshot() const;
    // Buffers 0..9 only: what the work area keeps is nobody's business.
    bool SameBuffers(const ImageBuffers& other) const;
    // The first pixel of buffer `b` that differs, as text, or "" when none does.
    std::string FirstDifference(const ImageBuffers& other, int b) const;

private:
    std::vector<PixelYC> host_images_;  // edit, then scratch
};

// A command's fast paths against a plain per-pixel reference: for each seed below `seeds`,
// buffers of width x height random pixels and the arguments `arguments(seed)` gives, run on one
// thread and on sixteen, must leave what `reference` leaves. Stops at the first difference.
using ImageReference = void (*)(ImageBuffers&, const std::vector<double>&);
void ExpectFastPathsEqualReference(const char* command, ImageReference reference, int32_t width, int32_t height,
                                   const std::function<std::vector<double>(uint32_t seed)>& arguments,
                                   uint32_t seeds = 400);

}  // namespace kinetra::testing
