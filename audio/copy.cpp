// a_copyframe, a_copyframe2, a_copy: the sound of another frame, or of a span of frames, or of
// a buffer, copied into a buffer. All on the calling thread.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/handlers.h"

namespace kinetra::audio {
namespace {

constexpr ArgumentSpec kCopyFrameArguments[] = {
    Buffer(1, "destination buffer"),
    FrameNumber(2, "frame of the edit"),
};

constexpr ArgumentSpec kCopyFrameSpanArguments[] = {
    Buffer(1, "destination buffer"),
    Real(2, "start of the span, in frames").Finite(),
    Real(3, "end of the span, in frames").Finite(),
};

constexpr ArgumentSpec kCopyArguments[] = {
    Buffer(1, "source buffer"),
    Buffer(2, "destination buffer"),
};

constexpr int kFetchBuffer = 9;

// Which frame the fetch area holds, for which sample and channel count. Never a key a frame of
// sound can have (n >= 1) until the first fetch.
struct FetchedFrame {
    int32_t frame = -1;
    int32_t n = 0;
    int32_t c = 0;
};
FetchedFrame fetched;

bool FitsInt32(double whole) { return whole >= INT32_MIN && whole <= INT32_MAX; }

}  // namespace

const int16_t* FetchFrameAudio(const SoundArguments& args, int32_t frame) {
    CommandCall& call = *args.call;
    int16_t* area = call.buffers.Sound(kFetchBuffer);
    if (fetched.frame == frame && fetched.n == args.n && fetched.c == args.c) return area;
    // The fetch area is buffer 9 and the work area after it: room for 3 x n sample frames of
    // max(2, c) channels, so a short frame completed by the next one fits even when the next
    // is up to twice as long as this one.
    std::fill_n(area, args.AllValues(), int16_t{0});
    const HostServices* services = call.filter ? call.filter->services : nullptr;
    const ReadFrameAudioFn read = services ? services->read_frame_audio : nullptr;
    if (read) {
        // A count below 0 is nothing delivered: there is no place before the area to complete.
        const int32_t delivered = read(call.filter, call.frame->edit_handle, frame, area);
        if (delivered > 0 && delivered < args.n && frame < INT32_MAX) {
            read(call.filter, call.frame->edit_handle, frame + 1, area + static_cast<size_t>(delivered) * args.c);
        }
    }
    fetched = {frame, args.n, args.c};
    return area;
}

void ForgetFetchedFrame() { fetched = {}; }

void CopyFrame(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kCopyFrameArguments)) return;
    const int16_t* sound = FetchFrameAudio(args, args[2]);
    int16_t* destination = args.Sound(1);
    if (destination != sound) memcpy(destination, sound, args.AllValues() * sizeof(int16_t));
}

// The span [s, e) of the time line played into the frame: sample frame i takes sample frame l of
// frame g, where g + l / n is the nearest earlier position to s + i x d / n.
void CopyFrameSpan(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kCopyFrameSpanArguments)) return;
    const double s = args.Real(2), d = args.Real(3) - s, n = args.n;
    if (!(d > 0.0) || !std::isfinite(d)) return;
    // The positions grow with i, so the first and the last bound every frame number the span reads.
    if (!FitsInt32(std::floor(s)) || !FitsInt32(std::floor(s + (double(args.n - 1) * d) / n))) return;
    // Into buffer 9 the fetches would overwrite what is written: the result is gathered in the
    // second work area and copied at the end, as if every source had been read first.
    int16_t* destination = args.Sound(1);
    int16_t* out = destination == call.buffers.Sound(kFetchBuffer)
                       ? static_cast<int16_t*>(call.buffers.WorkArea(1))
                       : destination;
    const int32_t values = args.FrameValues();
    // Positions in blocks: a vectorised pass of the arithmetic, then the copies, fetching only
    // where the frame changes (the cache would answer the other calls).
    constexpr int32_t kBlock = 256;
    int32_t frames[kBlock], samples[kBlock];
    const int16_t* sound = nullptr;
    int32_t frame_of_sound = 0;
    for (int32_t first = 0; first < args.n; first += kBlock) {
        const int32_t count = std::min(kBlock, args.n - first);
#pragma omp simd
        for (int32_t k = 0; k < count; ++k) {
            const double t = s + (double(first + k) * d) / n;
            // floor(t), which lies in 32 bits: truncation, one less below zero between whole numbers.
            const int32_t g = static_cast<int32_t>(t) - (t < static_cast<int32_t>(t) ? 1 : 0);
            frames[k] = g;
            // (t - g) x n can round up to n: the last sample frame is the nearest earlier one then.
            samples[k] = std::min(static_cast<int32_t>((t - g) * n), args.n - 1);
        }
        for (int32_t k = 0; k < count; ++k) {
            if (!sound || frames[k] != frame_of_sound) {
                sound = FetchFrameAudio(args, frames[k]);
                frame_of_sound = frames[k];
            }
            const size_t to = size_t(first + k) * values, from = size_t(samples[k]) * values;
            for (int32_t v = 0; v < values; ++v) out[to + v] = sound[from + v];
        }
    }
    if (out != destination) memcpy(destination, out, size_t(args.n) * values * sizeof(int16_t));
}

void Copy(CommandCall& call) {
    SoundArguments args;
    if (!args.Read(call, kCopyArguments)) return;
    const int16_t* source = args.Sound(1);
    int16_t* destination = args.Sound(2);
    if (destination != source) memcpy(destination, source, args.AllValues() * sizeof(int16_t));
}

// The tables, for the registry.
constinit const ArgumentTable kCopyFrameTable = kCopyFrameArguments;
constinit const ArgumentTable kCopyFrameSpanTable = kCopyFrameSpanArguments;
constinit const ArgumentTable kCopyTable = kCopyArguments;

}  // namespace kinetra::audio
