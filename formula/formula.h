// The formula engine: an infix formula over 58 one-letter variables and 23 functions becomes
// a postfix program of fixed-size tokens, which a stack machine evaluates to one double.
// Every failure gives 0.0 and a status, never a message.
#pragma once

#include <cstdint>
#include <string_view>

namespace kinetra {

// A token code carries its input priority in bits 8..11 and its stack priority in bits 12..15;
// the low byte picks the operator, function or variable.
enum TokenCode : uint32_t {
    kTokenEnd = 0x0000,
    kTokenOpen = 0x0F00,
    kTokenClose = 0x1100,
    kTokenComma = 0x2200,
    kTokenAssign = 0x2F00,  // + variable slot
    kTokenPlus = 0x3300,
    kTokenMinus = 0x3301,
    kTokenMultiply = 0x4402,
    kTokenDivide = 0x4403,
    kTokenRemainder = 0x4404,
    kTokenNegate = 0x4406,
    kTokenPower = 0x5605,
    kTokenFunction = 0x6800,  // + function index
    kTokenNumber = 0x7700,
    kTokenVariable = 0x7701,  // + variable slot
};

struct FormulaToken {
    uint32_t code;
    double value;  // the number of a number token
};

constexpr int kFormulaVariables = 58;      // "A" (0x41) to "z" (0x7A)

// A variable's slot: its letter's distance from "A", so "a" is slot 32.
constexpr unsigned VariableSlot(char letter) { return static_cast<unsigned>(letter - 'A'); }
constexpr int kFormulaFunctions = 23;
constexpr int kMaxTextTokens = 126;        // tokens a formula text may produce
constexpr int kProgramCapacity = kMaxTextTokens + 3;  // with the outer parentheses and the end

// The name of function `index` (0..kFormulaFunctions - 1), with the "(" that opens its argument.
std::string_view FormulaFunctionName(int index);

// Where in its text a formula failed to compile, for a tool that reports it; compiling without
// one costs a null test per token. `source` maps each token, wrapped infix and then postfix, to
// the byte of the text it came from.
struct SyntaxTrace {
    int source[kProgramCapacity + 1] = {};
    int failed_at = -1;  // the byte where compilation stopped, or -1
};

// Reads `text` into `out`: an open parenthesis, the text's tokens, a close parenthesis and the
// end code. Returns 0, or 1 with the end code written where the failing token would have gone.
int Tokenize(FormulaToken* out, const char* text, SyntaxTrace* trace = nullptr);

// Orders the wrapped infix tokens of `in` into a postfix program in `out` (which may be `in`).
// Returns 0, or 1 for unbalanced parentheses.
int ToPostfix(FormulaToken* out, const FormulaToken* in, SyntaxTrace* trace = nullptr);

// Returns 0 when the postfix program leaves exactly one value and never underflows, else 1.
int CheckProgram(const FormulaToken* program, SyntaxTrace* trace = nullptr);

class CFormula {
public:
    enum Status : int32_t { FORMULA_OK = 0, FORMULA_SYNTAX_ERROR = 1, FORMULA_MATH_ERROR = 2 };

    CFormula();
    virtual ~CFormula();

    // Stores a variable and clears a math error (a syntax error stays); slots from 58 are ignored.
    void SetVariable(unsigned slot, double value);
    double Variable(unsigned slot) const { return slot < kFormulaVariables ? variables_[slot] : 0.0; }

    // 0 when `text` (null is an empty program) compiled, 1 on a syntax error, whose place
    // `trace` receives when given.
    int Compile(const char* text, SyntaxTrace* trace = nullptr);
    // Runs the compiled program; 0.0 on any error or while the status is not FORMULA_OK.
    double Evaluate();
    // Compile and Evaluate.
    double Calculate(const char* text);

    int32_t status() const { return status_; }

private:
    int32_t status_ = FORMULA_OK;
    double variables_[kFormulaVariables] = {};
    FormulaToken program_[kProgramCapacity + 1] = {};
};

}  // namespace kinetra
