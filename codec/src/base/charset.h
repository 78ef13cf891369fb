// Text in a named charset to UTF-8 through iconv(3), and UTF-8 checks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace codec {

// Appends bytes, read in charset, to out as UTF-8 and returns true; returns false with out
// untouched when iconv does not know the charset. Names are matched as iconv matches them
// (any case); a "x-" prefix iconv does not know is tried without it, and a few labels of mail
// programs are read as the charset they stand for (ks_c_5601-1987 as CP949, gb2312 as its
// superset GBK). A run of bytes that does not convert (an invalid sequence, a multibyte
// character cut at the end) becomes one U+FFFD and the conversion goes on after it.
// Descriptors are kept open per thread, a few charsets at a time.
bool IconvToUtf8(std::string_view bytes, std::string_view charset, std::string& out);

// Strictly valid UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool IsValidUtf8(std::string_view s);

// s with each run of bytes that is not valid UTF-8 replaced by one U+FFFD, and each control
// character (U+0000-U+001F, U+007F, U+0080-U+009F) by U+FFFD too.
std::string CleanUtf8(std::string_view s);

void AppendUtf8(std::string& out, uint32_t cp);

inline constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

}  // namespace codec
