#include "platform/shift_jis.h"

#include <optional>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace kinetra {
namespace {

bool IsSecondByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }
// ASCII and the half-width katakana. Some converters pass 0x80, 0xA0 and 0xFD..0xFF through as
// characters of their own and some refuse them; here they are no character on every system.
bool IsSingleByteCharacter(unsigned char c) { return c < 0x80 || (c >= 0xA1 && c <= 0xDF); }
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// One character at a time between Shift-JIS and UTF-8; nothing when it has no form in the other.
class Converter {
public:
    explicit Converter(bool to_utf8) : to_utf8_(to_utf8) {
#ifndef _WIN32
        handle_ = to_utf8 ? iconv_open("UTF-8", "CP932") : iconv_open("CP932", "UTF-8");
#endif
    }
    ~Converter() {
#ifndef _WIN32
        if (handle_ != kClosed) iconv_close(handle_);
#endif
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::optional<std::string> operator()(std::string_view character) {
#ifdef _WIN32
        constexpr unsigned kShiftJisPage = 932;
        wchar_t wide[4];
        const unsigned from = to_utf8_ ? kShiftJisPage : CP_UTF8;
        const int n = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, character.data(),
                                          static_cast<int>(character.size()), wide, 4);
        if (n <= 0) return std::nullopt;
        char out[16];
        BOOL defaulted = FALSE;
        const int m = to_utf8_ ? WideCharToMultiByte(CP_UTF8, 0, wide, n, out, sizeof out, nullptr, nullptr)
                               : WideCharToMultiByte(kShiftJisPage, WC_NO_BEST_FIT_CHARS, wide, n, out,
                                                     sizeof out, nullptr, &defaulted);
        if (m <= 0 || defaulted) return std::nullopt;
        return std::string(out, static_cast<size_t>(m));
#else
        if (handle_ == kClosed) return std::nullopt;
        char out[16];
        char* in = const_cast<char*>(character.data());
        size_t in_left = character.size(), out_left = sizeof out;
        char* dest = out;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_, &in, &in_left, &dest, &out_left) == static_cast<size_t>(-1) || in_left) return std::nullopt;
        return std::string(out, sizeof out - out_left);
#endif
    }

private:
    const bool to_utf8_;
#ifndef _WIN32
    static inline const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);
    iconv_t handle_ = kClosed;
#endif
};

}  // namespace

bool IsShiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

size_t ShiftJisLength(std::string_view text, size_t at) {
    const bool pair = at + 1 < text.size() && IsShiftJisLeadByte(static_cast<unsigned char>(text[at])) &&
                      IsSecondByte(static_cast<unsigned char>(text[at + 1]));
    return pair ? 2 : 1;
}

size_t Utf8Length(std::string_view text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) return 1;
    const size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if (!IsContinuation(static_cast<unsigned char>(text[at + k]))) return 0;
    }
    // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

std::string ShiftJisToUtf8(std::string_view text) {
    Converter convert(true);
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t length = ShiftJisLength(text, at);
        const std::string_view character = text.substr(at, length);
        const unsigned char first = static_cast<unsigned char>(character[0]);
        if (first < 0x80) {
            out += character;
        } else if (length == 1 && !IsSingleByteCharacter(first)) {
            out += kReplacement;
        } else {
            out += convert(character).value_or(kReplacement);
        }
        at += length;
    }
    return out;
}

std::u32string ShiftJisToCharacters(std::string_view text) {
    const std::string utf8 = ShiftJisToUtf8(text);
    std::u32string out;
    for (size_t at = 0; at < utf8.size();) {
        // Well-formed by construction: the lead byte's payload, then 6 bits a continuation byte.
        const size_t length = Utf8Length(utf8, at);
        constexpr unsigned char kLeadPayload[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t c = static_cast<unsigned char>(utf8[at]) & kLeadPayload[length];
        for (size_t k = 1; k < length; ++k) c = c << 6 | (static_cast<unsigned char>(utf8[at + k]) & 0x3F);
        out.push_back(c);
        at += length;
    }
    return out;
}

bool Utf8ToShiftJis(std::string_view text, std::string& out, size_t& failed_at) {
    Converter convert(false);
    out.clear();
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8Length(text, at);
        const std::optional<std::string> converted = length ? convert(text.substr(at, length)) : std::nullopt;
        // A single byte that is no character here, whatever the system's converter made of it.
        const bool refused = !converted || (converted->size() == 1 &&
                                            !IsSingleByteCharacter(static_cast<unsigned char>((*converted)[0])));
        if (refused) {
            failed_at = at;
            return false;
        }
        out += *converted;
        at += length;
    }
    return true;
}

}  // namespace kinetra
