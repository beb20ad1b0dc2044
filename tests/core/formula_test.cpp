#include "formula/formula.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace kinetra {
namespace {

constexpr uint32_t Var(char c) { return kTokenVariable + (static_cast<unsigned char>(c) - 'A'); }
constexpr uint32_t Assign(char c) { return kTokenAssign + (static_cast<unsigned char>(c) - 'A'); }
constexpr uint32_t Fn(int f) { return kTokenFunction + f; }
constexpr uint32_t kOpen = kTokenOpen, kClose = kTokenClose, kEnd = kTokenEnd, kNum = kTokenNumber;
constexpr int kOk = CFormula::FORMULA_OK, kSyntax = CFormula::FORMULA_SYNTAX_ERROR,
              kMath = CFormula::FORMULA_MATH_ERROR;
const double kInf = std::numeric_limits<double>::infinity();

struct Tokens {
    int rc;
    std::vector<uint32_t> codes;  // up to and including the end code
    std::vector<double> numbers;
};

Tokens Read(const char* text) {
    FormulaToken out[kProgramCapacity + 1];
    Tokens t;
    t.rc = Tokenize(out, text);
    for (int i = 0; i <= kProgramCapacity; ++i) {
        t.codes.push_back(out[i].code);
        if (out[i].code == kNum) t.numbers.push_back(out[i].value);
        if (out[i].code == kEnd) break;
    }
    return t;
}

std::string Repeat(const std::string& piece, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += piece;
    return s;
}

TEST(FormulaTokenizer, TokenCodes) {
    const struct {
        const char* text;
        int rc;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"", 0, {kOpen, kClose, kEnd}},
        {"   ", 0, {kOpen, kClose, kEnd}},
        {"-x", 0, {kOpen, kTokenNegate, Var('x'), kClose, kEnd}},
        {"--x", 0, {kOpen, Var('x'), kClose, kEnd}},
        {"---x", 0, {kOpen, kTokenNegate, Var('x'), kClose, kEnd}},
        {"- - x", 0, {kOpen, Var('x'), kClose, kEnd}},
        {"+x", 0, {kOpen, Var('x'), kClose, kEnd}},
        {"-+x", 0, {kOpen, kTokenNegate, Var('x'), kClose, kEnd}},
        {"a-b", 0, {kOpen, Var('a'), kTokenMinus, Var('b'), kClose, kEnd}},
        {"(a)-b", 0, {kOpen, kOpen, Var('a'), kClose, kTokenMinus, Var('b'), kClose, kEnd}},
        {"a*-b", 0, {kOpen, Var('a'), kTokenMultiply, kTokenNegate, Var('b'), kClose, kEnd}},
        {"1,-a", 0, {kOpen, kNum, kTokenComma, kTokenNegate, Var('a'), kClose, kEnd}},
        {"a+b%c/d^e", 0, {kOpen, Var('a'), kTokenPlus, Var('b'), kTokenRemainder, Var('c'),
                          kTokenDivide, Var('d'), kTokenPower, Var('e'), kClose, kEnd}},
        {"A = 3", 0, {kOpen, Assign('A'), kNum, kClose, kEnd}},
        {"A=B=1", 0, {kOpen, Assign('A'), Assign('B'), kNum, kClose, kEnd}},
        {"z=-1", 0, {kOpen, Assign('z'), kTokenNegate, kNum, kClose, kEnd}},
        {"A==3", 1, {kOpen, Assign('A'), kEnd}},
        {"3=A", 1, {kOpen, kNum, kEnd}},
        {"=3", 1, {kOpen, kEnd}},
        {"(A)=3", 1, {kOpen, kOpen, Var('A'), kClose, kEnd}},
        {"sin(x)", 0, {kOpen, Fn(7), kOpen, Var('x'), kClose, kClose, kEnd}},
        {"sin (x)", 0,
         {kOpen, Var('s'), Var('i'), Var('n'), kOpen, Var('x'), kClose, kClose, kEnd}},
        {"SIN(x)", 0, {kOpen, Var('S'), Var('I'), Var('N'), kOpen, Var('x'), kClose, kClose, kEnd}},
        {"log10(x)", 0, {kOpen, Fn(6), kOpen, Var('x'), kClose, kClose, kEnd}},
        {"asinh(acosh(", 0, {kOpen, Fn(16), kOpen, Fn(17), kOpen, kClose, kEnd}},
        {"ceil(y1(", 0, {kOpen, Fn(0), kOpen, Fn(22), kOpen, kClose, kEnd}},
        {"[\\]_`", 0, {kOpen, Var('['), Var('\\'), Var(']'), Var('_'), Var('`'), kClose, kEnd}},
        {"^", 0, {kOpen, kTokenPower, kClose, kEnd}},
        {"0x10", 0, {kOpen, kNum, Var('x'), kNum, kClose, kEnd}},
        {"2e", 0, {kOpen, kNum, Var('e'), kClose, kEnd}},
        {"2e+", 0, {kOpen, kNum, Var('e'), kTokenPlus, kClose, kEnd}},
        {"{", 1, {kOpen, kEnd}},
        {"x|", 1, {kOpen, Var('x'), kEnd}},
        {"@", 1, {kOpen, kEnd}},
        {"\t1", 1, {kOpen, kEnd}},
        {"1\n", 1, {kOpen, kNum, kEnd}},
        {"x\x7f", 1, {kOpen, Var('x'), kEnd}},
        {"\xe3\x81\x82", 1, {kOpen, kEnd}},
        {"a\xff", 1, {kOpen, Var('a'), kEnd}},
    };
    for (const auto& c : cases) {
        const Tokens t = Read(c.text);
        EXPECT_EQ(t.rc, c.rc) << c.text;
        EXPECT_EQ(t.codes, c.codes) << c.text;
    }
}

TEST(FormulaTokenizer, NumberValues) {
    const std::string zeros = Repeat("0", 400);
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"1.5e3", 1500},
        {".5", 0.5},
        {"5.", 5},
        {"5.e1", 50},
        {"2E-1", 0.2},
        {"1e+2", 100},
        {"0.1", 0.1},
        {"0.3", 0.3},
        {"3.14159", 3.14159},
        {"0.000000000000001", 1e-15},
        {"123456789012345", 123456789012345.0},
        {"12345678.9012345", 12345678.9012345},
        {"1234567890123456.7", 1234567890123456.7},
        {"821.72843949926903", 821.72843949926903},  // dividing here would round twice
        {"955430966832521.1", 955430966832521.1},
        {"9007199254740993", 9007199254740992.0},  // a tie, rounded to even
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"4.9e-324", std::numeric_limits<double>::denorm_min()},
        {"1e400", HUGE_VAL},
        {"1e-400", 0.0},
        {"1" + zeros + "e-50", HUGE_VAL},
        {"0." + zeros + "1e50", 0.0},
        {"0." + zeros + "1e400", 1e-1},
        {"0e99999999999999999999", 0.0},
        // Out of range by digits alone, by a signed or saturating exponent, with a fraction.
        {"1" + zeros, HUGE_VAL},
        {"1e+400", HUGE_VAL},
        {"1.5e400", HUGE_VAL},
        {"1e99999999999999999999", HUGE_VAL},
        {"1.5e-99999999999999999999", 0.0},
        {"1" + zeros + ".", HUGE_VAL},
    };
    for (const auto& c : cases) {
        const Tokens t = Read(c.text.c_str());
        ASSERT_EQ(t.rc, 0) << c.text;
        ASSERT_EQ(t.numbers.size(), 1u) << c.text;
        EXPECT_EQ(t.numbers[0], c.value) << c.text;
    }
    EXPECT_EQ(Read("2e+1").numbers, std::vector<double>{20});
}

TEST(FormulaTokenizer, TokenLimit) {
    const std::string full = "-1" + Repeat("+1", 62);  // 126 tokens
    EXPECT_EQ(Read(full.c_str()).rc, 0);
    EXPECT_EQ(Read(("  " + full).c_str()).rc, 0);

    for (const std::string& over : {full + "+", full + " ", full + "-", "1" + Repeat("+1", 63)}) {
        const Tokens t = Read(over.c_str());
        EXPECT_EQ(t.rc, 1) << over;
        EXPECT_EQ(t.codes.size(), 128u) << over;  // the end code sits at entry 127
    }

    // A lone "." converts nothing and never moves on, so zeros fill up to the limit.
    const Tokens dot = Read(".");
    EXPECT_EQ(dot.rc, 1);
    EXPECT_EQ(dot.numbers, std::vector<double>(126, 0.0));
}

// The postfix codes without the end code, or nothing when tokenizing or ordering fails.
std::optional<std::vector<uint32_t>> Postfix(const char* text) {
    FormulaToken program[kProgramCapacity + 1];
    if (Tokenize(program, text) != 0 || ToPostfix(program, program) != 0) return std::nullopt;
    std::vector<uint32_t> codes;
    for (const FormulaToken* t = program; t->code != kEnd; ++t) codes.push_back(t->code);
    return codes;
}

TEST(FormulaProgram, Ordering) {
    using Codes = std::optional<std::vector<uint32_t>>;
    const struct {
        const char* text;
        Codes codes;
    } cases[] = {
        {"1+2*3", Codes{{kNum, kNum, kNum, kTokenMultiply, kTokenPlus}}},
        {"-2^2", Codes{{kNum, kNum, kTokenPower, kTokenNegate}}},
        {"A=1,B=A+1",
         Codes{{kNum, Assign('A'), Var('A'), kNum, kTokenPlus, Assign('B'), kTokenComma}}},
        {"2*-3", Codes{{kNum, kTokenMultiply, kNum, kTokenNegate}}},
        {"()", Codes{std::vector<uint32_t>{}}},
        {"(1", std::nullopt},
        {"1)", std::nullopt},
        {"1)+(2", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Postfix(c.text), c.codes) << c.text;

    FormulaToken in[kProgramCapacity + 1], out[kProgramCapacity + 1];
    ASSERT_EQ(Tokenize(in, "a-b*c"), 0);
    ASSERT_EQ(ToPostfix(out, in), 0);
    EXPECT_EQ(out[3].code, kTokenMultiply);
    EXPECT_EQ(out[4].code, kTokenMinus);
    EXPECT_EQ(out[5].code, kEnd);
}

// Token arrays no text gives fail rather than overrun the conversion stack or underrun it.
TEST(FormulaProgram, OrderingRefusesNestingPastItsStack) {
    std::vector<FormulaToken> deep(200, FormulaToken{kTokenOpen, 0.0}), out(201);
    deep.push_back({kEnd, 0.0});
    EXPECT_EQ(ToPostfix(out.data(), deep.data()), 1);
    // A code of input priority 0 and stack priority 1 pops the outer "(" and stands in its place;
    // the ")" then finds no "(" left.
    const FormulaToken foreign[] = {{kTokenOpen, 0.0}, {0x1001, 0.0}, {kTokenClose, 0.0}, {kEnd, 0.0}};
    EXPECT_EQ(ToPostfix(out.data(), foreign), 1);
}

// A text that fails to tokenize says where: the byte it stopped at.
TEST(FormulaProgram, TokenizeFailureIsTraced) {
    CFormula formula;
    SyntaxTrace trace;
    EXPECT_EQ(formula.Compile("1+{", &trace), 1);
    EXPECT_EQ(trace.failed_at, 2);
}

TEST(FormulaProgram, Check) {
    const struct {
        std::vector<uint32_t> codes;  // without the end code
        int rc;
    } cases[] = {
        {{}, 0},
        {{kNum, Fn(22)}, 0},
        {{kNum, Fn(23)}, 1},
        {{kNum, kTokenNegate}, 0},
        {{kTokenNegate}, 1},
        {{kNum, kTokenPlus}, 1},
        {{kNum, kNum}, 1},
        {{kNum, kNum, kTokenComma}, 0},
        {{kNum, kTokenComma, kNum}, 1},
        {{kNum, Assign('z'), Assign('A')}, 0},
        {{Assign('A')}, 1},
        {{kNum, kOpen}, 1},
        {{kNum, Var('z') + 1}, 1},
    };
    for (const auto& c : cases) {
        std::vector<FormulaToken> program;
        for (uint32_t code : c.codes) program.push_back({code, 1.0});
        program.push_back({kEnd, 0.0});
        EXPECT_EQ(CheckProgram(program.data()), c.rc) << ::testing::PrintToString(c.codes);
    }
}

TEST(Formula, Values) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},
        {"()", 0},
        {"1+2*3", 7},
        {"(1+2)*3", 9},
        {"8/2/2", 2},
        {"2^3^2", 512},
        {"-2^2", -4},
        {"7%3", 1},
        {"-7%3", -1},
        {"2*(-3)", -6},
        {"2+-3", -1},
        {"2--3", 5},
        {"2-(-3)", 5},
        {"A=5", 5},
        {"A=2,A*3", 6},
        {"1+A=2", 3},
        {"x=0.5,sin(x)^2", std::pow(std::sin(0.5), 2)},
        {"sin(1,2)", std::sin(2.0)},
        {"ceil(1.2)+floor(-1.2)+abs(-3)+sqrt(16)", 7},
        {"exp(0)+log(1)+log10(1000)", 4},
        {"cos(0)+tan(0)+asin(0)+acos(1)+atan(0)", 1},
        {"sinh(0)+cosh(0)+tanh(0)", 1},
        {"asinh(0)", 0},
        {"asinh(1)", std::log(1 + std::sqrt(2.0))},
        {"acosh(1)", 0},
        {"atanh(0.5)", 0.5493061443340549},
        {"j0(0)+j1(0)", 1},
        {"1e999", kInf},
        {"-1e999", -kInf},
        {"1/1e999", 0},
        {"[=4,[*[", 16},
    };
    for (const auto& c : cases) {
        CFormula f;
        EXPECT_EQ(f.Calculate(c.text), c.value) << c.text;
        EXPECT_EQ(f.status(), kOk) << c.text;
    }

    // Infinities and NaNs that the library does not report are results, not errors.
    CFormula f;
    EXPECT_TRUE(std::isnan(f.Calculate("1e999-1e999")));
    EXPECT_TRUE(std::isnan(f.Calculate("1e999*0")));
    EXPECT_EQ(f.status(), kOk);
    EXPECT_NEAR(f.Calculate("y0(1)"), 0.08825696421567696, 1e-15);
    EXPECT_NEAR(f.Calculate("y1(1)"), -0.7812128213002887, 1e-15);
}

TEST(Formula, Errors) {
    const struct {
        const char* text;
        int status;
    } cases[] = {
        {"2*-3", kSyntax},      {"2^-1", kSyntax},        {"1/-0", kSyntax},
        {"(1", kSyntax},        {"1)", kSyntax},          {"2 3", kSyntax},
        {"1,", kSyntax},        {",1", kSyntax},          {"A==1", kSyntax},
        {"3=A", kSyntax},       {"A=", kSyntax},          {"sin()", kSyntax},
        {"sin (x)", kSyntax},   {"SIN(x)", kSyntax},      {"0x10", kSyntax},
        {"2e", kSyntax},        {"1+", kSyntax},          {"-", kSyntax},
        {"(", kSyntax},         {")(", kSyntax},          {"x\xe3", kSyntax},
        {"1/0", kMath},         {"1/(-0)", kMath},        {"0/0", kMath},
        {"sqrt(-1)", kMath},    {"log(0)", kMath},        {"log(-1)", kMath},
        {"asin(2)", kMath},     {"acosh(0.5)", kMath},    {"atanh(1)", kMath},
        {"atanh(-1)", kMath},   {"y0(-1)", kMath},        {"y1(0)", kMath},
        {"exp(1000)", kMath},   {"cosh(1000)", kMath},    {"10^400", kMath},
        {"0^(-1)", kMath},      {"(-8)^(1/3)", kMath},    {"5%0", kMath},
        {"asinh(-1e10)", kMath},  // the textbook form cancels to log(0)
    };
    for (const auto& c : cases) {
        CFormula f;
        EXPECT_EQ(f.Calculate(c.text), 0.0) << c.text;
        EXPECT_EQ(f.status(), c.status) << c.text;
    }
}

TEST(Formula, EquivalentForms) {
    const struct {
        const char* left;
        const char* right;
    } pairs[] = {
        {"2^3^2", "2^(3^2)"},   {"x^y^z", "x^(y^z)"},     {"--3", "3"},
        {"---x", "-x"},         {"+x", "x"},              {"-+x", "-x"},
        {"-x^2", "-(x^2)"},     {"-x%y", "(-x)%y"},       {"-x*y", "(-x)*y"},
        {"2*x^2", "2*(x^2)"},   {"x-y-z", "(x-y)-z"},     {"x/y*z", "(x/y)*z"},
        {"x+y*z", "x+(y*z)"},   {"2+-3", "2-3"},          {"sin(x)^2", "(sin(x))^2"},
        {"sin(1,2)", "sin(2)"}, {"1,2,3", "3"},           {"x=y=z", "z"},
        {"1.5e3", "1500"},      {"(((x)))", "x"},
    };
    for (const auto& p : pairs) {
        CFormula f;
        f.SetVariable(Var('x') - kTokenVariable, 1.5);
        f.SetVariable(Var('y') - kTokenVariable, 0.75);
        f.SetVariable(Var('z') - kTokenVariable, 3.25);
        const double left = f.Calculate(p.left);
        EXPECT_EQ(f.status(), kOk) << p.left;
        EXPECT_EQ(left, f.Calculate(p.right)) << p.left << " vs " << p.right;
        EXPECT_EQ(f.status(), kOk) << p.right;
    }
}

TEST(Formula, TokenLimitThroughCompile) {
    const std::string full = "-1" + Repeat("+1", 62);
    CFormula f;
    EXPECT_EQ(f.Calculate(full.c_str()), 61);
    EXPECT_EQ(f.Calculate((full + " ").c_str()), 0);
    EXPECT_EQ(f.status(), kSyntax);
    EXPECT_EQ(f.Calculate((Repeat("(", 63) + Repeat(")", 63)).c_str()), 0);
    EXPECT_EQ(f.status(), kOk);
}

TEST(Formula, Errno) {
    CFormula f;
    errno = ERANGE;  // left over from someone else: must not count against this formula
    EXPECT_EQ(f.Calculate("2*3"), 6);
    EXPECT_EQ(f.status(), kOk);

    for (const char* text : {"1/0", "1/(-0)", "acosh(0)", "atanh(2)", "atanh(-1)"}) {
        EXPECT_EQ(f.Calculate(text), 0.0) << text;
        EXPECT_EQ(errno, EDOM) << text;
    }
}

TEST(Formula, StatusLifecycle) {
    CFormula f;
    EXPECT_EQ(f.Variable(0), 0.0);
    EXPECT_EQ(f.Compile(nullptr), 0);
    EXPECT_EQ(f.Evaluate(), 0.0);
    EXPECT_EQ(f.status(), kOk);

    // Assignments before the failing step stay made.
    EXPECT_EQ(f.Calculate("A=7,B=1/0"), 0.0);
    EXPECT_EQ(f.status(), kMath);
    EXPECT_EQ(f.Variable(0), 7);
    EXPECT_EQ(f.Variable(1), 0);

    // A failed program is not run again until a variable changes.
    ASSERT_EQ(f.Compile("A=A+1,1/B"), 0);
    EXPECT_EQ(f.Evaluate(), 0.0);
    EXPECT_EQ(f.Variable(0), 8);
    EXPECT_EQ(f.Evaluate(), 0.0);
    EXPECT_EQ(f.Variable(0), 8);
    f.SetVariable(58, 2);  // no such slot: ignored, the error stays
    EXPECT_EQ(f.status(), kMath);
    EXPECT_EQ(f.Evaluate(), 0.0);
    f.SetVariable(1, 2);
    EXPECT_EQ(f.status(), kOk);
    EXPECT_EQ(f.Evaluate(), 0.5);
    EXPECT_EQ(f.Variable(0), 9);
    EXPECT_EQ(f.Variable(58), 0.0);

    // A syntax error outlives SetVariable and ends with the next Compile.
    EXPECT_EQ(f.Compile("1+"), 1);
    f.SetVariable(0, 1);
    EXPECT_EQ(f.status(), kSyntax);
    EXPECT_EQ(f.Evaluate(), 0.0);
    EXPECT_EQ(f.Compile(nullptr), 0);
    EXPECT_EQ(f.status(), kOk);

    // Variables persist across formulas of the same object.
    f.Calculate("A=B=4");
    EXPECT_EQ(f.Calculate("A*B"), 16);
}

}  // namespace
}  // namespace kinetra
