// The sound plug-in's ten buffers as it lays them out itself (FillBufferTable with its layout,
// poisoned guard gaps in the sanitizer build), the host's samples, a host whose frame audio
// reader serves frames of known sound (some of them short), and one way to run a command line
// on them: the ground of every sound command's test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/buffers.h"
#include "host/command.h"
#include "kinetra/filter_abi.h"

namespace kinetra::testing {

class SoundBuffers {
public:
    SoundBuffers(int32_t sample_count, int32_t channels);
    // The same geometry and samples in buffers 0..9, the same line and host.
    SoundBuffers(const SoundBuffers& other);
    SoundBuffers& operator=(const SoundBuffers&) = delete;
    ~SoundBuffers();

    // The next frame's geometry: the host's samples made anew, the own block grown as the
    // plug-in grows it.
    void Resize(int32_t sample_count, int32_t channels);

    int32_t n, c;
    BufferTable table;
    FrameContext context{};
    FilterTable filter{};
    HostServices services{};
    ScriptLine line{};
    int32_t sampling_rate = 48000;

    // Sample k of channel ch of frame f of the edit (frames -5..99 exist), as the reader serves it.
    static int16_t Known(int32_t f, int64_t k, int32_t ch) { return static_cast<int16_t>(f * 1000 + k * 8 + ch); }
    // Sample frames the reader delivers for frame f, n unless set; the frames it was asked for.
    std::function<int32_t(int32_t f)> delivered;
    std::vector<int32_t> reads;

    int16_t* Sound(int b) { return table.Sound(b); }
    const int16_t* Sound(int b) const { return table.Sound(b); }
    size_t Values() const { return static_cast<size_t>(n) * c; }
    // Buffer b as a list of its c x n samples.
    std::vector<int16_t> Samples(int b) const;
    void Set(int b, const std::vector<int16_t>& samples);
    // Every buffer anywhere in 16 bits.
    void Randomize(uint32_t seed);

    // Runs the registered command `name` with `args` (the rest 0) on `threads` threads.
    void Run(const std::string& name, const std::vector<double>& args, int threads = 2);

    bool SameBuffers(const SoundBuffers& other) const;

private:
    std::vector<int16_t> host_samples_;
};

}  // namespace kinetra::testing
