// The eleven track bars, identical in both plug-ins: the thread count, the display buffer, and
// nine that feed script variables. Everything else about them is derived from this table.
#pragma once

#include <cstdint>

#include "kinetra/filter_abi.h"

namespace kinetra {

struct TrackBar {
    const char* name;  // Shift-JIS, as the host shows it
    int32_t default_value;
    int32_t minimum;
    int32_t maximum;
    char variable;  // the script variable it sets before every line, or 0
};

#define KINETRA_VARIABLE "\x95\xCF\x90\x94"  // 変数
inline constexpr TrackBar kTrackBars[KINETRA_TRACK_COUNT] = {
    {"\x83\x58\x83\x8C\x83\x62\x83\x68\x90\x94", 2, 1, 16, 0},  // スレッド数
    {"\x95\x5C\x8E\xA6" "Buf", 0, 0, 9, 0},                    // 表示Buf
    {KINETRA_VARIABLE "a", 0, 0, 4096, 'a'},
    {KINETRA_VARIABLE "b", 0, 0, 4096, 'b'},
    {KINETRA_VARIABLE "c", 0, 0, 4096, 'c'},
    {KINETRA_VARIABLE "d", 0, 0, 4096, 'd'},
    {KINETRA_VARIABLE "u", 0, 0, 4096, 'u'},
    {KINETRA_VARIABLE "v", 0, 0, 4096, 'v'},
    {KINETRA_VARIABLE "x", 2048, 0, 4096, 'x'},
    {KINETRA_VARIABLE "y", 2048, 0, 4096, 'y'},
    {KINETRA_VARIABLE "z", 2048, 0, 4096, 'z'},
};
#undef KINETRA_VARIABLE

constexpr int kThreadTrack = 0;
constexpr int kDisplayTrack = 1;
constexpr int kFirstVariableTrack = 2;
constexpr int kVariableTracks = KINETRA_TRACK_COUNT - kFirstVariableTrack;
constexpr int kMaxWorkerThreads = kTrackBars[kThreadTrack].maximum;

// The value of track `index` in the host's record, or its default when the host gave none.
inline int32_t TrackValue(const FilterTable* filter, int index) {
    const int32_t* values = filter ? filter->track_values : nullptr;
    return values ? values[index] : kTrackBars[index].default_value;
}

}  // namespace kinetra
