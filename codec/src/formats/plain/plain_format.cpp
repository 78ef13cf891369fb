// Verbatim and quoted-printable bodies; see plain_format.h.
#include "formats/plain/plain_format.h"

#include <cstring>

#include "formats/qp/qp.h"

namespace codec {

namespace {

class PlainReader : public FormatReader {
  public:
    bool TextLine(const Line&, Chunk&) override { return false; }
    void Opened(Chunk&) override { m_decoded = m_lastBreak = 0; }
    // The data runs to the end of the body: up to this line's break, or past it when the
    // body ends here.
    void BodyLine(const Line& line, Chunk& chunk) override {
        chunk.lineEnd = line.offset + line.text.size();
        chunk.lastDataEnd = line.next;
        if (chunk.part.encoding != Encoding::kQuotedPrintable) return;
        bool lineEnd = line.next > chunk.lineEnd;
        size_t n = QpLineSize(line.text, lineEnd);
        m_decoded += n;
        m_lastBreak = lineEnd && n > QpLineSize(line.text, false) ? 1 : 0;
    }
    void Closing(Chunk& chunk, Framing, bool&) override {
        chunk.part.bytes = chunk.part.end - chunk.part.begin;
        // Quoted-printable: what the decoder writes, less the last line's break when the body
        // ends before it (at a boundary).
        if (chunk.part.encoding == Encoding::kQuotedPrintable)
            chunk.part.bytes = m_decoded - (chunk.part.end == chunk.lineEnd ? m_lastBreak : 0);
    }

  private:
    uint64_t m_decoded = 0;    // by quoted-printable lines
    uint64_t m_lastBreak = 0;  // 1 when the last line's break was counted
};

class PlainSpanDecoder : public SpanDecoder {
  public:
    int Decode(Input& input, const PartInfo& part, ByteSink& sink, const LineReader::FillHook& hook,
               std::vector<char>& readBuffer) override {
        return ReadBlocks(input, part.begin, part.end, readBuffer, hook,
                          [&](const char* data, size_t size) {
                              uint8_t* o = sink.Reserve(size);
                              std::memcpy(o, data, size);
                              sink.Advance(size);
                          });
    }
};

class QpSpanDecoder : public SpanDecoder {
  public:
    int Decode(Input& input, const PartInfo& part, ByteSink& sink, const LineReader::FillHook& hook,
               std::vector<char>& readBuffer) override {
        LineReader reader(readBuffer);
        reader.Reset(input, part.begin, part.end, hook);
        Line line;
        while (reader.Next(line)) {
            // A piece of an overlong line has no line break of its own.
            bool lineEnd = line.next > line.offset + line.text.size();
            uint8_t* o = sink.Reserve(line.text.size() + 1);
            sink.Advance(DecodeQpLine(line.text, lineEnd, o));
        }
        return reader.Result();
    }
};

}  // namespace

std::unique_ptr<FormatReader> NewPlainReader() {
    return std::make_unique<PlainReader>();
}

std::unique_ptr<SpanDecoder> NewPlainDecoder(Encoding encoding, bool) {
    if (encoding == Encoding::kQuotedPrintable) return std::make_unique<QpSpanDecoder>();
    return std::make_unique<PlainSpanDecoder>();
}

}  // namespace codec
