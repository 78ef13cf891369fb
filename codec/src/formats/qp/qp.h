// Quoted-printable (RFC 2045, 6.7): "=XX" is a byte, "=" at the end of a line joins it to the
// next, trailing blanks are transport padding and dropped. A hard line end becomes "\n".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace codec {

// Decodes one line (without its line end) into out, which needs text.size() + 1 bytes.
// hasLineEnd: the line ended with a line break (not the last line of the data). Returns the
// number of bytes written.
size_t DecodeQpLine(std::string_view text, bool hasLineEnd, uint8_t* out);

// The bytes DecodeQpLine writes for the line.
size_t QpLineSize(std::string_view text, bool hasLineEnd);

}  // namespace codec
