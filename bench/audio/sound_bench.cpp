// Every sound command on stereo frames of 1600 sample frames (30 fps at 48 kHz) and of 48000
// (a second), on 2 worker threads, beside a plain memcpy of the same bytes in the same run.
// Bytes processed are one frame's samples per iteration, so the rates compare directly.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/commands.h"
#include "audio/plugin.h"
#include "host/buffers.h"

namespace kinetra::audio::bench {
namespace {

constexpr int32_t kChannels = 2, kThreads = 2;

// The buffers laid out as the plug-in lays them, all noise, and a host whose reader copies a
// frame of noise, as a host that has the frame decoded does.
struct Sound {
    int32_t n;
    std::vector<int16_t> host, edit;
    BufferTable table;
    FrameContext context{};
    ScriptLine line{};
    FilterTable filter{};
    HostServices services{};

    explicit Sound(int32_t sample_count)
        : n(sample_count), host(Values()), edit(Values()) {
        context.audio_samples = host.data();
        context.sample_count = n;
        context.channel_count = kChannels;
        if (!FillBufferTable(table, kSoundLayout, nullptr, context)) abort();
        std::mt19937 random(1);
        for (int b = 0; b < kBufferCount; ++b) {
            for (size_t k = 0; k < Values(); ++k) table.Sound(b)[k] = static_cast<int16_t>(random());
        }
        for (int16_t& v : edit) v = static_cast<int16_t>(random());
        filter.services = &services;
        filter.reserved_34 = this;
        services.read_frame_audio = [](FilterTable* f, void*, int32_t, int16_t* dest) {
            Sound& sound = *static_cast<Sound*>(f->reserved_34);
            memcpy(dest, sound.edit.data(), sound.Bytes());
            return sound.n;
        };
    }
    size_t Values() const { return static_cast<size_t>(n) * kChannels; }
    size_t Bytes() const { return Values() * sizeof(int16_t); }
};

Sound& SharedSound(int32_t n) {
    static std::map<int32_t, std::unique_ptr<Sound>> sounds;
    auto& sound = sounds[n];
    if (!sound) sound = std::make_unique<Sound>(n);
    return *sound;
}

// Runs `name` with `args` over and over; with `alternate` set, that argument (a frame number)
// takes 0 and 1 in turn, so every run fetches instead of finding the frame cached.
void RunCommand(benchmark::State& state, const char* name, std::vector<double> args, int alternate = -1) {
    Sound& sound = SharedSound(static_cast<int32_t>(state.range(0)));
    if (!FindCommand(std::span(kCommands), name)) {
        state.SkipWithError("command not registered");
        return;
    }
    strcpy(sound.line.command, name);
    for (int k = 0; k < kScriptArguments; ++k) sound.line.arg_value[k] = k < int(args.size()) ? args[k] : 0;
    CommandCall call{sound.line, &sound.filter, &sound.context, sound.table, kThreads, 48000};
    int64_t run = 0;
    for (auto _ : state) {
        if (alternate >= 0) sound.line.arg_value[alternate] = static_cast<double>(run++ & 1);
        audio::RunCommand(call);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sound.Bytes()));
}

// On a shared machine the fastest repetition is the one least disturbed by other work.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void Memcpy(benchmark::State& state) {
    Sound& sound = SharedSound(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        memcpy(sound.table.Sound(3), sound.table.Sound(2), sound.Bytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sound.Bytes()));
}

#define KINETRA_SOUND_BENCH(label, ...)                                          \
    void label(benchmark::State& state) { RunCommand(state, __VA_ARGS__); }      \
    BENCHMARK(label)->Arg(1600)->Arg(48000)->Unit(benchmark::kMicrosecond)->UseRealTime()->ComputeStatistics("min", Fastest)

BENCHMARK(Memcpy)->Arg(1600)->Arg(48000)->Unit(benchmark::kMicrosecond)->UseRealTime()->ComputeStatistics("min", Fastest);
// Buffer 2 is a source never written; each command writes a buffer of its own.
KINETRA_SOUND_BENCH(CopyFrameCached, "a_copyframe", {3, 1});
KINETRA_SOUND_BENCH(CopyFrameFetching, "a_copyframe", {3, 1}, 1);
KINETRA_SOUND_BENCH(CopyFrame2, "a_copyframe2", {3, 10, 12});
// Four frames into one: sources too far apart for the permutes, copied one by one.
KINETRA_SOUND_BENCH(CopyFrame4, "a_copyframe2", {3, 10, 14});
KINETRA_SOUND_BENCH(Copy, "a_copy", {2, 3});
KINETRA_SOUND_BENCH(Volume, "a_volume", {4, 0.2, 0.9, 0});
KINETRA_SOUND_BENCH(VolumeLeft, "a_volume", {4, 0.2, 0.9, 1});
KINETRA_SOUND_BENCH(Blend, "a_blend", {2, 5});
KINETRA_SOUND_BENCH(Swap, "a_swap", {6});
KINETRA_SOUND_BENCH(Mono, "a_mono", {6, 0});
KINETRA_SOUND_BENCH(Reverse, "a_reverse", {2, 7});
KINETRA_SOUND_BENCH(ReverseInPlace, "a_reverse", {7, 7});
KINETRA_SOUND_BENCH(Noise, "a_noise", {8, 0.5});
KINETRA_SOUND_BENCH(Tone, "a_tone", {8, 440, 0, 0.5});
KINETRA_SOUND_BENCH(ToneSquare, "a_tone", {8, 440, 1, 0.5});

}  // namespace
}  // namespace kinetra::audio::bench
