// Descriptors owned by a scope.
#pragma once

#include <unistd.h>

namespace codec {

// A descriptor closed on destruction.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void Reset(int fd = -1) {
        if (m_fd >= 0) close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }

  private:
    int m_fd = -1;
};

}  // namespace codec
