// Running the statements that cover a frame.
#include <cmath>
#include <cstring>

#include "formula/formula.h"
#include "host/buffers.h"
#include "script/script.h"

namespace kinetra {
namespace {

constexpr int kLowerCase = 32;  // slot of "a"; "A" is slot 0

constexpr int Slot(char letter) { return letter - 'A'; }

// The system variables a line sees: its range, the frame, the image and the track bars.
void SetSystemVariables(double* vars, const ScriptLine& line, const FrameContext& frame,
                        const BufferTable& buffers) {
    static const double pi = 4.0 * std::atan(1.0);
    static constexpr char kTrackLetters[] = {'a', 'b', 'c', 'd', 'u', 'v', 'x', 'y', 'z'};
    for (int t = 0; t < kVariableTracks; ++t) vars[Slot(kTrackLetters[t])] = buffers.track_values[t];
    vars[Slot('e')] = line.end_frame;
    vars[Slot('f')] = frame.frame;
    // Differences of two 32-bit values, computed wide so that no range can overflow them.
    vars[Slot('g')] = static_cast<double>(int64_t{frame.frame} - line.start_frame);
    vars[Slot('h')] = frame.height;
    vars[Slot('i')] = frame.max_width;
    vars[Slot('j')] = frame.max_height;
    vars[Slot('m')] = frame.frame_count;
    vars[Slot('n')] = static_cast<double>(int64_t{line.end_frame} - line.start_frame + 1);
    vars[Slot('p')] = pi;
    vars[Slot('s')] = line.start_frame;
    vars[Slot('w')] = frame.width;
}

}  // namespace

void Script::Run(FilterTable* filter, FrameContext* frame, BufferTable& buffers,
                 std::span<const CommandEntry> commands, int threads) {
    CFormula formula;
    if (!table_) return;
    for (int32_t i = 0; i < table_->line_count; ++i) {
        ScriptLine& line = table_->lines[i];
        if (frame->frame < line.start_frame || frame->frame > line.end_frame) continue;

        SetSystemVariables(variables_, line, *frame, buffers);
        for (unsigned v = 0; v < 26; ++v) {
            formula.SetVariable(v, variables_[v]);
            formula.SetVariable(kLowerCase + v, variables_[kLowerCase + v]);
        }

        if (line.IsAssignment()) {
            variables_[Slot(line.command[0])] = formula.Calculate(line.arg_text[0]);
            continue;
        }
        // Every argument is evaluated, whether or not a handler knows the name.
        for (int k = 0; k < kScriptArguments; ++k) line.arg_value[k] = formula.Calculate(line.arg_text[k]);
        for (const CommandEntry& command : commands) {
            if (strcmp(command.name, line.command) == 0) {
                CommandCall call{line, filter, frame, buffers, threads};
                command.run(call);
                break;
            }
        }
    }
}

}  // namespace kinetra
