// Descriptors owned by a scope.
#pragma once

#include <unistd.h>

#include <utility>

namespace codec {

// A descriptor closed on destruction; moved, never copied.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    void Reset(int fd = -1) {
        if (m_fd >= 0) close(m_fd);
        m_fd = fd;
    }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }
    int get() const { return m_fd; }

  private:
    int m_fd = -1;
};

}  // namespace codec
