// Atomic output: every file is written as a temporary in the output directory (an unnamed
// O_TMPFILE file where the system has them, else a new name made with O_EXCL|O_NOFOLLOW, so
// nothing is ever written through a link) and linked or renamed into place only when
// complete. Without overwrite the final rename refuses to replace anything
// (RENAME_NOREPLACE, or link+unlink where the file system lacks it), so a target that appears
// meanwhile is not lost. Destroying an uncommitted file removes the temporary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_sink.h"

namespace codec {

class OutputFile : public ByteSink {
  public:
    // unnamed: use an O_TMPFILE file where possible (off: always a named temporary); needs
    // /proc/self/fd, see CanLinkUnnamed.
    explicit OutputFile(std::vector<uint8_t>& buffer, bool unnamed = CanLinkUnnamed());

    // Whether /proc/self/fd is there to link an unnamed file by; ask once, not per file.
    static bool CanLinkUnnamed();
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary for finalName in dirFd (not owned). Returns 0 or an errno value.
    // An unnamed file is made with `mode` (already masked by the umask: the mode Commit will
    // be given, when known), which spares Commit a chmod; a named temporary is always private
    // until complete.
    int Create(int dirFd, const std::string& finalName, unsigned mode = 0600);

    // Reserves disk space for a file of about this size (blocks allocated in one go are
    // cheaper than page by page); space not written is given back by Commit.
    void Preallocate(uint64_t size);

    // Buffered; the first error sticks and is reported by Commit.
    void Write(const uint8_t* data, size_t size);

    // Space for at least `need` bytes at the end of the buffer (flushing first if needed);
    // the caller fills it and calls Advance.
    uint8_t* Reserve(size_t need) override;
    void Advance(size_t used) override { m_fill += used; }

    // Flushes, applies mode (already masked), and renames into place. Returns 0, EEXIST when
    // the target exists and overwrite is off, or another errno value. The temporary is gone
    // afterwards in every case.
    int Commit(bool overwrite, unsigned mode);

    // The two halves of Commit for a file made with a named temporary (unnamed off), so that
    // several files can be written first and put in place together: Close writes and closes
    // it (returns 0 or an errno value), Publish renames it into place (the same results as
    // Commit). Abort still removes a closed, unpublished temporary.
    int Close(unsigned mode);
    int Publish(bool overwrite);

    // Removes the temporary (a no-op after Commit).
    void Abort();

    uint64_t written() const { return m_written + m_fill; }
    bool unnamed() const { return m_unnamed; }
    // Whether a write failed (waits for the writes under way).
    bool Failed() {
        Settle();
        return m_error != 0;
    }
    // The name Commit gives the file, in the directory it was created in.
    void SetFinalName(const std::string& name) { m_finalName = name; }

  private:
    // A large file is written by a thread of its own, one buffer while the next fills.
    class Writer;
    static constexpr uint64_t kWriterAfter = 1 << 20;  // bytes written before it starts

    void Flush();
    // Waits for the writer and takes its error; afterwards there is no writer.
    void Settle();
    int NameTemporary(const std::function<int(const char*)>& create);
    // Links the unnamed file in as `name`: 0, or -1 with errno.
    int LinkUnnamed(const char* name);

    std::vector<uint8_t>& m_buffer;
    size_t m_fill = 0;
    uint64_t m_written = 0;
    int m_dirFd = -1;
    int m_fd = -1;
    int m_error = 0;
    bool m_allowUnnamed = true;
    uint64_t m_preallocated = 0;
    bool m_unnamed = false;  // an O_TMPFILE file, linked in by Commit
    unsigned m_mode = 0600;  // what the file was made with
    std::string m_tempName;
    std::string m_finalName;
    std::unique_ptr<Writer> m_writer;
};

}  // namespace codec
