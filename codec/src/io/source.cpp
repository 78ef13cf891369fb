// Input sources; see source.h.
#include "io/source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace codec {

namespace {

// An input that owns its descriptor.
class FileInput : public FdInput {
  public:
    explicit FileInput(int fd) : FdInput(fd) {}
    ~FileInput() override { close(m_fd); }
};

// Joined segments: offset 0 is the start of the first segment. One file is open at a time,
// so that a message in thousands of pieces does not need thousands of descriptors.
class JoinedInput : public Input {
  public:
    struct Piece {
        std::string path;
        uint64_t begin, end, start;  // range in its file, and where it starts in the whole
    };
    explicit JoinedInput(std::vector<Piece> pieces) : m_pieces(std::move(pieces)) {}
    ~JoinedInput() override {
        if (m_fd >= 0) close(m_fd);
    }
    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) override {
        auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), offset,
                                   [](uint64_t o, const Piece& p) { return o < p.start; });
        if (it == m_pieces.begin()) return 0;
        --it;
        for (; it != m_pieces.end(); ++it) {
            uint64_t within = offset - it->start;
            uint64_t length = it->end - it->begin;
            if (within >= length) {
                offset = it->start + length;  // an empty or exhausted piece: the next one
                continue;
            }
            if (m_fd < 0 || it->path != m_path) {
                if (m_fd >= 0) close(m_fd);
                m_path = it->path;
                m_fd = open(m_path.c_str(), kInputOpenFlags);
                if (m_fd < 0) return -1;
            }
            size_t want = static_cast<size_t>(std::min<uint64_t>(size, length - within));
            return codec::ReadAt(m_fd, buffer, want, it->begin + within);
        }
        return 0;
    }

  private:
    std::vector<Piece> m_pieces;
    std::string m_path;
    int m_fd = -1;
};

}  // namespace

ssize_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset) {
    ssize_t got;
    do {
        got = pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

ssize_t MemoryInput::ReadAt(char* buffer, size_t size, uint64_t offset) {
    if (offset >= m_size) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(size, m_size - offset));
    std::memcpy(buffer, m_data + offset, n);
    return static_cast<ssize_t>(n);
}

uint32_t Sources::AddFile(const std::string& path) {
    m_sources.push_back(Source{path, {}});
    return static_cast<uint32_t>(m_sources.size() - 1);
}

uint32_t Sources::AddJoined(std::vector<Segment> segments, const std::string& name) {
    m_sources.push_back(Source{name, std::move(segments)});
    return static_cast<uint32_t>(m_sources.size() - 1);
}

std::unique_ptr<Input> Sources::Open(uint32_t index) const {
    const Source& s = m_sources[index];
    if (s.segments.empty()) {
        int fd = open(s.name.c_str(), kInputOpenFlags);
        if (fd < 0) return nullptr;
        return std::make_unique<FileInput>(fd);
    }
    std::vector<JoinedInput::Piece> pieces;
    uint64_t start = 0;
    for (const Segment& seg : s.segments) {
        // Each file must be there now; it is opened again when read.
        if (access(m_sources[seg.source].name.c_str(), R_OK) != 0) return nullptr;
        pieces.push_back({m_sources[seg.source].name, seg.begin, seg.end, start});
        start += seg.end - seg.begin;
    }
    return std::make_unique<JoinedInput>(std::move(pieces));
}

}  // namespace codec
