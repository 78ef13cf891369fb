// Base64 decoding. The fast loop takes four characters at a time through four tables whose
// entries are pre-shifted into place, so a quad costs four loads and three ORs; any entry
// outside the alphabet sets bit 31, and the quad is then redone character by character.
#include "formats/base64/base64.h"

#include <array>
#include <cstring>

#include "base/tables.h"
#include "simd/simd.h"

namespace codec {

namespace {

constexpr uint32_t kBad = 0x80000000u;

constexpr std::array<uint32_t, 256> MakeShifted(int shift) {
    std::array<uint32_t, 256> t{};
    for (size_t c = 0; c < 256; ++c) {
        int v = kBase64Table[c];
        t[c] = v < 0 ? kBad : static_cast<uint32_t>(v) << shift;
    }
    return t;
}

constexpr auto kD0 = MakeShifted(18);
constexpr auto kD1 = MakeShifted(12);
constexpr auto kD2 = MakeShifted(6);
constexpr auto kD3 = MakeShifted(0);

inline void Put3(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v >> 16);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v);
}

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

size_t Base64Decoder::Decode(const char* data, size_t size, uint8_t* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* end = p + size;
    uint8_t* o = out;
    while (p < end && !m_finished) {
        if (m_have == 0) {
            // Vector blocks of 16 characters first, then whole quads, bounds checked once per
            // quad in the loop condition; a line end or padding drops to the character path.
            size_t used = Base64DecodeBlocks(p, static_cast<size_t>(end - p), o);
            p += used;
            o += used / 16 * 12;
            while (end - p >= 4) {
                uint32_t v = kD0[p[0]] | kD1[p[1]] | kD2[p[2]] | kD3[p[3]];
                if (v & kBad) break;
                Put3(o, v);
                o += 3;
                p += 4;
            }
            if (p == end) break;
        }
        unsigned char c = *p++;
        int v = kBase64Table[c];
        if (v >= 0) {
            m_quad = m_quad << 6 | static_cast<uint32_t>(v);
            if (++m_have == 4) {
                Put3(o, m_quad);
                o += 3;
                m_quad = 0;
                m_have = 0;
            }
        } else if (c == '=') {
            o += Finish(o);
            m_finished = true;
        } else if (!IsBlank(c)) {
            ++m_skipped;
        }
    }
    return static_cast<size_t>(o - out);
}

size_t Base64Decoder::Finish(uint8_t* out) {
    size_t n = 0;
    if (m_have == 2) {
        out[0] = static_cast<uint8_t>(m_quad >> 4);
        n = 1;
    } else if (m_have == 3) {
        out[0] = static_cast<uint8_t>(m_quad >> 10);
        out[1] = static_cast<uint8_t>(m_quad >> 2);
        n = 2;
    }
    m_quad = 0;
    m_have = 0;
    return n;
}

bool IsBase64Line(std::string_view line) {
    if (line.size() < 4 || line.size() % 4 != 0) return false;
    size_t i = 0;
    for (; i < line.size(); ++i)
        if (kBase64Table[static_cast<unsigned char>(line[i])] < 0) break;
    if (i == line.size()) return true;
    // Padding only at the very end: "xx==" or "xxx=".
    if (line.size() - i > 2) return false;
    for (; i < line.size(); ++i)
        if (line[i] != '=') return false;
    return true;
}

}  // namespace codec
