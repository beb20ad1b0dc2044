// Script text and the terminal: the plug-ins read Shift-JIS (code page 932), while terminals
// and most editors here speak UTF-8. The conversions are the platform's; what the checker adds
// is telling which of the two a script is in, and how wide it shows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/shift_jis.h"

namespace kinetra::check {

using kinetra::ShiftJisLength;
using kinetra::ShiftJisToUtf8;
using kinetra::Utf8Length;
using kinetra::Utf8ToShiftJis;

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Whether a script's bytes are UTF-8 rather than Shift-JIS: a byte-order mark, or multi-byte
// UTF-8 throughout that Shift-JIS would not explain (Japanese in UTF-8 takes three bytes a
// character; short runs of two-byte sequences read as well as half-width katakana).
bool IsUtf8Text(std::string_view bytes);

// Terminal columns the bytes take: a double-byte or three-byte character two, others one.
size_t ShownWidth(std::string_view text, bool utf8);

}  // namespace kinetra::check
