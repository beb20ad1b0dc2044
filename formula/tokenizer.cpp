// Formula text to wrapped infix tokens, in one pass straight into the caller's array.
// Signs are settled here (binary or negation, unary plus dropped, double negation cancelled)
// and "v=" becomes one assignment token, so the ordering step sees an unambiguous stream.
#include "formula/formula.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace kinetra {
namespace {

// Each name carries its "(": a name not followed at once by "(" is just letters. The order is
// the token's function index.
constexpr std::string_view kFunctionNames[kFormulaFunctions] = {
    "ceil(", "floor(", "abs(",  "sqrt(",  "exp(",   "log(",   "log10(", "sin(",
    "cos(",  "tan(",   "asin(", "acos(",  "atan(",  "sinh(",  "cosh(",  "tanh(",
    "asinh(", "acosh(", "atanh(", "j0(",  "j1(",    "y0(",    "y1(",
};

// The names that start with each letter "a".."z", in table order, so that a letter is only
// compared with the few names it could begin; most letters in formulas begin none.
struct Candidates {
    int count = 0;
    uint8_t index[8] = {};  // "a" begins the most names, seven
};

constexpr std::array<Candidates, 26> ByInitial() {
    std::array<Candidates, 26> table{};
    for (int f = 0; f < kFormulaFunctions; ++f) {
        Candidates& c = table[static_cast<size_t>(kFunctionNames[f][0] - 'a')];
        c.index[c.count++] = static_cast<uint8_t>(f);
    }
    return table;
}
constexpr std::array<Candidates, 26> kByInitial = ByInitial();

constexpr bool IsDigit(unsigned char c) { return static_cast<unsigned>(c - '0') < 10; }

// Stops at the first differing byte, so the text's terminator ends the comparison safely.
// The first byte is already known to match.
bool StartsWith(const unsigned char* text, std::string_view name) {
    for (size_t k = 1; k < name.size(); ++k) {
        if (text[k] != static_cast<unsigned char>(name[k])) return false;
    }
    return true;
}

int FindFunction(const unsigned char* text) {
    const unsigned first = text[0];
    if (first < 'a' || first > 'z') return -1;
    const Candidates& candidates = kByInitial[first - 'a'];
    for (int k = 0; k < candidates.count; ++k) {
        if (StartsWith(text, kFunctionNames[candidates.index[k]])) return candidates.index[k];
    }
    return -1;
}

// The value a C-locale strtod gives for a span that is out of range of double: HUGE_VAL when
// the number is large, zero when it is below the smallest subnormal. Only the sign of its
// decimal magnitude is needed, since an out-of-range number is far from 1 either way.
double OutOfRange(const unsigned char* begin, const unsigned char* end) {
    const unsigned char* p = begin;
    int64_t magnitude = 0;  // decimal exponent of the leading significant digit
    bool leading = false;
    for (; p < end && IsDigit(*p); ++p) {
        if (*p != '0') leading = true;
        if (leading) ++magnitude;
    }
    --magnitude;
    if (p < end && *p == '.') {
        for (++p; p < end && IsDigit(*p); ++p) {
            if (leading) continue;
            if (*p != '0') leading = true;
            else --magnitude;
        }
    }
    if (p < end) {  // the exponent; saturated, because only the sign of the total matters
        ++p;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        int64_t exponent = 0;
        for (; p < end; ++p) {
            if (exponent < (int64_t{1} << 40)) exponent = exponent * 10 + (*p - '0');
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude >= 0 ? HUGE_VAL : 0.0;
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr int kExactDigits = 15;  // every integer of this many digits is an exact double

// number = digits ["." [digits]] | "." digits, then optionally ("e" | "E") ["+" | "-"] digits.
// An exponent mark without digits is not part of the number ("2e" is 2 and the variable e).
// Returns where the number ends: `text` itself when there is no digit before an exponent,
// and then the value is 0.
const unsigned char* ReadNumber(const unsigned char* text, double* value) {
    *value = 0.0;
    const unsigned char* p = text;
    uint64_t mantissa = 0;  // wraps harmlessly on long spans, which take the general path
    int digits = 0;
    int fraction_digits = 0;
    for (; IsDigit(*p); ++p, ++digits) mantissa = mantissa * 10 + (*p - '0');
    if (*p == '.') {
        for (++p; IsDigit(*p); ++p, ++digits, ++fraction_digits) {
            mantissa = mantissa * 10 + (*p - '0');
        }
    }
    if (digits == 0) return text;
    bool exponent = false;
    if (*p == 'e' || *p == 'E') {
        const unsigned char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            for (p = q; IsDigit(*p); ++p) {
            }
            exponent = true;
        }
    }
    // Most formula numbers are short: their digits and the power of ten are both exact, so one
    // division, correctly rounded in the default rounding mode that frames run in, gives the
    // correctly rounded value without the general routine's cost.
    if (!exponent && digits <= kExactDigits) {
        *value = static_cast<double>(mantissa) / kPowersOfTen[fraction_digits];
        return p;
    }
    // from_chars reads this exact grammar, rounds correctly and never looks at the locale.
    const char* first = reinterpret_cast<const char*>(text);
    const char* last = reinterpret_cast<const char*>(p);
    if (std::from_chars(first, last, *value, std::chars_format::general).ec ==
        std::errc::result_out_of_range) {
        *value = OutOfRange(text, p);
    }
    return p;
}

bool IsOperand(uint32_t code) { return (code >> 8) == (kTokenNumber >> 8); }

}  // namespace

int Tokenize(FormulaToken* out, const char* text, SyntaxTrace* trace) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* begin = p;
    out[0] = {kTokenOpen, 0.0};
    if (trace) trace->source[0] = 0;
    int next = 1;  // where the next token goes
    auto put = [&](uint32_t code) {
        if (trace) trace->source[next] = static_cast<int>(p - begin);
        out[next++] = {code, 0.0};
    };
    auto fail = [&] {
        out[next] = {kTokenEnd, 0.0};
        if (trace) trace->failed_at = static_cast<int>(p - begin);
        return 1;
    };

    while (*p != 0) {
        // The limit is checked before every byte, so even a trailing space past it fails.
        if (next > kMaxTextTokens) return fail();
        const unsigned c = *p;

        if (c >= 'A' && c != '^') {
            // function = name "(": the "(" stays in the text and opens the argument next step
            const int f = FindFunction(p);
            if (f >= 0) {
                put(kTokenFunction + static_cast<uint32_t>(f));
                p += kFunctionNames[f].size() - 1;
                continue;
            }
            // variable = "A" .. "z", including "[" "\" "]" "_" "`"
            if (c - 'A' < static_cast<unsigned>(kFormulaVariables)) {
                put(kTokenVariable + (c - 'A'));
                ++p;
                continue;
            }
            return fail();  // "{" and above, including every byte 0x80..0xFF
        }

        const uint32_t previous = out[next - 1].code;
        switch (c) {
            case ' ':
                break;
            case '(':
                put(kTokenOpen);
                break;
            case ')':
                put(kTokenClose);
                break;
            case ',':
                put(kTokenComma);
                break;
            case '*':
                put(kTokenMultiply);
                break;
            case '/':
                put(kTokenDivide);
                break;
            case '%':
                put(kTokenRemainder);
                break;
            case '^':
                put(kTokenPower);
                break;
            case '+':
                // binary plus follows an operand or ")"; anywhere else "+" is a sign that
                // changes nothing
                if (IsOperand(previous) || previous == kTokenClose) put(kTokenPlus);
                break;
            case '-':
                // binary minus follows an operand or ")"; anywhere else it negates, and a
                // negation directly after a negation cancels it
                if (IsOperand(previous) || previous == kTokenClose) {
                    put(kTokenMinus);
                } else if (previous == kTokenNegate) {
                    --next;
                } else {
                    put(kTokenNegate);
                }
                break;
            case '=':
                // assignment = variable "=": the variable token becomes the assignment
                if (previous < kTokenVariable) return fail();
                out[next - 1].code = previous - (kTokenVariable - kTokenAssign);
                break;
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9': case '.': {
                // number; a "." with no digits converts nothing and leaves the cursor where it
                // is, so zero tokens repeat until the token limit ends the text
                double value;
                put(kTokenNumber);
                p = ReadNumber(p, &value);
                out[next - 1].value = value;
                continue;
            }
            default:
                // control bytes, "!", quotes, "#", "$", "&", ":", ";", "<", ">", "?", "@"
                return fail();
        }
        ++p;
    }

    put(kTokenClose);
    out[next] = {kTokenEnd, 0.0};
    return 0;
}

std::string_view FormulaFunctionName(int index) { return kFunctionNames[index]; }

}  // namespace kinetra
