// Each sound kernel table's form at each level this machine runs, on one stereo frame of 1600
// sample frames (30 fps at 48 kHz) on one thread: a form earns its place against the level below.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "audio/kernels/samples.h"
#include "audio/kernels/span.h"

namespace kinetra::audio::bench {
namespace {

constexpr int32_t kFrames = 1600;

std::vector<int16_t> Noise(size_t count) {
    std::mt19937 random(1);
    std::vector<int16_t> samples(count);
    for (int16_t& s : samples) s = static_cast<int16_t>(random());
    return samples;
}

// Registers `run(form, state)` under "table/level" for each level the machine has.
template <typename Form, typename Run>
void RegisterTable(const KernelTable<Form>& table, Run run) {
    for (int index = 0; index < kKernelLevels; ++index) {
        const KernelLevel level = static_cast<KernelLevel>(index);
        if (level > MachineKernelLevel()) continue;
        const std::string name = std::string(table.Name()) + "/" + KernelLevelName(level);
        benchmark::RegisterBenchmark(name.c_str(), [form = table.At(level), run](benchmark::State& state) {
            for (auto _ : state) {
                run(form);
                benchmark::ClobberMemory();
            }
        })->Unit(benchmark::kMicrosecond);
    }
}

int Register() {
    static std::vector<int16_t> sound = Noise(kFrames * 2), out(kFrames * 2);
    for (const auto* table : {&kRampOneChannel, &kRampLeft, &kRampRight, &kRampStereo}) {
        RegisterTable(*table, [](RampForm form) { form(sound.data(), kFrames, 0.2, 0.9, 0, kFrames); });
    }
    for (const auto* table : {&kMonoMean, &kMonoLeft, &kMonoRight}) {
        RegisterTable(*table, [](MonoForm form) { form(sound.data(), 0, kFrames); });
    }
    for (const auto* table : {&kReverseStereo, &kReverseOneChannel}) {
        RegisterTable(*table, [](ReverseForm form) { form(sound.data(), out.data(), kFrames, 0, kFrames); });
    }
    for (const auto* table : {&kExchangeStereo, &kExchangeOneChannel}) {
        RegisterTable(*table, [](ExchangeForm form) { form(sound.data(), kFrames, 0, kFrames / 2); });
    }
    // Two frames into one (a_copyframe2 10 12): runs of 800 positions, each frame's samples.
    static std::vector<int32_t> samples(kFrames);
    static const SpanPositions span{10, 2, kFrames, kFrames - 1};
    RegisterTable(kRunSamples, [](RunSamplesForm form) { form(span, 10, 0, kFrames / 2, samples.data()); });
    kRunSamples.At(KernelLevel::kPortable)(span, 10, 0, kFrames / 2, samples.data());
    RegisterTable(kCopyStereo, [](CopyStereoForm form) {
        form(samples.data(), kFrames / 2, sound.data(), kFrames, out.data());
    });
    return 0;
}
const int registered = Register();

}  // namespace
}  // namespace kinetra::audio::bench
