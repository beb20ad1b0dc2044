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

constexpr int32_t kDefaultTrackValues[kVariableTracks] = {0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
constexpr size_t kAreaAlignment = 64;
constexpr size_t kSpareBytes = 64;  // after the last area, so an empty block is still a block
// The own areas share one allocation, so the sanitizer cannot see a command run from one
// area into the next; in that build a poisoned gap after each area makes it see.
#if defined(KINETRA_SANITIZE)
constexpr size_t kGuardBytes = 64;
#else
constexpr size_t kGuardBytes = 0;
#endif

int AreaCount(BufferKind kind) { return kind == BufferKind::kImage ? 9 : 10; }
int FirstOwnSlot(BufferKind kind) { return kind == BufferKind::kImage ? 2 : 1; }

// The block must be re-laid when an image's stride or height changes (commands address every
// buffer with the host's stride) or when sound needs longer areas.
bool Fits(BufferKind kind, const AreaGeometry& have, const AreaGeometry& need) {
    if (kind == BufferKind::kImage) return have == need;
    return have.row_bytes >= need.row_bytes;
}

bool Multiply(size_t a, size_t b, size_t& out) { return !__builtin_mul_overflow(a, b, &out); }
bool Add(size_t a, size_t b, size_t& out) { return !__builtin_add_overflow(a, b, &out); }

void PointSlots(BufferTable& buffers, BufferKind kind) {
    const int first = FirstOwnSlot(kind);
    for (int slot = first; slot < kBufferCount; ++slot) {
        buffers.slots[slot] = buffers.own_block + static_cast<size_t>(slot - first) * buffers.area_stride;
    }
    if (kind == BufferKind::kImage) {
        buffers.work_area = buffers.own_block + 8 * buffers.area_stride;
        buffers.row_scratch = buffers.own_block + 9 * buffers.area_stride;
        buffers.fetch_area = nullptr;
    } else {
        buffers.fetch_area = static_cast<int16_t*>(buffers.slots[9]);
        buffers.work_area = nullptr;
        buffers.row_scratch = nullptr;
    }
}

void PoisonGuards(const BufferTable& buffers, BufferKind kind) {
    const size_t area_bytes = buffers.geometry.row_bytes * buffers.geometry.rows;
    for (int k = 0; k < AreaCount(kind); ++k) {
        KINETRA_POISON(buffers.own_block + k * buffers.area_stride + area_bytes,
                       buffers.area_stride - area_bytes);
    }
    // After the row scratch, to the end of the block.
    const size_t scratch_end = AreaCount(kind) * buffers.area_stride + buffers.row_scratch_bytes;
    KINETRA_POISON(buffers.own_block + scratch_end, buffers.block_bytes - scratch_end);
}

// Makes a block for `need`, keeping what the old one held at the same pixel coordinates or
// sample positions.
bool Relayout(BufferTable& buffers, BufferKind kind, const AreaGeometry& need) {
    size_t area_bytes, stride, block_bytes;
    if (!Multiply(need.row_bytes, need.rows, area_bytes) ||
        !Add(area_bytes, kGuardBytes + kAreaAlignment - 1, stride)) {
        return false;  // a size the address space cannot hold is a failed allocation
    }
    stride -= stride % kAreaAlignment;
    // The row scratch follows the areas: nothing in it outlives a command, so it is not copied.
    size_t scratch_bytes = 0, scratch_stride = 0;
    if (kind == BufferKind::kImage &&
        (!Multiply(need.row_bytes / sizeof(PixelYC), kRowScratchPerColumn, scratch_bytes) ||
         !Add(scratch_bytes, kGuardBytes + kAreaAlignment - 1, scratch_stride))) {
        return false;
    }
    scratch_stride -= scratch_stride % kAreaAlignment;
    if (!Multiply(stride, AreaCount(kind), block_bytes) || !Add(block_bytes, scratch_stride, block_bytes) ||
        !Add(block_bytes, kSpareBytes, block_bytes)) {
        return false;
    }
    auto* block = static_cast<unsigned char*>(CurrentPlatform().AllocateZeroed(block_bytes));
    if (!block) return false;

    if (buffers.own_block) {
        const size_t rows = std::min(need.rows, buffers.geometry.rows);
        const size_t row_bytes = std::min(need.row_bytes, buffers.geometry.row_bytes);
        for (int k = 0; k < AreaCount(kind); ++k) {
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
    buffers.row_scratch_bytes = scratch_bytes;
    PoisonGuards(buffers, kind);
    PointSlots(buffers, kind);
    return true;
}

}  // namespace

bool OwnAreaGeometry(BufferKind kind, const FrameContext& frame, AreaGeometry& geometry) {
    if (kind == BufferKind::kImage) {
        if (frame.max_width <= 0 || frame.max_height <= 0) {
            geometry = {};
            return true;
        }
        geometry.rows = static_cast<size_t>(frame.max_height);
        return Multiply(static_cast<size_t>(frame.max_width), sizeof(PixelYC), geometry.row_bytes);
    }
    // A sound area holds one and a half times the frame's samples of all channels (three
    // values per sample of a stereo frame); sound of no channels has no samples.
    geometry.rows = 1;
    if (frame.sample_count <= 0 || frame.channel_count < 1) {
        geometry.row_bytes = 0;
        return true;
    }
    const size_t channels = std::max<size_t>(2, static_cast<size_t>(frame.channel_count));
    // Every step checked: with a 32-bit size_t a huge channel count wraps the per-sample count
    // or rounds the value count up to zero, leaving an area too small for the frame.
    size_t per_sample, values;
    if (!Multiply(channels, 3, per_sample) ||
        !Multiply(static_cast<size_t>(frame.sample_count), per_sample, values)) {
        return false;
    }
    return Multiply(values / 2 + values % 2, sizeof(int16_t), geometry.row_bytes);
}

bool FillBufferTable(BufferTable& buffers, BufferKind kind, const FilterTable* filter,
                     const FrameContext& frame) {
    const int32_t* tracks = filter ? filter->track_values : nullptr;
    for (int t = 0; t < kVariableTracks; ++t) {
        buffers.track_values[t] = tracks ? tracks[2 + t] : kDefaultTrackValues[t];
    }
    if (kind == BufferKind::kImage) {
        buffers.slots[0] = frame.edit_image;
        buffers.slots[1] = frame.scratch_image;
    } else {
        buffers.slots[0] = frame.audio_samples;
    }

    AreaGeometry need;
    if (!OwnAreaGeometry(kind, frame, need)) return false;
    if (buffers.own_block && Fits(kind, buffers.geometry, need)) return true;
    return Relayout(buffers, kind, need);
}

void ShowDisplayBuffer(BufferTable& buffers, BufferKind kind, int32_t number,
                       const FrameContext& frame) {
    if (number <= 0 || number >= kBufferCount) return;
    void* from = buffers.slots[number];
    void* to = buffers.slots[0];
    if (!from || !to || from == to) return;
    size_t bytes = 0;
    if (kind == BufferKind::kImage) {
        if (frame.max_width <= 0 || frame.max_height <= 0) return;
        bytes = static_cast<size_t>(frame.max_width) * static_cast<size_t>(frame.max_height) *
                sizeof(PixelYC);
    } else {
        // The host's buffer holds the frame's samples of its channels, and no more.
        if (frame.sample_count <= 0 || frame.channel_count < 1) return;
        bytes = static_cast<size_t>(frame.sample_count) * static_cast<size_t>(frame.channel_count) *
                sizeof(int16_t);
    }
    memcpy(to, from, bytes);
}

void ReleaseOwnBlock(BufferTable& buffers) {
    if (!buffers.own_block) return;
    KINETRA_UNPOISON(buffers.own_block, buffers.block_bytes);
    CurrentPlatform().Release(buffers.own_block);
    buffers.own_block = nullptr;
    buffers.fetch_area = nullptr;
    buffers.work_area = nullptr;
    buffers.row_scratch = nullptr;
    buffers.row_scratch_bytes = 0;
    buffers.geometry = {};
    buffers.area_stride = 0;
    buffers.block_bytes = 0;
    for (int slot = 1; slot < kBufferCount; ++slot) buffers.slots[slot] = nullptr;
}

}  // namespace kinetra
