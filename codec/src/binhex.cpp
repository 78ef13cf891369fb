// BinHex 4.0 decoding; see binhex.h.
#include "binhex.h"

#include <array>
#include <cstring>

#include "part_decoder.h"
#include "tables.h"

namespace codec {

namespace {

constexpr std::string_view kAlphabet =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr SixBitTable kTable = MakeTable(kAlphabet);

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

inline uint16_t Crc(uint16_t crc, uint8_t b) {
    return static_cast<uint16_t>(crc << 8) ^ kCrcTable[(crc >> 8) ^ b];
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

bool IsBinHexText(std::string_view line) {
    for (char c : line)
        if (kTable[static_cast<unsigned char>(c)] < 0) return false;
    return !line.empty();
}

void BinHexDecoder::Feed(const char* data, size_t size, ByteSink* sink) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size && !m_ended; ++i) {
        int v = kTable[p[i]];
        if (v < 0) {
            if (p[i] == ':') m_ended = true;
            continue;  // line ends and blanks
        }
        m_bits = m_bits << 6 | static_cast<uint32_t>(v);
        m_bitCount += 6;
        if (m_bitCount >= 8) {
            m_bitCount -= 8;
            Rle(static_cast<uint8_t>(m_bits >> m_bitCount), sink);
        }
    }
    Flush(sink);
}

// 0x90 n repeats the previous byte to n copies in all; 0x90 0 is a literal 0x90.
void BinHexDecoder::Rle(uint8_t b, ByteSink* sink) {
    if (m_marker) {
        m_marker = false;
        if (b == 0) {
            Byte(0x90, sink);
            m_last = 0x90;
        } else {
            for (unsigned k = 1; k < b; ++k)
                Byte(m_last, sink);
        }
        return;
    }
    if (b == 0x90) {
        m_marker = true;
        return;
    }
    Byte(b, sink);
    m_last = b;
}

void BinHexDecoder::Byte(uint8_t b, ByteSink* sink) {
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
            m_crc = Crc(m_crc, b);
            if (sink) {
                m_out[m_outFill++] = b;
                if (m_outFill == sizeof m_out) Flush(sink);
            }
            if (--m_left == 0) {
                m_state = kDataCrc;
                m_left = 2;
                m_stored = 0;
            }
            return;
        case kResource:
            m_crc = Crc(m_crc, b);
            if (--m_left == 0) {
                m_state = kResourceCrc;
                m_left = 2;
                m_stored = 0;
            }
            return;
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

void BinHexDecoder::Flush(ByteSink* sink) {
    if (!sink || m_outFill == 0) {
        m_outFill = 0;
        return;
    }
    uint8_t* o = sink->Reserve(m_outFill);
    std::memcpy(o, m_out, m_outFill);
    sink->Advance(m_outFill);
    m_outFill = 0;
}

}  // namespace codec
