// Full-frame 1920x1080 compositing commands on 2 threads, against a memcpy of the same bytes.
// Bytes processed are one frame's pixels per iteration, so the rates compare directly.
#include "bench/video/bench_frames.h"

namespace kinetra::video::bench {
namespace {

void Memcpy(benchmark::State& state) {
    Frames& f = SharedFrames();
    for (auto _ : state) {
        memcpy(f.table.Image(3), f.table.Image(2), kFrameBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Fastest);

constexpr double W = kWidth, H = kHeight;
#define KINETRA_COMMAND_BENCH(label, name, ...)                                     \
    void label(benchmark::State& state) { RunCommand(state, name, {__VA_ARGS__}); } \
    BENCHMARK(label)                                                                \
        ->Unit(benchmark::kMillisecond)                                             \
        ->UseRealTime()                                                             \
        ->ComputeStatistics("min", Fastest)

// Buffers 2 (source) and 4 (key or mask) hold noise and are never written, so every
// repetition sees the same data; each command writes a buffer of its own. Noise is the hard
// case for the commands that test a threshold: half the pixels pass, at random.
KINETRA_COMMAND_BENCH(CopyFrame, "copyframe", 8, 1, 0, 0, W, H, 0, 0);
KINETRA_COMMAND_BENCH(Copy, "copy", 2, 3, 0, 0, W, H, 0, 0);
KINETRA_COMMAND_BENCH(CopySameBufferOverlapping, "copy", 8, 8, 0, 0, W, H, 1, 1);
KINETRA_COMMAND_BENCH(Copy2, "copy2", 2, 3, 0, 0, W, H, 0, 0, 2048);
KINETRA_COMMAND_BENCH(Copy3, "copy3", 2, 3, 4, 0, 0, W, H, 0, 0, 0, 0, 2048);
KINETRA_COMMAND_BENCH(MakeMask, "mkmask", 2, 5, 0, 0, W, H, 0, 0, 1000, -1000, -1000, 3000, 1000,
                      1000, 4096, 0);
KINETRA_COMMAND_BENCH(MakeMaskRGB, "mkmask_rgb", 2, 5, 0, 0, W, H, 0, 0, 1000, 1000, 1000, 3000,
                      3000, 3000, 4096, 0);
KINETRA_COMMAND_BENCH(Alpha, "alpha", 2, 3, 0, 0, W, H, 0, 0, 0.5);
KINETRA_COMMAND_BENCH(Alpha2, "alpha2", 2, 3, 0, 0, W, H, 0, 0, 0.5, 2048);
KINETRA_COMMAND_BENCH(Alpha3, "alpha3", 2, 3, 4, 0, 0, W, H, 0, 0, 0, 0, 0.5, 2048);
KINETRA_COMMAND_BENCH(Alpha4, "alpha4", 2, 3, 4, 0, 0, W, H, 0, 0, 0, 0);
KINETRA_COMMAND_BENCH(FlipV, "flipv", 2, 3, 0, 0, W, H, 0, 0);
KINETRA_COMMAND_BENCH(FlipH, "fliph", 2, 3, 0, 0, W, H, 0, 0);
KINETRA_COMMAND_BENCH(Color, "color", 6, 0, 0, W, H, 1, 1, 1, 0, 0, 0);
KINETRA_COMMAND_BENCH(ColorRGB, "color_rgb", 7, 0, 0, W, H, 1, 1, 1, 0, 0, 0);

}  // namespace
}  // namespace kinetra::video::bench
