// Diagnostics for a script: what the plug-ins would silently skip, fail on or do nothing with,
// found with the plug-ins' own loader and formula engine, and the first frame at which a
// formula fails or a command does nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/command.h"
#include "script/arguments.h"

namespace kinetra::check {

// A command one of the plug-ins knows, with the table it reads its arguments through.
struct KnownCommand {
    const char* name;
    ArgumentTable arguments;
    bool sound;  // a command of the sound plug-in
    CommandNote note;
    CommandEffect effect;
};

// What the plug-ins are handed: the clip's, or assumed ones when there is no clip.
struct ClipFacts {
    int32_t width = 1920;  // 0 x 0: no pictures
    int32_t height = 1080;
    int32_t frame_count = 0;  // 0: no clip, and the edit is as long as the script asks
    double frame_rate = 30;
    int32_t sampling_rate = 48000;  // 0: no sound
    int32_t channels = 2;
};

struct CheckOptions {
    // Frames to evaluate; a negative first frame means every frame of the clip, or without a
    // clip the whole range of the script, capped.
    int32_t first_frame = -1;
    int32_t last_frame = -1;
    ClipFacts clip;
};

// Frames the check evaluates at most without a clip, when the script's own range is longer.
constexpr int32_t kMostCheckedFrames = 5000;

enum class Severity { kError, kWarning };

struct Diagnostic {
    Severity severity;
    int32_t line;    // from 1
    int32_t column;  // from 1
    std::string message;
};

struct Report {
    std::vector<Diagnostic> diagnostics;  // by line, then column
    int32_t first_frame = 0, last_frame = -1;  // the frames that were evaluated
    int32_t wanted_last = -1;  // the last frame the script's ranges reach, when past the cap
    bool utf8 = false;         // the file's text is UTF-8, not Shift-JIS
    int errors() const;
    int warnings() const;
};

// Whether the executor sets variable `letter` before every line (a track bar's or the system's),
// so that no assignment to it lasts.
bool SetBeforeEveryLine(char letter);

// Checks the script `bytes` against the commands of both plug-ins.
Report CheckScript(std::string_view bytes, const CheckOptions& options,
                   std::span<const KnownCommand> commands);

// One line for the render, or nothing when the script gives no diagnostic: the counts and the
// command that tells more, or that the clip has no script beside it.
std::string RenderNotice(const std::string& script_path, const ClipFacts& clip, std::string_view check_command);

// A Shift-JIS script with a backslash after each double-byte character whose second byte the
// loader would take for one, in command lines; `escaped` is how many were added.
std::string EscapeSecondByteBackslashes(std::string_view bytes, int& escaped);

// The line (from 1) of the first range line of `bytes` that ends at `end` and so asks an edit of
// `frame_count` frames to be lengthened; 0 when none does.
int32_t LengtheningLine(std::string_view bytes, int32_t frame_count, int32_t end);

// The frame count an edit of `frame_count` frames reaches once the range lines of `bytes` that end
// past it have lengthened it, as the plug-ins ask it to.
int64_t LengthenedFrameCount(std::string_view bytes, int32_t frame_count);

// As a compiler says it: "FILE:LINE:COLUMN: error: message", the line and a caret under the
// column, then a summary line.
std::string FormatText(const Report& report, std::string_view file, std::string_view bytes);
// The same as a JSON list of objects, for editors and tools; a `note`, one more object, ends it.
std::string FormatJson(const Report& report, std::string_view file, std::string_view note = {});
// `text` as a JSON string, quotes included.
std::string JsonQuoted(std::string_view text);

}  // namespace kinetra::check
