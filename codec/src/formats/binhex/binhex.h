// BinHex 4.0 (RFC 1741): a 6-bit alphabet between ':' marks, run-length coded with 0x90, over
// a stream of header, data fork and resource fork, each followed by its CRC-16 (XMODEM:
// polynomial 0x1021, initial value 0). The decoder streams: it keeps the few bytes of state
// the format needs, writes the data fork to a sink and checks every CRC as it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace codec {

class ByteSink;

struct BinHexHeader {
    std::string name;
    uint32_t dataLength = 0;
    uint32_t resourceLength = 0;
};

// What a BinHex stream showed of its CRCs once read.
struct BinHexCheck {
    bool headerDone = false, complete = false;
    bool headerOk = false, dataOk = false, resourceOk = false;
    uint32_t resourceLength = 0;
    uint32_t dataLength = 0;
};

// True for a line of BinHex characters only (no ':').
bool IsBinHexText(std::string_view line);

class BinHexDecoder {
  public:
    // Decodes characters (those outside the alphabet are skipped; a ':' ends the data). The
    // data fork goes to sink, which may be null.
    void Feed(const char* data, size_t size, ByteSink* sink);
    // Feeds `count` full data lines (64 characters, then a line end) that lie `stride` bytes
    // apart from run: as Feed of the same text, but quicker on the characters alone.
    void FeedLines(std::string_view run, size_t count, size_t stride, ByteSink* sink);
    // Writes out what is buffered.
    void Flush(ByteSink* sink);
    // Without checks the forks' CRCs are not computed (the data was checked before).
    void SetChecks(bool checks) { m_checks = checks; }

    bool headerDone() const { return m_state > kHeaderCrc; }
    const BinHexHeader& header() const { return m_header; }
    bool complete() const { return m_state == kDone; }  // every fork and CRC read
    bool ended() const { return m_ended; }              // the closing ':' seen
    bool headerCrcOk() const { return m_headerCrcOk; }
    bool dataCrcOk() const { return m_dataCrcOk; }
    bool resourceCrcOk() const { return m_resourceCrcOk; }
    BinHexCheck Check() const {
        return {headerDone(),       complete(),      m_headerCrcOk,
                m_dataCrcOk,        m_resourceCrcOk, m_header.resourceLength,
                m_header.dataLength};
    }

  private:
    enum State {
        kNameLength,
        kName,
        kHeaderRest,
        kHeaderCrc,
        kData,
        kDataCrc,
        kResource,
        kResourceCrc,
        kDone
    };
    static constexpr size_t kChunk = 4096;
    size_t Bits(const unsigned char* p, size_t size, uint8_t* out, size_t& used);
    void Rle(const uint8_t* b, size_t n, ByteSink* sink);
    void Repeat(uint8_t b, unsigned count, ByteSink* sink);
    void Bytes(const uint8_t* b, size_t n, ByteSink* sink);
    void Byte(uint8_t b);
    void Next();

    State m_state = kNameLength;
    uint32_t m_bits = 0;
    int m_bitCount = 0;
    bool m_marker = false;  // a 0x90 was read; the count comes next
    uint8_t m_last = 0;
    bool m_ended = false;
    bool m_checks = true;

    BinHexHeader m_header;
    uint32_t m_left = 0;  // bytes left in the current field or fork
    uint8_t m_field[20] = {};
    uint32_t m_fieldLength = 0;
    uint16_t m_crc = 0;
    uint16_t m_stored = 0;
    bool m_headerCrcOk = false;
    bool m_dataCrcOk = false;
    bool m_resourceCrcOk = false;

    uint8_t m_out[16384];  // fork bytes not yet checked and handed on
    size_t m_outFill = 0;
};

}  // namespace codec
