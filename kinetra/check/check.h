// Diagnostics for a script: what the plug-ins would silently skip, fail on or do nothing with,
// found with the plug-ins' own loader and formula engine, and the first frame at which a
// formula fails or a command does nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/arguments.h"

namespace kinetra::check {

// A command one of the plug-ins knows, with the table it reads its arguments through.
struct KnownCommand {
    const char* name;
    std::span<const ArgumentSpec> arguments;
};

struct CheckOptions {
    // Frames to evaluate; a negative first frame means the whole range of the script, capped.
    int32_t first_frame = -1;
    int32_t last_frame = -1;
    int32_t width = 1920;
    int32_t height = 1080;
    int32_t sampling_rate = 48000;
};

// Frames the check evaluates at most when the script's own range is longer.
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
    int errors() const;
    int warnings() const;
};

// Checks the script `bytes` against the commands of both plug-ins.
Report CheckScript(std::string_view bytes, const CheckOptions& options,
                   std::span<const KnownCommand> commands);

// The line (from 1) of the first range line of `bytes` that ends at `end` and so asks an edit of
// `frame_count` frames to be lengthened; 0 when none does.
int32_t LengtheningLine(std::string_view bytes, int32_t frame_count, int32_t end);

// As a compiler says it: "FILE:LINE:COLUMN: error: message", the line and a caret under the
// column, then a summary line.
std::string FormatText(const Report& report, std::string_view file, std::string_view bytes);
// The same as a JSON list of objects, for editors and tools.
std::string FormatJson(const Report& report, std::string_view file);

}  // namespace kinetra::check
