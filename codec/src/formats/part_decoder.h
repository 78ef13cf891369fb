// Decodes the data span of one part into a byte sink: the output file when decoding, a CRC
// counter when verifying checksums after a scan. One function per encoding family, all over
// the same reused read buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/byte_sink.h"
#include "formats/binhex/binhex.h"
#include "formats/part.h"
#include "io/line_reader.h"

namespace codec {

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
    int DecodeSliced(Input& input, const PartInfo& part, ByteSink& sink,
                     const LineReader::FillHook& hook, const std::function<size_t(size_t)>& room,
                     const std::function<size_t(const char*, size_t, uint8_t*)>& decode);
    int DecodeQp(Input& input, const PartInfo& part, ByteSink& sink,
                 const LineReader::FillHook& hook);
    int DecodeBinHex(Input& input, const PartInfo& part, ByteSink& sink,
                     const LineReader::FillHook& hook);

    std::vector<char>& m_readBuffer;
    StreamState* m_state;
};

}  // namespace codec
