// The pictures the image benchmarks run on: the host's two 1920x1080 images and the plug-in's
// own buffers laid out as the plug-in lays them, all noise; and one way to run a command on them.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/buffers.h"
#include "video/commands.h"
#include "video/plugin.h"

namespace kinetra::video::bench {

constexpr int32_t kWidth = 1920, kHeight = 1080, kThreads = 2;
constexpr size_t kPixels = size_t{kWidth} * kHeight;
constexpr int64_t kFrameBytes = static_cast<int64_t>(kPixels * sizeof(PixelYC));

struct Frames {
    std::vector<PixelYC> host = std::vector<PixelYC>(kPixels * 2);
    BufferTable table;
    FrameContext context{};
    ScriptLine line{};
    FilterTable filter{};
    HostServices services{};

    Frames() {
        context.max_width = context.width = kWidth;
        context.max_height = context.height = kHeight;
        context.edit_image = host.data();
        context.scratch_image = host.data() + kPixels;
        if (!FillBufferTable(table, kImageLayout, nullptr, context)) abort();
        // Noise is the hard case for the commands that test a threshold: half the pixels pass.
        std::mt19937 random(1);
        for (int b = 0; b < kBufferCount; ++b) {
            for (size_t i = 0; i < kPixels; ++i) {
                table.Image(b)[i] = {static_cast<int16_t>(random() % 4097),
                                     static_cast<int16_t>(random() % 4097 - 2048),
                                     static_cast<int16_t>(random() % 4097 - 2048)};
            }
        }
        // copyframe fetches buffer 9 as "another frame".
        filter.services = &services;
        filter.reserved_34 = this;
        services.prepare_frame_fetch = [](FilterTable*, int32_t, int32_t, int32_t, int32_t) {
            return int32_t{0};
        };
        services.fetch_frame_image = [](FilterTable* f, void*, int32_t, int32_t, int32_t) {
            return static_cast<Frames*>(f->reserved_34)->table.Image(9);
        };
    }
};

inline Frames& SharedFrames() {
    static Frames frames;
    return frames;
}

// Runs the command `name` with `args` over and over; bytes processed are one picture a run.
inline void RunCommand(benchmark::State& state, const char* name, std::vector<double> args) {
    Frames& f = SharedFrames();
    if (!FindCommand(std::span(kCommands), name)) {
        state.SkipWithError("command not registered");
        return;
    }
    strcpy(f.line.command, name);
    for (int k = 0; k < kScriptArguments; ++k) f.line.arg_value[k] = k < int(args.size()) ? args[k] : 0;
    CommandCall call{f.line, &f.filter, &f.context, f.table, kThreads, 0};
    for (auto _ : state) {
        video::RunCommand(call);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}

// On a shared machine the fastest repetition is the one least disturbed by other work.
inline double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace kinetra::video::bench
