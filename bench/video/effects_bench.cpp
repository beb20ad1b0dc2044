// The effects commands on a full 1920x1080 frame with 2 threads. Bytes processed are one
// frame's pixels per iteration, so the rates compare directly with the copy command's.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/buffers.h"
#include "video/commands.h"
#include "video/image.h"

namespace kinetra::video {
namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080, kThreads = 2;
constexpr size_t kPixels = size_t{kWidth} * kHeight;
constexpr int64_t kFrameBytes = static_cast<int64_t>(kPixels * sizeof(PixelYC));

// The host's two pictures, and the plug-in's own buffers laid out as the plug-in lays them.
struct EffectFrames {
    std::vector<PixelYC> host = std::vector<PixelYC>(kPixels * 2);
    BufferTable table;
    FrameContext context{};
    ScriptLine line{};

    EffectFrames() {
        context.max_width = context.width = kWidth;
        context.max_height = context.height = kHeight;
        context.edit_image = host.data();
        context.scratch_image = host.data() + kPixels;
        if (!FillBufferTable(table, BufferKind::kImage, nullptr, context)) abort();
        std::mt19937 random(2);
        for (int b = 0; b < kBufferCount; ++b) {
            for (size_t i = 0; i < kPixels; ++i) {
                table.Image(b)[i] = {static_cast<int16_t>(random() % 4097),
                                     static_cast<int16_t>(random() % 4097 - 2048),
                                     static_cast<int16_t>(random() % 4097 - 2048)};
            }
        }
    }
};

EffectFrames& Frames() {
    static EffectFrames frames;
    return frames;
}

void Effect(benchmark::State& state, const char* name, std::vector<double> args) {
    EffectFrames& f = Frames();
    CommandHandler handler = nullptr;
    for (const CommandEntry& e : Commands()) {
        if (std::string(e.name) == name) handler = e.run;
    }
    if (!handler) {
        state.SkipWithError("command not registered");
        return;
    }
    strcpy(f.line.command, name);
    for (int k = 0; k < kScriptArguments; ++k) f.line.arg_value[k] = k < int(args.size()) ? args[k] : 0;
    CommandCall call{f.line, nullptr, &f.context, f.table, kThreads};
    for (auto _ : state) {
        handler(call);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}

// The baselines: a plain copy of every row in the same row loop, and the copy command over the
// whole frame, buffer 2 to buffer 3.
void PlainCopy(benchmark::State& state) {
    EffectFrames& f = Frames();
    const PixelYC* from = f.table.Image(2);
    PixelYC* to = f.table.Image(3);
    for (auto _ : state) {
        RowLoop(0, kHeight, kThreads, [&](int32_t y) {
            memcpy(to + size_t{kWidth} * y, from + size_t{kWidth} * y, kWidth * sizeof(PixelYC));
        });
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(PlainCopy)->UseRealTime();
BENCHMARK_CAPTURE(Effect, copy_command, "copy", {2, 3, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();

BENCHMARK_CAPTURE(Effect, swapbuf, "swapbuf", {})->UseRealTime();
BENCHMARK_CAPTURE(Effect, dispsize, "dispsize", {1280, 720})->UseRealTime();
BENCHMARK_CAPTURE(Effect, fill, "fill", {3, 0, 0, kWidth, kHeight, 4096, 100, -100})->UseRealTime();
BENCHMARK_CAPTURE(Effect, fill2, "fill2", {3, 2, 0, 0, kWidth, kHeight, 4096, 0, 0, 0, 0, 2048})->UseRealTime();
BENCHMARK_CAPTURE(Effect, resize_same_size, "resize", {2, 3, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight})->UseRealTime();
BENCHMARK_CAPTURE(Effect, resize_enlarge_2x, "resize", {2, 3, 480, 270, 960, 540, 0, 0, kWidth, kHeight})->UseRealTime();
BENCHMARK_CAPTURE(Effect, rotate_0_5_rad, "rotate", {2, 3, 0.5, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, mosaic_16x16, "mosaic", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 16, 16})->UseRealTime();
BENCHMARK_CAPTURE(Effect, mosaic_3x3, "mosaic", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 3, 3})->UseRealTime();
BENCHMARK_CAPTURE(Effect, defocus_4x4, "defocus", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 4, 4})->UseRealTime();
BENCHMARK_CAPTURE(Effect, defocus_64x64, "defocus", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 64, 64})->UseRealTime();
BENCHMARK_CAPTURE(Effect, diffuse_4, "diffuse", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 4, 4})->UseRealTime();
BENCHMARK_CAPTURE(Effect, gamma, "gamma", {3, 0, 0, kWidth, kHeight, 1.0, 1.0, 1.0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, posterize, "posterize", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 5, 5, 5})->UseRealTime();
BENCHMARK_CAPTURE(Effect, posterize_rgb, "posterize_rgb", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 5, 5, 5})->UseRealTime();
BENCHMARK_CAPTURE(Effect, ellipse, "ellipse", {3, 960, 540, 900, 500, 4096, 0, 0})->UseRealTime();

}  // namespace
}  // namespace kinetra::video
