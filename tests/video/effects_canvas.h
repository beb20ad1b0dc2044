// Ten small buffers and a work area, and a way to run one image command line on them: the
// ground on which the effects tests compare commands with plain per-pixel references.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/buffers.h"
#include "video/commands.h"
#include "video/image.h"

namespace kinetra::video::effects_testing {

inline bool Same(const PixelYC& a, const PixelYC& b) { return a.y == b.y && a.cb == b.cb && a.cr == b.cr; }

struct Canvas {
    int32_t W, H;
    // Buffers 0..9, then the work area, each its own allocation so that the address sanitizer
    // sees a command run off the end of one.
    std::vector<std::vector<PixelYC>> storage;
    std::vector<unsigned char> row_scratch;
    BufferTable table;
    FrameContext context{};
    ScriptLine line{};

    Canvas(int32_t width, int32_t height)
        : W(width), H(height), storage(11, std::vector<PixelYC>(static_cast<size_t>(width) * height)) {
        for (int b = 0; b < kBufferCount; ++b) table.slots[b] = Image(b);
        table.work_area = Image(10);
        row_scratch.resize(static_cast<size_t>(width) * kRowScratchPerColumn);
        table.row_scratch = row_scratch.data();
        table.row_scratch_bytes = row_scratch.size();
        context.max_width = W;
        context.max_height = H;
        context.width = W;
        context.height = H;
        context.edit_image = Image(0);
        context.scratch_image = Image(1);
    }
    Canvas(const Canvas& other) : Canvas(other.W, other.H) {
        for (int b = 0; b < 11; ++b) std::copy(other.storage[b].begin(), other.storage[b].end(), storage[b].begin());
    }

    size_t Area() const { return static_cast<size_t>(W) * H; }
    PixelYC* Image(int b) { return storage[b].data(); }
    const PixelYC* Image(int b) const { return storage[b].data(); }
    PixelYC& At(int b, int64_t x, int64_t y) { return Image(b)[y * W + x]; }
    const PixelYC& At(int b, int64_t x, int64_t y) const { return Image(b)[y * W + x]; }
    bool Inside(int64_t x, int64_t y) const { return x >= 0 && x < W && y >= 0 && y < H; }

    // Mostly nominal values, one in eight anywhere in 16 bits.
    void Randomize(uint32_t seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> luma(-64, 4160), chroma(-2100, 2100), any(-32768, 32767);
        for (size_t i = 0; i < Area() * 10; ++i) {
            Image(int(i / Area()))[i % Area()] = random() % 8 == 0
                             ? PixelYC{int16_t(any(random)), int16_t(any(random)), int16_t(any(random))}
                             : PixelYC{int16_t(luma(random)), int16_t(chroma(random)), int16_t(chroma(random))};
        }
    }

    void Run(const std::string& name, const std::vector<double>& args, int threads = 2) {
        strcpy(line.command, name.c_str());
        for (int k = 0; k < kScriptArguments; ++k) line.arg_value[k] = k < int(args.size()) ? args[k] : 0.0;
        for (const CommandEntry& entry : Commands()) {
            if (name == entry.name) {
                CommandCall call{line, nullptr, &context, table, threads};
                entry.run(call);
                return;
            }
        }
        ADD_FAILURE() << "no command " << name;
    }

    // Buffers 0..9 only: what the work area keeps is nobody's business.
    bool SameBuffers(const Canvas& other) const {
        for (int b = 0; b < 10; ++b) {
            if (memcmp(Image(b), other.Image(b), Area() * sizeof(PixelYC)) != 0) return false;
        }
        return true;
    }
    // The first pixel of buffer `b` that differs, as text, or "" when none does.
    std::string FirstDifference(const Canvas& other, int b) const {
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) {
                const PixelYC &p = At(b, x, y), &q = other.At(b, x, y);
                if (!Same(p, q)) {
                    return "(" + std::to_string(x) + "," + std::to_string(y) + "): " +
                           std::to_string(p.y) + "/" + std::to_string(p.cb) + "/" + std::to_string(p.cr) +
                           " vs " + std::to_string(q.y) + "/" + std::to_string(q.cb) + "/" + std::to_string(q.cr);
                }
            }
        }
        return "";
    }
};

// Arguments that exercise clipping: mostly around the image, sometimes far outside it or
// beyond the 32-bit range.
struct ArgumentSource {
    std::mt19937 random;
    int32_t W, H;

    ArgumentSource(uint32_t seed, int32_t w, int32_t h) : random(seed), W(w), H(h) {}

    double Position(int32_t limit) {
        switch (random() % 16) {
            case 0: return 2147483647.0;
            case 1: return -2147483648.0;
            case 2: return -1e10;
            default: return static_cast<int>(random() % (3 * limit)) - limit;
        }
    }
    double Size(int32_t limit) {
        switch (random() % 16) {
            case 0: return 2147483647.0;
            case 1: return 0.5;
            default: return 1 + static_cast<int>(random() % (limit + limit / 2));
        }
    }
    double Buffer() { return random() % 3; }
};

}  // namespace kinetra::video::effects_testing
