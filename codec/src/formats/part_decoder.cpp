// Span decoding; see part_decoder.h. uu, xx and BinHex are read line by line (only data lines
// count, exactly as the scan classified them); Base64 and yEnc are read as blocks, since their
// decoders skip line ends themselves.
#include "formats/part_decoder.h"

#include <cstring>
#include <new>

#include "base/tables.h"
#include "base/text.h"
#include "formats/base64/base64.h"
#include "formats/binhex/binhex.h"
#include "formats/qp/qp.h"
#include "formats/uu/uu.h"
#include "formats/yenc/yenc.h"
#include "simd/simd.h"

namespace codec {

namespace {

constexpr size_t kSlice = 64 * 1024;

}  // namespace

struct StreamState {
    Base64Decoder base64;
    YencDecoder yenc;
    BinHexDecoder binhex;  // its stream runs on from part to part
};

PartDecoder::PartDecoder(std::vector<char>& readBuffer)
    : m_readBuffer(readBuffer), m_state(new StreamState) {}

PartDecoder::~PartDecoder() {
    delete m_state;
}

void PartDecoder::Begin(bool checks) {
    // Made afresh as the constructor makes it: every field that counts has its initializer,
    // and the BinHex staging buffer (16 KiB) is not cleared for nothing on every record.
    m_state->~StreamState();
    ::new (m_state) StreamState;
    m_state->binhex.SetChecks(checks);
}

const BinHexDecoder& PartDecoder::binhex() const {
    return m_state->binhex;
}

void PartDecoder::End(ByteSink& sink) {
    uint8_t* o = sink.Reserve(8);
    sink.Advance(m_state->base64.Finish(o));
}

int PartDecoder::Decode(Input& input, const PartInfo& part, ByteSink& sink,
                        const LineReader::FillHook& hook) {
    switch (part.encoding) {
        case Encoding::kUu:
        case Encoding::kXx:
            return DecodeLines(input, part, sink, hook);
        case Encoding::kBase64:
            return DecodeSliced(
                input, part, sink, hook, [&](size_t n) { return n / 4 * 3 + 8; },
                [&](const char* data, size_t n, uint8_t* o) {
                    return m_state->base64.Decode(data, n, o);
                });
        case Encoding::kYenc:
            m_state->yenc.Reset();  // every part is complete in itself
            return DecodeSliced(
                input, part, sink, hook, [&](size_t n) { return n + 16; },
                [&](const char* data, size_t n, uint8_t* o) {
                    return m_state->yenc.Decode(data, n, o);
                });
        case Encoding::kBinHex:
            return DecodeBinHex(input, part, sink, hook);
        case Encoding::kPlain:
            return ReadBlocks(input, part.begin, part.end, m_readBuffer, hook,
                              [&](const char* data, size_t size) {
                                  uint8_t* o = sink.Reserve(size);
                                  std::memcpy(o, data, size);
                                  sink.Advance(size);
                              });
        case Encoding::kQuotedPrintable:
            return DecodeQp(input, part, sink, hook);
        default:
            return 0;
    }
}

// Block decoders read the span in slices of kSlice characters, each decoded straight into
// the sink's room for it (room(n) bytes for n characters).
int PartDecoder::DecodeSliced(Input& input, const PartInfo& part, ByteSink& sink,
                              const LineReader::FillHook& hook,
                              const std::function<size_t(size_t)>& room,
                              const std::function<size_t(const char*, size_t, uint8_t*)>& decode) {
    return ReadBlocks(input, part.begin, part.end, m_readBuffer, hook,
                      [&](const char* data, size_t size) {
                          while (size > 0) {
                              size_t n = size < kSlice ? size : kSlice;
                              uint8_t* o = sink.Reserve(room(n));
                              sink.Advance(decode(data, n, o));
                              data += n;
                              size -= n;
                          }
                      });
}

int PartDecoder::DecodeQp(Input& input, const PartInfo& part, ByteSink& sink,
                          const LineReader::FillHook& hook) {
    LineReader reader(m_readBuffer);
    reader.Reset(input, part.begin, part.end);
    reader.SetFillHook(hook);
    codec::Line line;
    while (reader.Next(line)) {
        // A piece of an overlong line has no line break of its own.
        bool lineEnd = line.next > line.offset + line.text.size();
        uint8_t* o = sink.Reserve(line.text.size() + 1);
        sink.Advance(DecodeQpLine(line.text, lineEnd, o));
    }
    if (reader.stopped()) return -1;
    return reader.error();
}

// BinHex line by line, passing over what the scan passed over (pieces of overlong lines, cut
// marks and signatures between data lines); runs of full lines in bulk.
int PartDecoder::DecodeBinHex(Input& input, const PartInfo& part, ByteSink& sink,
                              const LineReader::FillHook& hook) {
    LineReader reader(m_readBuffer);
    reader.Reset(input, part.begin, part.end);
    reader.SetFillHook(hook);
    BinHexDecoder& binhex = m_state->binhex;
    codec::Line line;
    while (reader.Next(line)) {
        if (line.overlong) continue;
        size_t colon = line.text.find(':');
        std::string_view data = Trim(line.text.substr(0, colon));
        if (!data.empty() && !IsBinHexText(data)) continue;
        binhex.Feed(data.data(), data.size(), &sink);
        if (colon != std::string_view::npos) break;
        size_t stride = line.next - line.offset;
        if (line.text.size() != 64 || data.size() != 64 || (stride != 65 && stride != 66)) continue;
        std::string_view pending = reader.Pending();
        size_t run = BinHexFullLines(reinterpret_cast<const unsigned char*>(pending.data()),
                                     pending.size(), stride);
        if (run == 0) continue;
        binhex.FeedLines(pending, run, stride, &sink);
        reader.Consume(run * stride);
    }
    if (reader.stopped()) return -1;
    return reader.error();
}

int PartDecoder::DecodeLines(Input& input, const PartInfo& part, ByteSink& sink,
                             const LineReader::FillHook& hook) {
    const SixBitTable& table = part.encoding == Encoding::kXx ? kXxTable : kUuTable;
    LineReader reader(m_readBuffer);
    reader.Reset(input, part.begin, part.end);
    reader.SetFillHook(hook);
    codec::Line line;
    while (reader.Next(line)) {
        if (line.overlong) continue;
        if (IsEndLine(line.text)) break;
        UuLine u = ClassifyUuLine(table, line.text, true);
        if (u.kind != LineKind::kData) continue;
        uint8_t* o = sink.Reserve(static_cast<size_t>(u.bytes) + kUuSlack);
        DecodeUuLine(table, line.text, u.bytes, o);
        sink.Advance(static_cast<size_t>(u.bytes));
        // A full line is usually followed by more of the same: take them in bulk.
        size_t stride = FullLineStride(table, line.text, line.next - line.offset);
        if (stride == 0) continue;
        std::string_view pending = reader.Pending();
        // The run in slices, each decoded into one reservation of the sink.
        constexpr size_t kSliceLines = 1024;
        if (&table == &kUuTable) {
            // Checked and decoded in one sweep.
            const auto* p = reinterpret_cast<const unsigned char*>(pending.data());
            size_t done = 0, n = 0;
            do {
                o = sink.Reserve(kSliceLines * 45 + kUuSlack);
                n = UuFullLines(p + done * stride, pending.size() - done * stride, stride,
                                kSliceLines, o);
                sink.Advance(n * 45);
                done += n;
            } while (n == kSliceLines);
            reader.Consume(done * stride);
            continue;
        }
        size_t run = RunOfFullLines(table, pending, stride);
        for (size_t i = 0; i < run;) {
            size_t n = run - i < kSliceLines ? run - i : kSliceLines;
            o = sink.Reserve(n * 45 + kUuSlack);
            for (size_t k = 0; k < n; ++k, ++i, o += 45)
                DecodeUuLine(table, pending.substr(i * stride, 61), 45, o);
            sink.Advance(n * 45);
        }
        reader.Consume(run * stride);
    }
    if (reader.stopped()) return -1;
    return reader.error();
}

}  // namespace codec
