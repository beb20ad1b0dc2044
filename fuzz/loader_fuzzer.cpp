// Arbitrary bytes as "animation.txt": the text-mode reading, the cutting into pieces, ranges,
// assignments and command lines with their quotes and escapes, with a listener attached (the
// column bookkeeping of a script checker) and without.
#include <cstdint>
#include <cstring>
#include <span>

#include "script/script.h"

namespace {

// Every column the loader reports lies on the line it names and after column 0.
class CheckingListener final : public kinetra::ScriptListener {
public:
    void LineIgnored(int32_t line, int32_t column, Ignored) override { Check(line, column); }
    void RangeRead(int32_t line, int32_t, int32_t) override { Check(line, 1); }
    void Statement(int32_t statement, int32_t line) override {
        Check(line, 1);
        if (statement < 0 || statement >= kinetra::kMaxScriptLines) __builtin_trap();
    }
    void ListClosed(int32_t line, int32_t column, const char* rest) override {
        Check(line, column);
        if (!memchr(rest, 0, kinetra::kScriptTextSize)) __builtin_trap();
    }
    void ArgumentText(int32_t, int argument, std::span<const int32_t> columns) override {
        if (argument < 0 || argument >= kinetra::kScriptArguments) __builtin_trap();
        for (int32_t column : columns) Check(1, column);
    }

private:
    static void Check(int32_t line, int32_t column) {
        if (line < 1 || column < 1) __builtin_trap();
    }
};

kinetra::ScriptTable table;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const char> bytes(reinterpret_cast<const char*>(data), size);
    const int32_t frame_count = size > 0 ? data[0] * 7 : 0;  // ranges beyond it ask to lengthen
    const kinetra::LengthenEdit lengthen = [frame_count](int32_t end) {
        if (end <= frame_count) __builtin_trap();
    };
    CheckingListener listener;
    for (kinetra::ScriptListener* attached : {static_cast<kinetra::ScriptListener*>(nullptr),
                                              static_cast<kinetra::ScriptListener*>(&listener)}) {
        table.line_count = 0;  // the parser clears each record it fills
        kinetra::ParseScript(bytes, frame_count, table, lengthen, attached);
        if (table.line_count < 0 || table.line_count > kinetra::kMaxScriptLines) __builtin_trap();
        for (int32_t i = 0; i < table.line_count; ++i) {
            const kinetra::ScriptLine& line = table.lines[i];
            // Every text the executor will read is terminated inside its field.
            if (!memchr(line.command, 0, sizeof line.command)) __builtin_trap();
            for (const char* text : line.arg_text) {
                if (!memchr(text, 0, kinetra::kScriptTextSize)) __builtin_trap();
            }
        }
    }
    return 0;
}
