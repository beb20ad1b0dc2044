// The effects commands on a full 1920x1080 frame with 2 threads. Bytes processed are one
// frame's pixels per iteration, so the rates compare directly with the copy command's.
#include "bench/video/bench_frames.h"
#include "video/arguments.h"
#include "video/effects.h"
#include "video/pixels.h"

namespace kinetra::video::bench {
namespace {

void Effect(benchmark::State& state, const char* name, std::vector<double> args) {
    RunCommand(state, name, std::move(args));
}

// The baselines: a plain copy of every row in the same row loop, and the copy command over the
// whole frame, buffer 2 to buffer 3.
void PlainCopy(benchmark::State& state) {
    Frames& f = SharedFrames();
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
BENCHMARK_CAPTURE(Effect, resize_shrink_4x, "resize", {2, 3, 0, 0, kWidth, kHeight, 0, 0, kWidth / 4, kHeight / 4})->UseRealTime();
BENCHMARK_CAPTURE(Effect, rotate_0_5_rad, "rotate", {2, 3, 0.5, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, rotate_0_rad, "rotate", {2, 3, 0.0, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, rotate_1_5_rad, "rotate", {2, 3, 1.5, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
// Small turns, as when straightening a horizon: a row crosses a source row every 5 to 20 pixels.
BENCHMARK_CAPTURE(Effect, rotate_0_05_rad, "rotate", {2, 3, 0.05, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, rotate_0_2_rad, "rotate", {2, 3, 0.2, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, rotate_1_rad, "rotate", {2, 3, 1.0, 0, 0, kWidth, kHeight, 0, 0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, mosaic_16x16, "mosaic", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 16, 16})->UseRealTime();
BENCHMARK_CAPTURE(Effect, mosaic_3x3, "mosaic", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 3, 3})->UseRealTime();
BENCHMARK_CAPTURE(Effect, defocus_4x4, "defocus", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 4, 4})->UseRealTime();
BENCHMARK_CAPTURE(Effect, defocus_64x64, "defocus", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 64, 64})->UseRealTime();
BENCHMARK_CAPTURE(Effect, diffuse_4, "diffuse", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 4, 4})->UseRealTime();
BENCHMARK_CAPTURE(Effect, gamma, "gamma", {3, 0, 0, kWidth, kHeight, 1.0, 1.0, 1.0})->UseRealTime();
BENCHMARK_CAPTURE(Effect, posterize, "posterize", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 5, 5, 5})->UseRealTime();
BENCHMARK_CAPTURE(Effect, posterize_rgb, "posterize_rgb", {2, 3, 0, 0, kWidth, kHeight, 0, 0, 5, 5, 5})->UseRealTime();
BENCHMARK_CAPTURE(Effect, ellipse, "ellipse", {3, 960, 540, 900, 500, 4096, 0, 0})->UseRealTime();

// One line of 40 characters in a 48-pixel cell, centred on the frame: the glyphs are kept
// from the first run on, so a run is the clear, the layout, the blits and the blend.
void Text(benchmark::State& state) {
    Frames& f = SharedFrames();
    memset(f.line.arg_text, 0, sizeof f.line.arg_text);
    strcpy(f.line.arg_text[0], "DejaVu Sans");
    strcpy(f.line.command, "font");
    CommandCall call{f.line, &f.filter, &f.context, f.table, kThreads, 0};
    for (int k = 0; k < kScriptArguments; ++k) f.line.arg_value[k] = 0;
    f.line.arg_value[1] = 48;
    f.line.arg_value[5] = 4096;
    video::RunCommand(call);
    memset(f.line.arg_text, 0, sizeof f.line.arg_text);
    strcpy(f.line.arg_text[4], "The quick brown fox jumps over a lazy do");
    RunCommand(state, "text", {3, kWidth / 2, kHeight / 2, 1});
    memset(f.line.arg_text, 0, sizeof f.line.arg_text);
}
BENCHMARK(Text)->UseRealTime();

}  // namespace
}  // namespace kinetra::video::bench
