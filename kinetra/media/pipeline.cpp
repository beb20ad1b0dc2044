#include "kinetra/media/pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kinetra/editor/edit_player.h"
#include "kinetra/editor/fault_injection.h"
#include "kinetra/editor/frame_timing.h"
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
    // An item at once, without waiting: false when there is none.
    bool TryPop(T& item) {
        std::lock_guard lock(mutex_);
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
    bool closed() {
        std::lock_guard lock(mutex_);
        return closed_;
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

// The first failure of any stage, an error or an exception; the others stop when they see it.
class Failure {
public:
    void Set(const std::string& error) {
        std::lock_guard lock(mutex_);
        if (error_.empty() && !exception_) error_ = error.empty() ? "failed" : error;
        failed_ = true;
    }
    void Set(std::exception_ptr exception) {
        std::lock_guard lock(mutex_);
        if (error_.empty() && !exception_) exception_ = exception;
        failed_ = true;
    }
    bool failed() const { return failed_; }
    // The error, or the exception rethrown on the caller's thread.
    std::string Take() {
        std::lock_guard lock(mutex_);
        if (exception_) std::rethrow_exception(exception_);
        return error_;
    }

private:
    std::mutex mutex_;
    std::string error_;
    std::exception_ptr exception_;
    std::atomic<bool> failed_{false};
};

// The pictures that travel between the stages: made when first wanted, so that making them
// (megabytes each, faulted in on first touch) overlaps the first frames' work instead of
// delaying the first frame, up to `limit`; from then on those given back are handed round.
class PicturePool {
public:
    PicturePool(int width, int height, size_t limit) : width_(width), height_(height), limit_(limit) {}
    // A picture whose pixels are left to the taker to fill; false once the pool is closed.
    bool Take(ImagePtr& picture) {
        if (returned_.TryPop(picture)) return true;
        if (returned_.closed()) return false;
        if (made_.fetch_add(1) < limit_) {
            picture = std::make_unique<editor::Image>(width_, height_);
            return true;
        }
        return returned_.Pop(picture);
    }
    void GiveBack(ImagePtr picture) { returned_.Push(std::move(picture)); }
    void Close() { returned_.Close(); }

private:
    int width_, height_;
    size_t limit_;
    std::atomic<size_t> made_{0};
    Channel<ImagePtr> returned_{SIZE_MAX};
};

// The queues between the stages, and the pictures that travel through them.
struct Queues {
    // One picture waiting at each hand-over keeps all three stages busy (the encoder keeps its
    // own look-ahead); each more costs megabytes of memory touched, 200 MB a picture at 8K, for
    // no measurable speed (1080p at veryfast: 4.34 to 5.01 s with one, 4.45 to 4.76 with three).
    static constexpr size_t kQueued = 1;
    // Enough pictures for every queue and every stage's hands, so that no one waits for one that
    // is never given back.
    PicturePool pool;
    Channel<Decoded> decoded{kQueued};
    Channel<Work> encoded{kQueued};

    Queues(int width, int height) : pool(width, height, 2 * kQueued + 4) {}
    void CloseAll() {
        pool.Close();
        decoded.Close();
        encoded.Close();
    }
};

// A stage on a thread of its own: what it throws is its failure, never the end of the program,
// and every path out of the render joins it.
class StageThread {
public:
    template <typename Body>
    StageThread(Failure& failure, Queues& queues, Body body)
        : queues_(queues), thread_([&failure, &queues, body = std::move(body)] {
              try {
                  body();
              } catch (...) {
                  failure.Set(std::current_exception());
                  queues.CloseAll();
              }
          }) {}
    // Leaving early (an error or an exception on the frame loop) wakes the stage first.
    ~StageThread() {
        if (thread_.joinable()) {
            queues_.CloseAll();
            thread_.join();
        }
    }
    void Join() { thread_.join(); }

private:
    Queues& queues_;
    std::jthread thread_;
};

// Decoding: the source frames from `first` on, in order, into pictures of the pool.
void DecodeStage(PictureReader& reader, int32_t first, int32_t end, Queues& queues, Failure& failure,
                 DecodeEnd& stopped) {
    for (int32_t f = first; f < end; ++f) {
        ImagePtr picture;
        editor::AllocationPoint("decoder");
        if (!queues.pool.Take(picture)) break;
        std::string read_error;
        if (!reader.Read(f, *picture, read_error, {})) {
            // What decoded is kept, as ffmpeg keeps it; a file with nothing is a failure.
            if (f == first) {
                failure.Set(read_error);
                queues.CloseAll();
            } else {
                stopped = {f, read_error};
            }
            break;
        }
        if (!queues.decoded.Push({f, std::move(picture)})) break;
    }
    queues.decoded.Close();
}

// Encoding: every frame's results, in order, to the writer.
void EncodeStage(MediaWriter& writer, Queues& queues, Failure& failure, int64_t& samples) {
    Work work;
    std::string write_error;
    while (!failure.failed() && queues.encoded.Pop(work)) {
        editor::AllocationPoint("encoder");
        if (work.picture) {
            const editor::Image& p = *work.picture;
            const YcPicture picture{const_cast<PixelYC*>(p.pixels.data()), p.max_width, p.max_width, p.max_height};
            if (!writer.WritePicture(picture, write_error)) break;
            queues.pool.GiveBack(std::move(work.picture));
        }
        if (work.samples > 0 && !writer.WriteSound(work.sound.data(), work.samples, write_error)) break;
        samples += work.samples;
    }
    if (!write_error.empty()) {
        failure.Set(write_error);
        queues.CloseAll();
    }
}

// The reader of the frames a script fetches, opened at its first read: most scripts fetch none.
class ReaderOnFirstRead : public PictureReader {
public:
    explicit ReaderOnFirstRead(const EditSource& source) : source_(source) {}
    bool Read(int32_t frame, editor::Image& dest, std::string& error, const Earlier& earlier) override {
        if (!reader_ && !(reader_ = source_.NewReader(error))) return false;
        return reader_->Read(frame, dest, error, earlier);
    }

private:
    const EditSource& source_;
    std::unique_ptr<PictureReader> reader_;
};

// A frame's sound as the sound plug-in sees it: it takes one or two channels, so of more (kept
// by the source) it sees the first two and the others pass it by.
class SoundFrames {
public:
    SoundFrames(const SoundTrack& track, const editor::FrameTiming& timing)
        : track_(track), timing_(timing), channels_(track.channels()), seen_(std::min(channels_, 2)) {}

    // Frame `frame`'s samples of every channel into `all`, those the plug-in sees into `seen`.
    int32_t Read(int32_t frame, std::vector<int16_t>& all, std::vector<int16_t>& seen) const {
        const int32_t count = timing_.SampleCount(frame);
        all.resize(static_cast<size_t>(count) * channels_);
        track_.Read(timing_.FirstSample(frame), count, all.data());
        if (channels_ != seen_) {
            seen.resize(static_cast<size_t>(count) * seen_);
            for (int32_t i = 0; i < count; ++i) {
                std::copy_n(&all[static_cast<size_t>(i) * channels_], seen_, &seen[static_cast<size_t>(i) * seen_]);
            }
        }
        return count;
    }
    // The plug-in's result back among the other channels.
    void Merge(const std::vector<int16_t>& seen, std::vector<int16_t>& all, int32_t count) const {
        if (channels_ == seen_) return;
        for (int32_t i = 0; i < count; ++i) {
            std::copy_n(&seen[static_cast<size_t>(i) * seen_], seen_, &all[static_cast<size_t>(i) * channels_]);
        }
    }
    bool split() const { return channels_ != seen_; }

private:
    const SoundTrack& track_;
    editor::FrameTiming timing_;
    int channels_;
    int seen_;
};

}  // namespace

editor::EditShape ShapeOf(const EditSource& source) {
    const EditFormat& format = source.format();
    const SoundTrack& track = source.sound();
    editor::EditShape shape;
    shape.pictures = format.has_pictures;
    shape.sound = format.has_sound;
    shape.width = format.has_pictures ? format.width : 0;
    shape.height = format.has_pictures ? format.height : 0;
    shape.timing = {format.frame_rate.num, format.frame_rate.den, track.sampling_rate()};
    shape.channels = std::clamp(track.channels(), 1, 2);
    shape.frames = format.frame_count;
    return shape;
}

namespace {

OutputSettings OutputFor(const EditSource& source, const OutputSettings& settings) {
    const EditFormat& format = source.format();
    OutputSettings output = settings;
    output.pictures = format.has_pictures;
    output.width = format.width;
    output.height = format.height;
    output.frame_rate = format.frame_rate;
    output.colour = format.video.colour;
    output.primaries = format.video.primaries;
    output.transfer = format.video.transfer;
    output.matrix_tag = format.video.matrix_tag;
    output.source_bits = format.video.bits;
    output.tags = format.video.tags;
    const AVRational aspect = format.video.pixel_aspect;
    output.pixel_aspect = format.rotation % 180 ? AVRational{aspect.den, aspect.num} : aspect;  // turned with the picture
    // What was not turned on the way in is left for players to turn.
    output.rotation = (format.video.rotation - format.rotation + 360) % 360;
    output.sound = format.has_sound;
    output.sampling_rate = source.sound().sampling_rate();
    output.channels = std::max(source.sound().channels(), 1);
    output.channel_mask = source.sound().channel_mask();
    return output;
}

// The frame loop: every frame from the first through the plug-ins, its results from the first
// written on to the encoder.
bool Render(const EditSource& source, const RenderSettings& settings, RenderSummary& summary, std::string& error) {
    const EditFormat& format = source.format();
    const editor::EditShape shape = ShapeOf(source);
    editor::PlayerPlugins plugins{settings.picture_plugin, settings.sound_plugin, settings.plugins};
    editor::EditPlayer player(shape, plugins);
    player.lengthen = settings.lengthen;

    // The decoder starts first: its reader opens and the first pictures decode while the
    // plug-ins load and the encoder opens.
    const int32_t first = std::clamp(settings.first_frame, 0, std::max(shape.frames - 1, 0));
    const int32_t written_from = std::max(settings.written_from, first);
    Failure failure;
    Queues queues(format.width, format.height);
    DecodeEnd stopped;
    StageThread decoder(failure, queues, [&] {
        const int32_t end = settings.last_frame >= 0 ? std::min(settings.last_frame + 1, shape.frames) : shape.frames;
        if (format.has_pictures) {
            std::string open_error;
            if (const auto reader = source.NewReader(open_error)) {
                DecodeStage(*reader, first, end, queues, failure, stopped);
            } else {
                failure.Set(open_error);
                queues.CloseAll();
            }
        }
        queues.decoded.Close();
    });

    if (!player.Load(error)) return false;

    MediaWriter writer;
    if (!writer.Open(OutputFor(source, settings.output), error)) return false;
    summary.codecs = writer.codecs();

    FrameCache cache(std::make_unique<ReaderOnFirstRead>(source), format.width, format.height, shape.frames,
                     FrameCache::CapacityFor(format.width, format.height));
    player.frame_image = [&](int32_t frame) -> const PixelYC* {
        editor::AllocationPoint("fetch");
        // A frame that does not decode is one the editor would not have: unavailable.
        std::string fetch_error;
        return cache.Fetch(frame, fetch_error);
    };
    const SoundFrames sound(source.sound(), shape.timing);
    // A fetch comes while the plug-in works on the frame's own samples: it has buffers of its own,
    // grown once and reused for every fetch of the render.
    std::vector<int16_t> fetched_all, fetched_seen;
    player.frame_audio = [&](int32_t frame, int16_t* dest) -> int32_t {
        const int32_t count = shape.timing.SampleCount(frame);
        if (!sound.split()) {
            source.sound().Read(shape.timing.FirstSample(frame), count, dest);
            return count;
        }
        sound.Read(frame, fetched_all, fetched_seen);
        std::copy(fetched_seen.begin(), fetched_seen.end(), dest);
        return count;
    };

    StageThread encoder(failure, queues, [&] { EncodeStage(writer, queues, failure, summary.samples); });

    std::vector<int16_t> seen;
    for (int32_t f = first; f < player.length() && !failure.failed(); ++f) {
        if (settings.last_frame >= 0 && f > settings.last_frame) break;
        if (settings.stop && settings.stop->load()) {
            failure.Set("stopped");
            break;
        }
        Work work;
        if (format.has_pictures) {
            if (f < shape.frames) {
                Decoded next;
                if (!queues.decoded.Pop(next)) break;  // the source ended early, or a stage failed
                work.picture = std::move(next.picture);
            } else {
                if (!queues.pool.Take(work.picture)) break;
                std::fill(work.picture->pixels.begin(), work.picture->pixels.end(), PixelYC{0, 0, 0});
            }
            cache.Offer(f, *work.picture);
            if (!player.RunPicture(f, *work.picture, error)) return false;
        }
        if (format.has_sound) {
            const int32_t count = sound.Read(f, work.sound, seen);
            int16_t* samples = sound.split() ? seen.data() : work.sound.data();
            if (!player.RunSound(f, samples, count, error)) return false;
            sound.Merge(seen, work.sound, count);
            // A file of sound alone keeps its own length unless the edit was lengthened.
            const int64_t begin = shape.timing.FirstSample(f);
            const int64_t end = format.has_pictures || player.length() > shape.frames
                                    ? shape.timing.FirstSample(player.length())
                                    : source.sound().length();
            work.samples = static_cast<int32_t>(std::clamp<int64_t>(end - begin, 0, count));
        }
        if (f < written_from) {
            if (work.picture) queues.pool.GiveBack(std::move(work.picture));
        } else {
            if (!queues.encoded.Push(std::move(work))) break;
            ++summary.frames;
        }
        if (settings.progress) settings.progress(f, player.length());
    }
    // The encoder drains what is queued; the decoder has read every source frame, or must stop.
    queues.pool.Close();
    queues.decoded.Close();
    queues.encoded.Close();
    decoder.Join();
    encoder.Join();
    summary.decoding_stopped = stopped;
    // A stop that came while the last frames were encoded still leaves no output.
    if (settings.stop && settings.stop->load()) failure.Set("stopped");
    if (failure.failed()) {
        error = failure.Take();
        return false;
    }
    if (!player.Unload(error)) return false;
    return writer.Finish(error);
}

}  // namespace

bool RenderEdit(const EditSource& source, const RenderSettings& settings, RenderSummary& summary,
                std::string& error) {
    try {
        return Render(source, settings, summary, error);
    } catch (const std::bad_alloc& failure) {
        const EditFormat& format = source.format();
        error = "not enough memory";
        if (format.has_pictures) error += " for " + std::to_string(format.width) + "x" + std::to_string(format.height) + " pictures";
        error += std::string(": ") + failure.what();
        return false;
    }
}

}  // namespace kinetra::media
