// BinHex 4.0 decoding; see binhex.h.
#include "formats/binhex/binhex.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/byte_sink.h"
#include "base/tables.h"
#include "simd/simd.h"

namespace codec {

namespace {

constexpr const SixBitTable& kTable = kBinHexTable;

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        t[i] = static_cast<uint16_t>(crc);
    }
    return t;
}
constexpr auto kCrcTable = MakeCrcTable();

constexpr uint32_t kBadBits = 0x80000000u;

constexpr std::array<uint32_t, 256> Shifted(int shift) {
    std::array<uint32_t, 256> t{};
    for (size_t c = 0; c < 256; ++c)
        t[c] = kTable[c] < 0 ? kBadBits : static_cast<uint32_t>(kTable[c]) << shift;
    return t;
}
constexpr auto kShift18 = Shifted(18);
constexpr auto kShift12 = Shifted(12);
constexpr auto kShift6 = Shifted(6);
constexpr auto kShift0 = Shifted(0);

inline uint16_t Crc(uint16_t crc, uint8_t b) {
    return static_cast<uint16_t>(crc << 8) ^ kCrcTable[(crc >> 8) ^ b];
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

bool IsBinHexText(std::string_view line) {
    return !line.empty() &&
           BinHexAllValid(reinterpret_cast<const unsigned char*>(line.data()), line.size());
}

// Six-bit characters to bytes: whole groups of four through four pre-shifted tables while
// the characters are all in the alphabet, one at a time around line ends and the final ':'.
size_t BinHexDecoder::Bits(const unsigned char* p, size_t size, uint8_t* out, size_t& used) {
    uint8_t* o = out;
    size_t i = 0;
    while (i < size) {
        if (m_bitCount == 0) {
            size_t written = 0;
            i += BinHexDecodeBlocks(p + i, size - i, o, written);
            o += written;
            while (size - i >= 4) {
                uint32_t v =
                    kShift18[p[i]] | kShift12[p[i + 1]] | kShift6[p[i + 2]] | kShift0[p[i + 3]];
                if (v & kBadBits) break;
                o[0] = static_cast<uint8_t>(v >> 16);
                o[1] = static_cast<uint8_t>(v >> 8);
                o[2] = static_cast<uint8_t>(v);
                o += 3;
                i += 4;
            }
            if (i == size) break;
        }
        unsigned char c = p[i++];
        int v = kTable[c];
        if (v < 0) {
            if (c == ':') {
                m_ended = true;
                break;
            }
            continue;  // line ends and blanks
        }
        m_bits = m_bits << 6 | static_cast<uint32_t>(v);
        m_bitCount += 6;
        if (m_bitCount >= 8) {
            m_bitCount -= 8;
            *o++ = static_cast<uint8_t>(m_bits >> m_bitCount);
            if (m_bitCount == 0) m_bits = 0;
        }
    }
    used = i;
    return static_cast<size_t>(o - out);
}

void BinHexDecoder::Feed(const char* data, size_t size, ByteSink* sink) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    uint8_t raw[kChunk / 4 * 3 + 16];
    while (size > 0 && !m_ended) {
        size_t used = 0;
        size_t n = Bits(p, size < kChunk ? size : kChunk, raw, used);
        p += used;
        size -= used;
        Rle(raw, n, sink);
    }
    Flush(sink);
}

void BinHexDecoder::FeedLines(std::string_view run, size_t count, size_t stride, ByteSink* sink) {
    constexpr size_t kLines = 256;
    char text[kLines * 64];
    for (size_t line = 0; line < count && !m_ended;) {
        size_t n = std::min(count - line, kLines);
        for (size_t i = 0; i < n; ++i)
            std::memcpy(text + i * 64, run.data() + (line + i) * stride, 64);
        Feed(text, n * 64, sink);
        line += n;
    }
}

// 0x90 n repeats the previous byte to n copies in all; 0x90 0 is a literal 0x90. Bytes
// between markers pass on in bulk.
void BinHexDecoder::Rle(const uint8_t* b, size_t n, ByteSink* sink) {
    size_t i = 0;
    while (i < n) {
        if (m_marker) {
            m_marker = false;
            uint8_t count = b[i++];
            if (count == 0) {
                static constexpr uint8_t kMarker = 0x90;
                Bytes(&kMarker, 1, sink);
                m_last = 0x90;
            } else if (count > 1) {
                Repeat(m_last, count - 1u, sink);
            }
            continue;
        }
        const auto* marker = static_cast<const uint8_t*>(std::memchr(b + i, 0x90, n - i));
        size_t end = marker ? static_cast<size_t>(marker - b) : n;
        if (end > i) {
            Bytes(b + i, end - i, sink);
            m_last = b[end - 1];
            i = end;
        }
        if (i < n) {
            m_marker = true;
            ++i;
        }
    }
}

void BinHexDecoder::Repeat(uint8_t b, unsigned count, ByteSink* sink) {
    uint8_t run[256];
    std::memset(run, b, count);
    Bytes(run, count, sink);
}

// The forks take bytes in bulk; the header and the CRC fields one at a time.
void BinHexDecoder::Bytes(const uint8_t* b, size_t n, ByteSink* sink) {
    while (n > 0) {
        if (m_state == kData || m_state == kResource) {
            // Staged, and checked and handed on a buffer at a time (the pieces between
            // run-length markers are short).
            size_t k = n < m_left ? n : m_left;
            m_left -= static_cast<uint32_t>(k);
            n -= k;
            while (k > 0) {
                if (m_outFill == sizeof m_out) Flush(sink);
                size_t room = std::min(k, sizeof m_out - m_outFill);
                std::memcpy(m_out + m_outFill, b, room);
                m_outFill += room;
                b += room;
                k -= room;
            }
            if (m_left == 0) {
                Flush(sink);  // the fork's CRC is complete
                m_state = m_state == kData ? kDataCrc : kResourceCrc;
                m_left = 2;
                m_stored = 0;
            }
            continue;
        }
        Byte(*b++);
        --n;
    }
}

void BinHexDecoder::Byte(uint8_t b) {
    switch (m_state) {
        case kNameLength:
            m_crc = Crc(m_crc, b);
            m_left = b;
            m_state = b ? kName : kHeaderRest;
            m_fieldLength = 0;
            if (!b) m_left = 19;
            return;
        case kName:
            m_crc = Crc(m_crc, b);
            m_header.name += static_cast<char>(b);
            if (--m_left == 0) {
                m_state = kHeaderRest;
                m_left = 19;  // version, type, creator, flags, data and resource lengths
            }
            return;
        case kHeaderRest:
            m_crc = Crc(m_crc, b);
            m_field[m_fieldLength++] = b;
            if (--m_left == 0) {
                m_header.dataLength = Be32(m_field + 11);
                m_header.resourceLength = Be32(m_field + 15);
                m_state = kHeaderCrc;
                m_left = 2;
                m_stored = 0;
            }
            return;
        case kData:
        case kResource:
            return;  // taken in bulk by Bytes
        case kHeaderCrc:
        case kDataCrc:
        case kResourceCrc:
            m_stored = static_cast<uint16_t>(m_stored << 8 | b);
            if (--m_left == 0) Next();
            return;
        case kDone:
            return;
    }
}

// A CRC field is complete: check it and move to the next fork (skipping empty ones).
void BinHexDecoder::Next() {
    // BinHex runs two zero bytes through a bitwise register after the field; the table form
    // used here yields that value without them.
    bool ok = m_crc == m_stored;
    m_crc = 0;
    if (m_state == kHeaderCrc) {
        m_headerCrcOk = ok;
        m_state = kData;
        m_left = m_header.dataLength;
    } else if (m_state == kDataCrc) {
        m_dataCrcOk = ok;
        m_state = kResource;
        m_left = m_header.resourceLength;
    } else {
        m_resourceCrcOk = ok;
        m_state = kDone;
        return;
    }
    if (m_left == 0) {
        m_state = m_state == kData ? kDataCrc : kResourceCrc;
        m_left = 2;
        m_stored = 0;
    }
}

// The staged bytes belong to the fork being read: they go into its CRC, and to the sink if
// they are the data fork's.
void BinHexDecoder::Flush(ByteSink* sink) {
    if (m_outFill == 0) return;
    if (m_checks) m_crc = Crc16(m_crc, m_out, m_outFill);
    if (sink && m_state == kData) {
        uint8_t* o = sink->Reserve(m_outFill);
        std::memcpy(o, m_out, m_outFill);
        sink->Advance(m_outFill);
    }
    m_outFill = 0;
}

}  // namespace codec
