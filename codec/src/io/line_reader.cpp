// Line splitting over a reused read() buffer; see line_reader.h.
#include "io/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace codec {

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
    m_dotStuffed = input.transform == Transform::kDotStuffed;
    m_eol = input.transform == Transform::kCrLines ? '\r' : '\n';
    m_dotLine = SIZE_MAX;
}

void LineReader::Unstuff(Line& line) {
    if (line.text.size() == 1)
        line.articleEnd = true;
    else
        line.text.remove_prefix(1);
}

size_t LineReader::DotLineFrom(size_t pos) {
    if (m_dotLine != SIZE_MAX && m_dotLine >= pos) return m_dotLine;
    std::string_view rest(m_buffer.data() + pos, m_fill - pos);
    if (!rest.empty() && rest[0] == '.') return m_dotLine = pos;
    size_t at = rest.find("\n.");
    return m_dotLine = at == std::string_view::npos ? m_fill : pos + at + 1;
}

// Moves the unread tail to the front and reads more after it. False when nothing more came.
bool LineReader::Fill() {
    if (m_eof) return false;
    m_dotLine = SIZE_MAX;
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
            line.articleEnd = false;
            line.text = std::string_view(start, len && start[len - 1] == '\r' ? len - 1 : len);
            if (m_dotStuffed && len && *start == '.') Unstuff(line);
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
        line.articleEnd = false;
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
        if (m_dotStuffed && atLineStart && !line.text.empty() && line.text[0] == '.') Unstuff(line);
        return true;
    }
}

namespace {

// Drops the "." that dot-stuffing put before each line that begins with one, in place;
// atLineStart carries over from block to block. Returns the bytes left.
size_t UnstuffBlock(char* data, size_t size, bool& atLineStart) {
    size_t out = 0;
    for (size_t i = 0; i < size;) {
        if (atLineStart && data[i] == '.') ++i;  // the stuffed "."
        atLineStart = false;
        const auto* nl = static_cast<const char*>(std::memchr(data + i, '\n', size - i));
        size_t end = nl ? static_cast<size_t>(nl - data) + 1 : size;
        if (out != i) std::memmove(data + out, data + i, end - i);
        out += end - i;
        i = end;
        atLineStart = nl != nullptr;
    }
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
        if (input.transform == Transform::kDotStuffed)
            n = UnstuffBlock(buffer.data(), n, atLineStart);
        sink(buffer.data(), n);
    }
    return 0;
}

}  // namespace codec
