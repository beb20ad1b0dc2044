// Arbitrary bytes as a formula, evaluated with arbitrary variable values: the tokenizer, the
// postfix compiler, the program check and the stack machine on text nobody checked.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "formula/formula.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    kinetra::CFormula formula;
    // Values from the end of the input, so that a seed that is a plain formula reads whole.
    const int assigned = input.ConsumeIntegralInRange(0, 8);
    for (int k = 0; k < assigned; ++k) {
        const unsigned slot = input.ConsumeIntegralInRange<unsigned>(0, kinetra::kFormulaVariables);
        formula.SetVariable(slot, input.ConsumeFloatingPoint<double>());
    }
    const std::string text = input.ConsumeRemainingBytesAsString();

    kinetra::SyntaxTrace trace;
    if (formula.Compile(text.c_str(), &trace) == 0) {
        formula.Evaluate();
        formula.Evaluate();  // a second run sees the first's assignments, or its error
    } else if (trace.failed_at < 0 || static_cast<size_t>(trace.failed_at) > text.size()) {
        __builtin_trap();  // a failure must point into the text
    }
    formula.Calculate(text.c_str());
    return 0;
}
