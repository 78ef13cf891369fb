// yEnc in the scan: the =ybegin, =ypart and =yend lines and the data between them, decoded as
// it is read for its CRC-32 and size. In the decode: the span in blocks, line ends skipped.
#include "formats/yenc/yenc_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "formats/block_decoder.h"
#include "formats/yenc/yenc.h"
#include "simd/simd.h"

namespace codec {

namespace {

constexpr size_t kYencSlice = 64 * 1024;  // decoded at a time by the bulk path

// A part that is the whole file: no numbering beyond 1 of 1, no =ypart range.
bool IsSingle(const PartInfo& part) {
    return part.number <= 1 && part.total <= 1 && part.Yenc().rangeBegin <= 0;
}

// The bytes a part's =ypart range covers, or -1 without one.
int64_t RangeSize(const YencFacts& f) {
    return f.rangeBegin > 0 && f.rangeEnd >= f.rangeBegin ? f.rangeEnd - f.rangeBegin + 1 : -1;
}

class YencReader : public FormatReader {
  public:
    bool TextLine(const Line& line, Chunk& chunk) override;
    void Opened(Chunk&) override { Restart(); }
    void Closing(Chunk& chunk, Framing, bool&) override;
    size_t BulkRun(Chunk& chunk, std::string_view pending) override;
    void FullLines(Chunk& chunk, std::string_view run, size_t) override {
        // Lines of data, none blank; the decoder skips the line ends itself.
        chunk.part.hasData = true;
        for (size_t at = 0; at < run.size(); at += kYencSlice)
            Data(chunk, run.substr(at, kYencSlice));
        CheckComplete(chunk);
    }

  private:
    // The bytes the part says it carries (its =ypart range, or a single part's size), or -1.
    static int64_t Expected(const PartInfo& part);
    // Marks the chunk complete once it holds what it said.
    void CheckComplete(Chunk& chunk);
    size_t RunOfDataLines(const Chunk& chunk, std::string_view pending) const;
    void DataLine(const Line& line, Chunk& chunk);
    void Data(Chunk& chunk, std::string_view text);
    void Flush(Chunk& chunk);
    void Restart();  // forgets the data decoded so far

    YencDecoder m_decoder;
    std::vector<uint8_t> m_out;
    size_t m_fill = 0;
    uint32_t m_crc = 0;
    uint64_t m_size = 0;
};

bool YencReader::TextLine(const Line& line, Chunk& chunk) {
    std::string_view t = line.text;
    bool keyword = !line.overlong && t.size() >= 5 && t[0] == '=' && t[1] == 'y';
    bool open = chunk.framing == Framing::kYenc;
    if (open && !keyword) {
        DataLine(line, chunk);
        return true;
    }
    if (!keyword) return false;
    PartInfo& part = chunk.part;
    YencBegin begin;
    if (ParseYbegin(t, begin)) {
        chunk.Close(false);
        chunk.Open(Framing::kYenc, Encoding::kYenc, line.next);
        part.name = begin.name;
        if (begin.part > 0) {
            part.number = begin.part;
            if (begin.total > 0) part.total = begin.total;
        }
        part.fileSize = begin.size;
        part.hasBegin = begin.part <= 1;
        if (begin.part == 0 || (begin.part == 1 && begin.total == 1))
            chunk.StartKeeping(static_cast<uint64_t>(std::max<int64_t>(begin.size, 0)));
        return true;
    }
    if (!open) return false;
    YencFacts& facts = part.Yenc();
    YencPart range;
    if (ParseYpart(t, range)) {
        part.begin = chunk.lastDataEnd = line.next;
        if (m_size + m_fill > 0) chunk.StopKeeping();  // what was kept is not the data
        Restart();                                     // the data starts after this line
        chunk.dataComplete = false;
        facts.rangeBegin = range.begin;
        facts.rangeEnd = range.end;
        part.hasBegin = range.begin == 1 || part.number <= 1;
        return true;
    }
    YencEnd end;
    if (ParseYend(t, end)) {
        facts.endSize = end.size;
        facts.hasPartCrc = end.hasPartCrc;
        facts.partCrc = end.partCrc;
        facts.hasFileCrc = end.hasCrc;
        facts.fileCrc = end.crc;
        // The end of the file: the last part, or the part that reaches the file's size (which
        // alone says so when the parts do not say how many they are: total= is optional).
        bool ranged = facts.rangeBegin > 0;
        bool last = part.number <= 0 || (part.total <= 0 && !ranged) || part.number == part.total ||
                    (ranged && facts.rangeEnd == part.fileSize);
        if (!part.hasData && end.size == 0) part.hasData = true;  // an empty file
        chunk.Close(last);
        return true;
    }
    // A keyword this reading does not know, inside the data: data like any other line, as the
    // decoder reads the span.
    DataLine(line, chunk);
    return true;
}

int64_t YencReader::Expected(const PartInfo& part) {
    if (part.Yenc().rangeBegin > 0) return RangeSize(part.Yenc());
    return IsSingle(part) ? part.fileSize : -1;
}

void YencReader::CheckComplete(Chunk& chunk) {
    int64_t want = Expected(chunk.part);
    if (want >= 0 && m_size + m_fill >= static_cast<uint64_t>(want)) {
        chunk.dataComplete = true;
        chunk.bulkStride = 0;
    }
}

// A part that has all its data but no =yend (lost, or never written) ends there: what
// follows (the next article's header, say) is not data.
void YencReader::DataLine(const Line& line, Chunk& chunk) {
    if (line.text.empty()) return;  // blanks are data here (bytes 0xF6 and 0xDF)
    if (chunk.dataComplete) return;
    chunk.part.hasData = true;
    chunk.lastDataEnd = line.next;
    Data(chunk, line.text);
    if (!line.overlong) chunk.bulkStride = 1;
    CheckComplete(chunk);
}

void YencReader::Data(Chunk& chunk, std::string_view text) {
    if (ByteSink* sink = chunk.keepSink) {  // decoded straight into what is kept
        Flush(chunk);
        uint8_t* o = sink->Reserve(text.size() + 16);
        size_t n = m_decoder.Decode(text.data(), text.size(), o);
        m_crc = Crc32(m_crc, o, n);
        m_size += n;
        sink->Advance(n);
        return;
    }
    if (m_out.size() - m_fill < text.size() + 16) {
        Flush(chunk);
        if (m_out.size() < text.size() + 16)
            m_out.resize(std::max<size_t>(text.size() + 16, 65536));
    }
    m_fill += m_decoder.Decode(text.data(), text.size(), m_out.data() + m_fill);
}

void YencReader::Restart() {
    m_decoder.Reset();
    m_fill = 0;
    m_crc = 0;
    m_size = 0;
}

void YencReader::Flush(Chunk& chunk) {
    if (m_fill == 0) return;
    m_crc = Crc32(m_crc, m_out.data(), m_fill);
    if (chunk.keepSink) {
        std::memcpy(chunk.keepSink->Reserve(m_fill), m_out.data(), m_fill);
        chunk.keepSink->Advance(m_fill);
    }
    m_size += m_fill;
    m_fill = 0;
}

void YencReader::Closing(Chunk& chunk, Framing, bool&) {
    PartInfo& part = chunk.part;
    YencFacts& facts = part.Yenc();
    Flush(chunk);
    facts.crc = m_crc;
    facts.decodedSize = m_size;
    part.verified = true;
    part.kept = chunk.TakeKeepId();
    // Escapes make the data a little longer than what it carries; the format knows.
    if (RangeSize(facts) >= 0)
        part.bytes = static_cast<uint64_t>(RangeSize(facts));
    else if (facts.endSize >= 0)
        part.bytes = static_cast<uint64_t>(facts.endSize);
    else if (part.fileSize >= 0 && IsSingle(part))
        part.bytes = static_cast<uint64_t>(part.fileSize);
    else
        part.bytes = m_size;
}

// Never more lines than can hold the bytes still expected (a character is at most a byte),
// so that the line that completes the part is read on its own.
size_t YencReader::BulkRun(Chunk& chunk, std::string_view pending) {
    size_t run = RunOfDataLines(chunk, pending);
    int64_t want = Expected(chunk.part);
    if (want < 0 || run == 0) return run;
    uint64_t have = m_size + m_fill;
    uint64_t left = static_cast<uint64_t>(want) > have ? static_cast<uint64_t>(want) - have : 0;
    if (run <= left) return run;
    size_t cut = pending.rfind('\n', static_cast<size_t>(left));
    return cut == std::string_view::npos ? 0 : std::min(run, cut + 1);
}

// yEnc data lines: the whole lines up to one that the line-by-line scan would read as more
// than data (a keyword, a MIME boundary) or that is blank (a message may start after it).
size_t YencReader::RunOfDataLines(const Chunk& chunk, std::string_view pending) const {
    const auto* p = reinterpret_cast<const unsigned char*>(pending.data());
    size_t n = pending.size();
    auto stops = [&](size_t at) {
        std::string_view t = pending.substr(at);
        size_t lf = t.find('\n');
        t = t.substr(0, lf);
        if (t.size() >= 2 && t[0] == '=' && t[1] == 'y') return true;
        if (chunk.insideMultipart && t.size() >= 2 && t[0] == '-' && t[1] == '-') return true;
        return IsBlank(t);
    };
    if (n == 0 || stops(0)) return 0;
    for (size_t at = 0;;) {
        at += FindMarkedLineStart(p + at, n - at);
        if (at >= n) break;
        if (stops(at)) return at;
    }
    size_t last = pending.rfind('\n');
    return last == std::string_view::npos ? 0 : last + 1;
}

// Every part is complete in itself: the escape state starts afresh with each.
class YencSpanDecoder : public SpanDecoder {
  public:
    int Decode(Input& input, const PartInfo& part, ByteSink& sink, const LineReader::FillHook& hook,
               std::vector<char>& readBuffer) override {
        m_decoder.Reset();
        return DecodeBlocks(
            input, part, sink, hook, readBuffer, [](size_t n) { return n + 16; },
            [&](const char* data, size_t n, uint8_t* o) { return m_decoder.Decode(data, n, o); });
    }

  private:
    YencDecoder m_decoder;
};

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

}  // namespace

std::unique_ptr<FormatReader> NewYencReader() {
    return std::make_unique<YencReader>();
}

std::unique_ptr<SpanDecoder> NewYencDecoder(Encoding, bool) {
    return std::make_unique<YencSpanDecoder>();
}

namespace {

// A part's CRC-32 and sizes against what the encoder wrote, with a warning (when warn is
// given, where: "'name' part N") for each that differs.
CopyCheck CheckYencPart(const PartInfo& p, const std::string& name, const Warn* warn) {
    if (!p.verified) return CopyCheck::kUnknown;
    const YencFacts& f = p.Yenc();
    std::string where = "'" + name + "' part " + std::to_string(p.number);
    bool single = IsSingle(p);
    uint32_t expected = f.hasPartCrc ? f.partCrc : f.fileCrc;
    bool crcKnown = f.hasPartCrc || (single && f.hasFileCrc);
    bool bad = false;
    if (crcKnown && expected != f.crc) {
        bad = true;
        if (warn)
            (*warn)(where + ": the CRC-32 of the data is " + Hex(f.crc) + ", the encoder wrote " +
                    Hex(expected));
    }
    int64_t size = static_cast<int64_t>(f.decodedSize);
    int64_t range = RangeSize(f);
    if ((f.endSize >= 0 && f.endSize != size) || (range >= 0 && range != size) ||
        (single && p.fileSize >= 0 && p.fileSize != size)) {
        bad = true;
        if (warn)
            (*warn)(where + ": " + std::to_string(size) +
                    " bytes of data, not the size the encoder wrote");
    }
    return bad ? CopyCheck::kBad : crcKnown ? CopyCheck::kGood : CopyCheck::kUnknown;
}

}  // namespace

CopyCheck CheckYencCopy(const PartInfo& part) {
    return CheckYencPart(part, std::string(), nullptr);
}

bool CheckYencParts(std::vector<PartInfo>& parts, const std::string& name, const Warn& warn) {
    bool bad = false;
    for (PartInfo& p : parts) {
        if (p.verified && !p.checked) {
            p.checked = true;
            if (CheckYencPart(p, name, &warn) == CopyCheck::kBad) p.checksumBad = true;
        }
        bad = bad || p.checksumBad;
    }
    return bad;
}

bool CheckYencFile(const std::vector<PartInfo>& parts, const std::string& name, const Warn& warn) {
    const PartInfo* last = parts.empty() ? nullptr : &parts.back();
    // Only a whole set is compared: some encoders write the file's CRC on every part.
    bool complete =
        last && parts.size() > 1 && last->Yenc().hasFileCrc && last->hasEnd &&
        static_cast<size_t>(last->number) == parts.size() &&
        std::all_of(parts.begin(), parts.end(), [](const PartInfo& p) { return p.verified; });
    if (!complete) return true;
    uLong crc = parts[0].Yenc().crc;
    for (size_t i = 1; i < parts.size(); ++i)
        crc = crc32_combine(crc, parts[i].Yenc().crc,
                            static_cast<z_off_t>(parts[i].Yenc().decodedSize));
    if (static_cast<uint32_t>(crc) == last->Yenc().fileCrc) return true;
    warn("'" + name + "': the CRC-32 of the whole file does not match");
    return false;
}

bool CheckYencRanges(const std::vector<PartInfo>& parts, const std::string& name,
                     const Warn& warn) {
    const PartInfo* prev = nullptr;
    for (const PartInfo& p : parts) {
        const YencFacts& f = p.Yenc();
        if (f.rangeBegin <= 0) {
            prev = nullptr;
            continue;
        }
        std::string which = "'" + name + "' part " + std::to_string(p.number);
        if (p.number == 1 && f.rangeBegin != 1) {
            warn(which + " begins at byte " + std::to_string(f.rangeBegin) +
                 " of the file, not at its first");
            return false;
        }
        if (prev && prev->number + 1 == p.number && prev->Yenc().rangeEnd + 1 != f.rangeBegin) {
            warn(which + " begins at byte " + std::to_string(f.rangeBegin) + ", but part " +
                 std::to_string(prev->number) + " ends at byte " +
                 std::to_string(prev->Yenc().rangeEnd) + ": they do not belong together");
            return false;
        }
        if (p.hasEnd && p.total > 0 && p.number == p.total && p.fileSize >= 0 &&
            f.rangeEnd != p.fileSize) {
            warn(which + ", the last, ends at byte " + std::to_string(f.rangeEnd) +
                 " of a file of " + std::to_string(p.fileSize) + " bytes");
            return false;
        }
        prev = &p;
    }
    return true;
}

}  // namespace codec
