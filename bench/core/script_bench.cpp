// The cost of running a script per frame: compile and evaluate every argument of every line.
#include <benchmark/benchmark.h>

#include <string>

#include "script/script.h"

namespace kinetra {
namespace {

// 100 lines of a name no handler knows, each with 8 formulas of the usual kind.
void RunHundredLines(benchmark::State& state) {
    std::string text = "[0-1000]\n";
    for (int i = 0; i < 100; ++i) {
        text += "nothing(2, f-1, i/2+sin(g/10)*40, j/2, 0.5*(1-g/n), floor(f/3)%4, A*2+k, w-" +
                std::to_string(i) + ")\n";
    }
    Script script;
    script.Load(text, 1000, nullptr);
    FrameContext frame{};
    frame.width = frame.max_width = 1920;
    frame.height = frame.max_height = 1080;
    frame.frame_count = 1000;
    struct : CommandSink {
        void RunCommand(ScriptLine&) override {}
    } nobody;
    for (auto _ : state) {
        frame.frame = (frame.frame + 1) % 1000;
        script.Run(frame, {}, nobody);
        benchmark::DoNotOptimize(script.table()->lines[1].arg_value[2]);
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(RunHundredLines)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kinetra
