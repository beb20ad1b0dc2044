/* The boundary between the host editor and the plug-ins: records, services and callbacks.
 *
 * Every 32-bit word of the host's records is one field, in order. Addresses, texts, callbacks
 * and handles are pointers; numbers and unused words are int32_t. On a 32-bit build the layout
 * is the host's and is checked below word by word; a 64-bit build gets the natural C layout of
 * the same declarations. */
#ifndef KINETRA_FILTER_ABI_H
#define KINETRA_FILTER_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define KINETRA_CALL __cdecl
#define KINETRA_EXPORT __declspec(dllexport)
#else
#define KINETRA_CALL
#define KINETRA_EXPORT __attribute__((visibility("default")))
#endif

/* One pixel of every image the host and the plug-ins exchange: luma 0..4096 and two colour
 * differences -2048..2048, each a signed 16-bit value, no padding. */
typedef struct PixelYC {
    int16_t y;
    int16_t cb;
    int16_t cr;
} PixelYC;

/* The host's record for one call of ProcessFrame. */
typedef struct FrameContext {
    int32_t reserved_00;
    PixelYC* edit_image;     /* the frame's picture; what it holds on return is the result */
    PixelYC* scratch_image;  /* a second image of the same geometry, lent for the call */
    int32_t width;
    int32_t height;
    int32_t max_width;       /* row stride of every image buffer */
    int32_t max_height;      /* rows of every image buffer */
    int32_t frame;
    int32_t frame_count;
    int32_t reserved_24;
    int32_t reserved_28;
    int16_t* audio_samples;  /* the frame's sound, channels interleaved */
    int32_t sample_count;    /* samples per channel */
    int32_t channel_count;
    int32_t reserved_38;
    void* edit_handle;       /* passed back to the host services */
} FrameContext;

/* What QueryEditFile reports. The caller zero-fills at least 256 bytes; the host owns how many
 * of them it writes. */
typedef struct EditFileInfo {
    int32_t reserved_00;
    const char* path;        /* the edited file, Shift-JIS on the editor's platform */
    int32_t reserved_08[4];
    int32_t sampling_rate;   /* audio samples per second */
    int32_t reserved_1c[57];
} EditFileInfo;

struct FilterTable;

typedef int32_t(KINETRA_CALL* ProcessFrameFn)(struct FilterTable*, FrameContext*);
typedef int32_t(KINETRA_CALL* ExitFilterFn)(struct FilterTable*);
typedef int32_t(KINETRA_CALL* UpdateSettingsFn)(struct FilterTable*, int32_t);

typedef int32_t(KINETRA_CALL* SetEditLengthFn)(void* edit, int32_t frames);
typedef int32_t(KINETRA_CALL* QueryEditFileFn)(void* edit, EditFileInfo* info);
typedef int32_t(KINETRA_CALL* ReadFrameAudioFn)(struct FilterTable*, void* edit, int32_t frame,
                                                int16_t* dest);
typedef int32_t(KINETRA_CALL* PrepareFrameFetchFn)(struct FilterTable*, int32_t, int32_t, int32_t,
                                                   int32_t);
typedef PixelYC*(KINETRA_CALL* FetchFrameImageFn)(struct FilterTable*, void* edit, int32_t frame,
                                                   int32_t, int32_t);
typedef void(KINETRA_CALL* HostServiceSlot)(void);

/* The host's service table: 64 function slots, of which the plug-ins call five. */
typedef struct HostServices {
    HostServiceSlot reserved_0[10];
    SetEditLengthFn set_edit_length;          /* slot 10 */
    HostServiceSlot reserved_11[12];
    QueryEditFileFn query_edit_file;          /* slot 23 */
    HostServiceSlot reserved_24[19];
    ReadFrameAudioFn read_frame_audio;        /* slot 43 */
    PrepareFrameFetchFn prepare_frame_fetch;  /* slot 44 */
    HostServiceSlot reserved_45[5];
    FetchFrameImageFn fetch_frame_image;      /* slot 50 */
    HostServiceSlot reserved_51[13];
} HostServices;

/* The static description each plug-in hands the host, and the record the callbacks receive. */
typedef struct FilterTable {
    int32_t flags;
    int32_t reserved_04;
    int32_t reserved_08;
    const char* name;
    int32_t track_count;
    const char* const* track_names;
    const int32_t* track_defaults;
    const int32_t* track_minimums;
    const int32_t* track_maximums;
    int32_t check_count;
    const char* const* check_names;
    const int32_t* check_defaults;
    ProcessFrameFn process;
    void* reserved_34;
    ExitFilterFn exit;
    UpdateSettingsFn update;
    void* reserved_40;
    int32_t* track_values;     /* the host's 11 current track values, at run time */
    int32_t reserved_48[3];
    const char* information;
    int32_t reserved_58[2];
    HostServices* services;    /* the host's service table, at run time */
    int32_t reserved_64[10];
} FilterTable;

enum {
    KINETRA_FLAG_INFORMATION = 0x40000,  /* the information text is valid */
    KINETRA_FLAG_AUDIO = 0x200000,       /* works on each frame's sound instead of its image */
    KINETRA_TRACK_COUNT = 11,
    KINETRA_SERVICE_SLOTS = 64
};

typedef FilterTable*(KINETRA_CALL* GetFilterTableFn)(void);

/* The one export of each plug-in. */
FilterTable* KINETRA_CALL GetFilterTable(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define KINETRA_STATIC_ASSERT static_assert
#else
#define KINETRA_STATIC_ASSERT _Static_assert
#endif

KINETRA_STATIC_ASSERT(sizeof(PixelYC) == 6, "PixelYC is three packed 16-bit values");
KINETRA_STATIC_ASSERT(offsetof(HostServices, set_edit_length) == 10 * sizeof(void*), "slot 10");
KINETRA_STATIC_ASSERT(offsetof(HostServices, query_edit_file) == 23 * sizeof(void*), "slot 23");
KINETRA_STATIC_ASSERT(offsetof(HostServices, read_frame_audio) == 43 * sizeof(void*), "slot 43");
KINETRA_STATIC_ASSERT(offsetof(HostServices, prepare_frame_fetch) == 44 * sizeof(void*), "slot 44");
KINETRA_STATIC_ASSERT(offsetof(HostServices, fetch_frame_image) == 50 * sizeof(void*), "slot 50");
KINETRA_STATIC_ASSERT(sizeof(HostServices) == KINETRA_SERVICE_SLOTS * sizeof(void*), "64 slots");

#if UINTPTR_MAX == 0xFFFFFFFFu
/* The host is a 32-bit program: there every word must sit where the host reads it. */
KINETRA_STATIC_ASSERT(sizeof(FilterTable) == 140, "FilterTable is 35 words");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, name) == 0x0C, "name");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, track_count) == 0x10, "track_count");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, track_names) == 0x14, "track_names");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, track_defaults) == 0x18, "track_defaults");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, track_minimums) == 0x1C, "track_minimums");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, track_maximums) == 0x20, "track_maximums");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, check_count) == 0x24, "check_count");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, check_names) == 0x28, "check_names");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, check_defaults) == 0x2C, "check_defaults");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, process) == 0x30, "process");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, reserved_34) == 0x34, "word 0x34");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, exit) == 0x38, "exit");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, update) == 0x3C, "update");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, reserved_40) == 0x40, "word 0x40");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, track_values) == 0x44, "track_values");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, reserved_48) == 0x48, "words 0x48..0x50");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, information) == 0x54, "information");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, reserved_58) == 0x58, "words 0x58, 0x5C");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, services) == 0x60, "services");
KINETRA_STATIC_ASSERT(offsetof(FilterTable, reserved_64) == 0x64, "words 0x64..0x88");

KINETRA_STATIC_ASSERT(offsetof(FrameContext, edit_image) == 0x04, "edit_image");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, scratch_image) == 0x08, "scratch_image");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, width) == 0x0C, "width");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, height) == 0x10, "height");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, max_width) == 0x14, "max_width");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, max_height) == 0x18, "max_height");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, frame) == 0x1C, "frame");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, frame_count) == 0x20, "frame_count");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, audio_samples) == 0x2C, "audio_samples");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, sample_count) == 0x30, "sample_count");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, channel_count) == 0x34, "channel_count");
KINETRA_STATIC_ASSERT(offsetof(FrameContext, edit_handle) == 0x3C, "edit_handle");

KINETRA_STATIC_ASSERT(offsetof(EditFileInfo, path) == 0x04, "path");
KINETRA_STATIC_ASSERT(offsetof(EditFileInfo, sampling_rate) == 0x18, "sampling_rate");
KINETRA_STATIC_ASSERT(sizeof(EditFileInfo) == 256, "EditFileInfo is zero-filled over 256 bytes");
#endif

#endif
