// The table test's walk: every form a kernel table holds above the portable one, at each level
// this machine runs, so that a form added to a table is compared without another edit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kernels/table.h"
#include "kinetra/filter_abi.h"

namespace kinetra::testing {

// Calls check(form) for each vector form of `table` this machine can run, traced by the table's
// name and the level.
template <typename Form, typename Check>
void ForEachVectorForm(const KernelTable<Form>& table, Check check) {
    for (int index = 1; index < kKernelLevels; ++index) {
        const KernelLevel level = static_cast<KernelLevel>(index);
        if (level > MachineKernelLevel() || table.Own(level) == nullptr) continue;
        SCOPED_TRACE(std::string(table.Name()) + " at " + KernelLevelName(level));
        check(table.Own(level));
    }
}

// The picture tables' input: random pixels, a quarter of the components at their extremes.
inline std::vector<PixelYC> RandomPixels(int32_t count, std::mt19937& random) {
    constexpr int16_t kExtremes[] = {INT16_MIN, INT16_MAX, 0, -1, 1, 4096};
    auto component = [&] { return random() % 4 ? static_cast<int16_t>(random()) : kExtremes[random() % 6]; };
    std::vector<PixelYC> pixels(count);
    for (PixelYC& p : pixels) p = {component(), component(), component()};
    return pixels;
}

}  // namespace kinetra::testing
