#include "kinetra/cli/render_input.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "kinetra/check/check.h"
#include "kinetra/lib/synthetic.h"

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
}

void TellDecodingStopped(const std::string& input, const media::EditSource& source, const media::RenderSummary& summary) {
    const media::DecodeEnd& stopped = summary.decoding_stopped;
    if (stopped.frame < 0) return;
    fprintf(stderr, "kinetra: warning: %s: decoding stopped at frame %d of %d (%s); the frames before it were rendered\n",
            input.c_str(), stopped.frame, source.format().frame_count, stopped.error.c_str());
}

}  // namespace kinetra::cli
