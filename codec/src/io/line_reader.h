// The transport under every format: reads a byte range of an input as lines (LF or CRLF, any
// mix, or CR for Mac text; line ends are undone here and nowhere else) through one reused buffer,
// and undoes the input's transform (see Transform) on the way. Lines are handed out as views into
// that buffer, valid until the next call; nothing is copied per line. A line longer than kMaxLine
// is handed out in pieces of at most kMaxLine bytes, each flagged overlong, so that it never makes
// the buffer grow; most readers ignore such pieces, yEnc decodes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "io/source.h"

namespace codec {

struct Line {
    std::string_view text;    // without the line ending
    uint64_t offset = 0;      // of the first byte of the line in the file
    uint64_t next = 0;        // offset just past the line ending
    bool overlong = false;    // a piece of a line longer than kMaxLine
    bool articleEnd = false;  // the lone "." that ends an article of a dot-stuffed input
    bool unquoted = false;    // a ">" the mbox writer put before it went: body text, not framing

    // The bytes from this line's start to the next one's, where its break is LF or CRLF: the
    // breaks over which runs of lines alike are taken in bulk, so a format asks for this
    // rather than measuring breaks itself. 0 for a line without such a break (the last line,
    // a piece of an overlong one).
    size_t Stride() const {
        size_t bytes = static_cast<size_t>(next - offset);
        size_t brk = bytes - text.size();
        return !overlong && (brk == 1 || brk == 2) ? bytes : 0;
    }
};

class LineReader {
  public:
    static constexpr size_t kMaxLine = 64 * 1024;
    static constexpr size_t kBufferSize = 512 * 1024;

    // Called after every read with the offset reached; returning false stops the reader (the
    // caller is cancelling).
    using FillHook = std::function<bool(uint64_t offset)>;

    explicit LineReader(std::vector<char>& buffer);

    // Reads [start, end) of the input; end may be UINT64_MAX for "to the end". start is the
    // start of a line.
    void Reset(Input& input, uint64_t start, uint64_t end);
    void SetFillHook(FillHook hook) { m_hook = std::move(hook); }
    // Reset and SetFillHook in one: how a decoder reads a part's span.
    void Reset(Input& input, uint64_t start, uint64_t end, FillHook hook) {
        Reset(input, start, end);
        SetFillHook(std::move(hook));
    }
    // How the reading ended: 0, an errno value, or -1 when the fill hook stopped it.
    int Result() const { return m_stopped ? -1 : m_error; }

    // False at the end of the range, on a read error (error() is then the errno) or when the
    // fill hook stopped the reader (stopped() is then true).
    bool Next(Line& line);

    // The bytes already read past the last line handed out (never past the end of the range,
    // nor into a line the transform changes), and their file offset: a caller may consume
    // whole lines from here itself (Consume) without a call per line. fixedStart: the caller
    // takes only lines that begin with a byte no transform changes (a full uu line's "M", the
    // Base64 and BinHex alphabets), so the transform's lines need not be looked for.
    std::string_view Pending(bool fixedStart = false) {
        if (m_midLine) return std::string_view();
        size_t end = m_mark && !fixedStart ? MarkedLineFrom(m_pos) : m_fill;
        return std::string_view(m_buffer.data() + m_pos, end - m_pos);
    }
    uint64_t PendingOffset() const { return m_fileOffset + m_pos; }
    void Consume(size_t n) { m_pos += n; }

    int error() const { return m_error; }
    bool stopped() const { return m_stopped; }

  private:
    bool Fill();
    // Undoes the transform on a line that begins with m_mark.
    void Undo(Line& line) const;
    // The buffer position of the first line from pos (a line start) that the transform may
    // change, or m_fill.
    size_t MarkedLineFrom(size_t pos);

    std::vector<char>& m_buffer;
    FillHook m_hook;
    Input* m_input = nullptr;
    uint64_t m_fileOffset = 0;  // file offset of m_buffer[0]
    uint64_t m_end = 0;
    size_t m_pos = 0;
    size_t m_fill = 0;
    bool m_eof = false;
    bool m_midLine = false;  // the last piece handed out was not the end of its line
    int m_error = 0;
    bool m_stopped = false;
    char m_mark = 0;    // the first byte of the lines the transform changes ('.', '>'), or 0
    char m_eol = '\n';  // what ends a line: LF (after which a CR before it goes too), or CR
    size_t m_markedLine = SIZE_MAX;  // MarkedLineFrom's last answer, until the buffer moves
};

// Reads [start, end) of the input (start: the start of a line) in blocks through the buffer,
// calling sink for each block with the input's transform undone. Returns 0, an errno value,
// or -1 when the fill hook stopped it.
int ReadBlocks(Input& input, uint64_t start, uint64_t end, std::vector<char>& buffer,
               const LineReader::FillHook& hook,
               const std::function<void(const char* data, size_t size)>& sink);

}  // namespace codec
