// uuencode and xxencode data lines. Both share one framing ("begin", a length character per
// line, "end") and differ only in the alphabet, so one set of functions serves both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/tables.h"

namespace codec {

enum class LineKind { kNotData, kZero, kData };

struct UuLine {
    LineKind kind = LineKind::kNotData;
    int bytes = 0;  // decoded bytes the line carries
};

// Classifies one line (without its line ending). Strict: the length must fit the length
// character (optionally one or two check characters after the data). Lenient, for a full line
// inside a block of uuencode: up to kMaxStrippedBlanks trailing blanks may have been
// stripped by a mail or news system.
UuLine ClassifyUuLine(const SixBitTable& table, std::string_view line, bool lenient);

inline constexpr size_t kMaxStrippedBlanks = 10;

// Decodes a line classified as data with `bytes` bytes into out, which must have room for
// bytes + kUuSlack. Missing trailing characters count as zero.
inline constexpr size_t kUuSlack = 8;
void DecodeUuLine(const SixBitTable& table, std::string_view line, int bytes, uint8_t* out);

// Not data, but shaped like a data line (a valid length character and about the length it
// calls for): a data line damaged in transit rather than a cut mark or a signature.
bool IsDamagedUuLine(const SixBitTable& table, std::string_view line);

// A full-length line as in the middle of a posting: "M" + 60 (uu) or "h" + 60 (xx), which
// is how a part without a begin line is recognised.
bool IsFullUuLine(const SixBitTable& table, std::string_view line);

// The run of full lines at the start of data, each exactly `stride` bytes (61 characters and
// "\n" or "\r\n"): the common body of a posting, which the scan and the decode take in bulk
// instead of line by line. Returns the number of such lines.
size_t RunOfFullLines(const SixBitTable& table, std::string_view data, size_t stride);

// The stride of a full line handed out by the line reader, or 0 when the line is not one.
size_t FullLineStride(const SixBitTable& table, std::string_view text, size_t lineBytes);

// "end", allowing trailing blanks.
bool IsEndLine(std::string_view line);

// Parses "begin <mode> <name>" (mode: octal digits). Sets mode and name (may be empty).
bool ParseBeginLine(std::string_view line, std::string_view keyword, int& mode,
                    std::string_view& name);

}  // namespace codec
