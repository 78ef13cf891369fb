// Atomic output files; see output_file.h.
#include "output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace codec {

namespace {

constexpr size_t kOutBuffer = 256 * 1024;

int WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (w == 0) return EIO;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

}  // namespace

OutputFile::OutputFile(std::vector<uint8_t>& buffer, bool unnamed)
    : m_buffer(buffer), m_allowUnnamed(unnamed) {
    if (m_buffer.size() < kOutBuffer) m_buffer.resize(kOutBuffer);
}

OutputFile::~OutputFile() {
    Abort();
}

// Gives the file a temporary name in the directory: a new name each try, O_EXCL (or link's
// own refusal) settles collisions. Returns 0 or an errno value.
int OutputFile::NameTemporary(const std::function<int(const char*)>& create) {
    auto seed =
        static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        reinterpret_cast<uintptr_t>(this);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        snprintf(name, sizeof name, ".tamsel-%d-%lx-%u.part", static_cast<int>(getpid()),
                 seed & 0xFFFFFFFFul, attempt);
        if (create(name) == 0) {
            m_tempName = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

bool OutputFile::CanLinkUnnamed() {
    struct stat st;
    return stat("/proc/self/fd", &st) == 0;
}

int OutputFile::Create(int dirFd, const std::string& finalName) {
    m_dirFd = dirFd;
    m_finalName = finalName;
    m_fill = 0;
    m_written = 0;
    m_error = 0;
    // Preferably a file without a name (O_TMPFILE), linked in when complete: one change to the
    // directory instead of two, and nothing left behind even if the process dies. It needs
    // /proc to be linked by an unprivileged process (the caller knows whether there is one).
    if (m_allowUnnamed) {
        int fd = openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_unnamed = true;
            return 0;
        }
    }
    m_unnamed = false;
    return NameTemporary([&](const char* name) {
        int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return -1;
        m_fd = fd;
        return 0;
    });
}

void OutputFile::Preallocate(uint64_t size) {
    if (size >= (1u << 20) &&
        fallocate(m_fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        m_preallocated = size;
}

void OutputFile::Flush() {
    if (m_fill == 0) return;
    if (m_error == 0) m_error = WriteAll(m_fd, m_buffer.data(), m_fill);
    m_written += m_fill;
    m_fill = 0;
}

void OutputFile::Write(const uint8_t* data, size_t size) {
    if (size >= m_buffer.size() / 2) {
        Flush();
        if (m_error == 0) m_error = WriteAll(m_fd, data, size);
        m_written += size;
        return;
    }
    if (m_buffer.size() - m_fill < size) Flush();
    std::memcpy(m_buffer.data() + m_fill, data, size);
    m_fill += size;
}

uint8_t* OutputFile::Reserve(size_t need) {
    if (m_buffer.size() - m_fill < need) Flush();
    if (m_buffer.size() < need) m_buffer.resize(need);
    return m_buffer.data() + m_fill;
}

int OutputFile::Commit(bool overwrite, unsigned mode) {
    Flush();
    int err = m_error;
    if (err == 0 && m_preallocated > m_written &&
        ftruncate(m_fd, static_cast<off_t>(m_written)) != 0)  // frees what was not used
        err = errno;
    if (err == 0 && fchmod(m_fd, mode & 0777) != 0) err = errno;
    if (err == 0 && m_unnamed) {
        char path[64];
        snprintf(path, sizeof path, "/proc/self/fd/%d", m_fd);
        if (linkat(AT_FDCWD, path, m_dirFd, m_finalName.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            close(m_fd);
            m_fd = -1;
            return 0;
        }
        err = errno;
        if (err != EEXIST || !overwrite) {
            Abort();
            return err;
        }
        // Replacing what is there: a name of its own first, then rename over the target.
        err = NameTemporary([&](const char* name) {
            return linkat(AT_FDCWD, path, m_dirFd, name, AT_SYMLINK_FOLLOW);
        });
    }
    if (close(m_fd) != 0 && err == 0) err = errno;
    m_fd = -1;
    if (err == 0) err = Publish(overwrite);
    Abort();
    return err;
}

int OutputFile::Close(unsigned mode) {
    Flush();
    int err = m_error;
    if (err == 0 && fchmod(m_fd, mode & 0777) != 0) err = errno;
    if (close(m_fd) != 0 && err == 0) err = errno;
    m_fd = -1;
    return err;
}

int OutputFile::Publish(bool overwrite) {
    int err = 0;
    if (overwrite) {
        // rename() replaces the directory entry itself: a symlink there is replaced, never
        // followed.
        if (renameat(m_dirFd, m_tempName.c_str(), m_dirFd, m_finalName.c_str()) != 0) err = errno;
    } else if (renameat2(m_dirFd, m_tempName.c_str(), m_dirFd, m_finalName.c_str(),
                         RENAME_NOREPLACE) != 0) {
        err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // No RENAME_NOREPLACE here: link() refuses an existing target just as well.
            err = linkat(m_dirFd, m_tempName.c_str(), m_dirFd, m_finalName.c_str(), 0) == 0 ? 0
                                                                                            : errno;
            if (err == 0) unlinkat(m_dirFd, m_tempName.c_str(), 0);
        }
    }
    if (err == 0) m_tempName.clear();
    return err;
}

void OutputFile::Abort() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.empty()) {
        unlinkat(m_dirFd, m_tempName.c_str(), 0);
        m_tempName.clear();
    }
    m_fill = 0;
}

}  // namespace codec
