// Where the bytes of a loaded input come from: a file on disk, or several ranges of such files
// read as one (the parts of a message/partial message put back together, RFC 2046, 5.2.2).
// Every input is opened here, for the load, the read-ahead and the decode alike, and scanning
// and decoding read through Input, so both see the same bytes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/fd.h"
#include "io/stream.h"

namespace codec {

// How a source's bytes differ from the text they carry. The transport (the line reader and
// the block reader) undoes it, so the scan and every decode see the same text; offsets stay
// those of the source.
enum class Quoting : uint8_t {
    kNone,
    // An article as a news server sends it (RFC 3977, 3.1.1): a line that begins with "." has
    // a second "." put before it, and a line of a lone "." ends the article.
    kDotStuffed,
    // An mbox: its writer put a ">" before every body line that began with "From " (mboxo),
    // or with any run of ">" and then "From " (mboxrd); one ">" of such a line goes.
    kMboxFrom,
};

struct Transform {
    Quoting quoting = Quoting::kNone;
    // Text as classic Mac OS wrote it: every line ends in a lone CR.
    bool crLines = false;

    // The byte that ends a line (LF, after which a CR before it goes too; or CR).
    char LineEnd() const { return crLines ? '\r' : '\n'; }
};

// The line before each message of an mbox: "From sender date", the date as ctime() writes it
// or close to it (a time and a year). A line of prose that begins with "From" is not one.
bool IsMboxFromLine(std::string_view line);

// The most ">" a quoted "From " line is taken to begin with.
inline constexpr size_t kMaxFromQuotes = 64;
// A line an mbox writer quoted: one to kMaxFromQuotes ">" and then "From ".
bool IsQuotedFromLine(std::string_view line);

// A news server's reply that an article (220), its head (221) or its body (222) follows, as
// "220 3000234 <45223423@example.com> ..." (RFC 3977, 6.2.1): the first line of a capture.
bool IsNntpStatusLine(std::string_view line);

class Input {
  public:
    virtual ~Input() = default;
    // Like pread(): bytes read (fewer at the end of a range), 0 at the end, -1 with errno.
    virtual ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) = 0;

    Transform transform;
};

// How every input is opened. Non-blocking: opening a FIFO (or a device) named as an input must
// not wait for a writer; the caller refuses what is not a regular file, and a regular file
// reads the same either way.
inline constexpr int kInputOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// The error an input reports when its file is no longer the one that was loaded. Said in
// words by InputError().
inline constexpr int kInputChanged = ESTALE;

// What an input error means, for a message.
const char* InputError(int err);

// The transform an input shows it needs, from how it begins: an input that begins with a news
// server's status line is a capture of what the server sent (dot-stuffed), so a saved article
// whose line really begins with ".." keeps it; one whose lines end in CR and never in LF is
// Mac text; one that begins with an mbox "From " line (after an MMDF separator, as some
// writers put one) has its quoted "From " lines undone.
Transform DetectTransform(Input& input);

// Opens path as an input and reads its status: 0 with fd open, or an errno value. Callers
// take regular files only.
int OpenInputFile(const char* path, Fd& fd, struct stat& st);

// What a file was when it was loaded. A file replaced, rewritten, grown or cut since is not
// the same one, and its parts are not read from it: they would be other bytes.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime = {};

    static FileIdentity Of(const struct stat& st);
    bool Matches(const struct stat& st) const;
};

// pread() that goes on after a signal interrupted it.
ssize_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset);

struct Segment {
    uint32_t source = 0;  // a file or stream source
    uint64_t begin = 0;
    uint64_t end = 0;
};

// An input made of another's bytes: text sent in a transfer encoding, read decoded.
using Decoding = std::unique_ptr<Input> (*)(std::unique_ptr<Input> bytes);

class Sources {
  public:
    // A file as it was when loaded (st: its status then).
    uint32_t AddFile(const std::string& path, const struct stat& st);
    // A stream, kept as it is read (see Spool), under a name for messages.
    uint32_t AddStream(std::shared_ptr<Spool> spool, const std::string& name);
    // Segments of file sources read one after another, under a name for messages; read with
    // the transform of the first one's file.
    uint32_t AddJoined(std::vector<Segment> segments, const std::string& name);
    // A segment of a file source read through a decoding, under a name for messages.
    uint32_t AddDecoded(Segment segment, Decoding decoding, const std::string& name);
    // The size of a file source when it was loaded (0 when it did not tell), or of what a
    // stream held; 0 for a joined or decoded source.
    uint64_t SizeOf(uint32_t index) const;
    // The path of a file source, or the name of a joined one.
    const std::string& Name(uint32_t index) const { return m_sources[index].name; }
    // What the transport undoes when the source is read (as found by its load).
    void SetTransform(uint32_t index, Transform transform) {
        m_sources[index].transform = transform;
    }
    size_t size() const { return m_sources.size(); }
    // Opens a source for reading; null with errno set when a file cannot be opened, or is no
    // longer the file loaded (kInputChanged).
    std::unique_ptr<Input> Open(uint32_t index) const;
    // 0 when every file of a source is still the one loaded, else an errno value.
    int Check(uint32_t index) const;
    void Clear() { m_sources.clear(); }

  private:
    struct Source;
    uint32_t Add(Source source);
    std::unique_ptr<Input> OpenBytes(uint32_t index) const;

    struct Source {
        std::string name;
        FileIdentity identity;          // of a file
        std::vector<Segment> segments;  // of a joined source; empty for a file
        Transform transform;
        Decoding decoding = nullptr;   // what its bytes are read through, if anything
        std::shared_ptr<Spool> spool;  // of a stream
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

// An input over an open descriptor it does not own.
class FdInput : public Input {
  public:
    explicit FdInput(int fd) : m_fd(fd) {}
    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) override {
        return codec::ReadAt(m_fd, buffer, size, offset);
    }

  private:
    int m_fd;
};

// An input over what a stream kept (and reads of it, until it is finished).
class SpoolInput : public Input {
  public:
    explicit SpoolInput(std::shared_ptr<Spool> spool) : m_spool(std::move(spool)) {}
    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) override {
        return m_spool->ReadAt(buffer, size, offset);
    }

  private:
    std::shared_ptr<Spool> m_spool;
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
