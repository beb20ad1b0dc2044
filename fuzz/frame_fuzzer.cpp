// Arbitrary scripts through both plug-ins' ProcessFrame, every command of each registry within
// reach: small frames of odd sizes whose geometry, sample count and channel count change from
// call to call, track values anywhere in 32 bits, and a careless host whose services are
// missing or answer with null images, short or overlong sound, no path or an odd rate.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <sys/mman.h>
#include <vector>

#include "audio/plugin.h"
#include "platform/platform.h"
#include "video/plugin.h"

namespace kinetra {
namespace {

// The script comes from the input, never from a file; the allocator refuses on request.
class FuzzPlatform final : public Platform {
public:
    bool ReadFileTime(const std::string&, FileTime&) override { return false; }
    size_t FolderPrefixLength(const char* path) override {
        const char* slash = strrchr(path, '/');
        return slash ? static_cast<size_t>(slash - path) + 1 : 0;
    }
    void ShowAllocationMessage(const char*, const char*) override {}
    int64_t CurrentSecond() override { return ++second_; }
    // The script table (about 21 MB, nearly all of it never touched) comes from the system's
    // zero pages: the sanitizer's calloc would fill and its leak check scan it every input.
    void* AllocateZeroed(size_t bytes) override {
        if (bytes >= refuse_from) return nullptr;
        if (bytes < kMappedFrom) return calloc(bytes, 1);
        void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) return nullptr;
        mapped_[block] = bytes;
        return block;
    }
    TextRenderer& Text() override { return SystemTextRenderer(); }
    void Release(void* block) override {
        const auto found = mapped_.find(block);
        if (found == mapped_.end()) return free(block);
        munmap(block, found->second);
        mapped_.erase(found);
    }

    size_t refuse_from = SIZE_MAX;

private:
    static constexpr size_t kMappedFrom = size_t{8} << 20;
    int64_t second_ = 0;
    std::map<void*, size_t> mapped_;
};

// What the host's services do for this input.
struct HostBehaviour {
    int path = 0;           // 0: a path with a folder, 1: none, 2: no folder, 3: nothing written
    int32_t sampling_rate = 48000;
    bool images = true;     // fetch_frame_image serves a picture, or null
    int audio = 0;          // 0: whole frames, 1: short, 2: none, 3: a negative count, 4: more than asked
    int32_t max_width = 0, max_height = 0, sample_count = 0, channel_count = 0;
    std::vector<PixelYC> served;
};
HostBehaviour host;

int32_t KINETRA_CALL QueryEditFile(void*, EditFileInfo* info) {
    static const char* const paths[] = {"/clips/edit.avi", nullptr, "edit.avi"};
    if (host.path == 3) return 0;
    info->path = paths[host.path];
    info->sampling_rate = host.sampling_rate;
    return 1;
}

int32_t KINETRA_CALL SetEditLength(void*, int32_t) { return 1; }

int32_t KINETRA_CALL PrepareFrameFetch(FilterTable*, int32_t, int32_t, int32_t, int32_t) { return 1; }

PixelYC* KINETRA_CALL FetchFrameImage(FilterTable*, void*, int32_t frame, int32_t, int32_t) {
    if (!host.images || host.max_width <= 0 || host.max_height <= 0) return nullptr;
    host.served.assign(static_cast<size_t>(host.max_width) * host.max_height,
                       PixelYC{int16_t(frame * 37), int16_t(-frame), int16_t(frame * 5)});
    return host.served.data();
}

// Writes what it says it delivered, but never more than a frame; the count it returns may say
// otherwise.
int32_t KINETRA_CALL ReadFrameAudio(FilterTable*, void*, int32_t frame, int16_t* dest) {
    const int32_t n = host.sample_count, c = host.channel_count;
    if (n <= 0 || c <= 0) return 0;
    const int32_t counts[] = {n, n / 2, 0, -7, n + 5};
    const int32_t delivered = counts[host.audio];
    const int32_t written = delivered < 0 ? 0 : (delivered < n ? delivered : n);
    for (int64_t i = 0; i < int64_t{written} * c; ++i) dest[i] = static_cast<int16_t>(frame * 11 + i);
    return delivered;
}

void RunPictureFrames(FuzzedDataProvider& input, FilterTable& filter, FrameContext& frame, int frames) {
    static const int32_t sizes[][2] = {{37, 23}, {1, 1}, {16, 16}, {41, 29}, {5, 64}, {64, 5}};
    for (int k = 0; k < frames; ++k) {
        const auto& size = sizes[input.ConsumeIntegralInRange<size_t>(0, std::size(sizes) - 1)];
        host.max_width = frame.max_width = size[0];
        host.max_height = frame.max_height = size[1];
        frame.width = input.ConsumeIntegralInRange(-1, size[0] + 2);
        frame.height = input.ConsumeIntegralInRange(-1, size[1] + 2);
        // The host's images live for this call only: a pointer kept past it is caught.
        const size_t area = static_cast<size_t>(size[0]) * size[1];
        std::vector<PixelYC> edit(area, PixelYC{2048, -100, 300}), scratch(area, PixelYC{100, 2000, -2000});
        const uint8_t absent = input.ConsumeIntegral<uint8_t>();
        frame.edit_image = absent == 1 ? nullptr : edit.data();
        frame.scratch_image = absent == 2 ? nullptr : scratch.data();
        frame.frame = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>() : input.ConsumeIntegralInRange(0, 60);
        video::ImagePlugin().ProcessFrame(&filter, &frame);
    }
}

void RunSoundFrames(FuzzedDataProvider& input, FilterTable& filter, FrameContext& frame, int frames) {
    static const int32_t counts[] = {1, 7, 37, 160, 1601, 0, -3};
    static const int32_t channels[] = {2, 1, 3, 0, -1, 6};
    for (int k = 0; k < frames; ++k) {
        host.sample_count = frame.sample_count = input.PickValueInArray(counts);
        host.channel_count = frame.channel_count = input.PickValueInArray(channels);
        std::vector<int16_t> samples;
        if (frame.sample_count > 0 && frame.channel_count > 0) {
            samples.assign(static_cast<size_t>(frame.sample_count) * frame.channel_count, 1000);
        }
        frame.audio_samples = samples.empty() || input.ConsumeIntegral<uint8_t>() == 1 ? nullptr : samples.data();
        frame.frame = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>() : input.ConsumeIntegralInRange(0, 60);
        audio::SoundPlugin().ProcessFrame(&filter, &frame);
    }
}

FuzzPlatform platform;
// The faces the tests draw with, whatever fonts the machine has.
const bool installed = (setenv("FONTCONFIG_FILE", KINETRA_SOURCE_DIR "/tests/fonts/fonts.conf", 1),
                        InstallPlatform(&platform), true);

}  // namespace
}  // namespace kinetra

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kinetra;
    FuzzedDataProvider input(data, size);
    // The controls come from the end of the input, the script from its start.
    host = {};
    host.path = input.ConsumeIntegralInRange(0, 3);
    host.sampling_rate = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>() : 48000;
    host.images = input.ConsumeBool();
    host.audio = input.ConsumeIntegralInRange(0, 4);
    const bool services_absent = input.ConsumeIntegral<uint8_t>() == 1;
    const bool tracks_absent = input.ConsumeIntegral<uint8_t>() == 1;
    int32_t tracks[KINETRA_TRACK_COUNT];
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) {
        // Usually within the track bar's range, sometimes anything a careless host may hand.
        tracks[t] = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>() : input.ConsumeIntegralInRange(0, 4096);
    }
    tracks[kThreadTrack] = input.ConsumeIntegralInRange(1, 3);  // workers cost time, not reach
    const size_t refuse_choices[] = {SIZE_MAX, SIZE_MAX, SIZE_MAX, 1 << 20, 4096, 1};
    const size_t refuse_from = input.PickValueInArray(refuse_choices);
    const int frames = input.ConsumeIntegralInRange(1, 3);
    const int32_t frame_count = input.ConsumeIntegralInRange(0, 100);
    std::vector<uint8_t> picks = input.ConsumeBytes<uint8_t>(48);  // each frame's geometry and more
    const std::string script = input.ConsumeRemainingBytesAsString();

    HostServices services{};
    services.query_edit_file = QueryEditFile;
    services.set_edit_length = SetEditLength;
    services.prepare_frame_fetch = PrepareFrameFetch;
    services.fetch_frame_image = FetchFrameImage;
    services.read_frame_audio = ReadFrameAudio;
    FilterTable filter{};
    filter.track_values = tracks_absent ? nullptr : tracks;
    filter.services = services_absent ? nullptr : &services;
    FrameContext frame{};
    frame.frame_count = frame_count;

    for (Plugin* plugin : {&video::ImagePlugin(), &audio::SoundPlugin()}) {
        // Each input starts as a freshly loaded plug-in, so a crash replays from its input alone.
        std::fill_n(plugin->script().variables(), kFormulaVariables, 0.0);
        plugin->UpdateSettings(&filter);
        plugin->script().Load(script, frame_count, [](int32_t) {});
        platform.refuse_from = refuse_from;
        FuzzedDataProvider geometry(picks.data(), picks.size());
        if (plugin == &video::ImagePlugin()) {
            RunPictureFrames(geometry, filter, frame, frames);
        } else {
            RunSoundFrames(geometry, filter, frame, frames);
        }
        platform.refuse_from = SIZE_MAX;
        plugin->Exit();
        plugin->Exit();  // a second exit finds nothing to free
    }
    return 0;
}
