// BinHex in the scan: the introduction, the ':' that opens the data, data lines and the
// closing ':'. A stream that opens with its header is read whole as it goes, for its name, its
// size and its CRCs, so that a file posted in one piece needs no second pass to be checked.
#include "formats/binhex/binhex_format.h"

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "formats/qp/qp.h"
#include "simd/simd.h"

namespace codec {

namespace {

// A whole 64-character data line: such lines come in long runs, taken in bulk.
bool IsFullLine(const Line& line, std::string_view data) {
    size_t stride = line.Stride();
    return line.text.size() == 64 && data.size() == 64 && (stride == 65 || stride == 66);
}

class BinHexReader : public FormatReader {
  public:
    BinHexReader() : m_keep(*this) {}
    bool TextLine(const Line& line, Chunk& chunk) override;
    void Opened(Chunk& chunk) override { m_keep.Reset(chunk); }
    void Closing(Chunk& chunk, Framing, bool& hasEnd) override;
    size_t BulkRun(Chunk& chunk, std::string_view pending) override {
        return BinHexFullLines(reinterpret_cast<const unsigned char*>(pending.data()),
                               pending.size(), chunk.bulkStride);
    }
    void FullLines(Chunk& chunk, std::string_view run, size_t count) override {
        Data(chunk, run, count, chunk.bulkStride);
    }

  private:
    // A data line's characters, or (lines > 0) a run of full data lines stride bytes apart.
    void Data(Chunk& chunk, std::string_view data, size_t lines = 0, size_t stride = 0);

    // The decoder hands over data-fork bytes only once the header is read: the first of them
    // decides whether they are kept (see Keeper) or dropped.
    class Keep : public ByteSink {
      public:
        explicit Keep(BinHexReader& reader) : m_reader(reader) {}
        void Reset(Chunk& chunk) {
            m_chunk = &chunk;
            m_decided = false;
        }
        uint8_t* Reserve(size_t need) override {
            if (!m_decided) {
                m_decided = true;
                m_chunk->StartKeeping(m_reader.m_peek.header().dataLength);
            }
            if (ByteSink* target = Target()) return target->Reserve(need);
            if (m_scratch.size() < need) m_scratch.resize(need);
            return m_scratch.data();
        }
        void Advance(size_t used) override {
            if (ByteSink* target = Target()) target->Advance(used);
        }

      private:
        // Once the chunk stops keeping, what comes is not kept.
        ByteSink* Target() const { return m_decided ? m_chunk->keepSink : nullptr; }
        BinHexReader& m_reader;
        Chunk* m_chunk = nullptr;
        bool m_decided = false;
        std::vector<uint8_t> m_scratch;
    };

    Keep m_keep;
    bool m_intro = false;  // "(This file must be converted ..." was the last line
    BinHexDecoder m_peek;  // reads the header for the name and the size, and the CRCs
};

void BinHexReader::Data(Chunk& chunk, std::string_view data, size_t lines, size_t stride) {
    PartInfo& part = chunk.part;
    if (part.hasBegin) {
        bool before = m_peek.headerDone();
        ByteSink* sink = chunk.CanKeep() ? &m_keep : nullptr;
        if (lines)
            m_peek.FeedLines(data, lines, stride, sink);
        else
            m_peek.Feed(data.data(), data.size(), sink);
        if (!before && m_peek.headerDone()) {
            part.name = m_peek.header().name;
            part.fileSize = m_peek.header().dataLength;
        }
    }
    // A file of a resource fork only has no data to write: it is not an empty file.
    const BinHexHeader& head = m_peek.header();
    bool resourceOnly =
        part.hasBegin && m_peek.headerDone() && head.dataLength == 0 && head.resourceLength > 0;
    if (!data.empty()) part.hasData = !resourceOnly;
}

bool BinHexReader::TextLine(const Line& line, Chunk& chunk) {
    std::string_view t = line.text;
    PartInfo& part = chunk.part;
    if (chunk.framing == Framing::kBinHex) {
        if (line.overlong) return true;
        BinHexLine in;
        if (!ReadBinHexLine(t, in)) {
            if (!chunk.confirmed) {
                chunk.framing = Framing::kNone;  // a stray line that looked like BinHex
                return false;
            }
            if (t.size() == 64) ++part.damagedLines;
            return true;  // a cut mark or a signature between data lines
        }
        Data(chunk, in.data);
        if (in.colon != std::string_view::npos) {
            chunk.confirmed = true;
            chunk.lastDataEnd = line.offset + in.colon;  // the span stops before the ':'
            chunk.Close(true);
            return true;
        }
        if (!in.data.empty()) {
            if (chunk.lastDataEnd != part.begin) chunk.confirmed = true;  // a second data line
            chunk.lastDataEnd = line.next;
            if (chunk.confirmed && IsFullLine(line, in.data)) chunk.bulkStride = line.Stride();
        }
        return true;
    }
    if (line.overlong) return false;
    if (t.rfind("(This file must be converted", 0) == 0) {
        m_intro = true;
        return true;
    }
    bool opening =
        t.size() >= 2 && t[0] == ':' && (m_intro || (t.size() == 64 && IsBinHexText(t.substr(1))));
    bool continuing =
        !opening && t.size() == 64 && IsBinHexText(t) && chunk.MayContinue(Encoding::kBinHex);
    if (!opening && !continuing) {
        if (!IsBlank(t)) m_intro = false;
        return false;
    }
    chunk.Close(false);
    chunk.Open(Framing::kBinHex, Encoding::kBinHex, opening ? line.offset + 1 : line.offset);
    m_peek = BinHexDecoder();
    m_intro = false;
    PartInfo& fresh = chunk.part;
    fresh.hasBegin = opening;
    chunk.confirmed = opening;
    std::string_view rest = opening ? t.substr(1) : t;
    uint64_t restOffset = opening ? line.offset + 1 : line.offset;
    // The first line is data like any other (and may already hold the closing ':').
    size_t colon = rest.find(':');
    std::string_view data = rest.substr(0, colon);
    if (!data.empty() && !IsBinHexText(Trim(data))) {
        chunk.framing = Framing::kNone;
        return false;
    }
    Data(chunk, Trim(data));
    if (colon != std::string_view::npos) {
        chunk.confirmed = true;
        chunk.lastDataEnd = restOffset + colon;
        chunk.Close(true);
    } else {
        chunk.lastDataEnd = line.next;
    }
    return true;
}

void BinHexReader::Closing(Chunk& chunk, Framing, bool& hasEnd) {
    PartInfo& part = chunk.part;
    part.bytes =
        part.fileSize >= 0 ? static_cast<uint64_t>(part.fileSize) : (part.end - part.begin) * 3 / 4;
    if (part.hasBegin && hasEnd) {
        part.facts = m_peek.Check();
        part.verified = true;
        part.kept = chunk.TakeKeepId();
    }
}

}  // namespace

bool ReadBinHexLine(std::string_view text, BinHexLine& out) {
    // A signature's separator ("-- ", RFC 3676) is made of BinHex characters, but never data.
    if (text == "-- ") return false;
    out.colon = text.find(':');
    out.data = Trim(text.substr(0, out.colon));
    return out.data.empty() || IsBinHexText(out.data);
}

// Line by line, passing over what the scan passed over (pieces of overlong lines, cut marks
// and signatures between data lines); runs of full lines in bulk.
int BinHexSpanDecoder::Decode(Input& input, const PartInfo& part, ByteSink& sink,
                              const LineReader::FillHook& hook, std::vector<char>& readBuffer) {
    LineReader reader(readBuffer);
    reader.Reset(input, part.begin, part.end, hook);
    PartTextLines lines(reader, part.qpText, part.markup);
    Line line;
    while (lines.Next(line)) {
        if (line.overlong) continue;
        BinHexLine in;
        if (!ReadBinHexLine(line.text, in)) continue;
        m_decoder.Feed(in.data.data(), in.data.size(), &sink);
        if (in.colon != std::string_view::npos) break;
        if (part.qpText || part.markup || !IsFullLine(line, in.data)) continue;
        size_t stride = line.Stride();
        std::string_view pending = reader.Pending(true);  // full lines begin with data
        size_t run = BinHexFullLines(reinterpret_cast<const unsigned char*>(pending.data()),
                                     pending.size(), stride);
        if (run == 0) continue;
        m_decoder.FeedLines(pending, run, stride, &sink);
        reader.Consume(run * stride);
    }
    return reader.Result();
}

std::unique_ptr<FormatReader> NewBinHexReader() {
    return std::make_unique<BinHexReader>();
}

std::unique_ptr<SpanDecoder> NewBinHexDecoder(Encoding, bool checks) {
    return std::make_unique<BinHexSpanDecoder>(checks);
}

CopyCheck CheckBinHexCopy(const PartInfo& part) {
    // Only a file read whole by the scan has its CRCs: they are in the stream of the whole.
    if (!part.verified || part.number > 1 || !part.hasBegin || !part.hasEnd)
        return CopyCheck::kUnknown;
    const BinHexCheck& bh = part.BinHex();
    bool good = bh.headerDone && bh.headerOk && bh.complete && bh.dataOk && bh.resourceOk;
    return good ? CopyCheck::kGood : CopyCheck::kBad;
}

bool ReportBinHexCheck(const BinHexCheck& bh, const std::string& name,
                       const std::function<void(int level, const std::string& text)>& say) {
    std::vector<std::string> bad;
    if (!bh.headerDone || !bh.headerOk) bad.emplace_back("header");
    if (bh.headerDone && (!bh.complete || !bh.dataOk)) bad.emplace_back("data fork");
    if (bh.complete && !bh.resourceOk) bad.emplace_back("resource fork");
    for (const std::string& fork : bad)
        say(kLevelWarning, "'" + name + "': the CRC of the BinHex " + fork +
                               (bh.complete || fork == "header" ? " does not match"
                                                                : " cannot be checked: "
                                                                  "the data ends early"));
    if (bh.headerDone && bh.resourceLength > 0 && bh.dataLength == 0)
        say(kLevelNote, "'" + name + "' has only a resource fork, of " +
                            std::to_string(bh.resourceLength) +
                            " bytes, and no data fork: there is no file to write.");
    else if (bh.headerDone && bh.resourceLength > 0)
        say(kLevelNote, "'" + name + "' has a resource fork of " +
                            std::to_string(bh.resourceLength) +
                            " bytes; only the data fork is written.");
    return !bad.empty();
}

const CutLineRules kBinHexCut = {
    // Only the full lines that data without headers goes on with.
    [](Encoding, std::string_view joined, size_t neighbour) {
        return joined.size() == 64 && neighbour == 64 && IsBinHexText(joined);
    },
    [](PartInfo& part, std::string_view line) {
        if (part.fileSize < 0) part.bytes -= std::min<uint64_t>(part.bytes, line.size() * 3 / 4);
    },
};

}  // namespace codec
