// Renders a script over the synthetic clip through both plug-in files and reduces every frame to
// checksums: what the golden files keep for the example scripts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kinetra/editor/synthetic.h"

namespace kinetra::editor {

struct RenderOptions {
    SyntheticClip clip;
    int32_t threads = 1;             // the "スレッド数" track bar, applied through UpdateSettings
    std::filesystem::path plugin_dir;  // holds dizorud.auf and dizorud_audio.auf
};

// A frame's result: the picture the host gets back (its current width × height, its size
// included) and the frame's sound.
struct FrameChecksum {
    int32_t frame = 0;
    uint64_t image = 0;
    uint64_t sound = 0;
    bool operator==(const FrameChecksum&) const = default;
};

// 64-bit FNV-1a, fed byte by byte so that the checksum is the same on every build.
class Fnv1a {
public:
    void Add(const void* bytes, size_t size);
    void AddInt16(int16_t value);  // little-endian, whatever the machine's order
    void AddInt32(int32_t value);
    uint64_t value() const { return hash_; }

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

uint64_t ImageChecksum(const FrameContext& frame);
uint64_t SoundChecksum(const int16_t* samples, int32_t sample_count, int32_t channel_count);

// Runs `script` (the text of an animation.txt) over every frame of the clip: the picture through
// dizorud.auf, the sound through dizorud_audio.auf, each plug-in loaded for the run and unloaded
// after it. False with `error` set when a plug-in cannot be loaded, a frame fails, or a plug-in
// stays loaded after the run (its state would leak into the next one).
bool RenderChecksums(const std::string& script, const RenderOptions& options,
                     std::vector<FrameChecksum>& frames, std::string& error);

}  // namespace kinetra::editor
