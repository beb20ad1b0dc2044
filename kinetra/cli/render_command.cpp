#include "kinetra/cli/render_command.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <cstring>
#include <thread>
#include <vector>

#include "host/track_bars.h"
#include "kinetra/cli/exit_status.h"
#include "kinetra/check/catalog.h"
#include "kinetra/check/check.h"
#include "kinetra/cli/check_command.h"
#include "kinetra/cli/plugins.h"
#include "kinetra/cli/render_input.h"
#include "kinetra/editor/session.h"
#include "kinetra/editor/synthetic.h"
#include "kinetra/media/edit_source.h"
#include "kinetra/media/pipeline.h"

namespace kinetra::cli {
namespace fs = std::filesystem;
namespace {

struct Arguments {
    std::string input;
    std::string output;
    std::string script;
    std::string plugins;
    int threads = 0;
    std::optional<int> display;
    std::vector<std::string> variables;
    std::string preset = "medium";
    int crf = 18;
    bool lossless = false;
    std::string size = "1280x720";
    int frames = 48;
    std::string rate = "30";
    std::optional<int> sampling_rate;  // the input's own, 48000 for the built-in clip
    bool keep_channels = false;
    bool no_autorotate = false;
    bool no_video = false;
    bool no_sound = false;
    Trim trim;
    bool quiet = false;
    bool overwrite = false;
    bool never_overwrite = false;
    std::string video_encoder;
    std::string audio_encoder;
    std::string video_bitrate;
    std::string audio_bitrate;
    std::string pixel_format;
    // The built-in clip's options that were given, refused with an input (but --rate for sound alone).
    bool size_given = false;
    bool frames_given = false;
    bool rate_given = false;
    int64_t max_frames = kDefaultMaxFrames;
};

// The track bar whose variable is `letter`, or -1.
int VariableTrack(char letter) {
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) {
        if (letter && kTrackBars[t].variable == letter) return t;
    }
    return -1;
}

// The variable track bars' letters, "a b c ...".
std::string VariableLetters() {
    std::string letters;
    for (const TrackBar& t : kTrackBars) {
        if (t.variable) letters += letters.empty() ? std::string(1, t.variable) : std::string(" ") + t.variable;
    }
    return letters;
}

// Each track bar's option as the user writes it up to the value, for the message when a value
// lies outside the plug-in's range.
std::array<std::string, KINETRA_TRACK_COUNT> TrackOptions() {
    std::array<std::string, KINETRA_TRACK_COUNT> options;
    options[kThreadTrack] = "--threads ";
    options[kDisplayTrack] = "--display ";
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) {
        if (kTrackBars[t].variable) options[t] = std::string("--var ") + kTrackBars[t].variable + "=";
    }
    return options;
}

std::atomic<bool> g_stop{false};
void OnInterrupt(int) { g_stop = true; }

bool ParseSize(const std::string& text, int& width, int& height) {
    char extra = 0;
    return sscanf(text.c_str(), "%dx%d%c", &width, &height, &extra) == 2 && width >= 1 && height >= 1 &&
           width <= 16384 && height <= 16384;
}

bool ParseRate(const std::string& text, AVRational& rate) {
    int num = 0, den = 1;
    char extra = 0;
    const int read = sscanf(text.c_str(), "%d/%d%c", &num, &den, &extra);
    if (read != 1 && read != 2) return false;
    if (num < 1 || den < 1 || num > 1000 * den) return false;
    rate = AVRational{num, den};
    return true;
}

std::string Clock(double seconds) {
    const long total = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

// The progress line: redrawn at most four times a second, on a terminal only.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown), start_(std::chrono::steady_clock::now()) {}
    void Frame(int32_t frame, int32_t frames) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (frame + 1 < frames && now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double elapsed = seconds();
        const double fps = elapsed > 0 ? (frame + 1) / elapsed : 0;
        const double remaining = fps > 0 ? (frames - frame - 1) / fps : 0;
        fprintf(stderr, "\rframe %d/%d  %.1f fps  elapsed %s  remaining %s   ", frame + 1, frames, fps,
                Clock(elapsed).c_str(), Clock(remaining).c_str());
        drawn_ = true;
    }
    void End() {
        if (drawn_) fputc('\n', stderr);
        drawn_ = false;
    }
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_{};
};

std::string DefaultOutput(const Arguments& a, const media::EditFormat& format) {
    if (a.input.empty()) return "demo.mp4";
    const fs::path input(a.input);
    // A picture sequence's number (img%03d.png) is no part of the one file's name.
    const std::string stem = std::regex_replace(input.stem().string(), std::regex("%0?[0-9]*d"), "");
    return (input.parent_path() / ((stem.empty() ? "frames" : stem) + "-kinetra" + (format.has_pictures ? ".mp4" : ".wav")))
        .string();
}

// `path` as a shell reads it back: quoted when it holds a space or a character the shell takes
// for its own, so that a command line we suggest can be pasted as it is.
std::string ShellWord(const std::string& path) {
    if (path.find_first_of(" \t'\"\\$`!*?[]{}()<>|&;#~") == std::string::npos) return path;
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int Fail(const std::string& message, int status = kFailure) {
    fprintf(stderr, "kinetra: %s\n", message.c_str());
    return status;
}

int UsageError(const std::string& message) { return Fail(message, kUsageError); }

// A bitrate as ffmpeg takes it: bits a second, with k or M for thousands or millions.
bool ParseBitrate(const std::string& text, int64_t& bits) {
    if (text.empty()) return true;
    char* end = nullptr;
    double value = strtod(text.c_str(), &end);
    const std::string unit = end;
    if (unit == "k" || unit == "K") {
        value *= 1e3;
    } else if (unit == "M") {
        value *= 1e6;
    } else if (!unit.empty()) {
        return false;
    }
    if (!(value >= 1000 && value <= 1e10)) return false;
    bits = static_cast<int64_t>(value);
    return true;
}

// The file a render to `output` writes first: the output itself, or a sequence's first picture.
std::string FirstFile(const std::string& output, media::OutputKind kind) {
    if (kind != media::OutputKind::kPictureSequence) return output;
    char name[4096];
    return av_get_frame_filename2(name, sizeof name, output.c_str(), 0, AV_FRAME_FILENAME_FLAGS_MULTIPLE) == 0
               ? std::string(name)
               : output;
}

// ffmpeg's rule for an output that exists: never the input itself; with -y replaced, with -n
// kept; otherwise the user is asked on a terminal, and elsewhere it is kept. An empty answer
// lets the render go on.
std::string OverwriteRefusal(const Arguments& a, const std::string& output, media::OutputKind kind) {
    const std::string first = FirstFile(output, kind);
    std::error_code failed;
    if (kind == media::OutputKind::kNull) return "";
    // A picture sequence is no one file: its pattern is compared as written.
    const auto named_alike = [](const std::string& x, const std::string& y) {
        return fs::absolute(x).lexically_normal() == fs::absolute(y).lexically_normal();
    };
    if (!a.input.empty() && (named_alike(a.input, output) || fs::equivalent(a.input, first, failed))) {
        return output + " is the input itself: write the output to another file";
    }
    if (!fs::exists(first, failed)) return "";
    if (a.overwrite) return "";
    if (!a.never_overwrite && isatty(STDIN_FILENO)) {
        fprintf(stderr, "File '%s' already exists. Overwrite? [y/N] ", first.c_str());
        char answer[16] = {};
        if (fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y')) return "";
    }
    return first + " already exists; not overwritten (-y overwrites it)";
}

int Run(const Arguments& a) {
    // The options that need more than their type checked.
    editor::PluginSettings plugins;
    plugins.track_options = TrackOptions();
    const TrackBar& threads = kTrackBars[kThreadTrack];
    const int hardware = static_cast<int>(std::thread::hardware_concurrency());
    plugins.tracks[kThreadTrack] = a.threads > 0 ? a.threads : std::clamp(hardware, threads.minimum, threads.maximum);
    if (a.display) plugins.tracks[kDisplayTrack] = *a.display;
    for (const std::string& setting : a.variables) {
        const int track = setting.size() > 1 && setting[1] == '=' ? VariableTrack(setting[0]) : -1;
        int value = 0;
        char extra = 0;
        if (track < 0 || sscanf(setting.c_str() + 2, "%d%c", &value, &extra) != 1) {
            return UsageError("--var " + setting + ": give NAME=VALUE with NAME one of " + VariableLetters() +
                              " and a whole VALUE");
        }
        const TrackBar& bar = kTrackBars[track];
        if (value < bar.minimum || value > bar.maximum) {
            return UsageError("--var " + setting + ": outside " + std::to_string(bar.minimum) + ".." +
                              std::to_string(bar.maximum));
        }
        plugins.tracks[track] = value;
    }
    editor::SyntheticClip clip;
    AVRational rate{30, 1};
    if (!ParseSize(a.size, clip.width, clip.height)) return UsageError("--size " + a.size + ": give WIDTHxHEIGHT, each 1..16384");
    if (!ParseRate(a.rate, rate)) return UsageError("--rate " + a.rate + ": give frames per second, as 30 or 30000/1001");
    clip.frames = a.frames;
    clip.frame_rate = rate.num;
    clip.frame_rate_scale = rate.den;
    clip.sampling_rate = a.sampling_rate.value_or(48000);

    std::string error;
    media::OutputKind kind = media::OutputKind::kNull;
    if (!a.output.empty() && !media::OutputKindOf(a.output, kind, error)) return UsageError(error);
    int64_t video_bitrate = 0, audio_bitrate = 0;
    if (!ParseBitrate(a.video_bitrate, video_bitrate)) {
        return UsageError("-b:v " + a.video_bitrate + ": give bits a second, as 5M or 800k");
    }
    if (!ParseBitrate(a.audio_bitrate, audio_bitrate)) {
        return UsageError("-b:a " + a.audio_bitrate + ": give bits a second, as 192k");
    }
    for (const std::string& file : {a.input, a.script}) {
        const std::string why = UnreadableFile(file);
        if (why.empty()) continue;
        // "--var a=1 b=2": the second setting is taken for the input.
        if (file == a.input && file.size() > 1 && file[1] == '=' && VariableTrack(file[0]) >= 0) {
            return UsageError(file + ": a --var takes one NAME=VALUE; give --var " + file + " for another");
        }
        // "-s 1920x1080", ffmpeg's size: here -s names the script.
        int width = 0, height = 0;
        if (file == a.script && ParseSize(file, width, height)) {
            return UsageError("-s " + file + ": -s names the script here (--script); the output keeps the input's size");
        }
        return Fail(why);
    }
    editor::ScriptFolder folder;
    std::unique_ptr<media::EditSource> source;
    if (!a.input.empty()) {
        source = media::OpenFileSource(a.input, {{a.sampling_rate.value_or(0), a.keep_channels}, !a.no_autorotate}, rate,
                                       error);
        if (!source) return Fail(error);
        TellSoundFormat(a.input, *source);
        plugins.edited_path = source->edited_path();
        // The built-in clip's shape does not apply to a file, but for sound alone its frame rate does.
        for (const auto& [given, name] : {std::pair{a.size_given, "--size"}, std::pair{a.frames_given, "--frames"},
                                          std::pair{a.rate_given && source->format().has_pictures, "--rate"}}) {
            if (given) return UsageError(std::string(name) + " shapes the built-in clip; it does not apply to " + a.input);
        }
    }
    if (!a.script.empty() || a.input.empty()) {
        const std::string name = a.input.empty() ? "synthetic-clip" : fs::path(a.input).filename().string();
        plugins.edited_path = PresentScript(folder, a.script, name);
        if (plugins.edited_path.empty()) return Fail("cannot present the script in a temporary folder");
    }
    if (a.input.empty()) source = media::MakeSyntheticSource(clip, plugins.edited_path);

    media::RenderSettings settings;
    if (!FindPlugins(a.plugins, settings.picture_plugin, settings.sound_plugin, error)) return Fail(error);
    settings.plugins = plugins;
    settings.output.path = a.output.empty() ? DefaultOutput(a, source->format()) : a.output;
    settings.output.preset = a.preset;
    settings.output.crf = a.crf;
    settings.output.lossless = a.lossless;
    settings.output.video_encoder = a.video_encoder;
    settings.output.audio_encoder = a.audio_encoder;
    settings.output.video_bitrate = video_bitrate;
    settings.output.audio_bitrate = audio_bitrate;
    settings.output.pixel_format = a.pixel_format;
    settings.output.without_pictures = a.no_video;
    settings.output.without_sound = a.no_sound;
    settings.output.notice = [](const std::string& line) { fprintf(stderr, "kinetra: %s\n", line.c_str()); };
    {
        // Checked before any frame is rendered: the output's choices, then what it would replace.
        media::OutputSettings planned = settings.output;
        planned.pictures = source->format().has_pictures;
        planned.sound = source->format().has_sound;
        if (!media::CheckOutput(planned, error)) return UsageError(error);
        media::OutputKindOf(settings.output.path, kind, error);
        const std::string refusal = OverwriteRefusal(a, settings.output.path, kind);
        if (!refusal.empty()) return Fail(refusal);
    }
    settings.stop = &g_stop;
    settings.lengthen = LengthenUpTo(ScriptFor(a.input, a.script), a.max_frames);
    bool usage = false;
    if (!ApplyTrim(a.trim, source->format(), settings, error, usage)) return usage ? UsageError(error) : Fail(error);
    Progress progress(!a.quiet && isatty(STDERR_FILENO));
    // Counted over the frames this render runs, which a trim makes fewer than the edit's.
    settings.progress = [&progress, first = settings.first_frame, last = settings.last_frame](int32_t frame,
                                                                                            int32_t frames) {
        const int32_t end = last >= 0 ? std::min(last + 1, frames) : frames;
        progress.Frame(frame - first, end - first);
    };

    // Ctrl-C, kill, and a terminal closed under the render all stop it cleanly.
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) std::signal(stop, OnInterrupt);
    if (!a.quiet && (!a.input.empty() || !a.script.empty())) {
        const std::string script =
            !a.script.empty() ? a.script : (fs::path(a.input).parent_path() / "animation.txt").string();
        const std::string notice = check::RenderNotice(
            script, ClipFactsOf(*source),
            "kinetra check " + ShellWord(script) + (a.input.empty() ? "" : " --input " + ShellWord(a.input)));
        if (!notice.empty()) fprintf(stderr, "kinetra: %s\n", notice.c_str());
    }
    media::RenderSummary summary;
    const bool done = media::RenderEdit(*source, settings, summary, error);
    progress.End();
    if (!done) {
        if (!g_stop) return Fail(error);
        return Fail("stopped; nothing written to " + settings.output.path, kInterrupted);
    }
    TellDecodingStopped(a.input, *source, summary);
    if (!a.quiet) {
        const media::EditFormat& format = source->format();
        const bool pictures = format.has_pictures && media::TakesPictures(kind) && !a.no_video;
        const bool sound = format.has_sound && media::TakesSound(kind) && !a.no_sound;
        std::string what;
        if (pictures) {
            char line[128];
            snprintf(line, sizeof line, "%d frame%s of %dx%d at %.6g fps", summary.frames, summary.frames == 1 ? "" : "s",
                     format.width, format.height, av_q2d(format.frame_rate));
            what = line;
        }
        if (sound) {
            char line[64];
            snprintf(line, sizeof line, "%.2f s of sound",
                     static_cast<double>(summary.samples) / source->sound().sampling_rate());
            what += (what.empty() ? "" : ", ") + std::string(line);
        }
        const double seconds = progress.seconds();
        const std::string done_what = kind == media::OutputKind::kNull ? "rendered " + what + " (nothing written)"
                                                                      : "wrote " + settings.output.path + ": " + what +
                                                                            " (" + summary.codecs + ")";
        char pace[32] = "";
        if (pictures) snprintf(pace, sizeof pace, " (%.1f fps)", seconds > 0 ? summary.frames / seconds : 0.0);
        fprintf(stderr, "kinetra: %s, in %.1f s%s\n", done_what.c_str(), seconds, pace);
    }
    return kSuccess;
}

}  // namespace

std::string RenderOptionSpelling(const std::string& word) {
    static const std::pair<const char*, const char*> kSpellings[] = {
        {"-c:v", "--video-encoder"}, {"-c:a", "--audio-encoder"}, {"-b:v", "--video-bitrate"},
        {"-b:a", "--audio-bitrate"}, {"-pix_fmt", "--pix-fmt"},  {"-ss", "--start"},
        {"-to", "--end"},            {"-crf", "--crf"},            {"-preset", "--preset"},
        {"-threads", "--threads"},   {"-vn", "--no-video"},        {"-an", "--no-sound"},
    };
    for (const auto& [ffmpeg, ours] : kSpellings) {
        if (word == ffmpeg) return ours;
    }
    return word;
}

void AddRenderCommand(CLI::App& app, std::function<int()>& run) {
    auto a = std::make_shared<Arguments>();
    CLI::App* command = app.add_subcommand("render", "Render a clip through both plug-ins");
    command->footer(
        "The script is animation.txt beside INPUT, where the plug-ins look for it; --script presents\n"
        "another file as animation.txt (saved edits reach the plug-ins within a second).\n"
        "Without INPUT the built-in clip is rendered with the built-in demo script; --size, --frames\n"
        "and --rate shape it, and do not apply to an INPUT (but --rate to sound alone).\n"
        "An existing OUTPUT is replaced with -y, kept with -n, otherwise the user is asked on a\n"
        "terminal and it is kept elsewhere; the input itself is never replaced.\n"
        "A size that 4:2:0 cannot halve (853x481) is padded to the next even one, the edge repeated.\n"
        "Deeper pictures (10-bit) are written at 8 bits unless -pix_fmt says otherwise, with a notice.\n\n"
        "Examples:\n"
        "  kinetra render                                  the demo, into demo.mp4\n"
        "  kinetra render clip.mp4 -o out.mp4              clip.mp4 with the animation.txt beside it\n"
        "  kinetra render clip.mkv --script fx.txt -o out.mkv --var a=2048 --var b=100\n"
        "  kinetra render clip.mp4 -o 'frames/f%04d.png'   a PNG sequence, numbered from 0\n"
        "  kinetra render clip.mp4 -y -o out.mp4           replace out.mp4 if it exists\n"
        "  kinetra render clip.mp4 -c:v libx265 -b:v 4M -c:a libopus -b:a 128k -o out.mkv\n"
        "  kinetra render clip.mp4 -c:v libvpx-vp9 -o out.webm\n"
        "  kinetra render clip.mp4 -c:v prores_ks -pix_fmt yuv422p10le -c:a pcm_s24le -o out.mov\n"
        "  kinetra render clip.mp4 -pix_fmt yuv420p10le -o out.mkv   10-bit: smooth gradients\n"
        "  kinetra render clip.mp4 --lossless -o out.mkv   FFV1 (or Ut Video); .mkv or .avi\n"
        "  kinetra render clip.mp4 --max-frames 200000     let the script's ranges lengthen the edit that far\n"
        "  kinetra render clip.mkv --sampling-rate 48000   resample the sound (by default it keeps its rate)\n"
        "  kinetra render surround.mkv --keep-channels     5.1 stays 5.1; the script works on front left/right\n"
        "  kinetra render phone.mp4 --no-autorotate        the pictures as stored, ignoring their rotation\n"
        "  kinetra render clip.mp4 --start 2.5 --end 4 -o part.mp4     frames from 2.5 s up to 4 s\n"
        "  kinetra render clip.mp4 --start 75f --end 120f -o part.mp4  frames 75 to 119\n"
        "  kinetra render -i clip.mp4 -ss 2.5 -t 1.5 part.mp4      ffmpeg's spellings: 2.5 s to 4 s\n"
        "  kinetra render clip.mp4 --frame 150 -o shot.png            frame 150 alone, as a picture\n"
        "  kinetra render clip.mp4 -o null                 render and discard, for timing\n\n" +
        std::string(kExitStatusHelp));
    command->add_option("INPUT,-i,--input", a->input,
                        "What FFmpeg reads: a file of video with or without sound, sound alone, or a picture "
                        "sequence's pattern (img%03d.png)");
    command->add_option("OUTPUT,-o,--output", a->output,
                        "OUTPUT by its name: any container FFmpeg writes (.mp4 .mkv .mov .webm .avi, .gif without sound; H.264 + AAC "
                        "in .mp4, PCM sound in .mkv/.mov), a sound file (.wav .flac .mp3), a PNG or JPEG pattern with %d, "
                        "one .png or .jpg picture (of one frame), or null "
                        "(default: INPUT-kinetra.mp4, or demo.mp4)");
    command->add_flag("-y", a->overwrite, "Replace OUTPUT if it exists");
    command->add_flag("-n", a->never_overwrite, "Never replace an existing OUTPUT")->excludes("-y");
    command->add_option("-s,--script", a->script, "Present this file to the plug-ins as animation.txt");
    const TrackBar& threads = kTrackBars[kThreadTrack];
    command
        ->add_option("--threads", a->threads,
                     "Worker threads of the plug-ins, " + std::to_string(threads.minimum) + ".." +
                         std::to_string(threads.maximum) + " (track bar 0; default: the processors)")
        ->check(CLI::Range(threads.minimum, threads.maximum));
    const TrackBar& display = kTrackBars[kDisplayTrack];
    command
        ->add_option("--display", a->display,
                     "The buffer shown as the result (track bar 1, " + std::to_string(display.minimum) + ".." +
                         std::to_string(display.maximum) + ")")
        ->check(CLI::Range(display.minimum, display.maximum));
    command->add_option("--var", a->variables,
                        "A variable track bar, NAME=VALUE, once per bar: " + check::VariableTrackBars())
        ->allow_extra_args(false);
    command->add_option("--preset", a->preset, "libx264's and libx265's preset")
        ->capture_default_str()
        ->check(CLI::IsMember({"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower",
                               "veryslow", "placebo"}));
    command->add_option("--crf", a->crf, "The constant rate factor of encoders that have one, without -b:v")
        ->capture_default_str()
        ->check(CLI::Range(0, 51));
    command->add_flag("--lossless", a->lossless,
                      "A lossless video codec (FFV1 or Ut Video) instead of libx264, in .mkv or .avi");
    command->add_option("--video-encoder", a->video_encoder,
                        "-c:v: the video encoder by FFmpeg's name: libx264, libx265, libvpx-vp9, prores_ks, ffv1...");
    command->add_option("--video-bitrate", a->video_bitrate,
                        "-b:v: the video bitrate, as 5M (default: --crf where the encoder has it)");
    command->add_option("--pix-fmt", a->pixel_format,
                        "-pix_fmt: the pictures' pixel format, as yuv420p10le (default: yuv420p where the encoder takes it)");
    command->add_option("--audio-encoder", a->audio_encoder,
                        "-c:a: the sound encoder by FFmpeg's name: aac, flac, libopus, pcm_s24le...");
    command->add_option("--audio-bitrate", a->audio_bitrate, "-b:a: the sound bitrate, as 192k");
    command->add_option("--size", a->size, "Size of the built-in clip, WIDTHxHEIGHT")->capture_default_str();
    // The clip's sound is held whole, as a file's is: 18000 frames at 30 fps are 10 minutes.
    command->add_option("--frames", a->frames, "Length of the built-in clip in frames")
        ->capture_default_str()
        ->check(CLI::Range(1, 18000));
    command->add_option("--rate", a->rate, "Frame rate of the built-in clip and of sound alone, as 30 or 30000/1001")
        ->capture_default_str();
    command->add_option("--sampling-rate", a->sampling_rate,
                        "Sampling rate handed to the sound plug-in and written (default: the input's own; "
                        "48000 for the built-in clip)")
        ->check(CLI::Range(8000, 192000));
    CLI::Option* start = command->add_option(
        "--start", a->trim.start,
        "-ss: the first frame written: a time (2.5, 1:02.5, 00:01:02.5) or a frame (150f). The plug-ins see the input's "
        "own frame numbers, as when the editor plays from the middle of a clip");
    CLI::Option* end = command->add_option("--end", a->trim.end,
                                           "-to: where writing stops, that frame not included: a time or a frame (300f)");
    CLI::Option* duration =
        command->add_option("-t,--duration", a->trim.duration,
                            "How long to write from --start on, as ffmpeg's -t: a time (1.5) or frames (45f)")
            ->excludes(end);
    command->add_option("--frame", a->trim.frame,
                        "Write the one frame N (or the one at a time, 2.5s), as a full render would give it: the "
                        "frames before it run through the plug-ins unwritten, so that a script's state is the same")
        ->excludes(start)
        ->excludes(end)
        ->excludes(duration);
    command->add_flag("--no-autorotate", a->no_autorotate,
                      "Hand the plug-ins the pictures as stored, not turned as the input's rotation says, and "
                      "give the output the input's rotation for players to turn (by default a portrait phone "
                      "clip stays portrait and i/j are its shown size)");
    command->add_flag("--no-video", a->no_video, "-vn: write no pictures (the plug-ins still see them)");
    command->add_flag("--no-sound", a->no_sound, "-an: write no sound (the plug-ins still hear it)");
    command->add_flag("--keep-channels", a->keep_channels,
                      "Keep the channels of sound with more than two as they are: the sound plug-in works on "
                      "the first two, the others pass through untouched (default: mixed to stereo)");
    command->add_option("--plugins", a->plugins, "Folder holding dizorud.auf and dizorud_audio.auf")
        ->check(CLI::ExistingDirectory);
    command->add_flag("-q,--quiet", a->quiet, "No progress line and no summary");
    command->add_option("--max-frames", a->max_frames,
                        "Frames a script's range may lengthen the edit to; a range ending at frame N past the "
                        "edit's end makes it N + 1 frames long, black and silent after the input")
        ->capture_default_str()
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}));
    command->callback([a, command, &run] {
        a->size_given = command->count("--size") > 0;
        a->frames_given = command->count("--frames") > 0;
        a->rate_given = command->count("--rate") > 0;
        run = [a] { return Run(*a); };
    });
}

}  // namespace kinetra::cli
