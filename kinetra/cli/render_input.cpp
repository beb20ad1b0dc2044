#include "kinetra/cli/render_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "kinetra/check/check.h"
#include "kinetra/editor/frame_timing.h"
#include "kinetra/editor/synthetic.h"

namespace kinetra::cli {
namespace fs = std::filesystem;

std::string ScriptFile::Read() const {
    if (path.empty()) return editor::kDemoScript;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ScriptFile ScriptFor(const std::string& input, const std::string& script) {
    if (!script.empty()) return {script, script};
    if (input.empty()) return {"the demo script", {}};
    const fs::path beside = fs::path(input).parent_path() / "animation.txt";
    return {beside.string(), beside};
}

std::function<bool(const editor::Lengthening&, std::string& error)> LengthenUpTo(const ScriptFile& script,
                                                                                 int64_t max_frames) {
    return [script, max_frames](const editor::Lengthening& asked, std::string& error) {
        const std::string text = script.Read();
        const int32_t line = check::LengtheningLine(text, asked.from, asked.end);
        const std::string where = script.name + (line ? " line " + std::to_string(line) : "") + " ranges to frame " +
                                  std::to_string(asked.end);
        if (asked.to > max_frames) {
            error = where + ": the edit would grow from " + std::to_string(asked.from) + " to " +
                    std::to_string(asked.to) + " frames, past the limit of " + std::to_string(max_frames) +
                    "; give --max-frames " + std::to_string(asked.to) + " to allow it";
            return false;
        }
        fprintf(stderr, "kinetra: %s: the edit grows from %d to %lld frames (black, silent)\n", where.c_str(),
                asked.from, static_cast<long long>(asked.to));
        return true;
    };
}

void TellSoundFormat(const std::string& input, const media::EditSource& source) {
    if (!source.format().has_sound) return;
    const media::SoundTrack& sound = source.sound();
    if (sound.source_rate() != sound.sampling_rate()) {
        fprintf(stderr, "kinetra: %s: sound resampled from %d Hz to %d Hz\n", input.c_str(), sound.source_rate(),
                sound.sampling_rate());
    }
    if (sound.source_channels() > sound.channels()) {
        fprintf(stderr, "kinetra: %s: %d channels of sound mixed to stereo for the sound plug-in (--keep-channels keeps "
                "them)\n", input.c_str(), sound.source_channels());
    }
    // The edit is as long as its pictures, as in the editor; sound a frame or more past them is cut.
    const media::EditFormat& format = source.format();
    if (!format.has_pictures) return;
    const editor::FrameTiming timing{format.frame_rate.num, format.frame_rate.den, sound.sampling_rate()};
    const int64_t past = sound.length() - timing.FirstSample(format.frame_count);
    if (past >= timing.SampleCount(format.frame_count)) {
        fprintf(stderr, "kinetra: %s: the sound runs %.2f s past the last picture; the edit ends with the pictures\n",
                input.c_str(), static_cast<double>(past) / sound.sampling_rate());
    }
}

void TellDecodingStopped(const std::string& input, const media::EditSource& source, const media::RenderSummary& summary) {
    const media::DecodeEnd& stopped = summary.decoding_stopped;
    if (stopped.frame < 0) return;
    fprintf(stderr, "kinetra: warning: %s: decoding stopped at frame %d of %d (%s); the frames before it were rendered\n",
            input.c_str(), stopped.frame, source.format().frame_count, stopped.error.c_str());
}

namespace {

// A position on the edit's time line: a frame number with "f" ("150f", or any whole number when
// `plain_is_frame`), or a time in seconds ("2.5", "2.5s", "1:02.5", "00:01:02.5"), which stands
// for the first frame that starts at or after it.
bool ParsePosition(const std::string& text, AVRational rate, bool plain_is_frame, int64_t& frame) {
    if (text.empty()) return false;
    char* end = nullptr;
    const bool frame_suffix = text.back() == 'f';
    if (frame_suffix || (plain_is_frame && text.find_first_not_of("0123456789") == std::string::npos)) {
        const std::string digits = frame_suffix ? text.substr(0, text.size() - 1) : text;
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
        // Past any edit's end, a position is as good as the last frame an edit can have.
        frame = std::min<long long>(std::strtoll(digits.c_str(), &end, 10), INT32_MAX);
        return frame >= 0;
    }
    // [[hours:]minutes:]seconds, an "s" after the seconds allowed.
    double seconds = 0;
    const char* p = text.c_str();
    for (int field = 0;; ++field) {
        const double value = std::strtod(p, &end);
        if (end == p || value < 0 || field > 2) return false;
        seconds = seconds * 60 + value;
        if (*end != ':') break;
        p = end + 1;
    }
    if (*end == 's') ++end;
    if (*end != '\0' || !std::isfinite(seconds)) return false;
    // The first frame that starts at or after the time; a hair's tolerance for decimal times
    // that fall on a frame's start.
    const double frames = std::min(seconds * rate.num / rate.den, double{INT32_MAX});
    frame = static_cast<int64_t>(std::ceil(frames - 1e-6));
    return true;
}

}  // namespace

bool ApplyTrim(const Trim& trim, const media::EditFormat& format, media::RenderSettings& settings, std::string& error,
               bool& usage) {
    const int32_t frames = format.frame_count;
    usage = false;
    const auto position = [&](const char* option, const std::string& text, bool plain_is_frame, int64_t& frame) {
        if (ParsePosition(text, format.frame_rate, plain_is_frame, frame)) return true;
        usage = true;
        error = std::string(option) + " " + text + ": give a time in seconds (2.5, 1:02.5, 00:01:02.5) or a frame (150f)";
        return false;
    };
    const auto within = [&](const char* option, const std::string& text, int64_t frame) {
        if (frame < frames) return true;
        // In time as well as frames: sound alone has frames only as the edit counts them.
        char length[64];
        snprintf(length, sizeof length, " (%.2f s at %.6g fps)", frames / av_q2d(format.frame_rate),
                 av_q2d(format.frame_rate));
        error = std::string(option) + " " + text + ": past the input's end; it has frames 0.." +
                std::to_string(frames - 1) + length;
        return false;
    };
    if (!trim.frame.empty()) {
        int64_t frame = 0;
        if (!position("--frame", trim.frame, true, frame) || !within("--frame", trim.frame, frame)) return false;
        // The frames before it run through the plug-ins unwritten: a script that keeps state
        // between frames gives the picture a full render would.
        settings.first_frame = 0;
        settings.written_from = settings.last_frame = static_cast<int32_t>(frame);
        return true;
    }
    int64_t first = 0, end = -1;
    if (!trim.start.empty() && (!position("--start", trim.start, false, first) || !within("--start", trim.start, first))) {
        return false;
    }
    if (!trim.end.empty() && !position("--end", trim.end, false, end)) return false;
    if (!trim.duration.empty()) {
        int64_t length = 0;
        if (!position("-t", trim.duration, false, length)) return false;
        if (length == 0) {
            usage = true;
            error = "-t " + trim.duration + ": shorter than one frame";
            return false;
        }
        end = std::min<int64_t>(first + length, INT32_MAX);
    }
    if (end >= 0 && end <= first) {
        usage = true;
        error = "--end " + trim.end + ": not after --start " + (trim.start.empty() ? "0" : trim.start);
        return false;
    }
    settings.first_frame = settings.written_from = static_cast<int32_t>(first);
    settings.last_frame = end >= 0 ? static_cast<int32_t>(end - 1) : -1;
    return true;
}

}  // namespace kinetra::cli
