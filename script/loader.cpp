// Reading "animation.txt": when to look at the file, and how its lines become statements.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/script.h"

namespace kinetra {
namespace {

constexpr size_t kPieceSize = kScriptTextSize - 1;  // bytes one read of a line may take

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Reads a run of decimal digits, saturating at the 32-bit limit instead of overflowing.
int32_t ReadDigits(const char*& p) {
    int64_t value = 0;
    while (IsDigit(static_cast<unsigned char>(*p))) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) value = INT32_MAX;
        ++p;
    }
    return static_cast<int32_t>(value);
}

class Parser {
public:
    Parser(int32_t frame_count, ScriptTable& table, const LengthenEdit& lengthen, ScriptListener* listener)
        : frame_count_(frame_count), end_(frame_count), table_(table), lengthen_(lengthen),
          listener_(listener) {}

    // One piece as the line reader hands it: at most 511 bytes, ending after a newline. A piece
    // that ends without one is continued by the next, on the same line of the file. Never empty.
    void HandlePiece(const char* piece, size_t length) {
        HandleLine(piece);
        if (piece[length - 1] == '\n') {
            ++line_number_;
            piece_column_ = 0;
        } else {
            piece_column_ += static_cast<int32_t>(length);
        }
    }

private:
    void HandleLine(const char* line) {
        const unsigned char first = static_cast<unsigned char>(line[0]);
        const bool statement = first == '[' || IsLetter(first);
        if (table_.line_count >= kMaxScriptLines) {  // statements past the table are ignored
            if (listener_ && statement) listener_->LineIgnored(line_number_, Column(0), Ignored::kPastTheTable);
            return;
        }
        if (!statement) {
            if (listener_ && piece_column_ == 0) listener_->NotAStatement(line_number_, line);
            return;
        }

        char cleaned[kScriptTextSize];
        RemoveSpaces(line, cleaned);
        if (cleaned[0] == '[') {
            RangeLine(cleaned);
        } else if (cleaned[1] == '=') {
            Assignment(cleaned);
        } else {
            CommandLine(cleaned);
        }
    }

    using Ignored = ScriptListener::Ignored;

    // Spaces outside double quotes go; every quote switches, and no escape stops it. Where each
    // kept byte was is remembered for a listener.
    void RemoveSpaces(const char* line, char* cleaned) {
        bool quoted = false;
        size_t n = 0;
        for (const char* p = line; *p != '\0' && n < kScriptTextSize - 1; ++p) {
            if (*p == '"') quoted = !quoted;
            if (*p == ' ' && !quoted) continue;
            if (listener_) kept_at_[n] = static_cast<int32_t>(p - line);
            cleaned[n++] = *p;
        }
        if (listener_) kept_at_[n] = static_cast<int32_t>(strlen(line));
        cleaned[n] = '\0';
    }

    // The column of the file of byte `at` of the cleaned line; asked only with a listener.
    int32_t Column(size_t at) const { return piece_column_ + kept_at_[at] + 1; }

    // "[start?end]": two digit runs around exactly one separator byte of any kind.
    void RangeLine(const char* cleaned) {
        const char* p = cleaned + 1;
        const int32_t start = ReadDigits(p);
        if (*p != '\0') ++p;  // the separator; a line that ends here has no end digits
        const int32_t end = IsDigit(static_cast<unsigned char>(*p)) ? ReadDigits(p) : frame_count_;
        if (end < 0) return;  // no end digits, and the host reported a negative frame count
        if (listener_) listener_->RangeRead(line_number_, start, end);
        start_ = start;
        end_ = end;
        if (end > frame_count_ && lengthen_) lengthen_(end);
    }

    // "X=formula": the formula is the rest of the line without its newline.
    void Assignment(char* cleaned) {
        ScriptLine& line = table_.lines[table_.line_count];
        memset(&line, 0, sizeof line);  // an ignored line may have left text here
        line.command[0] = cleaned[0];
        line.command[1] = '=';
        line.command[2] = '\0';
        for (char* p = cleaned; *p != '\0'; ++p) {
            if (*p == '\n') *p = '\0';
        }
        strcpy(line.arg_text[0], cleaned + 2);
        if (listener_) {
            for (size_t i = 0; line.arg_text[0][i] != '\0'; ++i) columns_[i] = Column(2 + i);
            listener_->ArgumentText(table_.line_count, 0, {columns_, strlen(line.arg_text[0])});
        }
        Store(line);
    }

    // "name(arg,arg,...)": the name folded to lower case, then up to twenty arguments in which
    // a backslash escapes the next byte, quotes group, and the unmatched ")" closes the list.
    void CommandLine(const char* cleaned) {
        ScriptLine& line = table_.lines[table_.line_count];
        memset(&line, 0, sizeof line);
        const char* p = cleaned;
        size_t n = 0;
        for (;; ++p) {
            char c = *p;
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            const bool name_byte = (c >= 'a' && c <= 'z') || IsDigit(static_cast<unsigned char>(c)) ||
                                   c == '_' || c == '-';
            if (!name_byte) break;
            line.command[n++] = c;
        }
        line.command[n] = '\0';
        if (*p != '(') {
            if (listener_) {
                listener_->LineIgnored(line_number_, Column(p - cleaned),
                                       *p == '=' ? Ignored::kLongVariableName : Ignored::kBadName);
            }
            return;
        }
        ++p;

        for (int k = 0; k < kScriptArguments; ++k) {
            char* out = line.arg_text[k];
            const char* text = out;
            bool quoted = false;
            int depth = 0;
            auto keep = [&](const char* from) {
                if (listener_) columns_[out - text] = Column(from - cleaned);
                *out++ = *from;
            };
            // Told where the ")" is missing: at the end of the line, before its newline.
            auto still_open = [&] {
                if (!listener_) return;
                const char* end = p[-1] == '\n' ? p - 1 : p;  // p is past "name("
                listener_->LineIgnored(line_number_, Column(end - cleaned), Ignored::kListNeverClosed);
            };
            for (;; ++p) {
                const char c = *p;
                if (c == '\0') return still_open();  // the line ended with the list still open
                if (c == '\\') {
                    if (p[1] == '\0') return still_open();  // nothing left to escape
                    keep(++p);
                } else if (c == '"') {
                    quoted = !quoted;
                } else if (c == ',' && !quoted) {
                    break;
                } else if (c == '(') {
                    ++depth;
                    keep(p);
                } else if (c == ')') {
                    if (--depth < 0) {
                        *out = '\0';
                        if (listener_) {
                            listener_->ArgumentText(table_.line_count, k, {columns_, size_t(out - text)});
                            listener_->ListClosed(line_number_, Column(p - cleaned), p + 1);
                        }
                        Store(line);
                        return;
                    }
                    keep(p);
                } else {
                    keep(p);
                }
            }
            *out = '\0';
            if (listener_) listener_->ArgumentText(table_.line_count, k, {columns_, size_t(out - text)});
            ++p;  // past the comma
        }
        // a 21st argument follows: the line is ignored
        if (listener_) listener_->LineIgnored(line_number_, Column(p - cleaned), Ignored::kTooManyArguments);
    }

    void Store(ScriptLine& line) {
        line.start_frame = start_;
        line.end_frame = end_;
        if (listener_) listener_->Statement(table_.line_count, line_number_);
        ++table_.line_count;
    }

    const int32_t frame_count_;
    int32_t start_ = 0;
    int32_t end_;
    ScriptTable& table_;
    const LengthenEdit& lengthen_;
    ScriptListener* const listener_;
    int32_t line_number_ = 1;
    int32_t piece_column_ = 0;  // columns of the line before this piece
    // For the listener: where each byte of the cleaned line was, and each argument byte's column.
    int32_t kept_at_[kScriptTextSize];
    int32_t columns_[kScriptTextSize];
};

// The file as the editor's platform reads a text file, a chunk at a time: a carriage return
// before a newline is dropped and the first 0x1A byte ends the file, so a script saved on
// either system reads alike; then pieces are cut as the line reader cuts them, up to and
// including a newline, at most 511 bytes. Memory stays the same whatever the file's size.
class ScriptReader {
public:
    ScriptReader(int32_t frame_count, ScriptTable& table, const LengthenEdit& lengthen, ScriptListener* listener)
        : parser_(frame_count, table, lengthen, listener) {}

    void Feed(std::span<const char> bytes) {
        for (const char c : bytes) {
            if (ended_) return;
            if (carriage_return_) {
                carriage_return_ = false;
                if (c != '\n') Keep('\r');
            }
            if (c == '\x1A') {
                ended_ = true;
            } else if (c == '\r') {
                carriage_return_ = true;  // kept unless a newline follows
            } else {
                Keep(c);
            }
        }
    }

    // The end of the file: a carriage return that no newline followed, and the last piece.
    void Finish() {
        if (carriage_return_) Keep('\r');
        carriage_return_ = false;
        if (length_ > 0) CutPiece();
    }

private:
    void Keep(char c) {
        piece_[length_++] = c;
        if (c == '\n' || length_ == kPieceSize) CutPiece();
    }

    void CutPiece() {
        piece_[length_] = '\0';
        parser_.HandlePiece(piece_, length_);
        length_ = 0;
    }

    Parser parser_;
    char piece_[kScriptTextSize];
    size_t length_ = 0;
    bool carriage_return_ = false;
    bool ended_ = false;
};

}  // namespace

void ParseScript(std::span<const char> bytes, int32_t frame_count, ScriptTable& table,
                 const LengthenEdit& lengthen, ScriptListener* listener) {
    ScriptReader reader(frame_count, table, lengthen, listener);
    reader.Feed(bytes);
    reader.Finish();
}

Script::Script() = default;

Script::~Script() {
    if (table_) CurrentPlatform().Release(table_);
}

bool Script::Load(std::span<const char> bytes, int32_t frame_count, const LengthenEdit& lengthen) {
    bool handed = false;
    return LoadFrom(frame_count, lengthen, [&](std::span<const char>& chunk) {
        chunk = handed ? std::span<const char>() : bytes;
        handed = true;
        return true;
    });
}

bool Script::LoadFrom(int32_t frame_count, const LengthenEdit& lengthen, const ChunkSource& next_chunk) {
    // The new statements are built aside and replace the old ones whole.
    auto* fresh = static_cast<ScriptTable*>(CurrentPlatform().AllocateZeroed(sizeof(ScriptTable)));
    if (!fresh) return false;
    ScriptReader reader(frame_count, *fresh, lengthen, listener_);
    std::span<const char> chunk;
    bool read = true;
    while ((read = next_chunk(chunk)) && !chunk.empty()) reader.Feed(chunk);
    if (!read) {
        CurrentPlatform().Release(fresh);  // nothing here owns memory yet: no statement has run
        return false;
    }
    reader.Finish();
    if (table_) {
        ReleaseLineMemory();
        CurrentPlatform().Release(table_);
    }
    table_ = fresh;
    return true;
}

void Script::Refresh(const std::string& path, int32_t frame_count, const LengthenEdit& lengthen) {
    const int64_t now = CurrentPlatform().CurrentSecond();
    if (now == watch_.last_look_second) return;
    watch_.last_look_second = now;

    FileTime written;
    if (!CurrentPlatform().ReadFileTime(path, written)) return;
    if (written == watch_.last_write && frame_count == watch_.loaded_frame_count) return;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return;
    // Read a chunk at a time into the parser: a script of any size costs the same memory.
    char buffer[65536];
    const bool loaded = LoadFrom(frame_count, lengthen, [&](std::span<const char>& chunk) {
        const size_t got = fread(buffer, 1, sizeof buffer, file);
        chunk = {buffer, got};
        return ferror(file) == 0;
    });
    fclose(file);
    if (!loaded) return;  // a failed read or allocation: tried again next second
    watch_.last_write = written;
    watch_.loaded_frame_count = frame_count;
}

void Script::ReleaseLineMemory() {
    if (!table_) return;
    for (int32_t i = 0; i < table_->line_count; ++i) {
        ScriptLine& line = table_->lines[i];
        if (line.line_memory) {
            CurrentPlatform().Release(line.line_memory);
            line.line_memory = nullptr;
        }
    }
}

}  // namespace kinetra
