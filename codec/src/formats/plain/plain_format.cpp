// Verbatim and quoted-printable bodies; see plain_format.h.
#include "formats/plain/plain_format.h"

#include <cstring>

#include "formats/qp/qp.h"

namespace codec {

namespace {

class PlainReader : public FormatReader {
  public:
    bool TextLine(const Line&, Chunk&) override { return false; }
    // The data runs to the end of the body: up to this line's break, or past it when the
    // body ends here.
    void BodyLine(const Line& line, Chunk& chunk) override {
        chunk.lineEnd = line.offset + line.text.size();
        chunk.lastDataEnd = line.next;
    }
    void Closing(Chunk& chunk, Framing, bool&) override {
        chunk.part.bytes = chunk.part.end - chunk.part.begin;
    }
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
