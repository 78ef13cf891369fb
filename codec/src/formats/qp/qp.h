// Quoted-printable (RFC 2045, 6.7): "=XX" is a byte, "=" at the end of a line joins it to the
// next, trailing blanks are transport padding and dropped. A hard line end becomes "\n".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/line_reader.h"

namespace codec {

// Decodes one line (without its line end) into out, which needs text.size() + 1 bytes.
// hasLineEnd: the line ended with a line break (not the last line of the data). Returns the
// number of bytes written.
size_t DecodeQpLine(std::string_view text, bool hasLineEnd, uint8_t* out);

// The bytes DecodeQpLine writes for the line.
size_t QpLineSize(std::string_view text, bool hasLineEnd);

// The lines of a text sent as quoted-printable as they read once decoded, for the formats that
// find encoded data in text (a gateway re-encoded a uuencoded mail): escapes decoded, lines
// broken softly joined again (up to a bound). The scan and the decoders read them alike.
class QpTextLines {
  public:
    // Takes the next line read; true when a text line is whole in `out` (from the first line
    // of it to past the last; its text is valid until the next call).
    bool Add(const Line& raw, Line& out);
    // The text line the data's end left unfinished, if any.
    bool Finish(Line& out);

  private:
    std::string m_text;
    uint64_t m_offset = 0, m_next = 0;
    bool m_open = false;
};

// The lines of a part found in text, as the scan read them: quoted-printable decoded first (see
// QpTextLines), then HTML unmarked (see UnmarkHtml).
class PartTextLines {
  public:
    PartTextLines(LineReader& reader, bool qpText, bool markup)
        : m_reader(reader), m_qp(qpText), m_markup(markup) {}
    bool Next(Line& out);

  private:
    LineReader& m_reader;
    QpTextLines m_lines;
    std::string m_unmarked;
    bool m_qp, m_markup;
};

}  // namespace codec
