#include "kinetra/cli/check_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "kinetra/check/catalog.h"
#include "kinetra/check/check.h"
#include "kinetra/cli/exit_status.h"
#include "kinetra/cli/plugins.h"
#include "kinetra/check/encoding.h"
#include "kinetra/check/stateless.h"
#include "kinetra/media/edit_source.h"

namespace kinetra::cli {
namespace fs = std::filesystem;
namespace {

struct Arguments {
    std::string script = "animation.txt";
    std::string input;
    std::string frames;
    std::string size = "1920x1080";
    int32_t rate = 48000;
    bool json = false;
    bool fix_encoding = false;
};

int Fail(const std::string& message) {
    fprintf(stderr, "kinetra: %s\n", message.c_str());
    return kFailure;
}

// Writes `bytes` to `path` whole or not at all: under a temporary name, then renamed.
bool WriteWhole(const fs::path& path, const std::string& bytes) {
    const fs::path temporary = path.string() + ".kinetra-part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code failed;
    fs::rename(temporary, path, failed);
    if (failed) fs::remove(temporary, failed);
    return !failed;
}

// The script in Shift-JIS, its UTF-8 original kept beside it as NAME.utf8; a character whose
// second byte the loader takes for a backslash gets one of its own, so that it comes through
// whole, as it was written. Nothing changes
// when a character has no Shift-JIS form or the original's copy cannot be written.
int FixEncoding(const std::string& script, std::string& bytes) {
    if (!check::IsUtf8Text(bytes)) {
        fprintf(stderr, "kinetra: %s is not UTF-8: nothing to convert\n", script.c_str());
        return 0;
    }
    const bool marked = bytes.compare(0, check::kUtf8Mark.size(), check::kUtf8Mark) == 0;
    const std::string_view text = std::string_view(bytes).substr(marked ? check::kUtf8Mark.size() : 0);
    std::string converted;
    size_t failed_at = 0;
    if (!check::Utf8ToShiftJis(text, converted, failed_at)) {
        const size_t line = static_cast<size_t>(std::count(text.begin(), text.begin() + failed_at, '\n')) + 1;
        return Fail(script + ":" + std::to_string(line) + ": a character Shift-JIS has no form for; " +
                    "nothing was converted");
    }
    int escaped = 0;
    converted = check::EscapeSecondByteBackslashes(converted, escaped);
    const fs::path original = script + ".utf8";
    std::error_code failed;
    if (fs::exists(original, failed)) return Fail(original.string() + " exists already; move it away first");
    if (!WriteWhole(original, bytes)) return Fail("cannot write " + original.string());
    if (!WriteWhole(script, converted)) return Fail("cannot write " + script);
    fprintf(stderr, "kinetra: %s: converted to Shift-JIS%s; the UTF-8 original is %s\n", script.c_str(),
           escaped ? (", with a backslash after " + std::to_string(escaped) +
                      " character(s) whose second byte would escape the next").c_str()
                   : "",
           original.string().c_str());
    bytes = converted;
    return 0;
}

}  // namespace

check::ClipFacts ClipFactsOf(const media::EditSource& source) {
    const media::EditFormat& format = source.format();
    check::ClipFacts clip;
    clip.width = format.has_pictures ? format.width : 0;
    clip.height = format.has_pictures ? format.height : 0;
    clip.frame_count = format.frame_count;
    clip.frame_rate = av_q2d(format.frame_rate);
    clip.sampling_rate = format.has_sound ? source.sound().sampling_rate() : 0;
    clip.channels = format.has_sound ? source.sound().channels() : 0;
    return clip;
}

void AddCheckCommand(CLI::App& app, std::function<int()>& run) {
    auto arguments = std::make_shared<Arguments>();
    CLI::App* command =
        app.add_subcommand("check", "Report a script's errors and warnings, as the plug-ins would meet them");
    command->footer(
        "Scripts are Shift-JIS text, as the plug-ins read them. Without --input the check assumes a\n"
        "picture of --size and stereo sound at --rate, and evaluates at most " +
        std::to_string(check::kMostCheckedFrames) +
        " frames.\n\n"
        "Examples:\n"
        "  kinetra check                          animation.txt in this folder, over its whole range\n"
        "  kinetra check fx.txt --input clip.mp4  against the clip's size, length and sound, every frame\n"
        "  kinetra check fx.txt --frames 0-299    the first 300 frames only\n"
        "  kinetra check --fix-encoding fx.txt    a UTF-8 script saved as Shift-JIS (original kept)\n"
        "  kinetra check --size 1280x720 --json\n"
        "Exit status: 0 no error, 1 an error found (or the file or clip unreadable), 2 a usage error.");
    // A file that cannot be read is failed work, not a usage error: told in Run.
    command->add_option("SCRIPT", arguments->script, "The script")->capture_default_str();
    command->add_option("-i,--input", arguments->input,
                        "The clip the script is for: its size, length, frame rate and sound");
    command
        ->add_option("--frames", arguments->frames,
                     "Frames to evaluate, A-B (default: the clip's, or the script's range, capped)")
        ->check([](const std::string& v) {
            return std::regex_match(v, std::regex("[0-9]{1,9}-[0-9]{1,9}")) ? "" : "expected A-B, as 0-299";
        });
    command->add_option("--size", arguments->size, "Without --input: image size the formulas see as i and j, WxH")
        ->capture_default_str()
        ->check([](const std::string& v) {
            return std::regex_match(v, std::regex("[1-9][0-9]{0,4}x[1-9][0-9]{0,4}")) ? ""
                                                                                      : "expected WxH, as 1920x1080";
        });
    command
        ->add_option("--rate", arguments->rate,
                     "Without --input: sampling rate of the sound; 0 for an edit without sound")
        ->capture_default_str()
        ->check(CLI::Range(0, 768000));
    command->add_flag("--json", arguments->json, "Print the diagnostics as a JSON list, ended by a note that says whether the script keeps state "
                      "from frame to frame (\"stateless\": true or false)");
    command->add_flag("--fix-encoding", arguments->fix_encoding,
                      "Convert a UTF-8 script to Shift-JIS in place, keeping the original as SCRIPT.utf8");
    command->callback([arguments, &run] {
        run = [arguments] {
            const Arguments& a = *arguments;
            std::error_code failed;
            std::ifstream in(a.script, std::ios::binary);
            if (!fs::is_regular_file(a.script, failed) || !in) return Fail("cannot read the script " + a.script);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (in.bad()) return Fail("cannot read the script " + a.script);
            check::CheckOptions options;
            if (!a.input.empty()) {
                if (const std::string why = UnreadableFile(a.input); !why.empty()) return Fail(why);
                std::string error;
                const std::unique_ptr<media::EditSource> source =
                    media::OpenFileSource(a.input, media::SourceOptions{}, AVRational{30, 1}, error);
                if (!source) return Fail(error);
                options.clip = ClipFactsOf(*source);
            } else {
                sscanf(a.size.c_str(), "%dx%d", &options.clip.width, &options.clip.height);
                options.clip.sampling_rate = a.rate;
            }
            if (!a.frames.empty()) {
                sscanf(a.frames.c_str(), "%d-%d", &options.first_frame, &options.last_frame);
                if (options.last_frame < options.first_frame) {
                    fprintf(stderr, "kinetra: --frames %s: the range ends before it starts\n", a.frames.c_str());
                    return kUsageError;
                }
            }
            if (a.fix_encoding) {
                if (const int failed = FixEncoding(a.script, bytes)) return failed;
            }
            const std::span<const check::KnownCommand> commands = check::PluginCommands();
            const check::Report report = check::CheckScript(bytes, options, commands);
            const std::string out =
                a.json ? check::FormatJson(report, a.script,
                                           check::StatelessNoteJson(
                                               check::ProveStateless(bytes, {options.clip, check::DefaultTracks()}, commands),
                                               a.script))
                       : check::FormatText(report, a.script, bytes);
            fputs(out.c_str(), stdout);
            return report.errors() > 0 ? kFailure : kSuccess;
        };
    });
}

}  // namespace kinetra::cli
