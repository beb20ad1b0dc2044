// The per-form benchmarks' registration: each form of a kernel table at each level this machine
// runs, under "table/level", so that a form is timed beside the level below in one run.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "kernels/table.h"

namespace kinetra::bench {

// Registers run(form), one unit of work, for each level the machine has.
template <typename Form, typename Run>
void RegisterTable(const KernelTable<Form>& table, benchmark::TimeUnit unit, Run run) {
    for (int index = 0; index < kKernelLevels; ++index) {
        const KernelLevel level = static_cast<KernelLevel>(index);
        if (level > MachineKernelLevel()) continue;
        const std::string name = std::string(table.Name()) + "/" + KernelLevelName(level);
        benchmark::RegisterBenchmark(name.c_str(), [form = table.At(level), run](benchmark::State& state) {
            for (auto _ : state) {
                run(form);
                benchmark::ClobberMemory();
            }
        })->Unit(unit);
    }
}

}  // namespace kinetra::bench
