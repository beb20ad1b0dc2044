#include "script/arguments.h"

#include "script/script.h"

namespace kinetra {
namespace {

bool InRange(const ArgumentSpec& argument, double v) {
    return !argument.ranged || (v >= argument.lowest && v <= argument.highest);
}

}  // namespace

bool Arguments::Read(const ScriptLine& line, std::span<const ArgumentSpec> table) {
    for (const ArgumentSpec& argument : table) {
        const double given = line.arg_value[argument.number - 1];
        int32_t& v = value[argument.number];
        switch (argument.conversion) {
            case Conversion::kTruncate:
                v = TruncateToInt32(given);
                break;
            case Conversion::kRoundDown:
                v = FrameNumberToInt32(given);
                break;
            case Conversion::kFraction:
                v = FractionToInt32(given);
                break;
            case Conversion::kReal:
                real[argument.number] = given;
                break;
        }
    }
    // Checks after all conversions, as the conversions themselves cannot fail.
    for (const ArgumentSpec& argument : table) {
        const int32_t v = value[argument.number];
        switch (argument.role) {
            case Role::kValue:
            case Role::kString:
                break;
            case Role::kBuffer:
                if (v < 0 || v >= kBufferCount) return false;
                break;
            case Role::kWidth:
            case Role::kHeight:
                if (v < 1) return false;
                break;
        }
        const double checked = argument.conversion == Conversion::kReal ? real[argument.number] : v;
        if (!InRange(argument, checked)) return false;
    }
    return true;
}

}  // namespace kinetra
