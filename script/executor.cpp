// Running the statements that cover a frame.
#include <cmath>
#include <cstring>

#include "formula/formula.h"
#include "script/script.h"

namespace kinetra {
namespace {

// The system variables a line sees: its range, the frame, the image and the track bars.
void SetSystemVariables(double* vars, const ScriptLine& line, const FrameContext& frame,
                        std::span<const TrackVariable> tracks) {
    static const double pi = 4.0 * std::atan(1.0);
    for (const TrackVariable& track : tracks) vars[VariableSlot(track.letter)] = track.value;
    vars[VariableSlot('e')] = line.end_frame;
    vars[VariableSlot('f')] = frame.frame;
    // Differences of two 32-bit values, computed wide so that no range can overflow them.
    vars[VariableSlot('g')] = static_cast<double>(int64_t{frame.frame} - line.start_frame);
    vars[VariableSlot('h')] = frame.height;
    vars[VariableSlot('i')] = frame.max_width;
    vars[VariableSlot('j')] = frame.max_height;
    vars[VariableSlot('m')] = frame.frame_count;
    vars[VariableSlot('n')] = static_cast<double>(int64_t{line.end_frame} - line.start_frame + 1);
    vars[VariableSlot('p')] = pi;
    vars[VariableSlot('s')] = line.start_frame;
    vars[VariableSlot('w')] = frame.width;
}

}  // namespace

void Script::Run(const FrameContext& frame, std::span<const TrackVariable> tracks, CommandSink& sink) {
    CFormula formula;
    if (!table_) return;
    for (int32_t i = 0; i < table_->line_count; ++i) {
        ScriptLine& line = table_->lines[i];
        if (frame.frame < line.start_frame || frame.frame > line.end_frame) continue;

        SetSystemVariables(variables_, line, frame, tracks);
        for (unsigned v = 0; v < 26; ++v) {
            formula.SetVariable(VariableSlot('A') + v, variables_[VariableSlot('A') + v]);
            formula.SetVariable(VariableSlot('a') + v, variables_[VariableSlot('a') + v]);
        }

        auto calculate = [&](int argument) {
            const double value = formula.Calculate(line.arg_text[argument]);
            if (listener_ && formula.status() != CFormula::FORMULA_OK) {
                listener_->FormulaFailed(i, argument, formula.status(), frame.frame);
            }
            return value;
        };
        if (line.IsAssignment()) {
            variables_[VariableSlot(line.command[0])] = calculate(0);
            continue;
        }
        // Every argument is evaluated, whether or not a handler knows the name.
        for (int k = 0; k < kScriptArguments; ++k) line.arg_value[k] = calculate(k);
        sink.RunCommand(line);
    }
}

}  // namespace kinetra
