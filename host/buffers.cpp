#include "host/buffers.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

#if defined(KINETRA_SANITIZE)
#include <sanitizer/asan_interface.h>
#define KINETRA_POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define KINETRA_UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define KINETRA_POISON(address, size) ((void)(address), (void)(size))
#define KINETRA_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace kinetra {
namespace {

constexpr size_t kAreaAlignment = 64;
constexpr size_t kSpareBytes = 64;  // after the last area, so an empty block is still a block
// The own areas share one allocation, so the sanitizer cannot see a command run from one
// area into the next; in that build a poisoned gap after each area makes it see.
#if defined(KINETRA_SANITIZE)
constexpr size_t kGuardBytes = 64;
#else
constexpr size_t kGuardBytes = 0;
#endif

int OwnAreas(const BufferLayout& layout) { return kBufferCount - layout.first_own_slot; }
int AreaCount(const BufferLayout& layout) { return OwnAreas(layout) + layout.extra_areas; }

bool Fits(const BufferLayout& layout, const AreaGeometry& have, const AreaGeometry& need) {
    if (layout.exact_geometry) return have == need;
    return have.row_bytes >= need.row_bytes && have.rows >= need.rows;
}

void PointSlots(BufferTable& buffers, const BufferLayout& layout) {
    for (int slot = layout.first_own_slot; slot < kBufferCount; ++slot) {
        buffers.slots[slot] =
            buffers.own_block + static_cast<size_t>(slot - layout.first_own_slot) * buffers.area_stride;
    }
    buffers.work_area =
        layout.extra_areas > 0 ? buffers.own_block + OwnAreas(layout) * buffers.area_stride : nullptr;
    buffers.column_scratch =
        layout.scratch_bytes ? buffers.own_block + AreaCount(layout) * buffers.area_stride : nullptr;
}

void PoisonGuards(const BufferTable& buffers, const BufferLayout& layout) {
    const size_t area_bytes = buffers.geometry.row_bytes * buffers.geometry.rows;
    for (int k = 0; k < AreaCount(layout); ++k) {
        // A buffer that runs on into the first extra area has no gap of its own before it.
        const bool runs_on = layout.last_buffer_runs_on && k == OwnAreas(layout) - 1 && k + 1 < AreaCount(layout);
        if (runs_on) continue;
        KINETRA_POISON(buffers.own_block + k * buffers.area_stride + area_bytes,
                       buffers.area_stride - area_bytes);
    }
    // After the column scratch, to the end of the block.
    const size_t scratch_end = AreaCount(layout) * buffers.area_stride + buffers.column_scratch_bytes;
    KINETRA_POISON(buffers.own_block + scratch_end, buffers.block_bytes - scratch_end);
}

// Makes a block for `need`, keeping what the old one held at the same pixel coordinates or
// sample positions.
bool Relayout(BufferTable& buffers, const BufferLayout& layout, const AreaGeometry& need) {
    size_t area_bytes, stride, block_bytes;
    if (!MultiplySizes(need.row_bytes, need.rows, area_bytes) ||
        !AddSizes(area_bytes, kGuardBytes + kAreaAlignment - 1, stride)) {
        return false;  // a size the address space cannot hold is a failed allocation
    }
    stride -= stride % kAreaAlignment;
    // The column scratch follows the areas: nothing in it outlives a command, so it is not copied.
    size_t scratch_bytes = 0, scratch_stride = 0;
    if ((layout.scratch_bytes && !layout.scratch_bytes(need, scratch_bytes)) ||
        !AddSizes(scratch_bytes, kGuardBytes + kAreaAlignment - 1, scratch_stride)) {
        return false;
    }
    scratch_stride -= scratch_stride % kAreaAlignment;
    if (!MultiplySizes(stride, AreaCount(layout), block_bytes) ||
        !AddSizes(block_bytes, scratch_stride, block_bytes) || !AddSizes(block_bytes, kSpareBytes, block_bytes)) {
        return false;
    }
    auto* block = static_cast<unsigned char*>(CurrentPlatform().AllocateZeroed(block_bytes));
    if (!block) return false;

    if (buffers.own_block) {
        const size_t rows = std::min(need.rows, buffers.geometry.rows);
        const size_t row_bytes = std::min(need.row_bytes, buffers.geometry.row_bytes);
        for (int k = 0; k < AreaCount(layout); ++k) {
            for (size_t r = 0; r < rows; ++r) {
                memcpy(block + k * stride + r * need.row_bytes,
                       buffers.own_block + k * buffers.area_stride + r * buffers.geometry.row_bytes,
                       row_bytes);
            }
        }
        ReleaseOwnBlock(buffers);
    }
    buffers.own_block = block;
    buffers.geometry = need;
    buffers.area_stride = stride;
    buffers.block_bytes = block_bytes;
    buffers.column_scratch_bytes = scratch_bytes;
    PoisonGuards(buffers, layout);
    PointSlots(buffers, layout);
    return true;
}

}  // namespace

bool FillBufferTable(BufferTable& buffers, const BufferLayout& layout, const FilterTable* filter,
                     const FrameContext& frame) {
    for (int t = 0; t < kVariableTracks; ++t) {
        buffers.track_values[t] = TrackValue(filter, kFirstVariableTrack + t);
    }
    layout.attach_host_data(buffers.slots, frame);

    AreaGeometry need;
    if (!layout.area_geometry(frame, need)) return false;
    if (buffers.own_block && Fits(layout, buffers.geometry, need)) return true;
    return Relayout(buffers, layout, need);
}

void ShowDisplayBuffer(BufferTable& buffers, const BufferLayout& layout, int32_t number,
                       const FrameContext& frame) {
    if (number <= 0 || number >= kBufferCount) return;
    void* from = buffers.slots[number];
    void* to = buffers.slots[0];
    if (!from || !to || from == to) return;
    memcpy(to, from, layout.frame_bytes(frame));
}

void ReleaseOwnBlock(BufferTable& buffers) {
    if (!buffers.own_block) return;
    KINETRA_UNPOISON(buffers.own_block, buffers.block_bytes);
    CurrentPlatform().Release(buffers.own_block);
    buffers.own_block = nullptr;
    buffers.work_area = nullptr;
    buffers.column_scratch = nullptr;
    buffers.column_scratch_bytes = 0;
    buffers.geometry = {};
    buffers.area_stride = 0;
    buffers.block_bytes = 0;
    for (int slot = 1; slot < kBufferCount; ++slot) buffers.slots[slot] = nullptr;
}

}  // namespace kinetra
