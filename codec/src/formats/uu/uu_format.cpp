// uuencode and xxencode in the scan and the decode; see uu_format.h.
//
// A chunk is collected between its first and last data line; lines that are not data in
// between (cut marks, blank lines, a signature) stay inside the span and are skipped again by
// the decoder, which classifies lines with the same functions. A chunk without a begin line
// starts on one data line but counts only once confirmed: by a second data line that is a
// full one, or by the terminator and "end".
#include "formats/uu/uu_format.h"

#include <algorithm>
#include <cstring>

#include "base/tables.h"
#include "base/text.h"
#include "formats/base64/base64.h"
#include "formats/qp/qp.h"
#include "formats/uu/uu.h"
#include "simd/simd.h"

namespace codec {

namespace {

const SixBitTable& TableOf(Encoding encoding) {
    return encoding == Encoding::kXx ? kXxTable : kUuTable;
}

// Decodes a line classified as data, of `bytes` bytes, into sink.
void DecodeLineInto(const SixBitTable& table, std::string_view line, int bytes, ByteSink& sink) {
    DecodeUuLine(table, line, bytes, sink.Reserve(static_cast<size_t>(bytes) + kUuSlack));
    sink.Advance(static_cast<size_t>(bytes));
}

// The run of full lines `pending` starts with, checked and decoded into sink in one sweep, in
// slices of one reservation each. Returns the number of lines.
size_t DecodeFullLinesInto(const SixBitTable& table, std::string_view pending, size_t stride,
                           ByteSink& sink) {
    constexpr size_t kSliceLines = 1024;
    const auto* p = reinterpret_cast<const unsigned char*>(pending.data());
    size_t run = 0, n = 0;
    do {
        uint8_t* o = sink.Reserve(kSliceLines * 45 + kUuSlack);
        n = FullLines(table, p + run * stride, pending.size() - run * stride, stride, kSliceLines,
                      o);
        sink.Advance(n * 45);
        run += n;
    } while (n == kSliceLines);
    return run;
}

class UuReader : public FormatReader {
  public:
    bool TextLine(const Line& line, Chunk& chunk) override;
    void Opened(Chunk& chunk) override;
    void Closing(Chunk& chunk, Framing, bool&) override;
    size_t BulkRun(Chunk& chunk, std::string_view pending) override;
    void FullLines(Chunk& chunk, std::string_view, size_t count) override {
        chunk.part.bytes += 45 * static_cast<uint64_t>(count);
        chunk.part.dataEnded = false;
    }

  private:
    // A line of an open uu or xx chunk; false when it dropped the chunk as a stray line.
    bool DataLine(const Line& line, Chunk& chunk);
    // No chunk open: the line may start one.
    bool Detect(const Line& line, Chunk& chunk);

    // The verdict on a short line held, given the next line that is not blank (`end`: "end");
    // `through` is where the data then runs to at least.
    void Decide(Chunk& chunk, LineKind kind, bool end, char first, uint64_t through);

    bool m_decided = false;   // uu or xx is known for a begin block
    bool m_prevData = false;  // the previous line was a data line
    bool m_prevZero = false;  // the previous line, outside a chunk, was a terminator
    ShortLineHold m_hold;
    uint64_t m_heldBytes = 0, m_heldNext = 0;  // of the short line held
    uint8_t m_heldData[64 + kUuSlack];         // and what it decodes to, when kept
    // A file posted whole after a begin line is decoded as it is read, when asked: what the
    // part counts as data goes here, line by line as the decoder would write it.
    GrowingKeep m_keep;
    bool m_prevEmpty = false;  // in a chunk: the previous line was empty
    // Outside a chunk: the previous line was short (at m_shortOffset, of m_shortBytes), and
    // the terminator came right after it.
    bool m_prevShort = false, m_shortBeforeZero = false;
    uint64_t m_shortOffset = 0, m_shortBytes = 0;
};

void UuReader::Opened(Chunk& chunk) {
    m_decided = chunk.framing != Framing::kBegin;
    m_prevData = false;
    m_prevEmpty = false;
    m_hold.Reset();
    m_keep.Reset();
    // A file whole, the first of several parts, or the next part of the posting kept.
    bool first = chunk.part.total <= 1 || chunk.part.number == 1;
    if ((chunk.framing == Framing::kBegin && chunk.part.encoding != Encoding::kBase64 && first) ||
        chunk.keepSink)
        m_keep.Start(chunk, chunk.part.begin, 45.0 / 62);  // full lines and line feeds
}

void UuReader::Closing(Chunk& chunk, Framing, bool&) {
    const PartInfo& part = chunk.part;
    if (part.number == 1 && part.total > 1)
        m_keep.Settle(part.bytes * static_cast<uint64_t>(part.total));
    // Decoded text (a gateway's quoted-printable, HTML) is not kept: the decoder reads it
    // again as the text reads.
    if (m_keep.Active() && chunk.keepSink && m_keep.Written() == part.bytes && !part.qpText &&
        !part.markup)
        chunk.part.kept = chunk.TakeKeepId();
    m_keep.Stop();
}

size_t UuReader::BulkRun(Chunk& chunk, std::string_view pending) {
    const SixBitTable& table = TableOf(chunk.part.encoding);
    if (!m_keep.Active()) return RunOfFullLines(table, pending, chunk.bulkStride);
    return DecodeFullLinesInto(table, pending, chunk.bulkStride, m_keep);
}

void UuReader::Decide(Chunk& chunk, LineKind kind, bool end, char first, uint64_t through) {
    if (!m_hold.Held() || !m_hold.Counts(kind, end, first)) return;
    chunk.part.bytes += m_heldBytes;
    if (m_keep.Active()) {
        std::memcpy(m_keep.Reserve(m_heldBytes), m_heldData, m_heldBytes);
        m_keep.Advance(m_heldBytes);
    }
    chunk.part.hasData = true;
    chunk.part.dataEnded = true;  // a line cut short is a file's last
    // Up to the line that decided, which the decoder must see to decide alike.
    chunk.lastDataEnd = std::max(m_heldNext, through);
}

bool UuReader::TextLine(const Line& line, Chunk& chunk) {
    std::string_view t = line.text;
    PartInfo& part = chunk.part;
    bool open = chunk.framing == Framing::kBegin || chunk.framing == Framing::kHeaderless;
    bool uuFamily = part.encoding != Encoding::kBase64;
    if (open && uuFamily && IsEndLine(t)) {
        Decide(chunk, LineKind::kNotData, true, 0, line.next);
        // "begin", a terminator stripped to nothing, "end": an empty file.
        if (chunk.framing == Framing::kBegin && m_prevEmpty && part.bytes == 0) part.hasData = true;
        if (chunk.framing == Framing::kHeaderless && !chunk.confirmed) chunk.confirmed = m_prevData;
        chunk.Close(true);
        return true;
    }
    if (open && !uuFamily && Trim(t) == "====") {  // begin-base64's end, in any part
        chunk.Close(true);
        return true;
    }
    if (!line.overlong && t.size() > 6 && t[0] == 'b') {
        int mode = 0;
        std::string_view name;
        bool b64 = ParseBeginLine(t, "begin-base64", mode, name);
        if (b64 || ParseBeginLine(t, "begin", mode, name)) {
            chunk.Close(false);
            chunk.Open(Framing::kBegin, b64 ? Encoding::kBase64 : Encoding::kUu, line.next);
            chunk.part.name = std::string(name);
            chunk.part.mode = mode;
            chunk.part.hasBegin = true;
            return true;
        }
    }
    if (open) {
        if (!uuFamily) return false;  // Base64 data lines
        if (DataLine(line, chunk)) return true;
    }
    return Detect(line, chunk);
}

bool UuReader::DataLine(const Line& line, Chunk& chunk) {
    std::string_view t = line.text;
    PartInfo& part = chunk.part;
    m_prevEmpty = t.empty();
    if (!m_decided) {
        UuLine u = ClassifyUuLine(kUuTable, t, true);
        UuLine x = ClassifyUuLine(kXxTable, t, true);
        bool lower = false;
        for (char c : t)
            lower = lower || (c >= 'a' && c <= 'z');
        if (x.kind == LineKind::kData && (u.kind != LineKind::kData || lower)) {
            part.encoding = Encoding::kXx;
            m_decided = true;
        } else if (u.kind == LineKind::kData ||
                   (u.kind == LineKind::kShort && x.kind == LineKind::kNotData)) {
            m_decided = true;
        } else {
            if (u.kind == LineKind::kZero || x.kind == LineKind::kZero)
                part.hasData = true;  // "begin", "`", "end": an empty file
            else if (IsDamagedUuLine(kUuTable, t) || IsDamagedUuLine(kXxTable, t))
                ++part.damagedLines;
            return true;
        }
    }
    const SixBitTable& table = TableOf(part.encoding);
    bool headerless = chunk.framing == Framing::kHeaderless;
    // Inside a block a full line may have lost trailing blanks; the decoder reads the span with
    // the same leniency.
    UuLine u = ClassifyUuLine(table, t, true);
    if (m_hold.Held()) {
        if (u.kind == LineKind::kNotData && IsBlank(t)) {
            m_hold.Blank();
            return true;
        }
        // A terminator, or a short line that is held in turn (a full line sets the end itself).
        bool through = u.kind == LineKind::kZero || u.kind == LineKind::kShort;
        Decide(chunk, u.kind, false, t[0], through ? line.next : 0);
    }
    if (u.kind == LineKind::kShort && (!headerless || chunk.confirmed)) {
        m_hold.Hold(t[0]);
        m_heldBytes = static_cast<uint64_t>(u.bytes);
        if (m_keep.Active()) DecodeUuLine(table, t, u.bytes, m_heldData);
        m_heldNext = line.next;
        m_prevData = false;
        return true;
    }
    if (u.kind == LineKind::kData) {
        part.dataEnded = u.bytes < 45;  // a file's last line is the only one not full
        chunk.bulkStride = FullLineStride(table, t, line.Stride());
        if (headerless && !chunk.confirmed && chunk.bulkStride) chunk.confirmed = true;
        part.bytes += static_cast<uint64_t>(u.bytes);
        if (m_keep.Active()) DecodeLineInto(table, t, u.bytes, m_keep);
        part.hasData = true;
        chunk.lastDataEnd = line.next;
        m_prevData = true;
        if (!chunk.confirmed) chunk.bulkStride = 0;
        return true;
    }
    if (u.kind == LineKind::kZero) {
        part.dataEnded = true;
        if (headerless && !chunk.confirmed) chunk.confirmed = m_prevData;
        if (!headerless) part.hasData = true;  // "`": an empty file's data
        m_prevData = false;
        return true;
    }
    m_prevData = false;
    if (IsBlank(t)) return true;
    if (!chunk.confirmed) {
        chunk.framing = Framing::kNone;  // a stray line that happened to look like data
        return false;
    }
    if (IsDamagedUuLine(table, t)) ++part.damagedLines;
    return true;
}

bool UuReader::Detect(const Line& line, Chunk& chunk) {
    std::string_view t = line.text;
    if (line.overlong) return true;
    // The last part of a posting may hold no data but the terminator and "end", or only one
    // line cut short by stripped blanks before them (a terminator stripped arrives empty), or
    // "end" alone (the assembly checks that the part before it ended its data).
    bool zero = t == "`" || t == "+" || t == " " || t.empty();
    bool endAlone = !m_prevZero && chunk.article.number > 1;
    if (IsEndLine(t) && (m_prevZero || endAlone) &&
        (chunk.article.number > 1 || chunk.Continuing(Encoding::kUu) ||
         chunk.Continuing(Encoding::kXx))) {
        bool xx = chunk.Continuing(Encoding::kXx);
        bool withShort = !xx && m_shortBeforeZero;
        chunk.Open(Framing::kHeaderless, xx ? Encoding::kXx : Encoding::kUu,
                   withShort ? m_shortOffset : line.offset);
        chunk.part.hasData = true;
        chunk.part.endOnly = endAlone;
        chunk.part.dataEnded = true;
        chunk.confirmed = true;
        if (withShort) {
            chunk.part.bytes = m_shortBytes;
            chunk.lastDataEnd = line.next;
        }
        m_prevZero = m_prevShort = m_shortBeforeZero = false;
        chunk.Close(true);
        return true;
    }
    m_shortBeforeZero = zero && m_prevShort;
    m_prevZero = zero;
    UuLine cut = ClassifyUuLine(kUuTable, t, true);
    m_prevShort = cut.kind == LineKind::kShort;
    if (m_prevShort) {
        m_shortOffset = line.offset;
        m_shortBytes = static_cast<uint64_t>(cut.bytes);
    }
    // Where Base64 goes on without headers, its lines are its own, though some look like xx.
    if (chunk.Continuing(Encoding::kBase64) && IsBase64Line(t)) return false;
    for (const SixBitTable* table : {&kUuTable, &kXxTable}) {
        UuLine u = ClassifyUuLine(*table, t, false);
        if (u.kind != LineKind::kData) continue;
        Encoding encoding = table == &kXxTable ? Encoding::kXx : Encoding::kUu;
        chunk.Open(Framing::kHeaderless, encoding, line.offset);
        // One full line is data enough where a part of a posting is expected.
        chunk.confirmed = IsFullUuLine(*table, t) && chunk.MayContinue(encoding);
        chunk.part.bytes = static_cast<uint64_t>(u.bytes);
        if (m_keep.Active()) DecodeLineInto(*table, t, u.bytes, m_keep);
        chunk.part.hasData = true;
        chunk.lastDataEnd = line.next;
        m_prevData = true;
        return true;
    }
    return false;
}

// Line by line, only the lines the scan counted as data, up to "end"; runs of full lines in
// bulk.
class UuSpanDecoder : public SpanDecoder {
  public:
    explicit UuSpanDecoder(Encoding encoding) : m_table(TableOf(encoding)) {}
    int Decode(Input& input, const PartInfo& part, ByteSink& sink, const LineReader::FillHook& hook,
               std::vector<char>& readBuffer) override;

  private:
    const SixBitTable& m_table;
};

int UuSpanDecoder::Decode(Input& input, const PartInfo& part, ByteSink& sink,
                          const LineReader::FillHook& hook, std::vector<char>& readBuffer) {
    const SixBitTable& table = m_table;
    LineReader reader(readBuffer);
    reader.Reset(input, part.begin, part.end, hook);
    PartTextLines lines(reader, part.qpText, part.markup);
    Line line;
    // A short line is decoded aside until the lines after it say whether it is data.
    ShortLineHold hold;
    uint8_t held[64 + kUuSlack];
    size_t heldBytes = 0;
    while (lines.Next(line)) {
        if (line.overlong) continue;
        bool end = IsEndLine(line.text);
        UuLine u = end ? UuLine() : ClassifyUuLine(table, line.text, true);
        if (hold.Held()) {
            if (u.kind == LineKind::kNotData && !end && IsBlank(line.text)) {
                hold.Blank();
                continue;
            }
            if (hold.Counts(u.kind, end, line.text.empty() ? '\0' : line.text[0])) {
                std::memcpy(sink.Reserve(heldBytes), held, heldBytes);
                sink.Advance(heldBytes);
            }
        }
        if (end) break;
        if (u.kind == LineKind::kShort) {
            DecodeUuLine(table, line.text, u.bytes, held);
            heldBytes = static_cast<size_t>(u.bytes);
            hold.Hold(line.text[0]);
            continue;
        }
        if (u.kind != LineKind::kData) continue;
        DecodeLineInto(table, line.text, u.bytes, sink);
        // A full line is usually followed by more of the same: take them in bulk.
        size_t stride = FullLineStride(table, line.text, line.Stride());
        if (stride == 0 || part.qpText || part.markup)
            continue;  // decoded text is read line by line
        // (Full lines begin with data.)
        reader.Consume(DecodeFullLinesInto(table, reader.Pending(true), stride, sink) * stride);
    }
    return reader.Result();
}

}  // namespace

std::unique_ptr<FormatReader> NewUuReader() {
    return std::make_unique<UuReader>();
}

std::unique_ptr<SpanDecoder> NewUuDecoder(Encoding encoding, bool) {
    return std::make_unique<UuSpanDecoder>(encoding);
}

const CutLineRules kUuCut = {
    // The length character decides: a full line as long as its neighbours, or a file's last.
    [](Encoding encoding, std::string_view joined, size_t neighbour) {
        UuLine u = ClassifyUuLine(TableOf(encoding), joined, false);
        return u.kind == LineKind::kData && (u.bytes < 45 || joined.size() == neighbour);
    },
    // Inside a block the scan took the piece for a full line that lost its trailing blanks.
    [](PartInfo& part, std::string_view line) {
        UuLine u = ClassifyUuLine(TableOf(part.encoding), line, true);
        if (u.kind != LineKind::kData) return;
        part.bytes -= std::min(part.bytes, static_cast<uint64_t>(u.bytes));
        part.dataEnded = false;
    },
};

}  // namespace codec
