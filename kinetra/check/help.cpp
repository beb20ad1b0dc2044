#include "kinetra/check/help.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstring>

#include "formula/formula.h"
#include "kinetra/check/catalog.h"

namespace kinetra::check {
namespace {

// What the argument tables do not hold: a command's family, what it does, and an example.
struct CommandNote {
    const char* name;
    const char* family;
    const char* summary;
    const char* example;
};

constexpr char kCopying[] = "Copying";
constexpr char kBlending[] = "Masks and blending";
constexpr char kFlipsAndColour[] = "Flips and colour";
constexpr char kBuffersAndFills[] = "Buffers and fills";
constexpr char kGeometry[] = "Resize and rotate";
constexpr char kBlur[] = "Mosaic, defocus and diffuse";
constexpr char kCurves[] = "Gamma and posterize";
constexpr char kDrawing[] = "Text and ellipse";
constexpr char kSamples[] = "Sample processing";
constexpr char kGenerators[] = "Noise and tone";
constexpr char kOther[] = "Other";

constexpr CommandNote kNotes[] = {
    {"copyframe", kCopying, "another frame of the edit into a buffer", "copyframe(2,f-1,0,0,i,j,0,0)"},
    {"copy", kCopying, "a rectangle from one buffer into another", "copy(0,2,0,0,i/2,j,i/2,0)"},
    {"copy2", kCopying, "a rectangle's pixels whose luma is above a threshold", "copy2(2,0,0,0,i,j,0,0,3000)"},
    {"copy3", kCopying, "a rectangle where a key buffer's luma is above a threshold",
     "copy3(2,0,3,0,0,i,j,0,0,0,0,2048)"},
    {"mkmask", kBlending, "a two-valued mask from the pixels whose y, cb, cr lie in a box",
     "mkmask(0,5,0,0,i,j,0,0,1500,-100,-100,2500,100,100,4096,0)"},
    {"mkmask_rgb", kBlending, "the same mask, the box in R, G, B",
     "mkmask_rgb(0,4,0,0,i,j,0,0,3500,3500,0,5000,5000,1000,4096,0)"},
    {"alpha", kBlending, "a rectangle blended over another at one opacity", "alpha(2,0,0,0,i,j,0,0,0.5)"},
    {"alpha2", kBlending, "blended where the source's luma is above a threshold", "alpha2(2,0,0,0,i,j,0,0,0.5,2048)"},
    {"alpha3", kBlending, "blended where a key buffer's luma is above a threshold",
     "alpha3(2,0,5,0,0,i,j,0,0,0,0,0.5,2048)"},
    {"alpha4", kBlending, "blended with each pixel's opacity read from a mask", "alpha4(3,0,4,0,0,i,j,0,0,0,0)"},
    {"flipv", kFlipsAndColour, "a rectangle turned upside down", "flipv(0,3,0,0,i,j,0,0)"},
    {"fliph", kFlipsAndColour, "a rectangle mirrored left to right", "fliph(0,3,0,0,i/2,j,0,0)"},
    {"color", kFlipsAndColour, "gains and offsets of y, cb and cr in a rectangle",
     "color(0,0,0,i/4,j/4,0.5,1,1,0,0,0)"},
    {"color_rgb", kFlipsAndColour, "gains and offsets of R, G and B in a rectangle",
     "color_rgb(0,0,0,i,j,1.1,1.0,0.8,0,0,0)"},
    {"swapbuf", kBuffersAndFills, "the host's picture and its scratch image exchanged", "swapbuf()"},
    {"dispsize", kBuffersAndFills, "the size of the picture the host shows", "dispsize(i*3/4,j*3/4)"},
    {"fill", kBuffersAndFills, "a rectangle filled with one colour", "fill(0,0,0,i,j/8,4096,0,0)"},
    {"fill2", kBuffersAndFills, "a colour painted where a mask is above a threshold",
     "fill2(0,3,0,0,i,j,1500,1500,-500,0,0,4000)"},
    {"resize", kGeometry, "a rectangle scaled into another, bilinear", "resize(0,2,0,0,i,j,0,0,i/4,j/4)"},
    {"rotate", kGeometry, "a rectangle turned by an angle about its centre", "rotate(0,3,2*p*g/n,0,0,i/3,j/3,i/2,j/2)"},
    {"mosaic", kBlur, "a rectangle in cells of one colour each", "mosaic(0,0,0,0,i,j,0,0,8,8)"},
    {"defocus", kBlur, "a box blur of a rectangle", "defocus(0,0,0,0,i,j,0,0,9,9)"},
    {"diffuse", kBlur, "each pixel taken from a random one within a reach", "diffuse(0,0,0,0,i,j,0,0,3,3)"},
    {"gamma", kCurves, "gamma curves of y, cb and cr in a rectangle", "gamma(0,0,0,i,j,1.6,1,1)"},
    {"posterize", kCurves, "fewer levels of y, cb and cr", "posterize(0,0,0,0,i,j,0,0,6,2,2)"},
    {"posterize_rgb", kCurves, "fewer levels of R, G and B", "posterize_rgb(0,0,0,0,i,j,0,0,4,4,4)"},
    {"font", kDrawing, "the face, size, style and colour of the text drawn after it",
     "font(\"MS Gothic\",48,1,0,0,4096,0,0)"},
    {"text", kDrawing, "a string drawn at a point", "text(0,i/2,j/2,1,\"Kinetra\")"},
    {"ellipse", kDrawing, "a filled ellipse", "ellipse(0,i/2,j/2,40,24,3500,-600,1200)"},
    {"a_copyframe", kCopying, "another frame's sound into a buffer", "a_copyframe(3,f-1)"},
    {"a_copyframe2", kCopying, "a span of frames squeezed or stretched into one frame", "a_copyframe2(4,f,f+2)"},
    {"a_copy", kCopying, "a buffer's sound into another", "a_copy(0,2)"},
    {"a_volume", kSamples, "a gain that ramps from the frame's start to its end", "a_volume(0,g/n,(g+1)/n,0)"},
    {"a_blend", kSamples, "one buffer's sound added into another", "a_blend(2,0)"},
    {"a_swap", kSamples, "left and right exchanged", "a_swap(0)"},
    {"a_mono", kSamples, "both channels made one", "a_mono(0,0)"},
    {"a_reverse", kSamples, "the frame's sound played backwards", "a_reverse(3,3)"},
    {"a_noise", kGenerators, "white noise", "a_noise(2,0.1)"},
    {"a_tone", kGenerators, "a sine or square tone whose phase runs on from frame to frame", "a_tone(2,440,0,0.25)"},
};

const CommandNote* NoteOf(std::string_view name) {
    for (const CommandNote& note : kNotes) {
        if (name == note.name) return &note;
    }
    return nullptr;
}

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
    const std::vector<KnownCommand> commands = PluginCommands();
    std::string out;
    for (const bool sound : {false, true}) {
        out += sound ? "Sound commands (dizorud_audio):\n" : "Picture commands (dizorud):\n";
        // Families in the order their first command is dispatched.
        std::vector<const char*> families;
        for (const KnownCommand& command : commands) {
            const CommandNote* note = NoteOf(command.name);
            const char* family = note ? note->family : kOther;
            if (command.sound == sound && std::find(families.begin(), families.end(), family) == families.end()) {
                families.push_back(family);
            }
        }
        for (const char* family : families) {
            out += std::string("  ") + family + "\n";
            for (const KnownCommand& command : commands) {
                const CommandNote* note = NoteOf(command.name);
                if (command.sound != sound || (note ? note->family : kOther) != family) continue;
                out += Format("    %-14s %s\n", command.name, note ? note->summary : "");
            }
        }
    }
    return out + "\n" + FormulaHelp() +
           "\nkinetra help COMMAND shows a command's arguments; kinetra check tests a script.\n";
}

std::string CommandHelp(std::string_view name) {
    const std::vector<KnownCommand> commands = PluginCommands();
    const auto command = std::find_if(commands.begin(), commands.end(),
                                      [name](const KnownCommand& c) { return name == c.name; });
    if (command == commands.end()) return "";
    const CommandNote* note = NoteOf(name);
    std::string signature;
    for (const ArgumentSpec& row : command->arguments)
        signature += (signature.empty() ? "" : ", ") + std::string(row.meaning);
    std::string out = std::string(command->name) + "(" + signature + ")\n";
    out += std::string(command->sound ? "A sound command" : "A picture command") +
           (note ? std::string(": ") + note->summary : std::string()) + ".\n";
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
    if (note) out += std::string("\nExample:\n  ") + note->example + "\n";
    return out;
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
    for (const CommandNote& note : kNotes) examples.push_back(note.example);
    return examples;
}

}  // namespace kinetra::check
