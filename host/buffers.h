// The ten numbered buffers the commands address, and the one block that holds the plug-in's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kinetra/filter_abi.h"

namespace kinetra {

constexpr int kBufferCount = 10;
constexpr int kVariableTracks = 9;  // track bars 2..10 feed the variables a b c d u v x y z
constexpr int kMaxWorkerThreads = 16;
// Room a column for what a command keeps per column during one call: the most is defocus's
// three 64-bit sums for each worker thread (resize's column table needs 12 bytes).
constexpr size_t kRowScratchPerColumn = 3 * sizeof(int64_t) * kMaxWorkerThreads;

enum class BufferKind { kImage, kSound };

// Where the own areas lie: `areas` areas of `rows` rows of `row_bytes` each. An image area is
// a picture with the host's stride; a sound area is one row of samples.
struct AreaGeometry {
    size_t row_bytes = 0;
    size_t rows = 0;
    bool operator==(const AreaGeometry&) const = default;
};

struct BufferTable {
    void* slots[kBufferCount] = {};
    int32_t track_values[kVariableTracks] = {};

    // Image: buffers 2..9 are areas 0..7; area 8 is the work area where a command keeps a
    // source it must read before writing over it. Sound: buffers 1..9 are areas 0..8; the
    // fetch area is area 8 and may run on into area 9.
    unsigned char* own_block = nullptr;
    int16_t* fetch_area = nullptr;
    void* work_area = nullptr;
    // Image: kRowScratchPerColumn bytes a column for a command's per-column state (running
    // sums, column tables), so that no command allocates.
    void* row_scratch = nullptr;
    size_t row_scratch_bytes = 0;
    AreaGeometry geometry;     // of each own area
    size_t area_stride = 0;    // bytes from one area to the next (area plus guard gap)
    size_t block_bytes = 0;

    PixelYC* Image(int number) const { return static_cast<PixelYC*>(slots[number]); }
    int16_t* Sound(int number) const { return static_cast<int16_t*>(slots[number]); }
};

// Points buffer 0 (and 1) at the host's data, copies the variable track bars, and makes, grows
// or re-lays the own block for this frame's geometry. False when that allocation failed.
bool FillBufferTable(BufferTable& buffers, BufferKind kind, const FilterTable* filter,
                     const FrameContext& frame);

// Copies buffer `number` over buffer 0, the frame's result.
void ShowDisplayBuffer(BufferTable& buffers, BufferKind kind, int32_t number,
                       const FrameContext& frame);

// Frees the own block.
void ReleaseOwnBlock(BufferTable& buffers);

// The geometry of one own area for a frame; false when its size cannot be represented.
bool OwnAreaGeometry(BufferKind kind, const FrameContext& frame, AreaGeometry& geometry);

}  // namespace kinetra
