#include "kinetra/check/encoding.h"

namespace kinetra::check {

bool IsUtf8Text(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) return true;
    bool long_sequence = false, multi_byte = false;
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = Utf8Length(bytes, at);
        if (length == 0) return false;
        multi_byte |= length > 1;
        long_sequence |= length > 2;
        at += length;
    }
    if (!multi_byte) return false;  // ASCII reads the same either way
    if (long_sequence) return true;
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = ShiftJisLength(bytes, at);
        const unsigned char c = static_cast<unsigned char>(bytes[at]);
        if (length == 1 && c >= 0x80 && !(c >= 0xA1 && c <= 0xDF)) return true;  // no Shift-JIS
        at += length;
    }
    return false;
}

size_t ShownWidth(std::string_view text, bool utf8) {
    size_t width = 0;
    for (size_t at = 0; at < text.size();) {
        size_t length = utf8 ? Utf8Length(text, at) : ShiftJisLength(text, at);
        if (length == 0) length = 1;
        width += length >= 2 && !(utf8 && length == 2) ? 2 : 1;
        at += length;
    }
    return width;
}

}  // namespace kinetra::check
