// Running the statements that cover a frame.
#include <cmath>
#include <cstring>

#include "formula/formula.h"
#include "script/script.h"

namespace kinetra {
namespace {

// System variable `letter`'s value for a line at a frame.
double SystemVariable(char letter, const ScriptLine& line, const FrameContext& frame) {
    static const double pi = 4.0 * std::atan(1.0);
    switch (letter) {
        case 'e': return line.end_frame;
        case 'f': return frame.frame;
        // Differences of two 32-bit values, computed wide so that no range can overflow them.
        case 'g': return static_cast<double>(int64_t{frame.frame} - line.start_frame);
        case 'h': return frame.height;
        case 'i': return frame.max_width;
        case 'j': return frame.max_height;
        case 'm': return frame.frame_count;
        case 'n': return static_cast<double>(int64_t{line.end_frame} - line.start_frame + 1);
        case 'p': return pi;
        case 's': return line.start_frame;
        case 'w': return frame.width;
    }
    return 0;  // no system variable: kSystemVariables lists only the letters above
}

// The variables a line sees besides the user's: the track bars' and the system's.
void SetSystemVariables(double* vars, const ScriptLine& line, const FrameContext& frame,
                        std::span<const TrackVariable> tracks) {
    for (const TrackVariable& track : tracks) vars[VariableSlot(track.letter)] = track.value;
    for (const char letter : kSystemVariables) vars[VariableSlot(letter)] = SystemVariable(letter, line, frame);
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
