// Writing yEnc 1.3 data lines. Every byte is written plus 42; a result that would break the
// transport is escaped: '=' and the byte plus 64 more. Always NUL, LF, CR and '=' itself; at
// the start of a line also TAB, space and '.' (a news server would take a leading "." for
// its own, and some transports strip leading blanks); at its end TAB and space (stripped by
// many transports).
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

// The line length a yEnc encoder announces (line=) and keeps to.
inline constexpr size_t kYencLine = 128;
// The most characters EncodeYencLine writes: a line of escapes.
inline constexpr size_t kYencMaxLine = 2 * kYencLine + 2;

// Encodes bytes from in[0, size) into one line at out (room for kYencMaxLine), until the line
// holds kYencLine characters (one more when the last is an escape) or the bytes run out.
// Returns the characters written; consumed gets the bytes taken.
size_t EncodeYencLine(const uint8_t* in, size_t size, char* out, size_t& consumed);

}  // namespace codec
