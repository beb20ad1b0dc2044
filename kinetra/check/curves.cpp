#include "kinetra/check/curves.h"

#include <cmath>
#include <cstring>

#include "host/track_bars.h"
#include "kinetra/check/catalog.h"
#include "script/script.h"

namespace kinetra::check {
namespace {

// Hears which file line each statement comes from, and whether an argument failed this frame.
class LineListener final : public ScriptListener {
public:
    void Statement(int32_t statement, int32_t line) override {
        if (lines.size() <= static_cast<size_t>(statement)) lines.resize(static_cast<size_t>(statement) + 1);
        lines[statement] = line;
    }
    void FormulaFailed(int32_t statement, int argument, int32_t, int32_t) override {
        if (statement == watched) failed[argument] = true;
    }

    std::vector<int32_t> lines;  // by statement
    int32_t watched = -1;
    std::array<bool, kScriptArguments> failed{};
};

// Command lines reach the sink with their arguments evaluated; the values are read from the
// table after the frame, so the sink has nothing to do.
class NoCommands final : public CommandSink {
public:
    void RunCommand(ScriptLine&) override {}
};

bool LoadScript(std::string_view bytes, Script& script, LineListener& listener) {
    script.set_listener(&listener);
    // The edit is as long as the script wants, so no range asks to lengthen it.
    return script.Load({bytes.data(), bytes.size()}, INT32_MAX, nullptr) && script.table();
}

// How many arguments a command line was given: up to its last non-empty one.
int GivenArguments(const ScriptLine& line) {
    if (line.IsAssignment()) return 1;
    int count = 0;
    for (int k = 0; k < kScriptArguments; ++k) {
        if (line.arg_text[k][0] != '\0') count = k + 1;
    }
    return count;
}

// What the table of the line's command calls each of its first `count` arguments.
std::vector<std::string> ArgumentNames(const ScriptLine& line, int count) {
    std::vector<std::string> names(static_cast<size_t>(count));
    const KnownCommand* command = line.IsAssignment() ? nullptr : FindPluginCommand(line.command);
    if (!command) return names;
    for (const ArgumentSpec& row : command->arguments) {
        if (row.number <= count) names[static_cast<size_t>(row.number - 1)] = row.meaning;
    }
    return names;
}

}  // namespace

std::vector<StatementOutline> OutlineScript(std::string_view bytes) {
    Script script;
    LineListener listener;
    std::vector<StatementOutline> outline;
    if (!LoadScript(bytes, script, listener)) return outline;
    const ScriptTable& table = *script.table();
    for (int32_t s = 0; s < table.line_count; ++s) {
        const ScriptLine& line = table.lines[s];
        outline.push_back({listener.lines[s], line.start_frame, line.end_frame, line.command});
    }
    return outline;
}

bool EvaluateCurves(std::string_view bytes, int32_t line_number, const CurveOptions& options,
                    ArgumentCurves& curves, std::string& error) {
    const int64_t span = int64_t{options.last_frame} - options.first_frame + 1;
    if (options.first_frame < 0 || span < 1 || span > kMostCurveFrames) {
        error = "the frames must be a span of 1.." + std::to_string(kMostCurveFrames) + " frames from 0 on";
        return false;
    }
    Script script;
    LineListener listener;
    if (!LoadScript(bytes, script, listener)) {
        error = "the script could not be loaded";
        return false;
    }
    ScriptTable& table = *script.table();
    int32_t statement = -1;
    for (int32_t s = 0; s < table.line_count; ++s) {
        if (listener.lines[s] == line_number) statement = s;
    }
    if (statement < 0) {
        error = "line " + std::to_string(line_number) + " holds no command or assignment";
        return false;
    }
    const ScriptLine& line = table.lines[statement];
    const int arguments = GivenArguments(line);
    curves.command = line.command;
    curves.formulas.assign(line.arg_text, line.arg_text + arguments);
    curves.names = ArgumentNames(line, arguments);
    curves.values.assign(static_cast<size_t>(arguments), std::vector<std::optional<double>>(static_cast<size_t>(span)));

    std::vector<TrackVariable> tracks;
    for (int t = 0; t < KINETRA_TRACK_COUNT; ++t) {
        if (kTrackBars[t].variable) tracks.push_back({kTrackBars[t].variable, static_cast<double>(options.tracks[t])});
    }
    FrameContext frame{};
    frame.width = frame.max_width = options.width;
    frame.height = frame.max_height = options.height;
    frame.frame_count = options.frame_count;
    listener.watched = statement;
    NoCommands sink;
    // Variables carry from frame to frame, so the frames before the span run too.
    for (int32_t f = 0; f <= options.last_frame; ++f) {
        frame.frame = f;
        listener.failed.fill(false);
        script.Run(frame, tracks, sink);
        if (f < options.first_frame || f < line.start_frame || f > line.end_frame) continue;
        const double* values = line.IsAssignment() ? &script.variables()[VariableSlot(line.command[0])] : line.arg_value;
        for (int k = 0; k < arguments; ++k) {
            if (!listener.failed[k] && std::isfinite(values[k])) curves.values[k][f - options.first_frame] = values[k];
        }
    }
    return true;
}

}  // namespace kinetra::check
