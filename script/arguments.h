// How a command turns the doubles its argument formulas evaluated to into the values it works
// with. Every command of both plug-ins has its arguments read through a table of ArgumentSpec
// rows, so the same script value gives the same integer everywhere and a reviewer can compare a
// command's table with the table it is specified by.
//
//     constexpr ArgumentSpec kVolumeArguments[] = {
//         Buffer(1, "buffer"), Integer(2, "channels").Within(0, 2),
//         Real(3, "gain at the start"), Real(4, "gain at the end")};
//
//     Arguments args;
//     if (!args.Read(line, kVolumeArguments)) return;  // out of range: nothing happens
//     use args[1], args[2], args.Real(3) ...
//
// The plug-ins' dispatcher does that read (host/command.h) and hands the values to the handler.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>

namespace kinetra {

struct ScriptLine;

constexpr int kScriptArguments = 20;

// Truncation toward zero. NaN and values whose truncation lies outside the 32-bit range give
// INT32_MIN, the value the host's x86 processor gives (cvttsd2si), never undefined behaviour.
constexpr int32_t TruncateToInt32(double value) {
    // Both bounds are exact doubles; the negation of the test also catches NaN.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// A frame number: rounded down first (-0.5 gives -1), then converted.
inline int32_t FrameNumberToInt32(double value) { return TruncateToInt32(std::floor(value)); }

// A fraction on the 4096 = 1.0 scale (opacity, gain, offset): 0.5 gives 2048, 0.0001 gives 0.
constexpr int32_t FractionToInt32(double value) { return TruncateToInt32(value * 4096.0); }

enum class Conversion : uint8_t {
    kTruncate,   // toward zero
    kRoundDown,  // frame numbers: floor first
    kFraction,   // x 4096.0, then toward zero
    kReal,       // kept as the double it is (angles, exponents, gains, amplitudes)
};

// What an argument counts, for a reader of the tables: a frame number's unit follows from its
// conversion, a fraction's is 1.0 = 4096, a buffer's and a size's from their role.
enum class Unit : uint8_t {
    kNone,     // a count, a mode or a flag
    kPixels,
    kLevel,    // a colour value or threshold on the 4096 scale, given as is
    kRadians,
    kFrames,
    kHertz,
};

enum class Role : uint8_t {
    kValue,
    kBuffer,  // 0..9, and a buffer behind it, else the command does nothing
    kWidth,   // below 1: nothing; the picture commands then limit it to the image
    kHeight,
    kString,  // its text is the value (a face name, a string to draw), never evaluated by it
};

// One row of a command's argument table. `number` is the argument's 1-based position. A row
// with a valid range makes the command do nothing when the converted value lies outside it
// (a real value that is NaN lies outside every range).
struct ArgumentSpec {
    int number;
    const char* meaning;
    Conversion conversion = Conversion::kTruncate;
    Role role = Role::kValue;
    bool ranged = false;
    double lowest = 0.0;
    double highest = 0.0;
    Unit unit = Unit::kNone;
    const char* when_zero = nullptr;  // what a 0 here does, where it is no plain zero

    constexpr ArgumentSpec In(Unit counted_in) const {
        ArgumentSpec row = *this;
        row.unit = counted_in;
        return row;
    }
    constexpr ArgumentSpec IfZero(const char* effect) const {
        ArgumentSpec row = *this;
        row.when_zero = effect;
        return row;
    }

    constexpr ArgumentSpec Within(double low, double high) const {
        ArgumentSpec ranged_row = *this;
        ranged_row.ranged = true;
        ranged_row.lowest = low;
        ranged_row.highest = high;
        return ranged_row;
    }
    constexpr ArgumentSpec AtLeast(double low) const { return Within(low, INT32_MAX); }
    constexpr ArgumentSpec Finite() const {
        return Within(-std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    }
};

constexpr ArgumentSpec Integer(int n, const char* meaning) { return {n, meaning}; }
constexpr ArgumentSpec FrameNumber(int n, const char* meaning) {
    return ArgumentSpec{n, meaning, Conversion::kRoundDown}.In(Unit::kFrames);
}
constexpr ArgumentSpec Fraction(int n, const char* meaning) {
    return {n, meaning, Conversion::kFraction};
}
constexpr ArgumentSpec Pixels(int n, const char* meaning) { return Integer(n, meaning).In(Unit::kPixels); }
constexpr ArgumentSpec Level(int n, const char* meaning) { return Integer(n, meaning).In(Unit::kLevel); }
constexpr ArgumentSpec Real(int n, const char* meaning) { return {n, meaning, Conversion::kReal}; }
constexpr ArgumentSpec String(int n, const char* meaning) {
    return {n, meaning, Conversion::kTruncate, Role::kString};
}
constexpr ArgumentSpec Buffer(int n, const char* meaning) {
    return {n, meaning, Conversion::kTruncate, Role::kBuffer};
}
constexpr ArgumentSpec Width(int n, const char* meaning) {
    return ArgumentSpec{n, meaning, Conversion::kTruncate, Role::kWidth}.In(Unit::kPixels);
}
constexpr ArgumentSpec Height(int n, const char* meaning) {
    return ArgumentSpec{n, meaning, Conversion::kTruncate, Role::kHeight}.In(Unit::kPixels);
}

// A command's whole table, as its registry row names it.
using ArgumentTable = std::span<const ArgumentSpec>;

// How many rows a part of a table holds: one row, or a run of rows shared by several tables.
template <typename Part>
constexpr size_t kRowsIn = 1;
template <size_t N>
constexpr size_t kRowsIn<std::array<ArgumentSpec, N>> = N;

// A table joined from rows and shared runs of rows, in the order given.
template <typename... Parts>
constexpr std::array<ArgumentSpec, (kRowsIn<Parts> + ...)> Rows(const Parts&... parts) {
    std::array<ArgumentSpec, (kRowsIn<Parts> + ...)> rows{};
    size_t next = 0;
    auto append = [&](const auto& part) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(part)>, ArgumentSpec>) {
            rows[next++] = part;
        } else {
            for (const ArgumentSpec& row : part) rows[next++] = row;
        }
    };
    (append(parts), ...);
    return rows;
}

constexpr int kBufferCount = 10;

// A command's arguments once converted and checked on the calling thread.
struct Arguments {
    int32_t value[kScriptArguments + 1] = {};  // value[n] is argument n; value[0] unused
    double real[kScriptArguments + 1] = {};    // the same for arguments kept as doubles

    // Converts the arguments of `table` in order, then checks them: false when the command
    // must do nothing (a buffer number outside 0..9, a width or height below 1, a value
    // outside its row's range). Whether a buffer exists is the plug-in's to check.
    bool Read(const ScriptLine& line, std::span<const ArgumentSpec> table);

    int32_t operator[](int number) const { return value[number]; }
    double Real(int number) const { return real[number]; }
};

}  // namespace kinetra
