// The colour maps of kinetra render on one 1920x1080 4:2:0 BT.709 picture, at each kernel level
// the machine has: decoded Y'CbCr to PixelYC, and PixelYC back for the encoder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "kernels/level.h"
#include "kinetra/media/colour.h"

namespace kinetra::media {
namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Picture {
    std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(kWidth * kHeight), std::vector<uint8_t>(kWidth * kHeight / 4),
                                      std::vector<uint8_t>(kWidth * kHeight / 4)};
    std::vector<PixelYC> yc = std::vector<PixelYC>(kWidth * kHeight);
    Picture() {
        for (int c = 0; c < 3; ++c) {
            for (size_t i = 0; i < planes[c].size(); ++i) planes[c][i] = static_cast<uint8_t>(i * (7 + c) + c * 40);
        }
    }
    PlanarPicture Planes() {
        return {{planes[0].data(), planes[1].data(), planes[2].data()}, {kWidth, kWidth / 2, kWidth / 2}, kWidth, kHeight, 1, 1};
    }
    YcPicture Yc() { return {yc.data(), kWidth, kWidth, kHeight}; }
};

// state.range(0) is the kernel level; levels the machine lacks are skipped.
bool AtLevel(benchmark::State& state) {
    const auto level = static_cast<KernelLevel>(state.range(0));
    if (level > MachineKernelLevel()) {
        state.SkipWithError("not on this machine");
        return false;
    }
    SetKernelLevel(level);
    state.SetLabel(KernelLevelName(level));
    return true;
}

void ToPixelYc(benchmark::State& state) {
    if (!AtLevel(state)) return;
    Picture picture;
    YuvToYc map(ColourSpace::Bt709(false));
    for (auto _ : state) {
        map.Convert(picture.Planes(), picture.Yc());
        benchmark::ClobberMemory();
    }
    SetKernelLevel(MachineKernelLevel());
}
BENCHMARK(ToPixelYc)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BackToYuv(benchmark::State& state) {
    if (!AtLevel(state)) return;
    Picture picture;
    YuvToYc(ColourSpace::Bt709(false)).Convert(picture.Planes(), picture.Yc());
    const YcToYuv map(ColourSpace::Bt709(false));
    for (auto _ : state) {
        map.Convert(picture.Yc(), picture.Planes());
        benchmark::ClobberMemory();
    }
    SetKernelLevel(MachineKernelLevel());
}
BENCHMARK(BackToYuv)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// As in a render: each picture read back was written several pictures earlier, so it comes from
// memory rather than the caches (six pictures travel between a render's stages).
void BackToYuvCold(benchmark::State& state) {
    if (!AtLevel(state)) return;
    std::vector<Picture> pictures(6);
    const YuvToYc to(ColourSpace::Bt709(false));
    for (Picture& p : pictures) YuvToYc(ColourSpace::Bt709(false)).Convert(p.Planes(), p.Yc());
    const YcToYuv map(ColourSpace::Bt709(false));
    size_t next = 0;
    for (auto _ : state) {
        Picture& picture = pictures[next++ % pictures.size()];
        map.Convert(picture.Yc(), picture.Planes());
        benchmark::ClobberMemory();
    }
    SetKernelLevel(MachineKernelLevel());
}
BENCHMARK(BackToYuvCold)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kinetra::media
