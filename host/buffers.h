// The ten numbered buffers the commands address, and the one block that holds the plug-in's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/track_bars.h"
#include "kinetra/filter_abi.h"
#include "script/arguments.h"

namespace kinetra {

// Where the own areas lie: `areas` areas of `rows` rows of `row_bytes` each. An image area is
// a picture with the host's stride; a sound area is one row of samples.
struct AreaGeometry {
    size_t row_bytes = 0;
    size_t rows = 0;
    bool operator==(const AreaGeometry&) const = default;
};

// What a plug-in's buffers are; each plug-in defines its own, the host binding only allocates,
// grows and guards what it says.
struct BufferLayout {
    int first_own_slot;  // the slots before it are the host's data
    // Areas of the same geometry after the own buffers (the work areas). When the last own
    // buffer runs on into the first of them the two form one span with no guard gap between.
    int extra_areas;
    bool last_buffer_runs_on;
    // Re-lay the block whenever the geometry changes (pictures: the stride changed), or only
    // when the areas must grow (sound).
    bool exact_geometry;
    // One area's geometry for a frame; false when its size cannot be represented.
    bool (*area_geometry)(const FrameContext& frame, AreaGeometry& geometry);
    // Points the host's slots at the frame's data.
    void (*attach_host_data)(void** slots, const FrameContext& frame);
    // Bytes of buffer 0 for the frame: what the display buffer copies.
    size_t (*frame_bytes)(const FrameContext& frame);
    // Bytes of per-command scratch after the areas, for areas of `area`'s geometry; false when
    // the size cannot be represented. Null: no scratch.
    bool (*scratch_bytes)(const AreaGeometry& area, size_t& bytes);
};

struct BufferTable {
    void* slots[kBufferCount] = {};
    int32_t track_values[kVariableTracks] = {};

    unsigned char* own_block = nullptr;
    // The first area after the own buffers: where a picture command keeps a source it must
    // read before writing over it; the sound fetch area runs on into it from buffer 9.
    void* work_area = nullptr;
    // The layout's scratch_bytes, for a command's per-column state (running sums, column
    // tables), so that no command allocates. Nothing in it outlives a command.
    void* column_scratch = nullptr;
    size_t column_scratch_bytes = 0;
    AreaGeometry geometry;   // of each own area
    size_t area_stride = 0;  // bytes from one area to the next (area plus guard gap)
    size_t block_bytes = 0;

    // Work area k (0 is work_area itself) of the layout's extra areas.
    void* WorkArea(int k) const {
        return work_area ? static_cast<unsigned char*>(work_area) + static_cast<size_t>(k) * area_stride : nullptr;
    }

    PixelYC* Image(int number) const { return static_cast<PixelYC*>(slots[number]); }
    int16_t* Sound(int number) const { return static_cast<int16_t*>(slots[number]); }
};

// Points the host's slots at the frame's data, copies the variable track bars, and makes,
// grows or re-lays the own block for this frame's geometry. False when that allocation failed.
bool FillBufferTable(BufferTable& buffers, const BufferLayout& layout, const FilterTable* filter,
                     const FrameContext& frame);

// Copies buffer `number` over buffer 0, the frame's result.
void ShowDisplayBuffer(BufferTable& buffers, const BufferLayout& layout, int32_t number,
                       const FrameContext& frame);

// Frees the own block.
void ReleaseOwnBlock(BufferTable& buffers);

// Size arithmetic that reports overflow instead of wrapping.
inline bool MultiplySizes(size_t a, size_t b, size_t& out) { return !__builtin_mul_overflow(a, b, &out); }
inline bool AddSizes(size_t a, size_t b, size_t& out) { return !__builtin_add_overflow(a, b, &out); }

}  // namespace kinetra
