#include "kinetra/media/pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kinetra/lib/frame_timing.h"
#include "kinetra/media/frame_cache.h"

namespace kinetra::media {
namespace {

using ImagePtr = std::unique_ptr<editor::Image>;

// A queue between two threads; Close wakes both sides and makes Push fail and Pop fail once
// the queue is empty.
template <typename T>
class Channel {
public:
    explicit Channel(size_t capacity) : capacity_(capacity) {}
    bool Push(T item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }
    bool Pop(T& item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return true;
    }
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
    size_t capacity_;
    bool closed_ = false;
};

struct Decoded {
    int32_t frame = 0;
    ImagePtr picture;
};

// A frame's results on their way to the encoder.
struct Work {
    ImagePtr picture;
    std::vector<int16_t> sound;
    int32_t samples = 0;  // per channel, of `sound`, to write
};

// The first error of any thread; the others stop when they see it.
class Failure {
public:
    void Set(const std::string& error) {
        std::lock_guard lock(mutex_);
        if (error_.empty()) error_ = error.empty() ? "failed" : error;
        failed_ = true;
    }
    bool failed() const { return failed_; }
    std::string error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    std::mutex mutex_;
    std::string error_;
    std::atomic<bool> failed_{false};
};

// The shown width x height at the top left; the rest of the canvas black, as the editor shows a
// smaller result on the edit's frame.
void BlackenOutside(editor::Image& picture, int32_t width, int32_t height) {
    width = std::clamp(width, 0, picture.max_width);
    height = std::clamp(height, 0, picture.max_height);
    if (width == picture.max_width && height == picture.max_height) return;
    for (int32_t y = 0; y < picture.max_height; ++y) {
        for (int32_t x = y < height ? width : 0; x < picture.max_width; ++x) picture.at(x, y) = PixelYC{0, 0, 0};
    }
}

// The edit grows to the longest length a plug-in asked for.
void Lengthen(editor::FilterHost& host, int32_t& frames) {
    for (const int32_t asked : host.lengthen_requests) frames = std::max(frames, asked);
    host.lengthen_requests.clear();
}

}  // namespace

bool RenderEdit(const EditSource& source, const RenderSettings& settings, RenderSummary& summary,
                std::string& error) {
    const EditFormat& format = source.format();
    const SoundTrack& track = source.sound();
    editor::LoadedPlugin picture_plugin, sound_plugin;
    editor::PluginSettings plugin_settings = settings.plugins;
    plugin_settings.sampling_rate = track.sampling_rate();
    if (format.has_pictures && !picture_plugin.Load(settings.picture_plugin, plugin_settings, error)) return false;
    if (format.has_sound && !sound_plugin.Load(settings.sound_plugin, plugin_settings, error)) return false;

    OutputSettings output = settings.output;
    output.pictures = format.has_pictures;
    output.width = format.width;
    output.height = format.height;
    output.frame_rate = format.frame_rate;
    output.colour = format.video.colour;
    output.primaries = format.video.primaries;
    output.transfer = format.video.transfer;
    output.matrix_tag = format.video.matrix_tag;
    output.sound = format.has_sound;
    output.sampling_rate = track.sampling_rate();
    output.channels = std::max(track.channels(), 1);
    MediaWriter writer;
    if (!writer.Open(output, error)) return false;
    summary.codecs = writer.codecs();

    const int32_t source_frames = format.frame_count;
    const int channels = track.channels();
    const editor::FrameTiming timing{format.frame_rate.num, format.frame_rate.den, track.sampling_rate()};
    int32_t frames = source_frames;  // the edit's length, which the plug-ins may lengthen

    std::unique_ptr<PictureReader> sequential, random;
    if (format.has_pictures) {
        sequential = source.NewReader(error);
        if (sequential) random = source.NewReader(error);
        if (!random) return false;
    }
    FrameCache cache(std::move(random), format.width, format.height, source_frames,
                     FrameCache::CapacityFor(format.width, format.height));
    editor::Image black(format.has_pictures ? format.width : 0, format.has_pictures ? format.height : 0);
    editor::Image scratch(black.max_width, black.max_height);

    Failure failure;
    if (format.has_pictures) {
        picture_plugin.host().edited_path = plugin_settings.edited_path;
        picture_plugin.host().frame_image = [&](int32_t frame) -> const PixelYC* {
            if (frame < 0 || frame >= frames) return nullptr;
            if (frame >= source_frames) return black.pixels.data();
            std::string fetch_error;
            const PixelYC* picture = cache.Fetch(frame, fetch_error);
            if (!fetch_error.empty()) failure.Set(fetch_error);
            return picture;
        };
    }
    if (format.has_sound) {
        sound_plugin.host().frame_audio = [&](int32_t frame, int16_t* dest) -> int32_t {
            if (frame < 0 || frame >= frames || !dest) return 0;
            const int32_t count = timing.SampleCount(frame);
            track.Read(timing.FirstSample(frame), count, dest);
            return count;
        };
    }

    // Enough pictures for every queue and every thread's hands, so that no one waits for one
    // that is never given back.
    constexpr size_t kQueued = 3;
    Channel<ImagePtr> pool(SIZE_MAX);
    if (format.has_pictures) {
        for (size_t i = 0; i < 2 * kQueued + 4; ++i) pool.Push(std::make_unique<editor::Image>(format.width, format.height));
    }
    Channel<Decoded> decoded(kQueued);
    Channel<Work> encoded(kQueued);
    const auto stop_all = [&] {
        pool.Close();
        decoded.Close();
        encoded.Close();
    };

    std::thread decoder([&] {
        for (int32_t f = 0; format.has_pictures && f < source_frames; ++f) {
            ImagePtr picture;
            if (!pool.Pop(picture)) break;
            std::string read_error;
            if (!sequential->Read(f, *picture, read_error, {})) {
                failure.Set(read_error);
                stop_all();
                break;
            }
            if (!decoded.Push({f, std::move(picture)})) break;
        }
        decoded.Close();
    });
    std::thread encoder([&] {
        Work work;
        std::string write_error;
        while (!failure.failed() && encoded.Pop(work)) {
            if (work.picture) {
                const editor::Image& p = *work.picture;
                const YcPicture picture{const_cast<PixelYC*>(p.pixels.data()), p.max_width, p.max_width, p.max_height};
                if (!writer.WritePicture(picture, write_error)) break;
                pool.Push(std::move(work.picture));
            }
            if (work.samples > 0 && !writer.WriteSound(work.sound.data(), work.samples, write_error)) break;
            summary.samples += work.samples;
        }
        if (!write_error.empty()) {
            failure.Set(write_error);
            stop_all();
        }
    });

    for (int32_t f = 0; f < frames && !failure.failed(); ++f) {
        if (settings.stop && settings.stop->load()) {
            failure.Set("stopped");
            break;
        }
        Work work;
        if (format.has_pictures) {
            if (f < source_frames) {
                Decoded next;
                if (!decoded.Pop(next)) break;
                work.picture = std::move(next.picture);
            } else {
                if (!pool.Pop(work.picture)) break;
                std::fill(work.picture->pixels.begin(), work.picture->pixels.end(), PixelYC{0, 0, 0});
            }
            cache.Offer(f, *work.picture);
            FrameContext context{};
            context.edit_image = work.picture->pixels.data();
            context.scratch_image = scratch.pixels.data();
            context.width = context.max_width = format.width;
            context.height = context.max_height = format.height;
            context.frame = f;
            context.frame_count = frames;
            if (picture_plugin.host().Process(context) != 1) {
                failure.Set("the picture plug-in could not take its memory at frame " + std::to_string(f));
                break;
            }
            // A command may have exchanged the edit image and the scratch image.
            if (context.edit_image == scratch.pixels.data()) std::swap(work.picture->pixels, scratch.pixels);
            BlackenOutside(*work.picture, context.width, context.height);
            Lengthen(picture_plugin.host(), frames);
        }
        if (format.has_sound) {
            const int32_t count = timing.SampleCount(f);
            const int64_t first = timing.FirstSample(f);
            work.sound.resize(static_cast<size_t>(count) * channels);
            track.Read(first, count, work.sound.data());
            FrameContext context{};
            context.width = context.max_width = format.width;
            context.height = context.max_height = format.height;
            context.frame = f;
            context.frame_count = frames;
            context.audio_samples = work.sound.data();
            context.sample_count = count;
            context.channel_count = channels;
            if (sound_plugin.host().Process(context) != 1) {
                failure.Set("the sound plug-in could not take its memory at frame " + std::to_string(f));
                break;
            }
            Lengthen(sound_plugin.host(), frames);
            // A file of sound alone keeps its own length unless the edit was lengthened.
            const int64_t end = format.has_pictures || frames > source_frames ? timing.FirstSample(frames) : track.length();
            work.samples = static_cast<int32_t>(std::clamp<int64_t>(end - first, 0, count));
        }
        if (!encoded.Push(std::move(work))) break;
        summary.frames = f + 1;
        if (settings.progress) settings.progress(f, frames);
    }
    // The encoder drains what is queued; the decoder has read every source frame, or must stop.
    pool.Close();
    decoded.Close();
    encoded.Close();
    decoder.join();
    encoder.join();
    summary.fetch_decodes = cache.decoded();
    // A stop that came while the last frames were encoded still leaves no output.
    if (settings.stop && settings.stop->load()) failure.Set("stopped");
    if (failure.failed()) {
        error = failure.error();
        return false;
    }
    return writer.Finish(error);
}

}  // namespace kinetra::media
