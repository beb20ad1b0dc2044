#include "host/plugin.h"

#include <omp.h>

#include <algorithm>

#include "host/float_env.h"
#include "platform/platform.h"

namespace kinetra {
namespace {

// Track bars, identical in both plug-ins: threads, display buffer, then the nine variables.
// The names are Shift-JIS: スレッド数, 表示Buf, 変数a .. 変数z.
#define KINETRA_VARIABLE "\x95\xCF\x90\x94"
const char* const kTrackNames[KINETRA_TRACK_COUNT] = {
    "\x83\x58\x83\x8C\x83\x62\x83\x68\x90\x94",
    "\x95\x5C\x8E\xA6" "Buf",
    KINETRA_VARIABLE "a", KINETRA_VARIABLE "b", KINETRA_VARIABLE "c", KINETRA_VARIABLE "d",
    KINETRA_VARIABLE "u", KINETRA_VARIABLE "v", KINETRA_VARIABLE "x", KINETRA_VARIABLE "y",
    KINETRA_VARIABLE "z",
};
#undef KINETRA_VARIABLE
const int32_t kTrackDefaults[KINETRA_TRACK_COUNT] = {2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
const int32_t kTrackMinimums[KINETRA_TRACK_COUNT] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const int32_t kTrackMaximums[KINETRA_TRACK_COUNT] = {16, 9, 4096, 4096, 4096, 4096,
                                                     4096, 4096, 4096, 4096, 4096};
constexpr int kThreadTrack = 0;
constexpr int kDisplayTrack = 1;
constexpr int kMaxThreads = 16;

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
    table.track_names = kTrackNames;
    table.track_defaults = kTrackDefaults;
    table.track_minimums = kTrackMinimums;
    table.track_maximums = kTrackMaximums;
    table.process = process;
    table.exit = exit;
    table.update = update;
    table.information = information;
    return table;
}

int Plugin::threads() const { return threads_ > 0 ? threads_ : omp_get_max_threads(); }

int32_t Plugin::ProcessFrame(FilterTable* filter, FrameContext* frame) {
    if (!frame) return 0;
    // A host that changed the floating-point modes must not change our results.
    ScopedDefaultFloatEnv float_env;
    script_.Refresh(filter, frame);
    if (!FillBufferTable(buffers_, definition_.kind, filter, *frame)) {
        CurrentPlatform().ShowAllocationMessage(kAllocationMessage, kMessageCaption);
        return 0;
    }
    script_.Run(filter, frame, buffers_, definition_.commands, threads());
    const int32_t* tracks = filter ? filter->track_values : nullptr;
    ShowDisplayBuffer(buffers_, definition_.kind, tracks ? tracks[kDisplayTrack] : 0, *frame);
    return 1;
}

int32_t Plugin::UpdateSettings(FilterTable* filter) {
    const int32_t* tracks = filter ? filter->track_values : nullptr;
    const int32_t wanted = tracks ? tracks[kThreadTrack] : kTrackDefaults[kThreadTrack];
    threads_ = std::clamp(wanted, int32_t{1}, int32_t{kMaxThreads});
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
    omp_pause_resource_all(omp_pause_hard);
    return 1;
}

}  // namespace kinetra
