// What the preview keeps while it serves: the edit, the script file and its version, the track
// bars, and two instances of the picture plug-in. One shows any frame at once on whatever state
// it holds, as the editor does; the other plays the edit forward in order in the background, so
// that the result at frame N is the one a render gives (the plug-ins keep state from frame to
// frame, and that state cannot be copied through the boundary).
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kinetra/check/stateless.h"
#include "kinetra/editor/session.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/preview/picture_player.h"
#include "kinetra/preview/sound_player.h"

namespace kinetra::preview {

struct TrackInfo {
    int index = 0;
    std::string name;  // UTF-8
    int32_t minimum = 0, maximum = 0, default_value = 0;
};

struct SessionSetup {
    const media::EditSource* source = nullptr;  // outlives the session
    std::filesystem::path picture_plugin;         // dizorud.auf
    std::filesystem::path sound_plugin;           // dizorud_audio.auf
    editor::PluginSettings plugins;               // the edited path and the starting track values
    std::filesystem::path script;                 // the file the plug-ins read, watched for saves
    std::filesystem::path work_folder;            // private; holds the second plug-in instance
    // The plug-ins' texts are Shift-JIS: their track names, and scripts written for the editor.
    std::string (*shift_jis_to_utf8)(const char*) = nullptr;
    std::chrono::milliseconds poll{250};          // how often the script file is looked at
    // Frames a script's range may lengthen the edit to; the frames past it are not served.
    int64_t max_frames = INT32_MAX;
    // Bytes of exact results kept for jumps back; past them, a jump back replays from frame 0.
    size_t exact_budget = size_t{384} << 20;
};

struct Picture {
    std::shared_ptr<const editor::Image> image;
    bool exact = false;
    double milliseconds = 0;  // the plug-in's time for this result (0 when it was kept)
};

struct Event {
    uint64_t id = 0;
    std::string json;
};

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Start(const SessionSetup& setup, std::string& error);
    void Stop();

    const media::EditFormat& format() const { return setup_.source->format(); }
    const std::vector<TrackInfo>& tracks() const { return tracks_; }
    // The edit's frames: the clip's, and those a range of the script lengthens it by.
    int32_t frame_count();
    const std::filesystem::path& script_path() const { return setup_.script; }
    int sound_channels() const { return std::clamp(setup_.source->sound().channels(), 1, 2); }
    int32_t sampling_rate() const { return setup_.source->sound().sampling_rate(); }
    bool stopping();
    std::array<int32_t, KINETRA_TRACK_COUNT> track_values();
    // The script's text as last read and its version, which grows at every reload.
    std::pair<std::string, int64_t> script();
    // A script's text for people to read: UTF-8 as it is, anything else taken as Shift-JIS.
    std::string Readable(const std::string& text) const;
    // Whether every result is exact at once: a script that keeps nothing between frames.
    bool stateless();
    // The proof behind it, for the current script and track values, sound's included.
    check::StatelessProofs proofs();
    // The clip as the plug-ins are handed it, for the check.
    check::ClipFacts clip_facts() const;

    // The result at `frame` with the current settings: at once, marked exact when it is; with
    // `wait_exact`, once the in-order play has reached it.
    bool Frame(int32_t frame, bool wait_exact, Picture& picture, std::string& error);
    bool Source(int32_t frame, editor::Image& picture, std::string& error);
    // The sound plug-in's result for frames first..last, as played in order from frame 0.
    bool Sound(int32_t first, int32_t last, std::vector<int16_t>& samples, std::string& error);
    // Sets tracks by index; nothing changes and `error` says why when any index is unknown or
    // any value lies outside its track's range.
    bool SetTracks(const std::vector<std::pair<int64_t, int64_t>>& values, std::string& error);

    // The first event after `after`; false when none came within `wait` or the session stops.
    bool NextEvent(uint64_t after, Event& event, std::chrono::milliseconds wait);
    uint64_t last_event();

private:
    using Tracks = TrackValues;
    class Showing;
    editor::PluginSettings SettingsWith(const Tracks& tracks) const;
    void Publish(std::string json);  // with mutex_ held
    void Changed();                  // with mutex_ held: the exact results are void
    void Keep(int32_t frame, std::shared_ptr<const editor::Image> image);  // with mutex_ held
    bool ReadScript();               // reloads when the file changed; with mutex_ not held
    // With proof_mutex_ held and mutex_ not held.
    check::StatelessProofs Prove(const std::string& text, int32_t frame_count, const Tracks& tracks) const;
    // The error for a frame outside the edit, or nothing; with mutex_ not held.
    std::string Outside(int32_t first, int32_t last);
    void PlayInOrder();
    void Watch();

    SessionSetup setup_;
    std::vector<TrackInfo> tracks_;
    std::filesystem::path shown_plugin_;  // a copy of the plug-in file: a second instance

    std::mutex mutex_;
    std::condition_variable work_;   // the in-order play has something to do
    std::condition_variable ready_;  // an exact result or an event arrived
    bool stopping_ = false;
    Tracks values_{};
    std::string script_text_;
    int64_t script_version_ = 0;
    std::filesystem::file_time_type script_time_{};
    uintmax_t script_size_ = 0;
    int32_t frame_count_ = 0;
    bool stateless_ = false;
    check::StatelessProofs proofs_;
    // Held from reading the script and tracks to storing their proof, which takes long enough
    // that mutex_ is not held meanwhile; taken before mutex_.
    std::mutex proof_mutex_;
    uint64_t generation_ = 0;  // grows at every change of script or tracks
    std::chrono::steady_clock::time_point changed_at_{};
    int showing_ = 0;          // frames being shown at once
    int32_t target_ = -1;      // the frame the in-order play is asked to reach
    int32_t exact_next_ = -1;  // the frame it runs next, for the current generation
    std::map<int32_t, std::shared_ptr<const editor::Image>> exact_;
    std::pair<uint64_t, std::string> failure_{UINT64_MAX, ""};  // the in-order play's, and its generation
    size_t exact_bytes_ = 0;
    std::deque<Event> events_;
    uint64_t next_event_ = 1;

    std::mutex shown_mutex_;  // the instance that shows frames at once
    std::unique_ptr<PicturePlayer> shown_;
    uint64_t shown_generation_ = UINT64_MAX;
    int64_t shown_version_ = -1;

    std::mutex sound_mutex_;
    std::unique_ptr<SoundPlayer> sound_;
    uint64_t sound_generation_ = UINT64_MAX;  // the settings `sound_` was loaded with
    std::unique_ptr<PicturePlayer> in_order_;  // used by the in-order thread only
    std::thread player_, watcher_;
};

}  // namespace kinetra::preview
