// yEnc header lines and data; see yenc.h. The data is decoded sixteen bytes at a time where the
// processor allows it.
#include "formats/yenc/yenc.h"

#include <cstring>

#include "simd/simd.h"

namespace codec {

namespace {

// The value of keyword `key` ("part=") in a header line, or an empty view. "name=" takes the
// rest of the line, blanks and all, as yEnc says.
std::string_view Value(std::string_view line, std::string_view key) {
    size_t pos = 0;
    while ((pos = line.find(key, pos)) != std::string_view::npos) {
        if (pos == 0 || line[pos - 1] == ' ') {
            std::string_view v = line.substr(pos + key.size());
            if (key == "name=") return v;
            size_t blank = v.find(' ');
            return v.substr(0, blank);
        }
        pos += key.size();
    }
    return {};
}

bool Number(std::string_view v, int64_t& out) {
    if (v.empty() || v.size() > 15) return false;
    int64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    out = n;
    return true;
}

bool Small(std::string_view v, int& out) {
    int64_t n;
    if (!Number(v, n) || n > 999999) return false;
    out = static_cast<int>(n);
    return true;
}

bool Hex32(std::string_view v, uint32_t& out) {
    if (v.empty() || v.size() > 8) return false;
    uint32_t n = 0;
    for (char c : v) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return false;
        n = n << 4 | static_cast<uint32_t>(d);
    }
    out = n;
    return true;
}

}  // namespace

bool ParseYbegin(std::string_view line, YencBegin& out) {
    if (line.substr(0, 8) != "=ybegin ") return false;
    std::string_view rest = line.substr(8);
    Small(Value(rest, "part="), out.part);
    Small(Value(rest, "total="), out.total);
    Small(Value(rest, "line="), out.line);
    Number(Value(rest, "size="), out.size);
    std::string_view name = Value(rest, "name=");
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    out.name = std::string(name);
    return true;
}

bool ParseYpart(std::string_view line, YencPart& out) {
    if (line.substr(0, 7) != "=ypart ") return false;
    std::string_view rest = line.substr(7);
    Number(Value(rest, "begin="), out.begin);
    Number(Value(rest, "end="), out.end);
    return true;
}

bool ParseYend(std::string_view line, YencEnd& out) {
    if (line.substr(0, 5) != "=yend" || (line.size() > 5 && line[5] != ' ')) return false;
    std::string_view rest = line.substr(5);
    Number(Value(rest, "size="), out.size);
    Small(Value(rest, "part="), out.part);
    out.hasPartCrc = Hex32(Value(rest, "pcrc32="), out.partCrc);
    out.hasCrc = Hex32(Value(rest, "crc32="), out.crc);
    return true;
}

size_t YencDecoder::Decode(const char* data, size_t size, uint8_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* end = p + size;
    uint8_t* o = out;
    while (p < end) {
        size_t written = 0;
        p += YencDecodeBlocks(p, static_cast<size_t>(end - p), o, m_escape, written);
        o += written;
        // What the blocks left (a block they cannot take, or the last few bytes), one by one.
        const unsigned char* stop = end - p > 16 ? p + 16 : end;
        while (p < stop) {
            unsigned char c = *p++;
            if (c == '\r' || c == '\n') continue;  // an escape at a line end: the next byte
            if (m_escape) {
                *o++ = static_cast<uint8_t>(c - 64 - 42);
                m_escape = false;
            } else if (c == '=') {
                m_escape = true;
            } else {
                *o++ = static_cast<uint8_t>(c - 42);
            }
        }
    }
    return static_cast<size_t>(o - out);
}

}  // namespace codec
