// Where the bytes of a loaded input come from: a file on disk, or several ranges of such files
// read as one (the parts of a message/partial message put back together, RFC 2046, 5.2.2).
// Scanning and decoding read through Input, so both kinds are read alike.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace codec {

class Input {
  public:
    virtual ~Input() = default;
    // Like pread(): bytes read (fewer at the end of a range), 0 at the end, -1 with errno.
    virtual ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) = 0;
};

struct Segment {
    uint32_t source = 0;  // a file source
    uint64_t begin = 0;
    uint64_t end = 0;
};

class Sources {
  public:
    uint32_t AddFile(const std::string& path);
    // Segments of file sources read one after another, under a name for messages.
    uint32_t AddJoined(std::vector<Segment> segments, const std::string& name);
    // The path of a file source, or the name of a joined one.
    const std::string& Name(uint32_t index) const { return m_sources[index].name; }
    size_t size() const { return m_sources.size(); }
    // Opens a source for reading; null with errno set when a file cannot be opened.
    std::unique_ptr<Input> Open(uint32_t index) const;
    void Clear() { m_sources.clear(); }

  private:
    struct Source {
        std::string name;
        std::vector<Segment> segments;  // empty for a file
    };
    std::vector<Source> m_sources;
};

// The input of the source read last, kept open while the next reads are of the same source.
class OpenInputs {
  public:
    explicit OpenInputs(const Sources& sources) : m_sources(sources) {}
    // Null with errno set when the source cannot be opened.
    Input* Get(uint32_t index) {
        if (index != m_index || !m_input) {
            m_input = m_sources.Open(index);
            m_index = index;
        }
        return m_input.get();
    }

  private:
    const Sources& m_sources;
    uint32_t m_index = UINT32_MAX;
    std::unique_ptr<Input> m_input;
};

// How every input is opened. Non-blocking: opening a FIFO (or a device) named as an input must
// not wait for a writer; the caller refuses what is not a regular file, and a regular file
// reads the same either way.
inline constexpr int kInputOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// pread() that goes on after a signal interrupted it.
ssize_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset);

// An input over an open descriptor it does not own.
class FdInput : public Input {
  public:
    explicit FdInput(int fd) : m_fd(fd) {}
    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) override {
        return codec::ReadAt(m_fd, buffer, size, offset);
    }

  protected:
    int m_fd;
};

// An input over bytes in memory (not owned).
class MemoryInput : public Input {
  public:
    MemoryInput(const char* data, size_t size) : m_data(data), m_size(size) {}
    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) override;

  private:
    const char* m_data;
    size_t m_size;
};

}  // namespace codec
