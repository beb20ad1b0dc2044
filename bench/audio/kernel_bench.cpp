// Each sound kernel table's form at each level this machine runs, on one stereo frame of 1600
// sample frames (30 fps at 48 kHz) on one thread: a form earns its place against the level below.

#include <random>
#include <vector>

#include "bench/kernel_tables.h"
#include "audio/kernels/samples.h"
#include "audio/kernels/span.h"

namespace kinetra::audio::bench {
namespace {

using kinetra::bench::RegisterTable;
constexpr benchmark::TimeUnit kUnit = benchmark::kMicrosecond;

constexpr int32_t kFrames = 1600;

std::vector<int16_t> Noise(size_t count) {
    std::mt19937 random(1);
    std::vector<int16_t> samples(count);
    for (int16_t& s : samples) s = static_cast<int16_t>(random());
    return samples;
}


int Register() {
    static std::vector<int16_t> sound = Noise(kFrames * 2), out(kFrames * 2);
    for (const auto* table : {&kRampOneChannel, &kRampLeft, &kRampRight, &kRampStereo}) {
        RegisterTable(*table, kUnit, [](RampForm form) { form(sound.data(), kFrames, 0.2, 0.9, 0, kFrames); });
    }
    for (const auto* table : {&kMonoMean, &kMonoLeft, &kMonoRight}) {
        RegisterTable(*table, kUnit, [](MonoForm form) { form(sound.data(), 0, kFrames); });
    }
    for (const auto* table : {&kReverseStereo, &kReverseOneChannel}) {
        RegisterTable(*table, kUnit, [](ReverseForm form) { form(sound.data(), out.data(), kFrames, 0, kFrames); });
    }
    for (const auto* table : {&kExchangeStereo, &kExchangeOneChannel}) {
        RegisterTable(*table, kUnit, [](ExchangeForm form) { form(sound.data(), kFrames, 0, kFrames / 2); });
    }
    // Two frames into one (a_copyframe2 10 12): runs of 800 positions, each frame's samples.
    static std::vector<int32_t> samples(kFrames);
    static const SpanPositions span{10, 2, kFrames, kFrames - 1};
    RegisterTable(kRunSamples, kUnit, [](RunSamplesForm form) { form(span, 10, 0, kFrames / 2, samples.data()); });
    kRunSamples.At(KernelLevel::kPortable)(span, 10, 0, kFrames / 2, samples.data());
    RegisterTable(kCopyStereo, kUnit, [](CopyStereoForm form) {
        form(samples.data(), kFrames / 2, sound.data(), kFrames, out.data());
    });
    return 0;
}
const int registered = Register();

}  // namespace
}  // namespace kinetra::audio::bench
