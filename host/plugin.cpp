#include "host/plugin.h"

#include <omp.h>
#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <array>

#include "host/float_env.h"
#include "platform/platform.h"

namespace kinetra {
namespace {

// The track bars' columns as the filter record hands them to the host.
template <typename T, typename Column>
constexpr std::array<T, KINETRA_TRACK_COUNT> TrackColumn(Column column) {
    std::array<T, KINETRA_TRACK_COUNT> values{};
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) values[t] = column(kTrackBars[t]);
    return values;
}
constexpr auto kTrackNames = TrackColumn<const char*>([](const TrackBar& t) { return t.name; });
constexpr auto kTrackDefaults = TrackColumn<int32_t>([](const TrackBar& t) { return t.default_value; });
constexpr auto kTrackMinimums = TrackColumn<int32_t>([](const TrackBar& t) { return t.minimum; });
constexpr auto kTrackMaximums = TrackColumn<int32_t>([](const TrackBar& t) { return t.maximum; });

// Hands each command line to the plug-in's registry with what its handler works on.
class Dispatcher final : public CommandSink {
public:
    Dispatcher(bool (*run_command)(CommandCall&), FilterTable* filter, FrameContext* frame, BufferTable& buffers,
               int threads, int32_t sampling_rate)
        : run_command_(run_command), filter_(filter), frame_(frame), buffers_(buffers), threads_(threads),
          sampling_rate_(sampling_rate) {}

    void RunCommand(ScriptLine& line) override {
        CommandCall call{line, filter_, frame_, buffers_, threads_, sampling_rate_};
        run_command_(call);
    }

private:
    bool (*run_command_)(CommandCall&);
    FilterTable* filter_;
    FrameContext* frame_;
    BufferTable& buffers_;
    int threads_;
    int32_t sampling_rate_;
};

// A stopped pool's worker threads leave on their own, after the stop has returned. Were the
// parallel runtime unloaded with the plug-in, a thread still on its way out would run on in
// unmapped code; so the runtime stays loaded once a plug-in has used it.
void KeepParallelRuntimeLoaded() {
#if !defined(_WIN32)
    Dl_info runtime;
    if (dladdr(reinterpret_cast<void*>(&omp_pause_resource_all), &runtime) && runtime.dli_fname) {
        dlopen(runtime.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
#endif
}

}  // namespace

const char kAllocationMessage[] =  // メモリが確保できません。
    "\x83\x81\x83\x82\x83\x8A\x82\xAA\x8A\x6D\x95\xDB\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x81\x42";
const char kMessageCaption[] = "Kinetra";

FilterTable DescribeFilter(int32_t flags, const char* name, const char* information,
                           ProcessFrameFn process, ExitFilterFn exit, UpdateSettingsFn update) {
    FilterTable table{};
    table.flags = flags;
    table.name = name;
    table.track_count = KINETRA_TRACK_COUNT;
    table.track_names = kTrackNames.data();
    table.track_defaults = kTrackDefaults.data();
    table.track_minimums = kTrackMinimums.data();
    table.track_maximums = kTrackMaximums.data();
    table.process = process;
    table.exit = exit;
    table.update = update;
    table.information = information;
    return table;
}

int Plugin::threads() const {
    if (threads_ > 0) return threads_;
    return std::clamp(omp_get_max_threads(), kTrackBars[kThreadTrack].minimum, kMaxWorkerThreads);
}

int32_t Plugin::ProcessFrame(FilterTable* filter, FrameContext* frame) {
    if (!frame) return 0;
    // A host that changed the floating-point modes must not change our results.
    ScopedDefaultFloatEnv float_env;
    script_file_.Refresh(script_, filter, frame);
    if (!FillBufferTable(buffers_, definition_.layout, filter, *frame)) {
        CurrentPlatform().ShowAllocationMessage(kAllocationMessage, kMessageCaption);
        return 0;
    }
    RunScript(filter, frame);
    ShowDisplayBuffer(buffers_, definition_.layout, TrackValue(filter, kDisplayTrack), *frame);
    return 1;
}

void Plugin::RunScript(FilterTable* filter, FrameContext* frame) {
    std::array<TrackVariable, kVariableTracks> tracks;
    for (int t = 0; t < kVariableTracks; ++t) {
        tracks[t] = {kTrackBars[kFirstVariableTrack + t].variable, double(buffers_.track_values[t])};
    }
    Dispatcher dispatcher(definition_.run_command, filter, frame, buffers_, threads(), script_file_.sampling_rate());
    script_.Run(*frame, tracks, dispatcher);
}

int32_t Plugin::UpdateSettings(FilterTable* filter) {
    const TrackBar& bar = kTrackBars[kThreadTrack];
    threads_ = std::clamp(TrackValue(filter, kThreadTrack), bar.minimum, bar.maximum);
    omp_set_num_threads(threads_);
    return 0;
}

void Plugin::ReleaseWorkMemory() {
    ReleaseOwnBlock(buffers_);
    if (definition_.release_command_state) definition_.release_command_state();
    script_.ReleaseLineMemory();
}

int32_t Plugin::Exit() {
    ReleaseWorkMemory();
    // Leave no worker running in the library, so that the host may unload it at once.
    KeepParallelRuntimeLoaded();
    omp_pause_resource_all(omp_pause_hard);
    return 1;
}

}  // namespace kinetra
