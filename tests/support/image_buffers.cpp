#include "tests/support/image_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

#include "video/commands.h"
#include "video/plugin.h"

namespace kinetra::testing {
namespace {

ImageBuffers& Of(FilterTable* filter) { return *static_cast<ImageBuffers*>(filter->reserved_34); }

}  // namespace

ImageBuffers::ImageBuffers(int32_t width, int32_t height)
    : W(width), H(height), frame_image(Area()), host_images_(Area() * 2) {
    context.width = context.max_width = W;
    context.height = context.max_height = H;
    context.edit_image = host_images_.data();
    context.scratch_image = host_images_.data() + Area();
    context.edit_handle = this;
    if (!FillBufferTable(table, video::kImageLayout, nullptr, context)) abort();
    filter.services = &services;
    filter.reserved_34 = this;
    services.prepare_frame_fetch = [](FilterTable* f, int32_t w, int32_t h, int32_t a, int32_t b) {
        Of(f).fetched.insert(Of(f).fetched.end(), {-100, w, h, a, b});
        return int32_t{0};
    };
    services.fetch_frame_image = [](FilterTable* f, void* edit, int32_t frame, int32_t, int32_t) {
        ImageBuffers& buffers = Of(f);
        buffers.fetched.push_back(frame);
        if (buffers.served) return const_cast<PixelYC*>(buffers.served);
        if (edit != &buffers || frame < 0 || frame > 5) return static_cast<PixelYC*>(nullptr);
        return buffers.frame_image.data();
    };
}

ImageBuffers::ImageBuffers(const ImageBuffers& other) : ImageBuffers(other.W, other.H) {
    for (int b = 0; b < kBufferCount; ++b) std::copy_n(other.Image(b), Area(), Image(b));
    frame_image = other.frame_image;
}

ImageBuffers::~ImageBuffers() { ReleaseOwnBlock(table); }

void ImageBuffers::Randomize(uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> luma(-64, 4160), chroma(-2100, 2100), any(-32768, 32767);
    for (size_t i = 0; i < Area() * kBufferCount; ++i) {
        Image(static_cast<int>(i / Area()))[i % Area()] =
            random() % 8 == 0
                ? PixelYC{int16_t(any(random)), int16_t(any(random)), int16_t(any(random))}
                : PixelYC{int16_t(luma(random)), int16_t(chroma(random)), int16_t(chroma(random))};
    }
    for (PixelYC& p : frame_image) p = {int16_t(luma(random)), int16_t(chroma(random)), 7};
}

void ImageBuffers::Run(const std::string& name, const std::vector<double>& args, int threads) {
    strcpy(line.command, name.c_str());
    for (int k = 0; k < kScriptArguments; ++k) line.arg_value[k] = k < int(args.size()) ? args[k] : 0.0;
    CommandCall call{line, &filter, &context, table, threads, 0};
    if (!video::RunCommand(call)) ADD_FAILURE() << "no command " << name;
}

std::vector<PixelYC> ImageBuffers::Snapshot() const {
    std::vector<PixelYC> all(Area() * kBufferCount);
    for (int b = 0; b < kBufferCount; ++b) std::copy_n(Image(b), Area(), all.begin() + b * Area());
    return all;
}

bool ImageBuffers::SameBuffers(const ImageBuffers& other) const {
    for (int b = 0; b < kBufferCount; ++b) {
        if (memcmp(Image(b), other.Image(b), Area() * sizeof(PixelYC)) != 0) return false;
    }
    return true;
}

std::string ImageBuffers::FirstDifference(const ImageBuffers& other, int b) const {
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const PixelYC &p = At(b, x, y), &q = other.At(b, x, y);
            if (!SamePixel(p, q)) {
                return "(" + std::to_string(x) + "," + std::to_string(y) + "): " + std::to_string(p.y) +
                       "/" + std::to_string(p.cb) + "/" + std::to_string(p.cr) + " vs " +
                       std::to_string(q.y) + "/" + std::to_string(q.cb) + "/" + std::to_string(q.cr);
            }
        }
    }
    return "";
}

void ExpectFastPathsEqualReference(const char* command, ImageReference reference, int32_t width, int32_t height,
                                   const std::function<std::vector<double>(uint32_t seed)>& arguments,
                                   uint32_t seeds) {
    for (uint32_t seed = 0; seed < seeds; ++seed) {
        ImageBuffers canvas(width, height);
        canvas.Randomize(seed);
        const std::vector<double> args = arguments(seed);
        ImageBuffers want(canvas);
        reference(want, args);
        for (int threads : {1, 16}) {
            ImageBuffers got(canvas);
            got.Run(command, args, threads);
            if (got.SameBuffers(want)) continue;
            std::string where;
            for (int b = 0; b < kBufferCount && where.empty(); ++b) {
                if (const std::string at = got.FirstDifference(want, b); !at.empty()) {
                    where = "buffer " + std::to_string(b) + " at " + at;
                }
            }
            ADD_FAILURE() << command << " seed " << seed << " on " << threads << " thread(s): " << where;
            return;
        }
    }
}

}  // namespace kinetra::testing
