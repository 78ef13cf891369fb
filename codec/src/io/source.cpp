// Input sources; see source.h.
#include "io/source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace codec {

namespace {

// Opens a file source and checks that it is still the file loaded.
int OpenKnown(const std::string& path, const FileIdentity& identity, Fd& fd) {
    struct stat st;
    if (int err = OpenInputFile(path.c_str(), fd, st); err != 0) return err;
    if (identity.Matches(st)) return 0;
    fd.Reset();
    return kInputChanged;
}

// An input over a file source it opened, and owns.
class FileInput : public FdInput {
  public:
    explicit FileInput(Fd fd) : FdInput(fd.get()), m_owned(std::move(fd)) {}

  private:
    Fd m_owned;
};

// Joined segments: offset 0 is the start of the first segment. One file is open at a time,
// so that a message in thousands of pieces does not need thousands of descriptors; each is
// checked again when it is opened.
class JoinedInput : public Input {
  public:
    struct Piece {
        std::string path;
        FileIdentity identity;
        std::shared_ptr<Spool> spool;  // of a stream, read instead of a file
        uint64_t begin, end, start;    // range in its file, and where it starts in the whole
    };
    explicit JoinedInput(std::vector<Piece> pieces) : m_pieces(std::move(pieces)) {}
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
            size_t want = static_cast<size_t>(std::min<uint64_t>(size, length - within));
            if (it->spool) return it->spool->ReadAt(buffer, want, it->begin + within);
            if (m_fd.get() < 0 || it->path != m_path) {
                m_path.clear();
                if (int err = OpenKnown(it->path, it->identity, m_fd); err != 0) {
                    errno = err;
                    return -1;
                }
                m_path = it->path;
            }
            return codec::ReadAt(m_fd.get(), buffer, want, it->begin + within);
        }
        return 0;
    }

  private:
    std::vector<Piece> m_pieces;
    std::string m_path;  // of the file open
    Fd m_fd;
};

}  // namespace

bool IsNntpStatusLine(std::string_view line) {
    if (line.size() < 8 || line[0] != '2' || line[1] != '2' || line[2] < '0' || line[2] > '2' ||
        line[3] != ' ')
        return false;
    size_t i = 4;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    return i > 4 && i + 1 < line.size() && line[i] == ' ' && line[i + 1] == '<';
}

bool IsMboxFromLine(std::string_view line) {
    if (line.size() < 7 || line.substr(0, 5) != "From " || line[5] == ' ') return false;
    // The sender, then a date with a time ("12:00" or "12:00:00") and a year ("2026").
    size_t sender = line.find_first_of(" \t", 5);
    if (sender == std::string_view::npos) return false;
    std::string_view date = line.substr(sender);
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    bool time = false, year = false;
    for (size_t i = 0; i < date.size(); ++i) {
        if (!digit(date[i]) || (i > 0 && digit(date[i - 1]))) continue;
        size_t n = i;
        while (n < date.size() && digit(date[n]))
            ++n;
        if (n - i <= 2 && n + 2 < date.size() && date[n] == ':' && digit(date[n + 1]) &&
            digit(date[n + 2]))
            time = true;
        if (n - i == 4 && (date[i] == '1' || date[i] == '2') &&
            (n == date.size() || date[n] != ':'))
            year = true;
    }
    return time && year;
}

bool IsQuotedFromLine(std::string_view line) {
    size_t q = 0;
    while (q < line.size() && q <= kMaxFromQuotes && line[q] == '>')
        ++q;
    return q > 0 && q <= kMaxFromQuotes && line.substr(q, 5) == "From ";
}

Transform DetectTransform(Input& input) {
    char head[16384];
    ssize_t got = input.ReadAt(head, sizeof head, 0);
    if (got <= 0) return {};
    std::string_view text(head, static_cast<size_t>(got));
    Transform transform;
    char eol = '\n';
    if (text.find('\n') == std::string_view::npos) {
        // A CR that is not the last byte read (it may be a CRLF cut by the read).
        size_t cr = text.find('\r');
        if (cr == std::string_view::npos || cr + 1 == text.size()) return {};
        transform.crLines = true;
        eol = '\r';
    }
    auto line = [&](size_t at) {
        size_t end = std::min(text.find(eol, at), text.size());
        std::string_view l = text.substr(at, end - at);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        return l;
    };
    std::string_view first = line(0);
    if (IsNntpStatusLine(first)) {
        transform.quoting = Quoting::kDotStuffed;
        return transform;
    }
    if (first.substr(0, 3) == "\xEF\xBB\xBF") first.remove_prefix(3);
    if (first == "\x01\x01\x01\x01" && text.find(eol) + 1 < text.size())
        first = line(text.find(eol) + 1);
    if (IsMboxFromLine(first)) transform.quoting = Quoting::kMboxFrom;
    return transform;
}

const char* InputError(int err) {
    if (err == kInputChanged) return "it has changed since it was loaded; load it again";
    return std::strerror(err);
}

int OpenInputFile(const char* path, Fd& fd, struct stat& st) {
    fd.Reset(open(path, kInputOpenFlags));
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0) {
        int err = errno;
        fd.Reset();
        return err;
    }
    return 0;
}

FileIdentity FileIdentity::Of(const struct stat& st) {
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

bool FileIdentity::Matches(const struct stat& st) const {
    return st.st_dev == dev && st.st_ino == ino && st.st_size == size &&
           st.st_mtim.tv_sec == mtime.tv_sec && st.st_mtim.tv_nsec == mtime.tv_nsec;
}

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

uint32_t Sources::Add(Source source) {
    m_sources.push_back(std::move(source));
    return static_cast<uint32_t>(m_sources.size() - 1);
}

uint32_t Sources::AddFile(const std::string& path, const struct stat& st) {
    Source s;
    s.name = path;
    s.identity = FileIdentity::Of(st);
    return Add(std::move(s));
}

uint32_t Sources::AddStream(std::shared_ptr<Spool> spool, const std::string& name) {
    Source s;
    s.name = name;
    s.spool = std::move(spool);
    return Add(std::move(s));
}

uint64_t Sources::SizeOf(uint32_t index) const {
    const Source& s = m_sources[index];
    if (s.spool) return s.spool->size();
    return s.segments.empty() ? static_cast<uint64_t>(s.identity.size) : 0;
}

uint32_t Sources::AddJoined(std::vector<Segment> segments, const std::string& name) {
    Source s;
    s.name = name;
    if (!segments.empty()) s.transform = m_sources[segments.front().source].transform;
    s.segments = std::move(segments);
    return Add(std::move(s));
}

uint32_t Sources::AddDecoded(Segment segment, Decoding decoding, const std::string& name) {
    Source s;
    s.name = name;
    s.segments = {segment};
    s.decoding = decoding;
    return Add(std::move(s));
}

int Sources::Check(uint32_t index) const {
    const Source& s = m_sources[index];
    if (s.spool) return 0;  // nobody else can change what it kept
    if (s.segments.empty()) {
        // Its status by name is enough: nothing is read.
        struct stat st;
        if (stat(s.name.c_str(), &st) != 0) return errno;
        return s.identity.Matches(st) ? 0 : kInputChanged;
    }
    for (const Segment& seg : s.segments)
        if (int err = Check(seg.source); err != 0) return err;
    return 0;
}

std::unique_ptr<Input> Sources::Open(uint32_t index) const {
    std::unique_ptr<Input> input = OpenBytes(index);
    if (input && m_sources[index].decoding) input = m_sources[index].decoding(std::move(input));
    if (input) input->transform = m_sources[index].transform;
    return input;
}

std::unique_ptr<Input> Sources::OpenBytes(uint32_t index) const {
    const Source& s = m_sources[index];
    if (s.spool) return std::make_unique<SpoolInput>(s.spool);
    if (s.segments.empty()) {
        Fd fd;
        if (int err = OpenKnown(s.name, s.identity, fd); err != 0) {
            errno = err;
            return nullptr;
        }
        return std::make_unique<FileInput>(std::move(fd));
    }
    // Each file must be what it was now; it is opened (and checked) again when read.
    if (int err = Check(index); err != 0) {
        errno = err;
        return nullptr;
    }
    std::vector<JoinedInput::Piece> pieces;
    uint64_t start = 0;
    for (const Segment& seg : s.segments) {
        const Source& file = m_sources[seg.source];
        pieces.push_back({file.name, file.identity, file.spool, seg.begin, seg.end, start});
        start += seg.end - seg.begin;
    }
    return std::make_unique<JoinedInput>(std::move(pieces));
}

}  // namespace codec
