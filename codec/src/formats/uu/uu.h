// uuencode and xxencode data lines. Both share one framing ("begin", a length character per
// line, "end") and differ only in the alphabet, so one set of functions serves both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/tables.h"

namespace codec {

// kShort: shorter than its length character asks for, which a line of uuencode inside a
// block is when a mail or news system stripped its trailing blanks (zeros, as old encoders
// wrote them); whether it is data, what follows it says (ShortLineHold).
enum class LineKind { kNotData, kZero, kData, kShort };

struct UuLine {
    LineKind kind = LineKind::kNotData;
    int bytes = 0;  // decoded bytes the line carries
};

// Classifies one line (without its line ending). Strict: the length must fit the length
// character (optionally one or two check characters after the data). Lenient, for a line
// inside a block of uuencode, whose trailing blanks may have been stripped: a full line
// (45 bytes) is data however short; a shorter line cut short is kShort.
UuLine ClassifyUuLine(const SixBitTable& table, std::string_view line, bool lenient);

// Whether a kShort line is data, decided alike by the scan and the decoder from the lines
// after it: it is when the terminator or "end" follows (blank lines between or not), or,
// right after it, a data line or another short line of the same length. A line of dashes
// before a signature is not.
class ShortLineHold {
  public:
    void Reset() { m_held = false; }
    bool Held() const { return m_held; }
    // A kShort line, whose length character is `length`.
    void Hold(char length) {
        m_held = true;
        m_gap = false;
        m_length = length;
    }
    // A blank line after the held one.
    void Blank() { m_gap = true; }
    // The next line that is not blank: its kind and first character, or `end` for "end".
    // Returns whether the held line is data; it is held no longer.
    bool Counts(LineKind kind, bool end, char first) {
        bool counts = m_held && (end || kind == LineKind::kZero ||
                                 (!m_gap && (kind == LineKind::kData ||
                                             (kind == LineKind::kShort && first == m_length))));
        m_held = false;
        return counts;
    }

  private:
    bool m_held = false;
    bool m_gap = false;
    char m_length = 0;
};

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
// The same, at most maxLines, from avail bytes at p, decoded into out (45 bytes a line and
// four of slack) when it is given: UuFullLines or XxFullLines, by the table.
size_t FullLines(const SixBitTable& table, const unsigned char* p, size_t avail, size_t stride,
                 size_t maxLines, uint8_t* out);

// The stride of a full line handed out by the line reader, or 0 when the line is not one.
size_t FullLineStride(const SixBitTable& table, std::string_view text, size_t lineBytes);

// "end", allowing trailing blanks.
bool IsEndLine(std::string_view line);

// Parses "begin <mode> <name>" (mode: octal digits). Sets mode and name (may be empty).
bool ParseBeginLine(std::string_view line, std::string_view keyword, int& mode,
                    std::string_view& name);

}  // namespace codec
