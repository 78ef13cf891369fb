// Decodes the data spans of one record's parts, in order, into a byte sink (the output file
// when decoding, a CRC counter when verifying checksums after a scan), through the decoder of
// the record's format over one reused read buffer.
#pragma once

#include <memory>
#include <vector>

#include "base/byte_sink.h"
#include "formats/format.h"
#include "formats/part.h"
#include "io/line_reader.h"

namespace codec {

class PartDecoder {
  public:
    explicit PartDecoder(std::vector<char>& readBuffer) : m_readBuffer(readBuffer) {}

    // Starts a record: forgets the state carried between parts. Without checks, checksums the
    // scan verified already are not computed again.
    void Begin(bool checks = true) {
        m_decoder.reset();
        m_checks = checks;
    }
    // Decodes part (read from input) into sink. Returns 0, an errno value for a read error,
    // or -1 when the hook asked to stop.
    int Decode(Input& input, const PartInfo& part, ByteSink& sink,
               const LineReader::FillHook& hook) {
        if (!m_decoder) m_decoder = NewSpanDecoder(part.encoding, m_checks);
        if (!m_decoder) return 0;
        return m_decoder->Decode(input, part, sink, hook, m_readBuffer);
    }
    // Ends a record: flushes what the state still holds (a final partial Base64 quad).
    void End(ByteSink& sink) {
        if (m_decoder) m_decoder->End(sink);
    }

  private:
    std::vector<char>& m_readBuffer;
    bool m_checks = true;
    std::unique_ptr<SpanDecoder> m_decoder;
};

}  // namespace codec
