#include "kinetra/preview/session.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "kinetra/check/catalog.h"
#include "kinetra/check/curves.h"
#include "kinetra/editor/edit_player.h"
#include "kinetra/media/pipeline.h"

namespace kinetra::preview {
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

// Seconds of sound one request plays at most: a WAV of a minute is 11 MB.
constexpr int32_t kLongestSound = 60;
// Bytes of the sound plug-in's results kept, so that a range played again or just after the last
// one is not played from frame 0 again: some ten minutes of stereo at 48 kHz.
constexpr size_t kKeptSound = size_t{112} << 20;
// Events kept for a page that reconnects.
constexpr size_t kKeptEvents = 256;
// How often the in-order play reports its progress.
constexpr auto kProgressEvery = std::chrono::milliseconds(100);
// The in-order play starts again only once the settings have held this long, so that a dragged
// slider's frames are not slowed by replays that the next change voids.
constexpr auto kSettle = std::chrono::milliseconds(150);

// Bytes that are no UTF-8 (a path, a plug-in's message) show as U+FFFD rather than failing.
std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

// Whether `text` reads as UTF-8: each lead byte followed by as many continuation bytes as it says.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Session::~Session() { Stop(); }

void Session::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    ready_.notify_all();
    if (player_.joinable()) player_.join();
    if (watcher_.joinable()) watcher_.join();
}

editor::PluginSettings Session::SettingsWith(const Tracks& tracks) const {
    editor::PluginSettings settings = setup_.plugins;
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) settings.tracks[t] = tracks[t];
    return settings;
}

bool Session::Start(const SessionSetup& setup, std::string& error) {
    setup_ = setup;
    // A plug-in's state lives in its library; a copy under another name loads as a second one.
    shown_plugin_ = setup.work_folder / ("shown-" + setup.picture_plugin.filename().string());
    std::error_code failed;
    fs::copy_file(setup.picture_plugin, shown_plugin_, fs::copy_options::overwrite_existing, failed);
    if (failed) {
        error = "cannot copy " + setup.picture_plugin.string() + ": " + failed.message();
        return false;
    }
    // The track bars as the plug-in describes them, read from a load of its own.
    editor::LoadedPlugin probe;
    if (!probe.Load(setup.picture_plugin, setup.plugins, error)) return false;
    const FilterTable& table = probe.host().description();
    for (int t = 0; t < std::min<int32_t>(table.track_count, KINETRA_TRACK_COUNT); ++t) {
        const char* name = table.track_names ? table.track_names[t] : "";
        tracks_.push_back({t, setup.shift_jis_to_utf8 ? setup.shift_jis_to_utf8(name) : name, table.track_minimums[t],
                           table.track_maximums[t], table.track_defaults[t]});
    }
    values_ = probe.host().tracks;
    if (!probe.Unload(error)) return false;
    shown_ = std::make_unique<PicturePlayer>(*setup.source, shown_plugin_, SettingsWith(values_));
    in_order_ = std::make_unique<PicturePlayer>(*setup.source, setup.picture_plugin, SettingsWith(values_));
    if (!shown_->Reload(error)) return false;
    shown_generation_ = generation_;
    if (!ReadScript()) {
        error = "cannot read " + setup.script.string();
        return false;
    }
    shown_version_ = script_version_;
    player_ = std::thread([this] { PlayInOrder(); });
    watcher_ = std::thread([this] { Watch(); });
    return true;
}

std::array<int32_t, KINETRA_TRACK_COUNT> Session::track_values() {
    std::lock_guard lock(mutex_);
    return values_;
}

bool Session::stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

std::pair<std::string, int64_t> Session::script() {
    std::lock_guard lock(mutex_);
    return {script_text_, script_version_};
}

std::string Session::Readable(const std::string& text) const {
    return IsUtf8(text) || !setup_.shift_jis_to_utf8 ? text : setup_.shift_jis_to_utf8(text.c_str());
}

bool Session::stateless() {
    std::lock_guard lock(mutex_);
    return stateless_;
}

check::StatelessProofs Session::proofs() {
    std::lock_guard lock(mutex_);
    return proofs_;
}

check::ClipFacts Session::clip_facts() const {
    const media::EditFormat& edit = format();
    return {edit.has_pictures ? edit.width : 0,
            edit.has_pictures ? edit.height : 0,
            edit.frame_count,
            av_q2d(edit.frame_rate),
            edit.has_sound ? sampling_rate() : 0,
            edit.has_sound ? sound_channels() : 0};
}

int32_t Session::frame_count() {
    std::lock_guard lock(mutex_);
    return frame_count_;
}

std::string Session::Outside(int32_t first, int32_t last) {
    const int32_t count = frame_count();
    if (first >= 0 && first <= last && last < count) return {};
    return (first == last ? "frame " + std::to_string(first) + " is"
                          : "frames " + std::to_string(first) + ".." + std::to_string(last) + " are") +
           " outside the edit's 0.." + std::to_string(count - 1);
}

check::StatelessProofs Session::Prove(const std::string& text, int32_t frame_count, const Tracks& tracks) const {
    // The frames a lengthening range adds are proven too.
    return check::ProveStateless(text, {clip_facts(), tracks, frame_count}, check::PluginCommands());
}

void Session::Publish(std::string json) {
    events_.push_back({next_event_++, std::move(json)});
    if (events_.size() > kKeptEvents) events_.pop_front();
    ready_.notify_all();
}

void Session::Changed() {
    ++generation_;
    changed_at_ = std::chrono::steady_clock::now();
    exact_.clear();
    exact_bytes_ = 0;
    exact_next_ = -1;
    work_.notify_all();
}

void Session::Keep(int32_t frame, std::shared_ptr<const editor::Image> image) {
    exact_bytes_ += image->pixels.size() * sizeof(PixelYC);
    exact_[frame] = std::move(image);
    while (exact_bytes_ > setup_.exact_budget && exact_.size() > 1) {
        const auto first = exact_.begin(), last = std::prev(exact_.end());
        const auto farthest = std::abs(first->first - target_) > std::abs(last->first - target_) ? first : last;
        exact_bytes_ -= farthest->second->pixels.size() * sizeof(PixelYC);
        exact_.erase(farthest);
    }
}

bool Session::ReadScript() {
    std::error_code failed;
    const fs::file_time_type time = fs::last_write_time(setup_.script, failed);
    const uintmax_t size = failed ? 0 : fs::file_size(setup_.script, failed);
    std::string text;
    {
        std::lock_guard lock(mutex_);
        // A file that is missing or being replaced leaves the last text in force; none at all is
        // an empty script, as the plug-ins take it.
        if (failed && script_version_ > 0) return true;
        if (script_version_ > 0 && time == script_time_ && size == script_size_) return true;
    }
    if (!failed) {
        std::ifstream in(setup_.script, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in && !in.eof()) return false;
    }
    // The plug-ins lengthen the edit as the script's ranges ask, up to the limit a render has.
    const auto frames = static_cast<int32_t>(
        std::min(check::LengthenedFrameCount(text, format().frame_count), std::min<int64_t>(setup_.max_frames, INT32_MAX)));
    std::lock_guard proving(proof_mutex_);
    const check::StatelessProofs proofs = Prove(text, frames, track_values());
    std::lock_guard lock(mutex_);
    frame_count_ = frames;
    script_time_ = time;
    script_size_ = size;
    script_text_ = std::move(text);
    proofs_ = proofs;
    stateless_ = proofs.picture.proven;
    ++script_version_;
    Changed();
    Publish(Dump(Json{{"type", "script"}, {"version", script_version_}, {"stateless", stateless_}, {"frame_count", frame_count_}}));
    return true;
}

void Session::Watch() {
    std::unique_lock lock(mutex_);
    while (!work_.wait_for(lock, setup_.poll, [this] { return stopping_; })) {
        lock.unlock();
        ReadScript();
        lock.lock();
    }
}

void Session::PlayInOrder() {
    std::unique_lock lock(mutex_);
    uint64_t loaded = UINT64_MAX;  // the generation the instance was loaded for
    auto reported = std::chrono::steady_clock::now();
    while (!stopping_) {
        if (target_ < 0 || stateless_ || exact_.count(target_)) {
            work_.wait(lock);
            continue;
        }
        // A frame shown at once goes first: the user is waiting for it.
        if (showing_ > 0) {
            work_.wait(lock);
            continue;
        }
        if (const auto settled = changed_at_ + kSettle; std::chrono::steady_clock::now() < settled) {
            work_.wait_until(lock, settled);
            continue;
        }
        const uint64_t generation = generation_;
        const Tracks tracks = values_;
        const int32_t next = in_order_->next_in_order();
        const bool replay = loaded != generation || next < 0 || next > target_;
        lock.unlock();
        std::string error;
        bool done = true;
        if (replay) {
            done = in_order_->SetTracks(tracks, error) && in_order_->Reload(error);
            loaded = generation;
        }
        const int32_t frame = in_order_->next_in_order();
        auto image = std::make_shared<editor::Image>();
        if (done) done = in_order_->Run(frame, *image, error);
        lock.lock();
        if (generation != generation_) continue;
        if (!done) {
            loaded = UINT64_MAX;
            target_ = -1;
            failure_ = {generation, error};
            Publish(Dump(Json{{"type", "error"}, {"message", error}}));
            continue;
        }
        Keep(frame, std::move(image));
        exact_next_ = frame + 1;
        if (frame == target_ || replay || std::chrono::steady_clock::now() - reported > kProgressEvery) {
            reported = std::chrono::steady_clock::now();
            Publish(Dump(Json{{"type", "exact"}, {"frame", frame}, {"target", target_}}));
        }
    }
}

// Counts a frame being shown at once while it lives; the in-order play waits for none.
class Session::Showing {
public:
    explicit Showing(Session& session) : session_(session) {}
    ~Showing() {
        std::lock_guard lock(session_.mutex_);
        --session_.showing_;
        session_.work_.notify_all();
    }

private:
    Session& session_;
};

bool Session::Frame(int32_t frame, bool wait_exact, Picture& picture, std::string& error) {
    error = Outside(frame, frame);
    if (!error.empty()) return false;
    std::unique_lock lock(mutex_);
    if (!stateless_) {
        target_ = frame;
        work_.notify_all();
        // The in-order play about to run this frame gives the exact result as soon.
        const auto ready = [&] {
            return stopping_ || exact_.count(frame) || stateless_ || failure_.first == generation_;
        };
        failure_.first = UINT64_MAX;  // asked again: the in-order play tries again
        if (wait_exact) {
            ready_.wait(lock, ready);
        } else if (exact_next_ == frame) {
            ready_.wait_for(lock, std::chrono::milliseconds(500), ready);
        }
        if (const auto kept = exact_.find(frame); kept != exact_.end()) {
            picture = {kept->second, true, 0};
            return true;
        }
        if (stopping_ || (wait_exact && failure_.first == generation_)) {
            error = stopping_ ? "the preview is stopping" : failure_.second;
            return false;
        }
    }
    lock.unlock();

    std::lock_guard shown_lock(shown_mutex_);
    lock.lock();
    ++showing_;
    const uint64_t generation = generation_;
    const int64_t version = script_version_;
    const Tracks tracks = values_;
    const bool exact = stateless_;
    lock.unlock();
    const Showing showing(*this);
    // The editor reloads a saved script at once here; the plug-in alone would wait for its
    // next look at the file.
    if (version != shown_version_ && !shown_->Reload(error)) return false;
    shown_version_ = version;
    if (generation != shown_generation_ && !shown_->SetTracks(tracks, error)) return false;
    shown_generation_ = generation;
    const auto start = std::chrono::steady_clock::now();
    auto image = std::make_shared<editor::Image>();
    if (!shown_->Run(frame, *image, error)) return false;
    picture = {std::move(image), exact, MillisecondsSince(start)};
    return true;
}

bool Session::Source(int32_t frame, editor::Image& picture, std::string& error) {
    error = Outside(frame, frame);
    if (!error.empty()) return false;
    std::lock_guard shown_lock(shown_mutex_);
    return shown_->Source(frame, picture, error);
}

bool Session::Sound(int32_t first, int32_t last, std::vector<int16_t>& samples, std::string& error) {
    if (!format().has_sound) {
        error = "the edit has no sound";
        return false;
    }
    error = Outside(first, last);
    if (!error.empty()) return false;
    const editor::FrameTiming timing = media::ShapeOf(*setup_.source).timing;
    if (timing.FirstSample(last + 1) - timing.FirstSample(first) > int64_t{kLongestSound} * timing.sampling_rate) {
        error = "at most " + std::to_string(kLongestSound) + " s of sound at a time";
        return false;
    }
    bool stateless = false;
    uint64_t generation = 0;
    Tracks tracks{};
    {
        std::lock_guard lock(mutex_);
        stateless = proofs_.sound.proven;
        generation = generation_;
        tracks = values_;
    }
    std::lock_guard sound_lock(sound_mutex_);
    if (!sound_ || sound_generation_ != generation) {
        // One instance of the plug-in at a time: its state lives in its library.
        sound_.reset();
        auto player = std::make_unique<SoundPlayer>(*setup_.source, setup_.sound_plugin, SettingsWith(tracks), kKeptSound);
        if (!player->Load(error)) return false;
        sound_ = std::move(player);
        sound_generation_ = generation;
    }
    return sound_->Play(first, last, stateless, samples, error);
}

bool Session::SetTracks(const std::vector<std::pair<int64_t, int64_t>>& values, std::string& error) {
    for (const auto& [index, value] : values) {
        if (index < 0 || index >= static_cast<int64_t>(tracks_.size())) {
            error = "no track " + std::to_string(index) + ": tracks are 0.." + std::to_string(tracks_.size() - 1);
            return false;
        }
        const TrackInfo& track = tracks_[index];
        if (value < track.minimum || value > track.maximum) {
            error = "track " + std::to_string(index) + " (" + track.name + ") " + std::to_string(value) + ": outside " +
                    std::to_string(track.minimum) + ".." + std::to_string(track.maximum);
            return false;
        }
    }
    // The proof follows the tracks: the shown buffer, and variables that size a rectangle.
    std::lock_guard proving(proof_mutex_);
    auto [text, version] = script();
    Tracks tracks = track_values();
    for (const auto& [index, value] : values) tracks[index] = static_cast<int32_t>(value);
    const check::StatelessProofs proofs = Prove(text, frame_count(), tracks);
    std::lock_guard lock(mutex_);
    values_ = tracks;
    proofs_ = proofs;
    stateless_ = proofs.picture.proven;
    Changed();
    Publish(Dump(Json{{"type", "tracks"}, {"values", values_}, {"stateless", stateless_}}));
    return true;
}

bool Session::NextEvent(uint64_t after, Event& event, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    const auto newer = [&] { return stopping_ || (!events_.empty() && events_.back().id > after); };
    if (!ready_.wait_for(lock, wait, newer) || stopping_) return false;
    for (const Event& e : events_) {
        if (e.id > after) {
            event = e;
            return true;
        }
    }
    return false;
}

uint64_t Session::last_event() {
    std::lock_guard lock(mutex_);
    return next_event_ - 1;
}

}  // namespace kinetra::preview
