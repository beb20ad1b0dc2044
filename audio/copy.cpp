// a_copyframe, a_copyframe2, a_copy: the sound of another frame, or of a span of frames, or of
// a buffer, copied into a buffer. All on the calling thread.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/handlers.h"
#include "audio/kernels/span.h"

namespace kinetra::audio {
namespace {

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
    // is up to twice as long as this one. What the reader does not deliver of the n sample
    // frames is silence; it is cleared after the reads, so a whole frame is written once.
    const HostServices* services = call.filter ? call.filter->services : nullptr;
    const ReadFrameAudioFn read = services ? services->read_frame_audio : nullptr;
    int64_t filled = 0;
    if (read) {
        // A count below 0 is nothing delivered: there is no place before the area to complete.
        const int32_t delivered = read(call.filter, call.frame->edit_handle, frame, area);
        if (delivered > 0) filled = delivered;
        if (delivered > 0 && delivered < args.n && frame < INT32_MAX) {
            const int32_t next = read(call.filter, call.frame->edit_handle, frame + 1, area + static_cast<size_t>(delivered) * args.c);
            if (next > 0) filled += next;
        }
    }
    if (filled < args.n) std::fill(area + static_cast<size_t>(filled) * args.c, area + args.AllValues(), int16_t{0});
    fetched = {frame, args.n, args.c};
    return area;
}

void ForgetFetchedFrame() { fetched = {}; }

void CopyFrame(const SoundArguments& args) {
    const int16_t* sound = FetchFrameAudio(args, args[2]);
    int16_t* destination = args.Sound(1);
    if (destination != sound) memcpy(destination, sound, args.AllValues() * sizeof(int16_t));
}

namespace {

// Positions only grow with i (every step rounds a growing value), so the sample frames from one
// frame form a run: the first position after `i` that comes from a later frame, or n, found by
// doubling steps and then halving them, in about twice the logarithm of the run's length.
int32_t RunEnd(const SpanPositions& span, int32_t i, int32_t frame) {
    const int32_t n = span.last + 1;
    int32_t inside = i, beyond = n;
    for (int64_t step = 1; step < n - inside; step *= 2) {
        if (span.FrameAt(static_cast<int32_t>(inside + step)) != frame) {
            beyond = static_cast<int32_t>(inside + step);
            break;
        }
        inside += static_cast<int32_t>(step);
    }
    while (beyond - inside > 1) {
        const int32_t middle = inside + (beyond - inside) / 2;
        (span.FrameAt(middle) == frame ? inside : beyond) = middle;
    }
    return beyond;
}

}  // namespace

// The span [s, e) of the time line played into the frame: sample frame i takes sample frame l of
// frame g, where g + l / n is the nearest earlier position to s + i x d / n. Each frame of the
// span is fetched once and its run of sample frames copied, all on the calling thread: the
// fetched sound lies in this core's cache, and a worker reading it from there takes longer
// than the copy itself.
void CopyFrameSpan(const SoundArguments& args) {
    const double s = args.Real(2), d = args.Real(3) - s, n = args.n;
    if (!(d > 0.0) || !std::isfinite(d)) return;
    const SpanPositions span{s, d, n, args.n - 1};
    // The positions grow with i, so the first and the last bound every frame number the span reads.
    if (!FitsInt32(std::floor(s)) || !FitsInt32(std::floor(span.At(span.last)))) return;
    // Into buffer 9 the fetches would overwrite what is written: the result is gathered in the
    // second work area and copied at the end, as if every source had been read first.
    int16_t* destination = args.Sound(1);
    const CommandCall& call = *args.call;
    int16_t* out = destination == call.buffers.Sound(kFetchBuffer)
                       ? static_cast<int16_t*>(call.buffers.WorkArea(1))
                       : destination;
    const int32_t values = args.FrameValues();
    constexpr int32_t kBlock = 256;
    int32_t samples[kBlock];
    const RunSamplesForm run_samples = kRunSamples.Active();
    const CopyStereoForm copy_stereo = kCopyStereo.Active();
    for (int32_t i = 0; i < args.n;) {
        const int32_t frame = span.FrameAt(i);
        const int32_t stop = RunEnd(span, i, frame);
        const int16_t* sound = FetchFrameAudio(args, frame);
        for (; i < stop; i += std::min(kBlock, stop - i)) {
            const int32_t count = std::min(kBlock, stop - i);
            run_samples(span, frame, i, count, samples);
            if (values == 2) {
                copy_stereo(samples, count, sound, args.n, out + size_t(i) * 2);
            } else {
                for (int32_t k = 0; k < count; ++k) out[i + k] = sound[samples[k]];
            }
        }
    }
    if (out != destination) memcpy(destination, out, size_t(args.n) * values * sizeof(int16_t));
}

void Copy(const SoundArguments& args) {
    const int16_t* source = args.Sound(1);
    int16_t* destination = args.Sound(2);
    if (destination != source) memcpy(destination, source, args.AllValues() * sizeof(int16_t));
}

}  // namespace kinetra::audio
