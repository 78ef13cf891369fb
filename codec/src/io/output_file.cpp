// Atomic output files; see output_file.h.
#include "io/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace codec {

namespace {

// Each buffer handed to the writer thread costs a wake-up on either side, which a virtual
// machine makes dear; two of these still stay in a core's cache, four-megabyte ones did not.
constexpr size_t kOutBuffer = 512 * 1024;

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

class OutputFile::Writer {
  public:
    explicit Writer(int fd) : m_fd(fd), m_thread([this] { Run(); }) {}
    ~Writer() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_work.notify_one();
        m_thread.join();  // after the buffer handed over last is written
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Takes buffer[0, size) once the previous buffer is written; the caller gets that one back
    // (as large) in its place.
    void Submit(std::vector<uint8_t>& buffer, size_t size) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_pending; });
        m_data.swap(buffer);
        if (buffer.size() < m_data.size()) buffer.resize(m_data.size());
        m_size = size;
        m_pending = true;
        m_work.notify_one();
    }

    // Waits until everything handed over is written; returns the first error, or 0.
    int Drain() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_pending; });
        return m_error;
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [this] { return m_pending || m_quit; });
            if (!m_pending) return;
            bool failed = m_error != 0;
            lock.unlock();
            int err = failed ? 0 : WriteAll(m_fd, m_data.data(), m_size);
            lock.lock();
            if (m_error == 0) m_error = err;
            m_pending = false;
            m_idle.notify_all();
        }
    }

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_work, m_idle;
    std::vector<uint8_t> m_data;  // being written
    size_t m_size = 0;
    bool m_pending = false;
    bool m_quit = false;
    int m_error = 0;
    std::thread m_thread;  // last: starts once everything above is set up
};

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

int OutputFile::LinkUnnamed(const char* name) {
    // By the descriptor itself where the kernel lets its opener do that (Linux 6.10 on, or
    // with CAP_DAC_READ_SEARCH); else through /proc. Once refused, /proc from then on.
    static std::atomic<bool> byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (linkat(m_fd, "", m_dirFd, name, AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) return -1;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", m_fd);
    return linkat(AT_FDCWD, path, m_dirFd, name, AT_SYMLINK_FOLLOW);
}

bool OutputFile::CanLinkUnnamed() {
    struct stat st;
    return stat("/proc/self/fd", &st) == 0;
}

int OutputFile::Create(int dirFd, const std::string& finalName, unsigned mode) {
    m_dirFd = dirFd;
    m_finalName = finalName;
    m_fill = 0;
    m_written = 0;
    m_error = 0;
    // Preferably a file without a name (O_TMPFILE), linked in when complete: one change to the
    // directory instead of two, and nothing left behind even if the process dies. It needs
    // /proc to be linked by an unprivileged process (the caller knows whether there is one).
    if (m_allowUnnamed) {
        int fd = openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode & 0777);
        if (fd >= 0) {
            m_fd = fd;
            m_unnamed = true;
            m_mode = mode & 0777;
            return 0;
        }
    }
    m_unnamed = false;
    m_mode = 0600;
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
    if (!m_writer && m_error == 0 && m_written >= kWriterAfter) {
        try {
            m_writer = std::make_unique<Writer>(m_fd);
        } catch (const std::system_error&) {
            // No thread to be had: written here, as a small file is.
        }
    }
    if (m_writer)
        m_writer->Submit(m_buffer, m_fill);
    else if (m_error == 0)
        m_error = WriteAll(m_fd, m_buffer.data(), m_fill);
    m_written += m_fill;
    m_fill = 0;
}

void OutputFile::Settle() {
    if (!m_writer) return;
    int err = m_writer->Drain();
    m_writer.reset();
    if (m_error == 0) m_error = err;
}

void OutputFile::Write(const uint8_t* data, size_t size) {
    if (size >= m_buffer.size() / 2) {
        Flush();
        Settle();
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
    Settle();
    int err = m_error;
    if (err == 0 && m_preallocated > m_written &&
        ftruncate(m_fd, static_cast<off_t>(m_written)) != 0)  // frees what was not used
        err = errno;
    if (err == 0 && (mode & 0777) != m_mode && fchmod(m_fd, mode & 0777) != 0) err = errno;
    if (err == 0 && m_unnamed) {
        if (LinkUnnamed(m_finalName.c_str()) == 0) {
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
        err = NameTemporary([&](const char* name) { return LinkUnnamed(name); });
    }
    if (close(m_fd) != 0 && err == 0) err = errno;
    m_fd = -1;
    if (err == 0) err = Publish(overwrite);
    Abort();
    return err;
}

int OutputFile::Close(unsigned mode) {
    Flush();
    Settle();
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
    m_writer.reset();  // its last write done before the descriptor goes
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
