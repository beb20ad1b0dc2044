#include "kinetra/check/check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <utility>

#include "formula/formula.h"
#include "host/track_bars.h"
#include "script/script.h"

namespace kinetra::check {
namespace {

// The letters the executor sets again before every line: the track bars' and the system's.
constexpr std::string_view kSystemLetters = "efghijmnpsw";

bool SetBeforeEveryLine(char letter) {
    if (kSystemLetters.find(letter) != std::string_view::npos) return true;
    return std::any_of(std::begin(kTrackBars), std::end(kTrackBars),
                       [letter](const TrackBar& t) { return t.variable == letter; });
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Edits that turn one name into the other: for the nearest known name to an unknown one.
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const char* IgnoredMessage(ScriptListener::Ignored why) {
    switch (why) {
        case ScriptListener::Ignored::kListNeverClosed:
            return "the argument list is never closed: the line is ignored";
        case ScriptListener::Ignored::kTooManyArguments:
            return "a 21st argument: a command takes at most 20, and the line is ignored";
        case ScriptListener::Ignored::kBadName:
            return "a command name is letters, digits, '_' and '-' followed by '(': the line is ignored";
        case ScriptListener::Ignored::kLongVariableName:
            return "a variable is one letter: this is no assignment, and the line is ignored";
        case ScriptListener::Ignored::kPastTheTable:
            break;
    }
    return "";
}

// Collects what the loader and the executor report, then turns it into diagnostics.
class Checker final : public ScriptListener, public CommandSink {
public:
    Checker(std::span<const KnownCommand> commands, int32_t sampling_rate, Report& report)
        : commands_(commands), sampling_rate_(sampling_rate), report_(report) {}

    // --- the loader
    void NotAStatement(int32_t line, const char* text) override {
        const char* p = text;
        while (*p == ' ' || *p == '\t') ++p;
        if (p != text && (*p == '[' || IsLetter(static_cast<unsigned char>(*p)))) {
            Warn(line, 1, "indented by a space or a tab: the loader ignores the line");
        }
    }
    void LineIgnored(int32_t line, int32_t column, Ignored why) override {
        pending_.clear();
        if (why == Ignored::kPastTheTable) {
            if (!table_full_reported_) {
                Warn(line, column, "past the " + std::to_string(kMaxScriptLines) +
                                       "th statement: this and every later statement are ignored");
            }
            table_full_reported_ = true;
            return;
        }
        Error(line, column, IgnoredMessage(why));
    }
    void RangeRead(int32_t line, int32_t start, int32_t end) override {
        if (start > end) Warn(line, 1, "the range starts after it ends: the lines below it never run");
    }
    void ArgumentText(int32_t, int argument, std::span<const int32_t> columns) override {
        if (argument == 0) pending_.clear();
        pending_.resize(static_cast<size_t>(argument) + 1);
        pending_[argument].assign(columns.begin(), columns.end());
    }
    void Statement(int32_t statement, int32_t line) override {
        statements_.push_back({line, std::move(pending_)});
        pending_.clear();
        (void)statement;
    }

    // --- the executor
    void FormulaFailed(int32_t statement, int argument, int32_t status, int32_t frame) override {
        failed_now_.insert({statement, argument});
        if (status & CFormula::FORMULA_SYNTAX_ERROR) return;  // told once, from the text
        if (IsString(table_->lines[statement], argument)) return;
        if (!reported_.insert({statement, argument, 'm'}).second) return;
        const StatementPlace& place = statements_[statement];
        Error(place.line, ArgumentColumn(statement, argument, 0),
              "argument " + std::to_string(argument + 1) +
                  ": a maths error (outside a function's domain, out of range, or a division by zero) at frame " +
                  std::to_string(frame));
    }
    void RunCommand(ScriptLine& line) override {
        const int32_t statement = static_cast<int32_t>(&line - table_->lines);
        const KnownCommand* command = Find(line.command);
        if (!command) return;  // told once, from the text
        if (sampling_rate_ <= 0 && strcmp(line.command, "a_tone") == 0 &&
            reported_.insert({statement, -1, 'r'}).second) {
            Warn(statements_[statement].line, 1, "the edit has no sound (a sampling rate of 0): a_tone writes silence");
        }
        Arguments args;
        for (const ArgumentSpec& row : command->arguments) {
            // One argument at a time, so that each can be named; a formula that failed here is
            // told already, and its 0 is no news.
            if (args.Read(line, {&row, 1}) || failed_now_.count({statement, row.number - 1})) continue;
            if (!reported_.insert({statement, row.number - 1, 'n'}).second) continue;
            const double value = line.arg_value[row.number - 1];
            char shown[32];
            snprintf(shown, sizeof shown, "%.17g", value);
            Warn(statements_[statement].line, ArgumentColumn(statement, row.number - 1, 0),
                 "argument " + std::to_string(row.number) + " (" + row.meaning + ") is " + shown +
                     " at frame " + std::to_string(frame_) + ": " + Consequence(row));
        }
    }

    // --- what only the text shows
    void CheckTexts(const ScriptTable& table) {
        table_ = &table;
        for (int32_t s = 0; s < table.line_count; ++s) {
            const ScriptLine& line = table.lines[s];
            const int32_t number = statements_[s].line;
            if (line.IsAssignment()) {
                if (SetBeforeEveryLine(line.command[0])) {
                    Warn(number, 1, std::string("'") + line.command[0] +
                                        "' is set again before every line: this assignment is lost");
                }
                CheckFormula(s, 0, line.arg_text[0]);
                continue;
            }
            if (!Find(line.command)) {
                std::string message = std::string("unknown command '") + line.command + "'";
                const char* nearest = Nearest(line.command);
                if (nearest) message += std::string("; did you mean '") + nearest + "'?";
                Error(number, 1, message);
            }
            for (int k = 0; k < kScriptArguments; ++k) {
                if (!IsString(line, k)) CheckFormula(s, k, line.arg_text[k]);
            }
        }
    }

    void AtFrame(int32_t frame) {
        frame_ = frame;
        failed_now_.clear();
    }

private:
    struct StatementPlace {
        int32_t line;
        std::vector<std::vector<int32_t>> columns;  // of each argument's bytes
    };

    void CheckFormula(int32_t statement, int argument, const char* text) {
        SyntaxTrace trace;
        CFormula formula;
        if (formula.Compile(text, &trace) == 0) return;
        reported_.insert({statement, argument, 'm'});
        const int32_t at = std::max(trace.failed_at, 0);
        const bool at_end = static_cast<size_t>(at) >= strlen(text);
        Error(statements_[statement].line, ArgumentColumn(statement, argument, at),
              "argument " + std::to_string(argument + 1) + ": " +
                  (at_end ? "the formula ends before it is complete" : "the formula cannot be read here") +
                  " (its value is 0)");
    }

    // The column of byte `at` of an argument's text; past its end, the column after its last.
    int32_t ArgumentColumn(int32_t statement, int argument, int32_t at) const {
        const StatementPlace& place = statements_[statement];
        if (static_cast<size_t>(argument) >= place.columns.size()) return 1;
        const std::vector<int32_t>& columns = place.columns[argument];
        if (columns.empty()) return 1;
        if (static_cast<size_t>(at) < columns.size()) return columns[at];
        return columns.back() + 1;
    }

    static std::string Consequence(const ArgumentSpec& row) {
        switch (row.role) {
            case Role::kBuffer:
                return "a buffer is 0..9, so the command does nothing";
            case Role::kWidth:
            case Role::kHeight:
                return "below 1, so the command does nothing";
            case Role::kValue:
            case Role::kString:
                break;
        }
        char range[64];
        snprintf(range, sizeof range, "%.10g..%.10g", row.lowest, row.highest);
        return std::string("outside ") + range + ", so the command does nothing";
    }

    // Whether argument `argument` (0-based) of the line's command is a string, not a formula.
    bool IsString(const ScriptLine& line, int argument) const {
        if (line.IsAssignment()) return false;
        const KnownCommand* command = Find(line.command);
        if (!command) return false;
        return std::any_of(command->arguments.begin(), command->arguments.end(), [argument](const ArgumentSpec& a) {
            return a.number == argument + 1 && a.role == Role::kString;
        });
    }

    const KnownCommand* Find(const char* name) const {
        for (const KnownCommand& command : commands_) {
            if (strcmp(command.name, name) == 0) return &command;
        }
        return nullptr;
    }
    const char* Nearest(std::string_view name) const {
        const char* best = nullptr;
        size_t best_distance = std::max<size_t>(2, name.size() / 2) + 1;
        for (const KnownCommand& command : commands_) {
            const size_t d = EditDistance(name, command.name);
            if (d < best_distance) {
                best = command.name;
                best_distance = d;
            }
        }
        return best;
    }

    void Error(int32_t line, int32_t column, std::string message) {
        report_.diagnostics.push_back({Severity::kError, line, column, std::move(message)});
    }
    void Warn(int32_t line, int32_t column, std::string message) {
        report_.diagnostics.push_back({Severity::kWarning, line, column, std::move(message)});
    }

    std::span<const KnownCommand> commands_;
    const int32_t sampling_rate_;
    Report& report_;
    const ScriptTable* table_ = nullptr;
    std::vector<StatementPlace> statements_;
    std::vector<std::vector<int32_t>> pending_;  // argument columns of the line being read
    std::set<std::tuple<int32_t, int, char>> reported_;  // (statement, argument, kind)
    std::set<std::pair<int32_t, int>> failed_now_;  // (statement, argument) failing this frame
    bool table_full_reported_ = false;
    int32_t frame_ = 0;
};

}  // namespace

int Report::errors() const {
    return static_cast<int>(std::count_if(diagnostics.begin(), diagnostics.end(),
                                          [](const Diagnostic& d) { return d.severity == Severity::kError; }));
}
int Report::warnings() const { return static_cast<int>(diagnostics.size()) - errors(); }

Report CheckScript(std::string_view bytes, const CheckOptions& options, std::span<const KnownCommand> commands) {
    Report report;
    Checker checker(commands, options.sampling_rate, report);
    Script script;
    script.set_listener(&checker);
    // The edit is as long as the script wants, so no range asks to lengthen it.
    int32_t frame_count = INT32_MAX;
    if (!script.Load({bytes.data(), bytes.size()}, frame_count, nullptr) || !script.table()) {
        report.diagnostics.push_back({Severity::kError, 1, 1, "the script could not be loaded: no memory"});
        return report;
    }
    const ScriptTable& table = *script.table();
    checker.CheckTexts(table);

    // The frames: as asked, else from the first start to the last end, capped.
    int64_t first = options.first_frame, last = options.last_frame;
    if (first < 0) {
        first = INT32_MAX;
        last = 0;
        for (int32_t s = 0; s < table.line_count; ++s) {
            first = std::min<int64_t>(first, table.lines[s].start_frame);
            last = std::max<int64_t>(last, std::min(table.lines[s].end_frame, INT32_MAX - 1));
        }
        if (table.line_count == 0) first = 0;
    }
    last = std::min(last, first + kMostCheckedFrames - 1);
    report.first_frame = static_cast<int32_t>(first);
    report.last_frame = static_cast<int32_t>(last);

    FrameContext frame{};
    frame.width = frame.max_width = options.width;
    frame.height = frame.max_height = options.height;
    frame.frame_count = static_cast<int32_t>(std::min<int64_t>(last + 1, INT32_MAX));
    std::vector<TrackVariable> tracks;
    for (const TrackBar& t : kTrackBars) {
        if (t.variable) tracks.push_back({t.variable, static_cast<double>(t.default_value)});
    }
    for (int64_t f = first; f <= last; ++f) {
        frame.frame = static_cast<int32_t>(f);
        checker.AtFrame(frame.frame);
        script.Run(frame, tracks, checker);
    }
    std::stable_sort(report.diagnostics.begin(), report.diagnostics.end(),
                     [](const Diagnostic& a, const Diagnostic& b) {
                         return std::pair(a.line, a.column) < std::pair(b.line, b.column);
                     });
    return report;
}

std::string FormatText(const Report& report, std::string_view file, std::string_view bytes) {
    // The file's lines as the loader reads them: a carriage return before a newline dropped.
    std::vector<std::string_view> lines;
    for (size_t at = 0; at <= bytes.size();) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    std::string out;
    for (const Diagnostic& d : report.diagnostics) {
        out += std::string(file) + ":" + std::to_string(d.line) + ":" + std::to_string(d.column) + ": " +
               (d.severity == Severity::kError ? "error: " : "warning: ") + d.message + "\n";
        if (d.line >= 1 && static_cast<size_t>(d.line) <= lines.size()) {
            const std::string_view text = lines[d.line - 1];
            out += " " + std::string(text) + "\n ";
            // Tabs stay tabs under the caret, so it lines up whatever the terminal's tab width.
            for (int32_t c = 1; c < d.column && static_cast<size_t>(c - 1) < text.size(); ++c) {
                out += text[c - 1] == '\t' ? '\t' : ' ';
            }
            out += "^\n";
        }
    }
    const int errors = report.errors(), warnings = report.warnings();
    out += std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") + std::to_string(warnings) +
           (warnings == 1 ? " warning" : " warnings") + " (frames " + std::to_string(report.first_frame) + "-" +
           std::to_string(report.last_frame) + " evaluated)\n";
    return out;
}

namespace {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string FormatJson(const Report& report, std::string_view file) {
    std::string out = "[";
    for (size_t i = 0; i < report.diagnostics.size(); ++i) {
        const Diagnostic& d = report.diagnostics[i];
        out += i ? ",\n " : "\n ";
        out += "{\"file\": " + JsonString(file) + ", \"line\": " + std::to_string(d.line) +
               ", \"column\": " + std::to_string(d.column) + ", \"severity\": \"" +
               (d.severity == Severity::kError ? "error" : "warning") + "\", \"message\": " +
               JsonString(d.message) + "}";
    }
    return out + "\n]\n";
}

int32_t LengtheningLine(std::string_view bytes, int32_t frame_count, int32_t end) {
    // The loader's own reading: the lines it takes as ranges are the ones the plug-ins do.
    struct Ranges : ScriptListener {
        int32_t frame_count, end, line = 0;
        void RangeRead(int32_t at, int32_t, int32_t range_end) override {
            if (!line && range_end == end && range_end > frame_count) line = at;
        }
    } ranges;
    ranges.frame_count = frame_count;
    ranges.end = end;
    auto table = std::make_unique<ScriptTable>();
    ParseScript({bytes.data(), bytes.size()}, frame_count, *table, [](int32_t) {}, &ranges);
    return ranges.line;
}

}  // namespace kinetra::check
