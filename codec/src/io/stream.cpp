// A stream read as an input; see stream.h.
#include "io/stream.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/source.h"

namespace codec {

namespace {

int WriteAllAt(int fd, const char* data, size_t size, uint64_t offset) {
    while (size > 0) {
        ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return 0;
}

// A file without a name in dir, for reading and writing: O_TMPFILE where the file system has
// it, else a new name removed as soon as it is made.
int CreateUnnamed(const std::string& dir, Fd& fd) {
    fd.Reset(open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.get() >= 0) return 0;
    std::string name = dir + "/.tamsel-stream-XXXXXX";
    fd.Reset(mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) return errno;
    unlink(name.c_str());
    return 0;
}

}  // namespace

Spool::Spool(int fd, std::string dir, GoOn goOn)
    : m_stream(fd), m_dir(std::move(dir)), m_goOn(std::move(goOn)) {}

void Spool::Finish() {
    m_done = true;
    m_goOn = nullptr;
}

int Spool::Spill() {
    if (int err = CreateUnnamed(m_dir, m_file); err != 0) return err;
    if (int err = WriteAllAt(m_file.get(), m_memory.data(), m_size, 0); err != 0) return err;
    std::vector<char>().swap(m_memory);
    return 0;
}

bool Spool::Pull() {
    if (m_file.get() < 0 && m_size + kChunk > kStreamMemory) {
        if (int err = Spill(); err != 0) {
            m_error = m_keepError = err;
            return false;
        }
    }
    char* into;
    if (m_file.get() < 0) {
        m_memory.resize(m_size + kChunk);
        into = m_memory.data() + m_size;
    } else {
        m_chunk.resize(kChunk);
        into = m_chunk.data();
    }
    ssize_t n;
    for (;;) {
        n = read(m_stream, into, kChunk);
        if (n >= 0) break;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A stream left non-blocking by whoever opened it: wait for it here.
            pollfd p{m_stream, POLLIN, 0};
            if (poll(&p, 1, -1) >= 0) continue;
        }
        if (errno != EINTR) {
            m_error = errno;
            break;
        }
        if (m_goOn && !m_goOn()) {
            m_error = ECANCELED;
            break;
        }
    }
    if (m_file.get() < 0) m_memory.resize(m_size + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n <= 0) {
        if (n == 0) m_done = true;
        return false;
    }
    if (m_file.get() >= 0) {
        if (int err = WriteAllAt(m_file.get(), into, static_cast<size_t>(n), m_size); err != 0) {
            m_error = m_keepError = err;
            return false;
        }
    }
    m_size += static_cast<uint64_t>(n);
    return true;
}

ssize_t Spool::ReadAt(char* buffer, size_t size, uint64_t offset) {
    while (!m_done && m_error == 0 && offset + size > m_size)
        Pull();
    if (offset >= m_size) {
        if (m_error == 0) return 0;
        errno = m_error;
        return -1;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(size, m_size - offset));
    if (m_file.get() >= 0) return codec::ReadAt(m_file.get(), buffer, n, offset);
    std::memcpy(buffer, m_memory.data() + offset, n);
    return static_cast<ssize_t>(n);
}

}  // namespace codec
