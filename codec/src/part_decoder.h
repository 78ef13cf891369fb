// Decodes the data span of one part into a byte sink: the output file when decoding, a CRC
// counter when verifying checksums after a scan. One function per encoding family, all over
// the same reused read buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "binhex.h"
#include "line_reader.h"
#include "part.h"

namespace codec {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Room for at least `need` bytes; the caller fills some and calls Advance.
    virtual uint8_t* Reserve(size_t need) = 0;
    virtual void Advance(size_t used) = 0;
};

// Takes bytes and forgets them.
class NullSink : public ByteSink {
  public:
    explicit NullSink(std::vector<uint8_t>& buffer) : m_buffer(buffer) {}
    uint8_t* Reserve(size_t need) override {
        if (m_buffer.size() < need) m_buffer.resize(need);
        return m_buffer.data();
    }
    void Advance(size_t) override {}

  private:
    std::vector<uint8_t>& m_buffer;
};

// Counts what it is given: CRC-32 (as zlib computes it) and size, through a reused buffer.
class CrcSink : public ByteSink {
  public:
    explicit CrcSink(std::vector<uint8_t>& buffer);
    uint8_t* Reserve(size_t need) override;
    void Advance(size_t used) override { m_fill += used; }
    // Counts what is still buffered; call before reading crc() and size().
    void Flush();
    uint32_t crc() const { return m_crc; }
    uint64_t size() const { return m_size; }

  private:
    std::vector<uint8_t>& m_buffer;
    size_t m_fill = 0;
    uint32_t m_crc = 0;
    uint64_t m_size = 0;
};

// Decoder state that runs on from one part into the next (Base64 quads and BinHex streams
// may be split between parts); reset it per record.
struct StreamState;

class PartDecoder {
  public:
    explicit PartDecoder(std::vector<char>& readBuffer);
    ~PartDecoder();

    // Starts a record: forgets the state carried between parts. Without checks, checksums the
    // scan verified already are not computed again.
    void Begin(bool checks = true);
    // Decodes part (read from fd) into sink. Returns 0, an errno value for a read error, or
    // -1 when the hook asked to stop.
    int Decode(Input& input, const PartInfo& part, ByteSink& sink,
               const LineReader::FillHook& hook);
    // Ends a record: flushes what the state still holds (a final partial Base64 quad).
    void End(ByteSink& sink);
    // The BinHex stream of the record so far: its header and CRC results.
    const BinHexDecoder& binhex() const;

  private:
    int DecodeLines(Input& input, const PartInfo& part, ByteSink& sink,
                    const LineReader::FillHook& hook);
    int DecodeQp(Input& input, const PartInfo& part, ByteSink& sink,
                 const LineReader::FillHook& hook);

    std::vector<char>& m_readBuffer;
    StreamState* m_state;
};

}  // namespace codec
