// The picture commands' arguments: the shared argument tables' values, plus what a picture adds
// (the buffers as images, widths and heights limited to the image, the row loop's thread count
// and the own block's column scratch). The dispatcher reads them through the command's table
// (video/tables.h) and hands them to its handler.
//
//     void Copy(const ImageArguments& args) {
//         RectangleMap map(args[3], args[4], args[5], args[6], args.size);
//         ...
//         RowLoop(map.v0, map.rows(), args.threads, [&](int32_t v) { ... });
//     }
//
// A buffer is max_height rows of max_width PixelYC with stride max_width; commands address and
// clip against that whole area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "host/command.h"
#include "host/parallel.h"
#include "kinetra/filter_abi.h"
#include "script/arguments.h"

namespace kinetra::video {

// Column scratch for what a command keeps per column during one call: the most is defocus's
// three 64-bit sums for each worker thread (resize's column table needs 12 bytes).
constexpr size_t kColumnScratchBytes = 3 * sizeof(int64_t) * kMaxWorkerThreads;

// The size every buffer has this frame.
struct ImageSize {
    int32_t width = 0;   // max_width, the row stride
    int32_t height = 0;  // max_height
};

struct ImageArguments : Arguments {
    CommandCall* call = nullptr;
    ImageSize size;
    int threads = 1;

    // Converts and checks the arguments of `table`; false when the command must do nothing:
    // a bad argument, a buffer without an image, or an image of no pixels to a command that
    // names a buffer. Widths and heights come back limited to the image.
    bool Read(CommandCall& command, ArgumentTable table);

    // The buffer a checked buffer-number argument names.
    PixelYC* Image(int number) const { return call->buffers.Image(value[number]); }

    // `count` x `times` elements of the own block's column scratch, or none when it has no room
    // for them (or the product does not fit a size). Nothing in it outlives the command.
    template <typename T>
    std::span<T> Scratch(size_t count, size_t times = 1) const {
        static_assert(alignof(T) <= alignof(int64_t));
        const BufferTable& buffers = call->buffers;
        size_t elements = 0;
        if (!buffers.column_scratch || !MultiplySizes(count, times, elements) ||
            elements > buffers.column_scratch_bytes / sizeof(T)) {
            return {};
        }
        return {static_cast<T*>(buffers.column_scratch), elements};
    }
};

}  // namespace kinetra::video
