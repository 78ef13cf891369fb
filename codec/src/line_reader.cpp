// Line splitting over a reused read() buffer; see line_reader.h.
#include "line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace codec {

LineReader::LineReader(std::vector<char>& buffer) : m_buffer(buffer) {
    if (m_buffer.size() < kBufferSize) m_buffer.resize(kBufferSize);
}

void LineReader::Reset(int fd, uint64_t start, uint64_t end) {
    m_fd = fd;
    m_fileOffset = start;
    m_end = end;
    m_pos = m_fill = 0;
    m_eof = start >= end;
    m_skipping = false;
    m_error = 0;
    m_stopped = false;
}

// Moves the unread tail to the front and reads more after it. False when nothing more came.
bool LineReader::Fill() {
    if (m_eof) return false;
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
    ssize_t got;
    do {
        got = pread(m_fd, m_buffer.data() + m_fill, want, static_cast<off_t>(at));
    } while (got < 0 && errno == EINTR);
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
    if (!m_skipping && m_pos < m_fill) {
        const char* start = m_buffer.data() + m_pos;
        size_t avail = m_fill - m_pos;
        const auto* nl = static_cast<const char*>(std::memchr(start, '\n', avail));
        if (nl && static_cast<size_t>(nl - start) <= kMaxLine) {
            size_t len = static_cast<size_t>(nl - start);
            line.offset = m_fileOffset + m_pos;
            line.overlong = false;
            line.text = std::string_view(start, len && start[len - 1] == '\r' ? len - 1 : len);
            m_pos += len + 1;
            line.next = m_fileOffset + m_pos;
            return true;
        }
    }
    for (;;) {
        const char* base = m_buffer.data();
        size_t avail = m_fill - m_pos;
        const char* start = base + m_pos;
        const char* nl =
            avail ? static_cast<const char*>(std::memchr(start, '\n', avail)) : nullptr;
        if (m_skipping) {
            if (!nl) {
                m_pos = m_fill;
                if (!Fill()) return false;
                continue;
            }
            m_pos = static_cast<size_t>(nl - base) + 1;
            m_skipping = false;
            continue;
        }
        if (nl || (avail > 0 && m_eof) || avail >= kMaxLine) {
            size_t len = nl ? static_cast<size_t>(nl - start) : avail;
            bool overlong = len > kMaxLine || (!nl && !m_eof);
            if (overlong && len > kMaxLine) len = kMaxLine;
            line.offset = m_fileOffset + m_pos;
            line.overlong = overlong;
            size_t textLen = len;
            if (!overlong && textLen > 0 && start[textLen - 1] == '\r') --textLen;
            line.text = std::string_view(start, textLen);
            if (nl && !overlong) {
                m_pos = static_cast<size_t>(nl - base) + 1;
                line.next = m_fileOffset + m_pos;
            } else if (nl) {
                // An overlong line whose end is in the buffer: the view stays valid, the
                // position moves past the whole line.
                m_pos = static_cast<size_t>(nl - base) + 1;
                line.next = m_fileOffset + m_pos;
            } else if (m_eof) {
                m_pos = m_fill;
                line.next = m_fileOffset + m_pos;
            } else {
                // Overlong and its end not yet read: hand out the start, skip the rest. The
                // caller must not rely on line.next here beyond "somewhere after".
                m_pos = m_fill;
                m_skipping = true;
                line.next = m_fileOffset + m_fill;
            }
            return true;
        }
        if (!Fill()) {
            if (m_fill > m_pos) continue;  // the last line has no line ending
            return false;
        }
    }
}

int ReadBlocks(int fd, uint64_t start, uint64_t end, std::vector<char>& buffer,
               const LineReader::FillHook& hook,
               const std::function<void(const char* data, size_t size)>& sink) {
    if (buffer.size() < LineReader::kBufferSize) buffer.resize(LineReader::kBufferSize);
    uint64_t at = start;
    while (at < end) {
        size_t want = buffer.size();
        if (end - at < want) want = static_cast<size_t>(end - at);
        ssize_t got = pread(fd, buffer.data(), want, static_cast<off_t>(at));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        at += static_cast<uint64_t>(got);
        if (hook && !hook(at)) return -1;
        sink(buffer.data(), static_cast<size_t>(got));
    }
    return 0;
}

}  // namespace codec
