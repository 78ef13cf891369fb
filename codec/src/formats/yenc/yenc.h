// yEnc 1.3: the "=ybegin", "=ypart" and "=yend" lines and the data between them. A data byte
// is the output byte plus 42; '=' escapes the next byte, which then carries 64 more. The
// decoder skips line ends, and an escape at the end of a line applies to the next byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace codec {

struct YencBegin {
    int part = 0;   // 0: single-part
    int total = 0;  // 0: not given (yEnc 1.2)
    int64_t size = -1;
    int line = 0;
    std::string name;
};

struct YencPart {
    int64_t begin = -1;  // 1-based offsets of this part in the file, both inclusive
    int64_t end = -1;
};

struct YencEnd {
    int64_t size = -1;
    int part = 0;
    bool hasPartCrc = false;
    uint32_t partCrc = 0;
    bool hasCrc = false;
    uint32_t crc = 0;
};

bool ParseYbegin(std::string_view line, YencBegin& out);
bool ParseYpart(std::string_view line, YencPart& out);
bool ParseYend(std::string_view line, YencEnd& out);

class YencDecoder {
  public:
    // Decodes a block into out (room for size bytes + 16). Returns bytes written.
    size_t Decode(const char* data, size_t size, uint8_t* out);
    void Reset() { m_escape = false; }

  private:
    bool m_escape = false;
};

}  // namespace codec
