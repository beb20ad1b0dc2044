// The table test's walk: every form a kernel table holds above the portable one, at each level
// this machine runs, so that a form added to a table is compared without another edit.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kernels/table.h"

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

}  // namespace kinetra::testing
