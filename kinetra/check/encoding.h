// Script text and the terminal: the plug-ins read Shift-JIS (code page 932), while terminals
// and most editors here speak UTF-8. Every conversion between the two goes through here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kinetra::check {

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Bytes of the Shift-JIS character at `at`: 2 for a lead byte with its second byte, else 1.
size_t ShiftJisLength(std::string_view text, size_t at);
// Bytes of the well-formed UTF-8 sequence at `at`, or 0 when none starts there.
size_t Utf8Length(std::string_view text, size_t at);

// Shift-JIS as UTF-8; a byte that starts no character is shown as U+FFFD.
std::string ShiftJisToUtf8(std::string_view text);
// UTF-8 as Shift-JIS. False when a character has no Shift-JIS form, or the text is no UTF-8;
// `failed_at` is then that character's byte offset.
bool Utf8ToShiftJis(std::string_view text, std::string& out, size_t& failed_at);

// Whether a script's bytes are UTF-8 rather than Shift-JIS: a byte-order mark, or multi-byte
// UTF-8 throughout that Shift-JIS would not explain (Japanese in UTF-8 takes three bytes a
// character; short runs of two-byte sequences read as well as half-width katakana).
bool IsUtf8Text(std::string_view bytes);

// Terminal columns the bytes take: a double-byte or three-byte character two, others one.
size_t ShownWidth(std::string_view text, bool utf8);

}  // namespace kinetra::check
