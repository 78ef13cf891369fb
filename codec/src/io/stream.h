// A stream (a pipe, a terminal) read as an input. A stream can be read only once, but the scan
// reads an input from its start and the decode reads parts of it again later: what is read is
// kept, in memory up to kStreamMemory, then (all of it) in a file without a name in a
// directory the caller chose, which goes when the last reference to it does. The stream itself
// is read only as far as a reader asks, so the scan reads it as it comes, in bounded memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/fd.h"

namespace codec {

class Spool {
  public:
    static constexpr size_t kStreamMemory = 4u << 20;
    static constexpr size_t kChunk = 256u << 10;  // read from the stream at a time

    // Called when a read of the stream was interrupted by a signal; false stops the reading
    // (the caller is cancelling), which then fails with ECANCELED.
    using GoOn = std::function<bool()>;

    // Reads stream fd (not owned) and keeps what is read past kStreamMemory in dir.
    Spool(int fd, std::string dir, GoOn goOn);

    // Like pread(): bytes read (fewer at the end), 0 at the end, -1 with errno. Reads the
    // stream as far as needed, until Finish. Safe on many threads at once only once finished.
    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset);
    // Stops reading the stream: what was read is all there is.
    void Finish();
    uint64_t size() const { return m_size; }
    // Why what was read could not be kept (the file could not be made or written), or 0.
    int keepError() const { return m_keepError; }
    const std::string& dir() const { return m_dir; }

  private:
    // Reads one chunk more; false at the end of the stream or on an error (m_error).
    bool Pull();
    // Moves what is held in memory into a new file without a name in m_dir.
    int Spill();

    int m_stream;
    std::string m_dir;
    GoOn m_goOn;
    std::vector<char> m_memory;  // all that was read, until it spills
    Fd m_file;                   // all that was read, once spilled
    std::vector<char> m_chunk;   // read into, once spilled
    uint64_t m_size = 0;
    bool m_done = false;
    int m_error = 0;  // of the stream or the file: every later read fails with it
    int m_keepError = 0;
};

}  // namespace codec
