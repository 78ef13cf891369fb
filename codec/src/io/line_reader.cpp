// Line splitting over a reused read() buffer; see line_reader.h.
#include "io/line_reader.h"

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace codec {

namespace {

// The first byte of every line a transform may change, or 0.
char MarkOf(Transform transform) {
    switch (transform.quoting) {
        case Quoting::kDotStuffed:
            return '.';
        case Quoting::kMboxFrom:
            return '>';
        case Quoting::kNone:
            break;
    }
    return 0;
}

// The first p in [at, size), at >= 1, with data[p - 1] == a and data[p] == b, or size.
size_t FindPair(const char* data, size_t size, size_t at, char a, char b) {
    size_t p = at;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
    for (; p + 16 <= size; p += 16) {
        __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p - 1));
        __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        int hits =
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(before, va), _mm_cmpeq_epi8(here, vb)));
        if (hits) return p + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
    }
#endif
    for (; p < size; ++p)
        if (data[p - 1] == a && data[p] == b) return p;
    return size;
}

// The first position from `from` (a line's start when `from` is 0 and atStart, or when the
// byte before it is a line end) in data[0, size) where a line the transform changes starts, or
// size. A quoted "From " cut by the end of the data is not found.
size_t MarkedLineStart(const char* data, size_t size, size_t from, char mark, char eol,
                       bool atStart) {
    auto changes = [&](size_t pos) {
        return mark == '.' || IsQuotedFromLine(std::string_view(
                                  data + pos, std::min(size - pos, kMaxFromQuotes + 6)));
    };
    if (from < size && data[from] == mark && (from == 0 ? atStart : data[from - 1] == eol) &&
        changes(from))
        return from;
    for (size_t at = from + 1; at < size; ++at) {
        at = FindPair(data, size, at, eol, mark);
        if (at == size || changes(at)) return at;
    }
    return size;
}

}  // namespace

LineReader::LineReader(std::vector<char>& buffer) : m_buffer(buffer) {
    if (m_buffer.size() < kBufferSize) m_buffer.resize(kBufferSize);
}

void LineReader::Reset(Input& input, uint64_t start, uint64_t end) {
    m_input = &input;
    m_fileOffset = start;
    m_end = end;
    m_pos = m_fill = 0;
    m_eof = start >= end;
    m_midLine = false;
    m_error = 0;
    m_stopped = false;
    m_mark = MarkOf(input.transform);
    m_eol = input.transform.LineEnd();
    m_markedLine = SIZE_MAX;
}

void LineReader::Undo(Line& line) const {
    if (m_mark == '>') {
        if (IsQuotedFromLine(line.text)) {
            line.text.remove_prefix(1);
            line.unquoted = true;
        }
    } else if (line.text.size() == 1) {
        line.articleEnd = true;
    } else {
        line.text.remove_prefix(1);
    }
}

size_t LineReader::MarkedLineFrom(size_t pos) {
    if (m_markedLine == SIZE_MAX || m_markedLine < pos)
        m_markedLine = MarkedLineStart(m_buffer.data(), m_fill, pos, m_mark, m_eol, pos == 0);
    return m_markedLine;
}

// Moves the unread tail to the front and reads more after it. False when nothing more came.
bool LineReader::Fill() {
    if (m_eof) return false;
    m_markedLine = SIZE_MAX;
    if (m_pos > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_fill - m_pos);
        m_fileOffset += m_pos;
        m_fill -= m_pos;
        m_pos = 0;
    }
    uint64_t at = m_fileOffset + m_fill;
    size_t want = m_buffer.size() - m_fill;
    if (m_end - at < want) want = static_cast<size_t>(m_end - at);
    if (want == 0) {
        m_eof = true;
        return false;
    }
    ssize_t got = m_input->ReadAt(m_buffer.data() + m_fill, want, at);
    if (got < 0) {
        m_error = errno;
        m_eof = true;
        return false;
    }
    if (got == 0) {
        m_eof = true;
        return false;
    }
    m_fill += static_cast<size_t>(got);
    if (m_hook && !m_hook(at + static_cast<uint64_t>(got))) {
        m_stopped = true;
        m_eof = true;
        m_fill = m_pos;  // hand out nothing more
        return false;
    }
    return true;
}

bool LineReader::Next(Line& line) {
    // The common case first: a whole, ordinary line in the buffer.
    if (!m_midLine && m_pos < m_fill) {
        const char* start = m_buffer.data() + m_pos;
        size_t avail = m_fill - m_pos;
        const auto* nl = static_cast<const char*>(std::memchr(start, m_eol, avail));
        if (nl && static_cast<size_t>(nl - start) <= kMaxLine) {
            size_t len = static_cast<size_t>(nl - start);
            line.offset = m_fileOffset + m_pos;
            line.overlong = false;
            line.articleEnd = line.unquoted = false;
            line.text = std::string_view(start, len && start[len - 1] == '\r' ? len - 1 : len);
            if (m_mark && len && *start == m_mark) Undo(line);
            m_pos += len + 1;
            line.next = m_fileOffset + m_pos;
            return true;
        }
    }
    for (;;) {
        const char* start = m_buffer.data() + m_pos;
        size_t avail = m_fill - m_pos;
        size_t look = avail < kMaxLine + 1 ? avail : kMaxLine + 1;
        const auto* nl = look ? static_cast<const char*>(std::memchr(start, m_eol, look)) : nullptr;
        line.offset = m_fileOffset + m_pos;
        line.articleEnd = line.unquoted = false;
        bool atLineStart = !m_midLine;
        if (nl) {
            // The end of a line (or of the last piece of an overlong one).
            size_t len = static_cast<size_t>(nl - start);
            line.overlong = m_midLine;
            line.text = std::string_view(start, len && start[len - 1] == '\r' ? len - 1 : len);
            m_midLine = false;
            m_pos += len + 1;
        } else if (avail >= kMaxLine) {
            // A piece of an overlong line; more pieces follow.
            line.overlong = true;
            line.text = std::string_view(start, kMaxLine);
            m_midLine = true;
            m_pos += kMaxLine;
        } else if (m_eof) {
            if (avail == 0) return false;
            // The last line has no line ending.
            line.overlong = m_midLine;
            line.text = std::string_view(start, avail);
            m_midLine = false;
            m_pos = m_fill;
        } else {
            Fill();
            continue;
        }
        line.next = m_fileOffset + m_pos;
        if (m_mark && atLineStart && !line.text.empty() && line.text[0] == m_mark) Undo(line);
        return true;
    }
}

namespace {

// Undoes the transform whose lines begin with `mark` on a block, in place; atLineStart carries
// over from block to block. A quoted line's start too near the block's end to be told (more
// follows: !last) is held back for the next block: `held` bytes. Returns the bytes left.
size_t UndoBlock(char* data, size_t size, char mark, char eol, bool last, bool& atLineStart,
                 size_t& held) {
    held = 0;
    if (mark == '>' && !last) {
        // The block's last line, when it may be a quoted "From " not yet whole.
        const auto* nl = static_cast<const char*>(memrchr(data, eol, size));
        size_t tail = nl ? static_cast<size_t>(nl - data) + 1 : 0;
        if ((nl || atLineStart) && tail < size && data[tail] == '>' &&
            size - tail < kMaxFromQuotes + 6) {
            held = size - tail;
            size = tail;
        }
    }
    size_t out = 0;
    for (size_t i = 0; i < size;) {
        // Every line found is one the transform changes: its mark goes.
        size_t at = MarkedLineStart(data, size, i, mark, eol, atLineStart && i == 0);
        if (out != i) std::memmove(data + out, data + i, at - i);
        out += at - i;
        i = at + 1;
    }
    if (held)
        atLineStart = true;
    else if (size > 0)
        atLineStart = data[size - 1] == eol;
    return out;
}

}  // namespace

int ReadBlocks(Input& input, uint64_t start, uint64_t end, std::vector<char>& buffer,
               const LineReader::FillHook& hook,
               const std::function<void(const char* data, size_t size)>& sink) {
    if (buffer.size() < LineReader::kBufferSize) buffer.resize(LineReader::kBufferSize);
    uint64_t at = start;
    bool atLineStart = true;
    while (at < end) {
        size_t want = buffer.size();
        if (end - at < want) want = static_cast<size_t>(end - at);
        ssize_t got = input.ReadAt(buffer.data(), want, at);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        at += static_cast<uint64_t>(got);
        if (hook && !hook(at)) return -1;
        size_t n = static_cast<size_t>(got);
        if (char mark = MarkOf(input.transform)) {
            size_t held = 0;
            // A short read is the end of the file (or of a joined piece).
            bool last = at >= end || n < want;
            n = UndoBlock(buffer.data(), n, mark, input.transform.crLines ? '\r' : '\n', last,
                          atLineStart, held);
            at -= held;
        }
        sink(buffer.data(), n);
    }
    return 0;
}

}  // namespace codec
