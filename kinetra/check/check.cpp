#include "kinetra/check/check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <utility>

#include "formula/formula.h"
#include "host/track_bars.h"
#include "kinetra/check/catalog.h"
#include "kinetra/check/encoding.h"
#include "script/script.h"

namespace kinetra::check {

// The letters the executor sets again before every line: the track bars' and the system's.
bool SetBeforeEveryLine(char letter) {
    if (kSystemVariables.find(letter) != std::string_view::npos) return true;
    return std::any_of(std::begin(kTrackBars), std::end(kTrackBars),
                       [letter](const TrackBar& t) { return t.variable == letter; });
}

namespace {

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool StartsStatement(char c) { return c == '[' || IsLetter(static_cast<unsigned char>(c)); }

// Bytes the loader takes into one piece of a line; the rest of a longer line is read as a line
// of its own.
constexpr size_t kPieceBytes = kScriptTextSize - 1;

constexpr char kSaveAsShiftJis[] =
    "save it as Shift-JIS (kinetra check --fix-encoding, or iconv -f UTF-8 -t CP932)";

// The file's lines as the loader reads them: the first 0x1A byte ends the file, and a carriage
// return before a newline is dropped.
std::vector<std::string_view> LoadedLines(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string_view> lines;
    for (size_t at = 0; at <= bytes.size();) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// Whether dropping `text`, the end of a line, loses nothing: whitespace, or a comment.
bool LosesNothing(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n\f\v"), text.size()));
    return text.empty() || text[0] == '#' || text.substr(0, 2) == "//";
}

std::string WithoutSpaces(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ') out += c;
    }
    return out;
}

// A full-width Latin letter or "［" in Shift-JIS: a statement typed with the input method on.
bool StartsFullWidth(std::string_view text) {
    if (text.size() < 2) return false;
    const unsigned char lead = static_cast<unsigned char>(text[0]), second = static_cast<unsigned char>(text[1]);
    return (lead == 0x82 && ((second >= 0x60 && second <= 0x79) || (second >= 0x81 && second <= 0x9A))) ||
           (lead == 0x81 && second == 0x6D);
}

// "10-20]" or "10-20": digits, a separator, digits, and no more, as a range without its "[".
bool LooksLikeRange(std::string_view text) {
    text = text.substr(0, text.find_last_not_of("\r\n\t") + 1);
    if (!text.empty() && text.back() == ']') text.remove_suffix(1);
    const size_t separator = text.find_first_of("-:,");
    auto digits = [](std::string_view run) {
        return !run.empty() && std::all_of(run.begin(), run.end(), [](char c) { return IsDigit(c); });
    };
    return separator != std::string_view::npos && digits(text.substr(0, separator)) &&
           (separator + 1 == text.size() || digits(text.substr(separator + 1)));
}

std::string Plural(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// A line of the file for the terminal: UTF-8, and no control byte that would drive it.
std::string Shown(std::string_view line, bool utf8) {
    std::string text = utf8 ? std::string(line) : ShiftJisToUtf8(line);
    for (char& c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) c = '?';
    }
    return text;
}

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
    Checker(std::span<const KnownCommand> commands, const ClipFacts& clip, std::vector<std::string_view> lines,
            Report& report)
        : commands_(commands), clip_(clip), lines_(std::move(lines)), report_(report) {}

    // --- the loader
    void NotAStatement(int32_t line, const char* text) override {
        const char* p = text;
        while (*p == ' ' || *p == '\t') ++p;
        if (p != text && StartsStatement(*p)) {
            Warn(line, 1, "indented by a space or a tab: the loader ignores the line");
        } else if (!report_.utf8 && StartsFullWidth(text)) {
            Warn(line, 1, "the line begins with the full-width '" + ShiftJisToUtf8(std::string_view(text, 2)) +
                              "': the loader reads a statement only from an ASCII letter or '[', and ignores the line");
        } else if (LooksLikeRange(WithoutSpaces(p))) {
            Warn(line, 1, "a range line starts with '[': the loader ignores this one, and the range before it "
                          "stays in force");
        }
    }
    void LineIgnored(int32_t line, int32_t column, Ignored why) override {
        pending_ = {};
        if (why == Ignored::kPastTheTable) {
            if (!table_full_reported_) {
                Warn(line, column, "past the " + std::to_string(kMaxScriptLines) +
                                       "th statement: this and every later statement are ignored");
            }
            table_full_reported_ = true;
            return;
        }
        if (Text(line).size() > kPieceBytes) return;  // told: the line is cut, and its pieces read apart
        Error(line, column, IgnoredMessage(why));
    }
    void RangeRead(int32_t line, int32_t start, int32_t end) override {
        if (start > end) {
            Warn(line, 1, "the range starts after it ends: the lines below it never run");
        } else if (clip_.frame_count > 0 && end > clip_.frame_count) {
            // The plug-ins ask the edit to reach frame `end`: it becomes end + 1 frames long.
            Warn(line, 1, "frames past the clip's end: this range lengthens the clip from " +
                              std::to_string(clip_.frame_count) + " to " + std::to_string(int64_t{end} + 1) +
                              " frames");
        }
        CheckRangeText(line, start, end);
    }
    void ArgumentText(int32_t, int argument, std::span<const int32_t> columns) override {
        if (argument == 0) pending_ = {};
        pending_.columns.resize(static_cast<size_t>(argument) + 1);
        pending_.columns[argument].assign(columns.begin(), columns.end());
    }
    void ListClosed(int32_t, int32_t column, const char* rest) override {
        pending_.closed_at = column;
        pending_.text_after = !LosesNothing(rest);
    }
    void Statement(int32_t statement, int32_t line) override {
        pending_.line = line;
        statements_.push_back(std::move(pending_));
        pending_ = {};
        (void)statement;
    }

    // --- the executor
    void FormulaFailed(int32_t statement, int argument, int32_t status, int32_t frame) override {
        failed_now_.insert({statement, argument});
        if (status & CFormula::FORMULA_SYNTAX_ERROR) return;  // told once, from the text
        const ScriptLine& line = table_->lines[statement];
        if (IsString(line, argument)) return;
        if (!line.IsAssignment() && !Find(line.command)) return;  // told once: the command is unknown
        if (!reported_.insert({statement, argument, 'm'}).second) return;
        Error(statements_[statement].line, ArgumentColumn(statement, argument, 0),
              "argument " + std::to_string(argument + 1) +
                  ": a maths error (outside a function's domain, out of range, or a division by zero) at frame " +
                  std::to_string(frame));
    }
    void RunCommand(ScriptLine& line) override {
        const int32_t statement = static_cast<int32_t>(&line - table_->lines);
        const KnownCommand* command = Find(line.command);
        if (!command) return;  // told once, from the text
        const StatementPlace& place = statements_[statement];
        if (const char* why = WhyNothingHappens(*command)) {
            if (reported_.insert({statement, -1, 'c'}).second) {
                Warn(place.line, 1, std::string(command->name) + " " + why);
            }
            return;
        }
        Arguments args;
        for (const ArgumentSpec& row : command->arguments) {
            // One argument at a time, so that each can be named; a formula that failed here is
            // told already, and so are arguments out of their places: their values are no news.
            if (place.miscounted || args.Read(line, {&row, 1}) || failed_now_.count({statement, row.number - 1})) {
                continue;
            }
            if (!reported_.insert({statement, row.number - 1, 'n'}).second) continue;
            char shown[32];
            snprintf(shown, sizeof shown, "%.17g", line.arg_value[row.number - 1]);
            Warn(place.line, ArgumentColumn(statement, row.number - 1, 0),
                 "argument " + std::to_string(row.number) + " (" + row.meaning + ") is " + shown + " at frame " +
                     std::to_string(frame_) + ": " + Consequence(row));
        }
    }

    // --- what only the text shows
    void CheckTexts(const ScriptTable& table) {
        table_ = &table;
        for (int32_t s = 0; s < table.line_count; ++s) {
            if (table.lines[s].IsAssignment()) assigned_.insert(table.lines[s].command[0]);
        }
        for (int32_t s = 0; s < table.line_count; ++s) {
            const ScriptLine& line = table.lines[s];
            const int32_t number = statements_[s].line;
            if (Text(number).size() > kPieceBytes) {  // cut: told once, and what follows comes of it
                statements_[s].miscounted = true;
                continue;
            }
            if (line.IsAssignment()) {
                if (SetBeforeEveryLine(line.command[0])) {
                    Warn(number, 1, std::string("'") + line.command[0] +
                                        "' is set again before every line: this assignment is lost");
                }
                CheckFormula(s, 0, line.arg_text[0]);
                continue;
            }
            const KnownCommand* command = Find(line.command);
            if (!command) {
                // One diagnostic for the line: its arguments were meant for some other command.
                std::string message = std::string("unknown command '") + line.command + "'";
                const char* nearest = Nearest(line.command);
                if (nearest) message += std::string("; did you mean '") + nearest + "'?";
                Error(number, 1, message);
                continue;
            }
            // A comma inside a function's parentheses ends the argument all the same: the rest
            // of the line shifts into the arguments after it, one mistake told once.
            const int split = SplitByComma(line);
            if (split >= 0) {
                statements_[s].miscounted = true;
                Error(number, ArgumentColumn(s, split, static_cast<int32_t>(strlen(line.arg_text[split]))),
                      "this comma ends argument " + std::to_string(split + 1) +
                          " though a parenthesis is open: a formula function takes one argument, and what "
                          "follows is read as the next arguments");
                continue;
            }
            CheckArgumentCount(s, *command);
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
        int32_t line = 0;
        std::vector<std::vector<int32_t>> columns;  // of each argument's bytes
        int32_t closed_at = 0;    // column of the ")" that closed the list
        bool text_after = false;  // text the loader drops follows it
        bool miscounted = false;  // its arguments are not where the command reads them

        // Arguments written: "name()" has one empty argument, which is none.
        int given() const {
            return columns.size() == 1 && columns[0].empty() ? 0 : static_cast<int>(columns.size());
        }
    };

    std::string_view Text(int32_t line) const {
        return line >= 1 && static_cast<size_t>(line) <= lines_.size() ? lines_[line - 1] : std::string_view();
    }

    // "[start-end]": the loader takes two digit runs around any one byte and drops the rest, so
    // "[abc]" is the whole edit and "[-5-10]" frames 0 to 5.
    void CheckRangeText(int32_t line, int32_t start, int32_t end) {
        const std::string text = WithoutSpaces(Text(line));
        size_t at = 1;
        while (at < text.size() && IsDigit(text[at])) ++at;
        const char separator = at < text.size() ? text[at] : ']';
        if (at < text.size()) ++at;
        const size_t end_digits = at;
        while (at < text.size() && IsDigit(text[at])) ++at;
        std::string rest = text.substr(at);
        if (at == end_digits && separator == ']') rest.insert(0, "]");  // "[100]": no end digits
        const bool plain_separator = std::string_view("-:,]").find(separator) != std::string_view::npos;
        if (plain_separator && LosesNothing(rest[0] == ']' ? rest.substr(1) : rest)) return;
        const std::string read_as = "frames " + std::to_string(start) + " to " +
                                    (at == end_digits ? "the end of the edit" : std::to_string(end));
        const bool negative = text.size() > 2 && text[1] == '-' && IsDigit(text[2]);
        const std::string ignored = LosesNothing(rest[0] == ']' ? rest.substr(1) : rest) ? ""
                                    : report_.utf8                                        ? rest
                                                                                          : ShiftJisToUtf8(rest);
        Warn(line, 1,
             "this range reads as " + read_as + (ignored.empty() ? "" : ", and the loader ignores '" + ignored + "'") +
                 ": write it [first-last]" + (negative ? ", in frame numbers, which are never negative" : ""));
    }

    // The first formula argument that ends inside a function's parentheses, as "max(2" of
    // "max(2,g)", or -1.
    int SplitByComma(const ScriptLine& line) const {
        for (int k = 0; k < kScriptArguments; ++k) {
            if (IsString(line, k)) continue;
            std::vector<size_t> open;
            for (size_t at = 0; line.arg_text[k][at] != '\0'; ++at) {
                if (line.arg_text[k][at] == '(') open.push_back(at);
                if (line.arg_text[k][at] == ')' && !open.empty()) open.pop_back();
            }
            const char before = !open.empty() && open[0] > 0 ? line.arg_text[k][open[0] - 1] : '\0';
            if (IsLetter(static_cast<unsigned char>(before)) || IsDigit(before)) {
                return k;
            }
        }
        return -1;
    }

    // Too few arguments (a warning: a left-out argument is legal, and is 0) or too many.
    void CheckArgumentCount(int32_t statement, const KnownCommand& command) {
        StatementPlace& place = statements_[statement];
        int reads = 0;
        for (const ArgumentSpec& row : command.arguments) reads = std::max(reads, row.number);
        const int given = place.given();
        const std::string counts = std::string(command.name) + " reads " + Plural(reads, "argument", "arguments") +
                                   " and is given " + std::to_string(given);
        place.miscounted = place.text_after || given != reads;
        if (place.text_after) {
            Warn(place.line, place.closed_at,
                 "this ')' closes the list, and the loader ignores the text after it" +
                     (given == reads ? std::string() : ": " + counts));
        } else if (given > reads) {
            Warn(place.line, ArgumentColumn(statement, reads, 0), counts + ": the rest are ignored");
        } else if (given < reads) {
            std::string missing;
            for (const ArgumentSpec& row : command.arguments) {
                if (row.number <= given) continue;
                missing += "; argument " + std::to_string(row.number) + " (" + row.meaning + ") is 0";
                const std::string effect = ZeroEffect(row);
                if (!effect.empty()) missing += ", so " + effect;
            }
            Warn(place.line, place.closed_at, counts + missing);
        }
    }

    // What a 0 does in `row`'s place, where that is more than a plain zero.
    static std::string ZeroEffect(const ArgumentSpec& row) {
        if (row.when_zero) return row.when_zero;
        switch (row.role) {
            case Role::kBuffer:
                return "buffer 0, the edit's own";
            case Role::kWidth:
            case Role::kHeight:
                return "the command does nothing";
            case Role::kValue:
            case Role::kString:
                break;
        }
        if (row.ranged && (row.lowest > 0 || row.highest < 0)) return "the command does nothing";
        return "";
    }

    // Why a command does nothing whatever its arguments, on this clip; null when it acts.
    const char* WhyNothingHappens(const KnownCommand& command) const {
        if (!command.sound) return clip_.width > 0 ? nullptr : "does nothing: the edit has no pictures";
        if (clip_.sampling_rate <= 0 || clip_.channels <= 0) return "does nothing: the edit has no sound";
        // Exchanging or mixing the two channels needs two.
        const bool two_channels = strcmp(command.name, "a_swap") == 0 || strcmp(command.name, "a_mono") == 0;
        if (two_channels && clip_.channels != 2) return "on mono sound does nothing: it works on two channels";
        return nullptr;
    }

    void CheckFormula(int32_t statement, int argument, const char* text) {
        SyntaxTrace trace;
        CFormula formula;
        if (formula.Compile(text, &trace) == 0) {
            CheckVariablesRead(statement, argument, text);
            return;
        }
        reported_.insert({statement, argument, 'm'});
        const std::string_view formula_text(text);
        const size_t wide = std::find_if(formula_text.begin(), formula_text.end(), [](char c) { return c & 0x80; }) -
                            formula_text.begin();
        if (wide < formula_text.size()) {  // most often typed with the input method still on
            Error(statements_[statement].line, ArgumentColumn(statement, argument, static_cast<int32_t>(wide)),
                  "argument " + std::to_string(argument + 1) + ": '" + CharacterAt(formula_text, wide) +
                      "' is a double-byte character, and a formula is ASCII (its value is 0)");
            return;
        }
        const int32_t at = std::max(trace.failed_at, 0);
        const bool at_end = static_cast<size_t>(at) >= strlen(text);
        Error(statements_[statement].line, ArgumentColumn(statement, argument, at),
              "argument " + std::to_string(argument + 1) + ": " +
                  (at_end ? "the formula ends before it is complete" : "the formula cannot be read here") +
                  " (its value is 0)");
    }

    // The character at byte `at` of the file's text, for a message.
    std::string CharacterAt(std::string_view text, size_t at) const {
        if (!report_.utf8) return ShiftJisToUtf8(text.substr(at, ShiftJisLength(text, at)));
        return std::string(text.substr(at, std::max<size_t>(Utf8Length(text, at), 1)));
    }

    // A variable of the user's that no line assigns is 0: most often a misspelt name.
    void CheckVariablesRead(int32_t statement, int argument, std::string_view text) {
        for (size_t at = 0; at < text.size(); ++at) {
            const size_t function = FunctionAt(text, at);
            if (function) {
                at += function - 1;
                continue;
            }
            const char letter = text[at];
            if (!IsLetter(static_cast<unsigned char>(letter)) || SetBeforeEveryLine(letter) ||
                assigned_.count(letter) || !unassigned_reported_.insert(letter).second) {
                continue;
            }
            Warn(statements_[statement].line, ArgumentColumn(statement, argument, static_cast<int32_t>(at)),
                 std::string("no line assigns '") + letter + "', so it is 0");
        }
    }

    // The length of the function name, with its "(", at `at` of a formula; 0 when none starts there.
    static size_t FunctionAt(std::string_view text, size_t at) {
        size_t longest = 0;
        for (int f = 0; f < kFormulaFunctions; ++f) {
            const std::string_view name = FormulaFunctionName(f);
            if (text.substr(at, name.size()) == name) longest = std::max(longest, name.size());
        }
        return longest;
    }

    // The column of byte `at` of an argument's text; past its end, the column after its last.
    // An empty argument sits after the argument before it.
    int32_t ArgumentColumn(int32_t statement, int argument, int32_t at) const {
        const StatementPlace& place = statements_[statement];
        for (int k = std::min<int>(argument, static_cast<int>(place.columns.size()) - 1); k >= 0; --k) {
            const std::vector<int32_t>& columns = place.columns[k];
            if (columns.empty()) continue;
            if (k == argument && static_cast<size_t>(at) < columns.size()) return columns[at];
            return columns.back() + 1;
        }
        return 1;
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
    const ClipFacts& clip_;
    const std::vector<std::string_view> lines_;
    Report& report_;
    const ScriptTable* table_ = nullptr;
    std::vector<StatementPlace> statements_;
    StatementPlace pending_;  // the statement being read
    std::set<std::tuple<int32_t, int, char>> reported_;  // (statement, argument, kind)
    std::set<std::pair<int32_t, int>> failed_now_;  // (statement, argument) failing this frame
    std::set<char> assigned_;              // letters some assignment sets
    std::set<char> unassigned_reported_;   // letters read but never assigned, told once each
    bool table_full_reported_ = false;
    int32_t frame_ = 0;
};

// Where, in a command line, a double-byte character's second byte is 0x5C with no backslash of
// its own after it: the loader, which knows no double-byte characters, takes that byte for a
// backslash that escapes the byte after it.
std::vector<size_t> SecondByteBackslashes(std::string_view line) {
    std::vector<size_t> found;
    if (line.empty() || !IsLetter(static_cast<unsigned char>(line[0]))) return found;
    for (size_t at = std::min(line.find('('), line.size()); at < line.size();) {
        const size_t length = ShiftJisLength(line, at);
        if (length == 2 && line[at + 1] == '\\' && (at + 2 >= line.size() || line[at + 2] != '\\')) found.push_back(at);
        at += length;
    }
    return found;
}

// What the file's bytes show before any line is read: a file that is no text, UTF-8 where
// the plug-ins read Shift-JIS, lines longer than the loader's pieces, and double-byte
// characters whose second byte the loader takes for a backslash. True when the file is text.
bool CheckBytes(std::string_view bytes, const std::vector<std::string_view>& lines, Report& report) {
    auto add = [&report](Severity severity, size_t line, size_t column, std::string message) {
        report.diagnostics.push_back(
            {severity, static_cast<int32_t>(line + 1), static_cast<int32_t>(column + 1), std::move(message)});
    };
    const size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
        const size_t line = static_cast<size_t>(std::count(bytes.begin(), bytes.begin() + nul, '\n'));
        const size_t line_start = bytes.rfind('\n', nul);
        // Windows' "Unicode" text is UTF-16, whose ASCII characters carry a NUL each.
        const bool utf16 = bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
        add(Severity::kError, line, line_start == std::string_view::npos ? nul : nul - line_start - 1,
            utf16 ? "the file is UTF-16: the plug-ins read Shift-JIS and find no statement here; save it as "
                    "Shift-JIS (iconv -f UTF-16 -t CP932)"
                  : "this is no text file (a NUL byte): a script is text, and the plug-ins find no statement here");
        return false;
    }
    report.utf8 = IsUtf8Text(bytes);
    if (report.utf8) {
        const bool marked = bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark;
        std::string first = marked && !lines.empty() ? std::string(lines[0].substr(kUtf8Mark.size())) : "";
        if (marked) {
            std::string lost;
            if (!first.empty() && first[0] == '[') {
                lost = ": the range '" + first + "' is lost, and the lines below it apply to every frame";
            } else if (!first.empty() && StartsStatement(first[0])) {
                lost = ": '" + first + "' is lost";
            }
            add(Severity::kError, 0, 0,
                "the file is UTF-8 with a byte-order mark, which makes the first line unreadable to the "
                "plug-ins" + lost + "; " + kSaveAsShiftJis);
        }
        // Japanese in a statement renders as mojibake; in a comment it does no harm.
        for (size_t l = 0; l < lines.size(); ++l) {
            const std::string_view text = l == 0 && marked ? lines[0].substr(kUtf8Mark.size()) : lines[l];
            const size_t high = std::find_if(text.begin(), text.end(), [](char c) { return c & 0x80; }) - text.begin();
            if (high == text.size() || text.empty() || !StartsStatement(text[0])) continue;
            add(Severity::kError, l, high + (l == 0 && marked ? kUtf8Mark.size() : 0),
                "UTF-8 text: the plug-ins read Shift-JIS, so it renders as mojibake; " + std::string(kSaveAsShiftJis));
            break;
        }
    }
    for (size_t l = 0; l < lines.size(); ++l) {
        const std::string_view text = lines[l];
        if (text.size() <= kPieceBytes) continue;
        bool read = !text.empty() && StartsStatement(text[0]);
        for (size_t piece = kPieceBytes; piece < text.size(); piece += kPieceBytes) {
            read |= StartsStatement(text[piece]);
        }
        if (!read) continue;
        add(Severity::kError, l, kPieceBytes,
            "the line is " + std::to_string(text.size()) + " bytes long: the loader reads " +
                std::to_string(kPieceBytes) + " at a time, so it is cut here and the rest read as a line of its own");
    }
    if (report.utf8) return true;
    for (size_t l = 0; l < lines.size(); ++l) {
        for (const size_t at : SecondByteBackslashes(lines[l])) {
            const std::string shown = ShiftJisToUtf8(lines[l].substr(at, 2));
            add(Severity::kWarning, l, at,
                "the second byte of '" + shown + "' is a backslash to the loader, which escapes the byte after it "
                "and breaks the character: write '" + shown + "\\'");
        }
    }
    return true;
}

}  // namespace

int Report::errors() const {
    return static_cast<int>(std::count_if(diagnostics.begin(), diagnostics.end(),
                                          [](const Diagnostic& d) { return d.severity == Severity::kError; }));
}
int Report::warnings() const { return static_cast<int>(diagnostics.size()) - errors(); }

Report CheckScript(std::string_view bytes, const CheckOptions& options, std::span<const KnownCommand> commands) {
    Report report;
    const std::vector<std::string_view> lines = LoadedLines(bytes);
    if (!CheckBytes(bytes, lines, report)) return report;
    const ClipFacts& clip = options.clip;
    Checker checker(commands, clip, lines, report);
    Script script;
    script.set_listener(&checker);
    // Without a clip the edit is as long as the script wants, so no range asks to lengthen it.
    const int32_t frame_count = clip.frame_count > 0 ? clip.frame_count : INT32_MAX;
    if (!script.Load({bytes.data(), bytes.size()}, frame_count, nullptr) || !script.table()) {
        report.diagnostics.push_back({Severity::kError, 1, 1, "the script could not be loaded: no memory"});
        return report;
    }
    const ScriptTable& table = *script.table();
    checker.CheckTexts(table);

    // The frames: as asked; else every frame of the clip, lengthened as the ranges ask; else
    // from the script's first start to its last end, capped.
    int64_t first = options.first_frame, last = options.last_frame;
    if (first < 0) {
        first = INT32_MAX;
        last = 0;
        for (int32_t s = 0; s < table.line_count; ++s) {
            first = std::min<int64_t>(first, table.lines[s].start_frame);
            last = std::max<int64_t>(last, std::min(table.lines[s].end_frame, INT32_MAX - 1));
        }
        if (table.line_count == 0) first = 0;
        if (clip.frame_count > 0) {
            // A range that ends past the clip makes the edit reach its end frame; one that ends
            // on the clip's own length asks nothing, and its last frame is never rendered.
            first = 0;
            last = last > clip.frame_count ? last : clip.frame_count - 1;
        } else if (last - first >= kMostCheckedFrames) {
            report.wanted_last = static_cast<int32_t>(last);
            last = first + kMostCheckedFrames - 1;
        }
    }
    report.first_frame = static_cast<int32_t>(first);
    report.last_frame = static_cast<int32_t>(last);

    FrameContext frame{};
    frame.width = frame.max_width = clip.width;
    frame.height = frame.max_height = clip.height;
    frame.frame_count =
        clip.frame_count > 0 ? clip.frame_count : static_cast<int32_t>(std::min<int64_t>(last + 1, INT32_MAX));
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

std::string RenderNotice(const std::string& script_path, const ClipFacts& clip, std::string_view check_command) {
    const std::string name = std::filesystem::path(script_path).filename().string();
    std::error_code failed;
    std::ifstream in(script_path, std::ios::binary);
    if (!std::filesystem::is_regular_file(script_path, failed) || !in) {
        return "no " + name + " beside the clip: the plug-ins leave it as it is";
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CheckOptions options;
    options.clip = clip;
    const Report report = CheckScript(bytes, options, PluginCommands());
    if (report.diagnostics.empty()) return "";
    return name + ": " + Plural(report.errors(), "error", "errors") + ", " +
           Plural(report.warnings(), "warning", "warnings") + " (" + std::string(check_command) + ")";
}

std::string EscapeSecondByteBackslashes(std::string_view bytes, int& escaped) {
    std::string out;
    escaped = 0;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(at, end - at);
        size_t copied = 0;
        for (const size_t second : SecondByteBackslashes(line)) {
            out += line.substr(copied, second + 2 - copied);
            out += '\\';
            copied = second + 2;
            ++escaped;
        }
        out += line.substr(copied);
        at = end;
    }
    return out;
}

std::string FormatText(const Report& report, std::string_view file, std::string_view bytes) {
    const std::vector<std::string_view> lines = LoadedLines(bytes);
    std::string out;
    for (const Diagnostic& d : report.diagnostics) {
        out += std::string(file) + ":" + std::to_string(d.line) + ":" + std::to_string(d.column) + ": " +
               (d.severity == Severity::kError ? "error: " : "warning: ") + d.message + "\n";
        if (d.line < 1 || static_cast<size_t>(d.line) > lines.size()) continue;
        const std::string_view text = lines[d.line - 1];
        if (text.find('\0') != std::string_view::npos) continue;  // no text to show
        out += " " + Shown(text, report.utf8) + "\n ";
        // Under the caret, tabs stay tabs so that it lines up whatever the terminal's tab
        // width, and a wide character takes two columns.
        const size_t before = std::min(static_cast<size_t>(d.column - 1), text.size());
        for (size_t at = 0; at < before;) {
            size_t length = report.utf8 ? Utf8Length(text, at) : ShiftJisLength(text, at);
            if (length == 0) length = 1;
            out += text[at] == '\t' ? std::string("\t")
                                    : std::string(ShownWidth(text.substr(at, length), report.utf8), ' ');
            at += length;
        }
        out += "^\n";
    }
    out += Plural(report.errors(), "error", "errors") + ", " + Plural(report.warnings(), "warning", "warnings");
    if (report.last_frame >= report.first_frame) {
        out +=
            " (frames " + std::to_string(report.first_frame) + "-" + std::to_string(report.last_frame) + " evaluated";
        if (report.wanted_last > report.last_frame) {
            // An open range runs to the end of an edit that has no end without a clip.
            const std::string beyond = report.wanted_last >= INT32_MAX - 1
                                           ? " on"
                                           : "-" + std::to_string(report.wanted_last);
            out += "; frames " + std::to_string(report.last_frame + 1) + beyond +
                   " of the script's ranges were not: give --input CLIP or --frames";
        }
        out += ")";
    }
    return out + "\n";
}

std::string JsonQuoted(std::string_view text) {
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

std::string FormatJson(const Report& report, std::string_view file, std::string_view note) {
    std::string out = "[";
    for (size_t i = 0; i < report.diagnostics.size(); ++i) {
        const Diagnostic& d = report.diagnostics[i];
        out += i ? ",\n " : "\n ";
        out += "{\"file\": " + JsonQuoted(file) + ", \"line\": " + std::to_string(d.line) +
               ", \"column\": " + std::to_string(d.column) + ", \"severity\": \"" +
               (d.severity == Severity::kError ? "error" : "warning") + "\", \"message\": " +
               JsonQuoted(d.message) + "}";
    }
    if (!note.empty()) out += (report.diagnostics.empty() ? "\n " : ",\n ") + std::string(note);
    return out + "\n]\n";
}

int64_t LengthenedFrameCount(std::string_view bytes, int32_t frame_count) {
    int64_t count = frame_count;
    auto table = std::make_unique<ScriptTable>();
    ParseScript({bytes.data(), bytes.size()}, frame_count, *table,
                [&count](int32_t end) { count = std::max(count, int64_t{end} + 1); });
    return count;
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
