// The reference kernels: plain C++ on every processor, each fulfilling the whole contract in
// simd.h, so that a vector table can be checked against it and forced off in its favour.
#include "simd/scalar.h"

#include <zlib.h>

#include <array>
#include <cstring>

#include "base/tables.h"

namespace codec {

namespace scalar {

namespace {

// Any character outside the alphabet makes the OR of the table entries negative.
inline bool AllIn(const SixBitTable& table, const unsigned char* p, size_t n) {
    unsigned bad = 0;
    for (size_t i = 0; i < n; ++i)
        bad |= static_cast<unsigned char>(table[p[i]]);
    return (bad & 0x80) == 0;
}

// Four 6-bit values of a group through one table, merged into 24 bits; bit 31 is set when a
// character is outside the alphabet.
inline uint32_t Quad(const SixBitTable& table, const unsigned char* p) {
    auto v = [&](size_t i) { return static_cast<uint32_t>(static_cast<int32_t>(table[p[i]])); };
    uint32_t a = v(0), b = v(1), c = v(2), d = v(3);
    return ((a | b | c | d) & 0x80000000u) | (a & 63) << 18 | (b & 63) << 12 | (c & 63) << 6 |
           (d & 63);
}

inline void Put3(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v >> 16);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v);
}

// Sixteen characters of a 6-bit alphabet into twelve bytes, when all are in the alphabet.
inline bool Block(const SixBitTable& table, const unsigned char* p, uint8_t* out) {
    uint32_t q0 = Quad(table, p), q1 = Quad(table, p + 4), q2 = Quad(table, p + 8),
             q3 = Quad(table, p + 12);
    if ((q0 | q1 | q2 | q3) & 0x80000000u) return false;
    Put3(out, q0);
    Put3(out + 3, q1);
    Put3(out + 6, q2);
    Put3(out + 9, q3);
    return true;
}

// Slicing by eight: kSlices[k][b] is the CRC-16 of byte b followed by k zero bytes, so eight
// bytes cost eight independent lookups instead of a chain of eight.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeSlices() {
    std::array<std::array<uint16_t, 256>, 8> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        t[0][i] = static_cast<uint16_t>(crc);
    }
    for (size_t k = 1; k < 8; ++k)
        for (size_t b = 0; b < 256; ++b) {
            uint16_t prev = t[k - 1][b];
            t[k][b] = static_cast<uint16_t>(static_cast<uint16_t>(prev << 8) ^ t[0][prev >> 8]);
        }
    return t;
}
constexpr auto kSlices = MakeSlices();

size_t UuFullLines(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                   uint8_t* out) {
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (p[0] != 'M' || !EndsLine(p, 61, stride)) break;
        if (!UuAllValid(p + 1, 60)) break;
        if (out) {
            UuDecodeGroups(p + 1, 15, out);
            out += 45;
        }
    }
    return n;
}

size_t XxFullLines(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                   uint8_t* out) {
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (p[0] != 'h' || !EndsLine(p, 61, stride)) break;
        int bad = 0;
        for (size_t i = 1; i <= 60; ++i)
            bad |= kXxTable[p[i]];
        if (bad < 0) break;
        if (!out) continue;
        for (size_t i = 1; i <= 60; i += 4, out += 3) {
            auto a = static_cast<unsigned>(kXxTable[p[i]]),
                 b = static_cast<unsigned>(kXxTable[p[i + 1]]),
                 c = static_cast<unsigned>(kXxTable[p[i + 2]]),
                 d = static_cast<unsigned>(kXxTable[p[i + 3]]);
            out[0] = static_cast<uint8_t>(a << 2 | b >> 4);
            out[1] = static_cast<uint8_t>(b << 4 | c >> 2);
            out[2] = static_cast<uint8_t>(c << 6 | d);
        }
    }
    return n;
}

size_t Base64FullLines(const unsigned char* p, size_t avail, size_t stride, size_t length,
                       size_t maxLines, uint8_t* out) {
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (!EndsLine(p, length, stride)) break;
        if (!Base64AllValid(p, length)) break;
        if (!out) continue;
        for (size_t i = 0; i < length; i += 4, out += 3)
            Put3(out, Quad(kBase64Table, p + i));
    }
    return n;
}

size_t Base64DecodeBlocks(const unsigned char* p, size_t n, uint8_t* out) {
    size_t done = 0;
    for (; done + 16 <= n; done += 16, out += 12)
        if (!Block(kBase64Table, p + done, out)) break;
    return done;
}

size_t Base64EncodeBlocks(const unsigned char* p, size_t n, char* out) {
    const char* a = kBase64Alphabet.data();
    size_t done = 0;
    for (; done + 16 <= n; done += 12) {
        for (size_t i = done; i < done + 12; i += 3, out += 4) {
            uint32_t v = uint32_t{p[i]} << 16 | uint32_t{p[i + 1]} << 8 | p[i + 2];
            out[0] = a[v >> 18];
            out[1] = a[v >> 12 & 63];
            out[2] = a[v >> 6 & 63];
            out[3] = a[v & 63];
        }
    }
    return done;
}

size_t SixBitEncodeLines(const unsigned char* p, size_t lines, size_t bytes, const char* alphabet,
                         char lead, char* out) {
    char* o = out;
    for (size_t l = 0; l < lines; ++l) {
        if (lead) *o++ = lead;
        for (size_t i = 0; i < bytes; i += 3, p += 3, o += 4) {
            uint32_t v = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
            o[0] = alphabet[v >> 18];
            o[1] = alphabet[v >> 12 & 63];
            o[2] = alphabet[v >> 6 & 63];
            o[3] = alphabet[v & 63];
        }
        *o++ = '\n';
    }
    return static_cast<size_t>(o - out);
}

size_t BinHexFullLines(const unsigned char* p, size_t avail, size_t stride) {
    size_t n = 0;
    for (; avail >= stride; ++n, p += stride, avail -= stride) {
        if (!EndsLine(p, 64, stride)) break;
        if (!BinHexAllValid(p, 64)) break;
    }
    return n;
}

size_t BinHexDecodeBlocks(const unsigned char* p, size_t n, uint8_t* out, size_t& written) {
    size_t done = 0;
    uint8_t* o = out;
    while (done + 16 <= n) {
        // Sixteen characters without the line ends among them.
        unsigned char block[16];
        size_t k = 0, next = done;
        for (; k < 16 && next < n; ++next)
            if (p[next] != '\n' && p[next] != '\r') block[k++] = p[next];
        if (k < 16 || !Block(kBinHexTable, block, o)) break;
        done = next;
        o += 12;
    }
    written = static_cast<size_t>(o - out);
    return done;
}

size_t YencDecodeBlocks(const unsigned char* p, size_t n, uint8_t* out, bool& escape,
                        size_t& written) {
    uint8_t* o = out;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        // Decoded straight to out; a block that has to be left to the byte-by-byte decoder
        // is taken back (its bytes lie in the slack).
        uint8_t* start = o;
        bool escaped = escape, refused = false;
        for (size_t k = i; k < i + 16; ++k) {
            unsigned char c = p[k];
            if (c == '=' || c == '\r' || c == '\n') {
                if (escaped) {
                    refused = true;
                    break;
                }
                escaped = c == '=';
                continue;
            }
            *o++ = static_cast<uint8_t>(c - (escaped ? 64 + 42 : 42));
            escaped = false;
        }
        if (refused) {
            o = start;
            break;
        }
        escape = escaped;
    }
    written = static_cast<size_t>(o - out);
    return i;
}

size_t FindMarkedLineStart(const unsigned char* p, size_t n) {
    for (size_t i = 1; i < n; ++i)
        if (p[i - 1] == '\n' && MarksLine(p[i])) return i;
    return n;
}

}  // namespace

size_t YencEncodeRun(const unsigned char* p, size_t n, char* out) {
    size_t i = 0;
    for (; i < n; ++i) {
        auto c = static_cast<unsigned char>(p[i] + 42);
        if (YencAlwaysEscaped(c)) break;
        out[i] = static_cast<char>(c);
    }
    return i;
}

bool UuAllValid(const unsigned char* p, size_t n) {
    unsigned bad = 0;
    for (size_t i = 0; i < n; ++i)
        bad |= static_cast<unsigned char>(p[i] - 0x20) > 0x40;
    return bad == 0;
}

void UuDecodeGroups(const unsigned char* p, size_t groups, uint8_t* out) {
    // (c - 32) & 63 on all four characters of a group at once, in one 32-bit word; the high
    // bit set first keeps a character below 32 from borrowing from its neighbour.
    for (size_t g = 0; g < groups; ++g, p += 4, out += 3) {
        uint32_t x;
        std::memcpy(&x, p, 4);
        x = ((x | 0x80808080u) - 0x20202020u) & 0x3F3F3F3Fu;
        uint32_t v = (x & 0xFF) << 18 | (x >> 8 & 0xFF) << 12 | (x >> 16 & 0xFF) << 6 | x >> 24;
        Put3(out, v);
    }
}

bool Base64AllValid(const unsigned char* p, size_t n) {
    return AllIn(kBase64Table, p, n);
}

bool BinHexAllValid(const unsigned char* p, size_t n) {
    return AllIn(kBinHexTable, p, n);
}

uint16_t Crc16(uint16_t crc, const uint8_t* p, size_t n) {
    while (n >= 8) {
        crc = kSlices[7][p[0] ^ (crc >> 8)] ^ kSlices[6][p[1] ^ (crc & 0xFF)] ^ kSlices[5][p[2]] ^
              kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^ kSlices[1][p[6]] ^
              kSlices[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n--)
        crc = static_cast<uint16_t>(crc << 8) ^ kSlices[0][(crc >> 8) ^ *p++];
    return crc;
}

uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n) {
    if (n == 0) return crc;  // (zlib answers a null pointer with its initial value)
    return static_cast<uint32_t>(crc32_z(crc, p, n));
}

}  // namespace scalar

namespace detail {

const Kernels kScalarTable = {
    "scalar",
    scalar::UuAllValid,
    scalar::UuDecodeGroups,
    scalar::UuFullLines,
    scalar::XxFullLines,
    scalar::Base64AllValid,
    scalar::Base64FullLines,
    scalar::Base64DecodeBlocks,
    scalar::Base64EncodeBlocks,
    scalar::SixBitEncodeLines,
    scalar::BinHexAllValid,
    scalar::BinHexFullLines,
    scalar::BinHexDecodeBlocks,
    scalar::YencDecodeBlocks,
    scalar::YencEncodeRun,
    scalar::FindMarkedLineStart,
    scalar::Crc16,
    scalar::Crc32,
};

}  // namespace detail

}  // namespace codec
