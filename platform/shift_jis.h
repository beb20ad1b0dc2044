// Shift-JIS (code page 932), the text of the editor and its scripts, and UTF-8, which terminals,
// font libraries and most editors here speak. Every conversion between the two goes through the
// system's converter here (iconv; the code-page functions on Windows), one character at a time,
// so that a byte that is no character costs that character and no more.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kinetra {

// The first byte of a double-byte Shift-JIS character; the byte after it may be 0x5C.
bool IsShiftJisLeadByte(unsigned char c);

// Bytes of the Shift-JIS character at `at`: 2 for a lead byte with its second byte, else 1.
size_t ShiftJisLength(std::string_view text, size_t at);
// Bytes of the well-formed UTF-8 sequence at `at`, or 0 when none starts there.
size_t Utf8Length(std::string_view text, size_t at);

// Shift-JIS as UTF-8; a character with no UTF-8 form, or a byte that starts none, is U+FFFD.
std::string ShiftJisToUtf8(std::string_view text);
// Shift-JIS as the characters it holds, by the rule of ShiftJisToUtf8.
std::u32string ShiftJisToCharacters(std::string_view text);
// UTF-8 as Shift-JIS. False when a character has no Shift-JIS form, or the text is no UTF-8;
// `failed_at` is then that character's byte offset.
bool Utf8ToShiftJis(std::string_view text, std::string& out, size_t& failed_at);

}  // namespace kinetra
