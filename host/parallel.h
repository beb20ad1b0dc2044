// The one parallel loop of both plug-ins: rows of a picture, sample frames of a sound.
#pragma once

#include <algorithm>
#include <cstdint>

#include "host/float_env.h"

namespace kinetra {

// Calls work(k) for k = first .. first + count - 1 on at most `threads` threads (the caller is
// one), split into one contiguous block per thread, each block in order; returns when all are
// done. Each worker installs the default floating-point environment first. A range of fewer
// than `smallest_share` elements a thread uses fewer threads, down to the caller alone, where
// starting workers would cost more than the work; results never depend on the split.
template <typename Work>
void ParallelFor(int32_t first, int32_t count, int threads, Work&& work, int32_t smallest_share = 1) {
    if (count <= 0 || int64_t{first} + count - 1 > INT32_MAX) return;
    const int32_t end = first + (count - 1);
    const int64_t useful = std::max<int64_t>(1, count / std::max(smallest_share, 1));
    const int team = static_cast<int>(std::clamp<int64_t>(threads, 1, useful));
    if (team == 1) {
        InstallDefaultFloatEnv();
        for (int64_t k = first; k <= end; ++k) work(static_cast<int32_t>(k));
        return;
    }
#pragma omp parallel num_threads(team)
    {
        InstallDefaultFloatEnv();
#pragma omp for schedule(static)
        for (int64_t k = first; k <= end; ++k) work(static_cast<int32_t>(k));
    }
}

// The picture commands' loop: over rows, a block of rows a thread.
template <typename RowWork>
void RowLoop(int32_t first, int32_t count, int threads, RowWork&& row) {
    ParallelFor(first, count, threads, row);
}

// Rows first .. first + count - 1 cut into `blocks` blocks of equal length (the last shorter),
// one call block(k, begin, end) a block, for work that keeps state along its rows (running
// sums); the blocks run as RowLoop's rows do.
template <typename BlockWork>
void BlockLoop(int32_t first, int32_t count, int32_t blocks, int threads, BlockWork&& block) {
    if (blocks <= 0) return;
    const int32_t per_block = (count + blocks - 1) / blocks;
    ParallelFor(0, blocks, threads, [&](int32_t k) {
        const int32_t begin = first + k * per_block;
        block(k, begin, std::min(first + count, begin + per_block));
    });
}

// The sound commands' loop: sample frames 0 .. count - 1, one contiguous block [begin, end) a
// thread, each block in order, so a kernel is a plain loop the compiler can vectorise. A frame
// of fewer than `smallest_share` sample frames a thread uses fewer threads, down to the calling
// thread alone: each command knows what a sample costs it against starting a worker.
template <typename BlockWork>
void SampleLoop(int32_t count, int threads, int32_t smallest_share, BlockWork&& block) {
    if (count <= 0) return;
    const int32_t useful = std::max<int32_t>(1, count / std::max<int32_t>(smallest_share, 1));
    const int team = static_cast<int>(std::clamp<int64_t>(threads, 1, useful));
    ParallelFor(0, team, team, [&](int32_t k) {
        block(static_cast<int32_t>(int64_t{count} * k / team), static_cast<int32_t>(int64_t{count} * (k + 1) / team));
    });
}

}  // namespace kinetra
