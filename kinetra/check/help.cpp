#include "kinetra/check/help.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstring>

#include "formula/formula.h"
#include "kinetra/check/catalog.h"
#include "script/script.h"

namespace kinetra::check {
namespace {

// The system variables, as the executor sets them before every line.
constexpr struct {
    const char* letters;
    const char* meaning;
} kVariables[] = {
    {"f", "the frame"},
    {"g", "frames since the range began"},
    {"n", "frames in the range"},
    {"i j", "the picture's full width and height"},
    {"w h", "the current picture's width and height"},
    {"p", "pi"},
    {"s e", "the range's first and last frame"},
    {"m", "frames in the edit"},
};

// Help names each of the executor's letters once, and no other.
consteval bool NamesEverySystemVariableOnce() {
    size_t named = 0;
    for (const auto& v : kVariables) {
        for (const char* c = v.letters; *c; ++c) {
            if (*c == ' ') continue;
            ++named;
            if (kSystemVariables.find(*c) == std::string_view::npos) return false;
        }
    }
    for (const char letter : kSystemVariables) {
        size_t times = 0;
        for (const auto& v : kVariables) {
            for (const char* c = v.letters; *c; ++c) times += *c == letter;
        }
        if (times != 1) return false;
    }
    return named == kSystemVariables.size();
}
static_assert(NamesEverySystemVariableOnce());

std::string Format(const char* format, const char* a, const char* b) {
    char line[256];
    snprintf(line, sizeof line, format, a, b);
    return line;
}

std::string Number(double value) {
    char text[32];
    snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string UnitOf(const ArgumentSpec& row) {
    if (row.role == Role::kBuffer) return "buffer";
    if (row.role == Role::kString) return "text";
    if (row.conversion == Conversion::kFraction) return "x4096";
    switch (row.unit) {
        case Unit::kPixels:
            return "pixels";
        case Unit::kLevel:
            return "4096 = 1.0";
        case Unit::kRadians:
            return "radians";
        case Unit::kFrames:
            return "frames";
        case Unit::kHertz:
            return "hertz";
        case Unit::kNone:
            break;
    }
    return "";
}

std::string ConversionOf(const ArgumentSpec& row) {
    if (row.role == Role::kString) return "as written";
    switch (row.conversion) {
        case Conversion::kTruncate:
            return "whole, toward 0";
        case Conversion::kRoundDown:
            return "whole, rounded down";
        case Conversion::kFraction:
            return "x 4096, toward 0";
        case Conversion::kReal:
            break;
    }
    return "as given";
}

std::string ValidOf(const ArgumentSpec& row) {
    if (row.role == Role::kBuffer) return "0..9";
    if (row.role == Role::kWidth || row.role == Role::kHeight) return "1 and up";
    if (!row.ranged) return "any";
    if (row.lowest == -DBL_MAX && row.highest == DBL_MAX) return "finite";
    if (row.highest == INT32_MAX) return Number(row.lowest) + " and up";
    return Number(row.lowest) + ".." + Number(row.highest);
}

}  // namespace

std::string CommandList() {
    const std::span<const KnownCommand> commands = PluginCommands();
    std::string out;
    for (const bool sound : {false, true}) {
        out += sound ? "Sound commands (dizorud_audio):\n" : "Picture commands (dizorud):\n";
        // Families in the order their first command is dispatched.
        std::vector<std::string_view> families;
        for (const KnownCommand& command : commands) {
            const std::string_view family = command.note.family;
            if (command.sound == sound && std::find(families.begin(), families.end(), family) == families.end()) {
                families.push_back(family);
            }
        }
        for (const std::string_view family : families) {
            out += "  " + std::string(family) + "\n";
            for (const KnownCommand& command : commands) {
                if (command.sound != sound || command.note.family != family) continue;
                out += Format("    %-14s %s\n", command.name, command.note.summary);
            }
        }
    }
    return out + "\n" + FormulaHelp() +
           "\nkinetra help COMMAND shows a command's arguments; kinetra check tests a script.\n";
}

std::string CommandHelp(std::string_view name) {
    const KnownCommand* command = FindPluginCommand(name);
    if (!command) return "";
    std::string signature;
    for (const ArgumentSpec& row : command->arguments)
        signature += (signature.empty() ? "" : ", ") + std::string(row.meaning);
    std::string out = std::string(command->name) + "(" + signature + ")\n";
    out += std::string(command->sound ? "A sound command: " : "A picture command: ") + command->note.summary + ".\n";
    if (!command->arguments.empty()) {
        int width = 8;
        for (const ArgumentSpec& row : command->arguments)
            width = std::max(width, static_cast<int>(strlen(row.meaning)));
        char line[512];
        snprintf(line, sizeof line, "\n  #  %-*s  %-10s  %-19s  %s\n", width, "argument", "unit", "conversion",
                 "valid");
        out += line;
        std::string zeros;
        for (const ArgumentSpec& row : command->arguments) {
            snprintf(line, sizeof line, "  %-2d %-*s  %-10s  %-19s  %s\n", row.number, width, row.meaning,
                     UnitOf(row).c_str(), ConversionOf(row).c_str(), ValidOf(row).c_str());
            out += line;
            if (row.when_zero) zeros += "  " + std::to_string(row.number) + " at 0: " + row.when_zero + "\n";
        }
        out += "Arguments left out are 0" + std::string(zeros.empty() ? ".\n" : ":\n" + zeros);
    }
    return out + "\nExample:\n  " + command->note.example + "\n";
}

std::string FormulaHelp() {
    std::string functions;
    for (int f = 0; f < kFormulaFunctions; ++f) {
        const std::string_view name = FormulaFunctionName(f);
        functions += (f ? " " : "") + std::string(name.substr(0, name.size() - 1));
    }
    std::string out = "Formulas: numbers, + - * / % ^ (power), parentheses, and one-argument functions\n  " +
                      functions + "\nVariables set before every line:\n";
    for (const auto& v : kVariables) out += Format("  %-5s %s\n", v.letters, v.meaning);
    out += "  " + VariableTrackBars() + ": track bars (--var NAME=VALUE)\n";
    out += "  A..Z and k l o q r t are yours: assigned as X=formula, kept from line to line and frame to frame\n";
    return out;
}

std::vector<std::string> CommandExamples() {
    std::vector<std::string> examples;
    for (const KnownCommand& command : PluginCommands()) examples.push_back(command.note.example);
    return examples;
}

}  // namespace kinetra::check
