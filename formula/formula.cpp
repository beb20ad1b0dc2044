// Ordering the tokens into a postfix program, checking it, and running it on a value stack.
// Maths errors are the C library's own errno reports, so this file must be built with
// -fmath-errno and without -ffast-math.
#include "formula/formula.h"

#include <cerrno>
#include <cmath>
#include <math.h>  // j0, j1, y0, y1 are POSIX, outside <cmath>

#ifdef _WIN32
// The C runtime's own Bessel functions; its header declares them only outside strict standard mode.
extern "C" {
double __cdecl _j0(double);
double __cdecl _j1(double);
double __cdecl _y0(double);
double __cdecl _y1(double);
}
#endif

namespace kinetra {
namespace {

// A sound program of at most 126 text tokens never holds more than 127 tokens or values.
constexpr int kStackDepth = 128;

constexpr unsigned InputPriority(uint32_t code) { return (code >> 8) & 0xF; }
constexpr unsigned StackPriority(uint32_t code) { return (code >> 12) & 0xF; }

// The inverse hyperbolic functions keep their textbook forms instead of the library's: their
// results, and the inputs they reject, are part of what a script computes.
double Asinh(double x) { return std::log(x + std::sqrt(x * x + 1.0)); }

double Acosh(double x) {
    if (x < 1) {
        errno = EDOM;
        return HUGE_VAL;
    }
    return std::log(x + std::sqrt(x * x - 1));
}

double Atanh(double x) {
    if (x <= -1.0 || x >= 1) {
        errno = EDOM;
        return HUGE_VAL;
    }
    return 0.5 * std::log((1 + x) / (1 - x));
}

#ifdef _WIN32
double BesselJ0(double x) { return ::_j0(x); }
double BesselJ1(double x) { return ::_j1(x); }
double BesselY0(double x) { return ::_y0(x); }
double BesselY1(double x) { return ::_y1(x); }
#else
double BesselJ0(double x) { return ::j0(x); }
double BesselJ1(double x) { return ::j1(x); }
double BesselY0(double x) { return ::y0(x); }
double BesselY1(double x) { return ::y1(x); }
#endif

// The errors the C standard has the maths library report through errno, reported here for the
// library functions whose result shows them: some runtimes' exp, sinh, cosh, pow and fmod
// return an overflow's infinity or a domain error's NaN and leave errno alone.
double Reported(double result, double x, double y = 0.0) {
    if (std::isinf(result) && std::isfinite(x) && std::isfinite(y)) errno = ERANGE;
    if (std::isnan(result) && !std::isnan(x) && !std::isnan(y)) errno = EDOM;
    return result;
}

double ApplyFunction(unsigned f, double x) {
    switch (f) {
        case 0: return std::ceil(x);
        case 1: return std::floor(x);
        case 2: return std::fabs(x);
        case 3: return std::sqrt(x);
        case 4: return Reported(std::exp(x), x);
        case 5: return std::log(x);
        case 6: return std::log10(x);
        case 7: return std::sin(x);
        case 8: return std::cos(x);
        case 9: return std::tan(x);
        case 10: return std::asin(x);
        case 11: return std::acos(x);
        case 12: return std::atan(x);
        case 13: return Reported(std::sinh(x), x);
        case 14: return Reported(std::cosh(x), x);
        case 15: return std::tanh(x);
        case 16: return Asinh(x);
        case 17: return Acosh(x);
        case 18: return Atanh(x);
        case 19: return BesselJ0(x);
        case 20: return BesselJ1(x);
        case 21: return BesselY0(x);
        default: return BesselY1(x);  // 22: CheckProgram lets no other index through
    }
}

double ApplyOperator(unsigned k, double a, double b) {
    switch (k) {
        case 0: return a + b;
        case 1: return a - b;
        case 2: return a * b;
        case 3:
            // Dividing by zero is an error rather than an infinity, whatever the zero's sign.
            if (b == 0) {
                errno = EDOM;
                return HUGE_VAL;
            }
            return a / b;
        case 4: return Reported(std::fmod(a, b), a, b);
        default: return Reported(std::pow(a, b), a, b);  // 5: CheckProgram lets no other index through
    }
}

}  // namespace

// Operator precedence by two priorities per token: a token pops every stacked token whose
// stack priority is at least its own input priority. Output never overtakes input, so `out`
// may be `in`.
int ToPostfix(FormulaToken* out, const FormulaToken* in, SyntaxTrace* trace) {
    FormulaToken stack[kStackDepth];
    int stacked_source[kStackDepth];  // each stacked token's byte, when tracing
    stack[0] = {kTokenOpen, 0.0};  // stands for in[0]
    int depth = 1;
    int written = 0;
    auto fail = [&](int source) {
        if (trace) trace->failed_at = source;
        return 1;
    };
    if (trace) stacked_source[0] = trace->source[0];
    for (const FormulaToken* next = in + 1; next->code != kTokenEnd; ++next) {
        const FormulaToken token = *next;  // read before any write, for the in-place case
        const int source = trace ? trace->source[next - in] : 0;
        // a token after the outermost ")" has nothing left to belong to
        if (depth == 0) return fail(source);
        // an open parenthesis has stack priority 0 and so stops this loop for every real token
        while (depth > 0 && StackPriority(stack[depth - 1].code) >= InputPriority(token.code)) {
            --depth;
            if (trace) trace->source[written] = stacked_source[depth];
            out[written++] = stack[depth];
        }
        if (token.code == kTokenClose) {
            // ")" meets its "(" on top and both vanish
            if (depth == 0) return fail(source);
            --depth;
        } else {
            // everything else waits on the stack, operands included, so two adjacent operands
            // come out as two values and the program check rejects them
            if (depth == kStackDepth) return fail(source);
            if (trace) stacked_source[depth] = source;
            stack[depth++] = token;
        }
    }
    // an open parenthesis left over: the innermost one still open
    if (depth != 0) return fail(stacked_source[depth - 1]);
    out[written] = {kTokenEnd, 0.0};
    return 0;
}

// Counts the values the program would leave on the stack, so that Evaluate never underflows.
int CheckProgram(const FormulaToken* program, SyntaxTrace* trace) {
    if (program[0].code == kTokenEnd) return 0;
    int depth = 0;
    const FormulaToken* token = program;
    auto fail = [&](const FormulaToken* at) {
        if (trace) trace->failed_at = trace->source[at - program];
        return 1;
    };
    for (; token->code != kTokenEnd; ++token) {
        const uint32_t code = token->code;
        if (code >= kTokenNumber && code < kTokenVariable + kFormulaVariables) {
            ++depth;
        } else if (code >= kTokenFunction && code < kTokenFunction + kFormulaFunctions) {
            if (depth < 1) return fail(token);
        } else if (code == kTokenNegate) {
            if (depth < 1) return fail(token);
        } else if (code >= kTokenPlus && code <= kTokenPower) {
            if (depth < 2) return fail(token);
            --depth;
        } else if (code >= kTokenAssign && code <= (kTokenAssign | 0xFF)) {
            if (depth < 1) return fail(token);
        } else if (code == kTokenComma) {
            if (depth < 2) return fail(token);
            --depth;
        } else {
            return fail(token);  // an unknown function or a parenthesis that survived ordering
        }
    }
    // values left over: the last token is where the program should have come together
    return depth == 1 ? 0 : fail(token - 1);
}

CFormula::CFormula() = default;

CFormula::~CFormula() = default;

void CFormula::SetVariable(unsigned slot, double value) {
    if (slot >= kFormulaVariables) return;
    variables_[slot] = value;
    // New input may make a failed evaluation succeed; a syntax error needs a new text.
    status_ &= ~FORMULA_MATH_ERROR;
}

int CFormula::Compile(const char* text, SyntaxTrace* trace) {
    status_ = FORMULA_OK;
    if (text == nullptr) {
        program_[0] = {kTokenEnd, 0.0};
        return 0;
    }
    if (Tokenize(program_, text, trace) != 0 || ToPostfix(program_, program_, trace) != 0 ||
        CheckProgram(program_, trace) != 0) {
        status_ = FORMULA_SYNTAX_ERROR;
        program_[0] = {kTokenEnd, 0.0};  // never leave half an ordering behind
        return 1;
    }
    return 0;
}

double CFormula::Evaluate() {
    if (status_ != FORMULA_OK) return 0.0;
    if (program_[0].code == kTokenEnd) return 0.0;

    double stack[kStackDepth];
    int depth = 0;
    auto math_error = [this] {
        status_ = FORMULA_MATH_ERROR;
        return 0.0;
    };
    // CheckProgram has proved every pop below to have its operands.
    for (const FormulaToken* token = program_; token->code != kTokenEnd; ++token) {
        const uint32_t code = token->code;
        switch (code >> 8) {
            case kTokenNumber >> 8:
                stack[depth++] =
                    code == kTokenNumber ? token->value : variables_[code - kTokenVariable];
                break;
            case kTokenFunction >> 8:
                errno = 0;
                stack[depth - 1] = ApplyFunction(code & 0xFF, stack[depth - 1]);
                if (errno != 0) return math_error();
                break;
            case kTokenNegate >> 8:
                if (code == kTokenNegate) {
                    stack[depth - 1] = -stack[depth - 1];
                    break;
                }
                [[fallthrough]];
            case kTokenPlus >> 8:
            case kTokenPower >> 8:
                errno = 0;
                stack[depth - 2] = ApplyOperator(code & 0xFF, stack[depth - 2], stack[depth - 1]);
                --depth;
                if (errno != 0) return math_error();
                break;
            case kTokenAssign >> 8:
                // the value stays on the stack, so "A=B=1" and "1+A=2" chain
                variables_[code - kTokenAssign] = stack[depth - 1];
                break;
            case kTokenComma >> 8:
                stack[depth - 2] = stack[depth - 1];
                --depth;
                break;
            default:
                return math_error();
        }
    }
    if (depth != 1) return math_error();
    return stack[0];
}

double CFormula::Calculate(const char* text) {
    if (Compile(text) != 0) return 0.0;
    return Evaluate();
}

}  // namespace kinetra
