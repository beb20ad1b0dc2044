// The animation script: "animation.txt" read into statements, and the statements that cover a
// frame run against the formula engine and the plug-in's command handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "kinetra/filter_abi.h"
#include "platform/platform.h"
#include "formula/formula.h"
#include "script/arguments.h"

namespace kinetra {

constexpr int kMaxScriptLines = 2000;
constexpr int kScriptTextSize = 512;

// One statement: a command line, or an assignment ("A=" in `command`, formula in arg_text[0]).
struct ScriptLine {
    int32_t start_frame;
    int32_t end_frame;
    char command[kScriptTextSize];
    char arg_text[kScriptArguments][kScriptTextSize];
    double arg_value[kScriptArguments];  // the arguments' values at the last frame the line ran
    int64_t sample_position;             // a command's running count across frames, which no line outruns
    void* line_memory;                   // owned by the line; released at exit

    bool IsAssignment() const { return command[0] != '\0' && command[1] == '='; }
};

struct ScriptTable {
    ScriptLine lines[kMaxScriptLines];
    int32_t line_count;
};

// What the loader remembers between looks at the file.
struct ScriptWatch {
    int64_t last_look_second = 0;
    FileTime last_write = {};
    int32_t loaded_frame_count = 0;
};

// Asked for every range line that ends beyond the edit's frame count.
using LengthenEdit = std::function<void(int32_t end)>;

// The variables the executor sets before every line besides the track bars': the line's range
// (s e n g), the frame and the edit's length (f m), the picture's size and the largest (w h i j),
// and pi (p).
inline constexpr std::string_view kSystemVariables = "efghijmnpsw";

// A variable the host sets before every line: a track bar's value under its letter.
struct TrackVariable {
    char letter;
    double value;
};

// What a tool that checks scripts hears from the loader and the executor. The plug-ins attach
// none; without one each hook costs a null test. Lines and columns count from 1 and are those
// of the file as the loader reads it.
class ScriptListener {
public:
    enum class Ignored : uint8_t {
        kListNeverClosed,    // the argument list is still open at the end of the line
        kTooManyArguments,   // a 21st argument
        kBadName,            // the name is not followed by "("
        kLongVariableName,   // "AB=1": only one letter is a variable
        kPastTheTable,       // a statement after the last the table holds
    };

    // A line the loader skips because its first byte is neither "[" nor a letter.
    virtual void NotAStatement(int32_t /*line*/, const char* /*text*/) {}
    virtual void LineIgnored(int32_t /*line*/, int32_t /*column*/, Ignored /*why*/) {}
    virtual void RangeRead(int32_t /*line*/, int32_t /*start*/, int32_t /*end*/) {}
    // Statement `statement` of the table comes from `line`; `columns[i]` is the column of byte
    // i of its argument `argument` (0-based; an assignment's formula is argument 0).
    virtual void Statement(int32_t /*statement*/, int32_t /*line*/) {}
    virtual void ArgumentText(int32_t /*statement*/, int /*argument*/, std::span<const int32_t> /*columns*/) {}
    // The ")" at `column` closed a command's list; `rest` is what follows it on the line (its
    // newline included), which the loader ignores.
    virtual void ListClosed(int32_t /*line*/, int32_t /*column*/, const char* /*rest*/) {}
    // An argument's formula failed at `frame` (CFormula's status: syntax or maths).
    virtual void FormulaFailed(int32_t /*statement*/, int /*argument*/, int32_t /*status*/,
                               int32_t /*frame*/) {}

protected:
    ~ScriptListener() = default;
};

// Receives each command line that covers the frame, its arguments evaluated.
class CommandSink {
public:
    virtual void RunCommand(ScriptLine& line) = 0;

protected:
    ~CommandSink() = default;
};

// Everything the script keeps while the plug-in is loaded.
class Script {
public:
    Script();
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // The loaded statements; null until the first load.
    const ScriptTable* table() const { return table_; }
    ScriptTable* table() { return table_; }
    double* variables() { return variables_; }

    // Replaces the loaded statements by those of `bytes` (the whole file) for an edit of
    // `frame_count` frames. False when the new table could not be allocated; the statements
    // in force then stay.
    bool Load(std::span<const char> bytes, int32_t frame_count, const LengthenEdit& lengthen);

    // At most once a second, looks at the script file at `path` and reloads it when it was
    // written since it was read or the edit is no longer `frame_count` frames long. `lengthen`
    // as for Load. A file that cannot be read leaves the statements in force.
    void Refresh(const std::string& path, int32_t frame_count, const LengthenEdit& lengthen);

    // Runs the statements covering the frame: assignments here, command lines through `sink`,
    // with `tracks` among the variables every line sees.
    void Run(const FrameContext& frame, std::span<const TrackVariable> tracks, CommandSink& sink);

    // Frees what the lines own.
    void ReleaseLineMemory();

    // Tells `listener` (null: nobody) what the loader and the executor see.
    void set_listener(ScriptListener* listener) { listener_ = listener; }

private:
    // Hands the next chunk of the file (empty at its end); false when reading failed.
    using ChunkSource = std::function<bool(std::span<const char>& chunk)>;

    // Load, from the chunks `next_chunk` hands; false when reading or the allocation failed.
    bool LoadFrom(int32_t frame_count, const LengthenEdit& lengthen, const ChunkSource& next_chunk);

    ScriptTable* table_ = nullptr;  // from the platform's allocator, so tests can refuse it
    ScriptWatch watch_;
    double variables_[kFormulaVariables] = {};
    ScriptListener* listener_ = nullptr;
};

// Parses the whole file `bytes` into the zero-filled `table`.
void ParseScript(std::span<const char> bytes, int32_t frame_count, ScriptTable& table,
                 const LengthenEdit& lengthen, ScriptListener* listener = nullptr);

}  // namespace kinetra
