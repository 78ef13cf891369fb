// Base64 in the scan and the decode; see base64_format.h. The scan counts the characters of
// data (for the size), the decode hands the span to the streaming decoder, which skips what is
// not alphabet as the scan did.
#include "formats/base64/base64_format.h"

#include <algorithm>
#include <utility>

#include "base/tables.h"
#include "base/text.h"
#include "formats/base64/base64.h"
#include "formats/block_decoder.h"
#include "simd/simd.h"

namespace codec {

namespace {

// Base64 characters only, '=' padding allowed at the end.
bool IsBase64Text(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && kBase64Table[static_cast<unsigned char>(t[i])] >= 0)
        ++i;
    while (i < t.size() && t[i] == '=')
        ++i;
    return i == t.size() && !t.empty();
}

// How many Base64 characters a line carries, and whether it ends in padding.
size_t Base64Chars(std::string_view t, bool& padded) {
    std::string_view body = t;
    while (!body.empty() && body.back() == '=')
        body.remove_suffix(1);
    if (body.size() < t.size()) padded = true;
    if (Base64AllValid(reinterpret_cast<const unsigned char*>(body.data()), body.size()))
        return body.size();
    size_t n = 0;
    for (char c : t) {
        if (kBase64Table[static_cast<unsigned char>(c)] >= 0)
            ++n;
        else if (c == '=')
            padded = true;
    }
    return n;
}

class Base64Reader : public FormatReader {
  public:
    bool TextLine(const Line& line, Chunk& chunk) override;
    void BodyLine(const Line& line, Chunk& chunk) override;
    void Opened(Chunk& chunk) override {
        m_chars = 0;
        m_firstLength = m_lastLength = 0;
        m_padded = false;
        m_keep.Reset();
        m_decoder = Base64Decoder();
        // A MIME body posted whole is decoded as it is read, when asked.
        if (chunk.framing == Framing::kMime && chunk.part.total <= 1)
            m_keep.Start(chunk, chunk.part.begin, 0.75);
    }
    void Closing(Chunk& chunk, Framing framing, bool& hasEnd) override {
        uint64_t bytes = m_chars / 4 * 3;
        if (m_chars % 4 >= 2) bytes += m_chars % 4 - 1;
        chunk.part.bytes = bytes;
        if (m_keep.Active()) {
            m_keep.Advance(m_decoder.Finish(m_keep.Reserve(8)));
            // Padding inside the data stops the decoder short of what the count says.
            if (chunk.keepSink && m_keep.Written() == bytes) chunk.part.kept = chunk.TakeKeepId();
            m_keep.Stop();
        }
        // Padding or a shorter last line ends the data; so do whole quads where the input is
        // nothing but Base64.
        if (framing == Framing::kHeaderless &&
            (m_padded || m_lastLength < m_firstLength || (chunk.part.bare && m_chars % 4 == 0)))
            hasEnd = true;
    }
    size_t BulkRun(Chunk& chunk, std::string_view pending) override;
    void FullLines(Chunk&, std::string_view run, size_t count) override {
        m_chars += m_bulkLength * count;
        if (!std::exchange(m_runKept, false)) Keep(run);
    }

  private:
    // Counts a line's characters; true when it was all alphabet, without padding.
    bool Count(std::string_view text, uint64_t next, Chunk& chunk);
    // Decodes what was counted into what is kept, in slices. What the count passed over
    // (blank lines, lines after padding) holds nothing the decoder of the span would take.
    void Keep(std::string_view text) {
        if (!m_keep.Active()) return;
        constexpr size_t kSlice = 64 * 1024;
        for (size_t at = 0; at < text.size(); at += kSlice) {
            size_t n = std::min(kSlice, text.size() - at);
            m_keep.Advance(m_decoder.Decode(text.data() + at, n, m_keep.Reserve(n / 4 * 3 + 8)));
        }
    }

    uint64_t m_chars = 0;
    size_t m_firstLength = 0;
    size_t m_lastLength = 0;
    bool m_padded = false;
    size_t m_bulkLength = 0;  // of the lines taken in bulk
    bool m_runKept = false;   // the bulk run was decoded into what is kept as it was checked
    Base64Decoder m_decoder;  // of what is kept
    GrowingKeep m_keep;
};

size_t Base64Reader::BulkRun(Chunk& chunk, std::string_view pending) {
    const auto* p = reinterpret_cast<const unsigned char*>(pending.data());
    size_t stride = chunk.bulkStride, length = m_bulkLength;
    if (!m_keep.Active() || !m_decoder.atQuad())
        return Base64FullLines(p, pending.size(), stride, length);
    // Checked and decoded in one sweep, in slices of one reservation each.
    constexpr size_t kSliceLines = 1024;
    size_t run = 0, n = 0;
    do {
        uint8_t* o = m_keep.Reserve(kSliceLines * length / 4 * 3 + 8);
        n = Base64FullLines(p + run * stride, pending.size() - run * stride, stride, length,
                            kSliceLines, o);
        m_keep.Advance(n * length / 4 * 3);
        run += n;
    } while (n == kSliceLines);
    m_runKept = run > 0;
    return run;
}

bool Base64Reader::Count(std::string_view text, uint64_t next, Chunk& chunk) {
    // Padding ended the data: the decoder stops there, and so does the count.
    if (Trim(text).empty() || m_padded) return false;
    size_t n = Base64Chars(text, m_padded);
    if (n == 0) {
        ++chunk.part.damagedLines;
        return false;
    }
    m_chars += n;
    chunk.part.hasData = true;
    if (m_firstLength == 0) m_firstLength = text.size();
    m_lastLength = text.size();
    chunk.lastDataEnd = next;
    return n == text.size() && !m_padded;
}

bool Base64Reader::TextLine(const Line& line, Chunk& chunk) {
    std::string_view t = line.text;
    if (chunk.framing == Framing::kBegin || chunk.framing == Framing::kHeaderless) {
        if (chunk.part.encoding != Encoding::kBase64) return false;
        if (Trim(t).empty()) return true;
        if (chunk.framing == Framing::kHeaderless && m_padded) {
            // Padding ended the data (as any decoder reads it); what follows is not of it.
            chunk.Close(true);
            return false;
        }
        bool ok = chunk.framing == Framing::kBegin ? IsBase64Text(t) : IsBase64Line(t);
        if (ok) {
            bool second = m_firstLength != 0;
            Count(t, line.next, chunk);
            if (second) chunk.confirmed = true;
        } else if (!chunk.confirmed) {
            chunk.framing = Framing::kNone;
        } else if (line.next != line.offset + t.size() || !IsBase64Text(t)) {
            // (A last line without a line break is cut short, not damaged: the next input may
            // hold its rest.)
            ++chunk.part.damagedLines;
        }
        return true;
    }
    if (chunk.IsOpen() || line.overlong) return false;
    bool continues = chunk.MayContinue(Encoding::kBase64);
    // An input that begins with a line of Base64 is Base64 (what coreutils base64 writes, a
    // body saved alone); prose has blanks, and no word is that long.
    bool bare = line.offset == 0 && !continues && t.size() >= 16;
    if ((bare || (t.size() >= 40 && continues)) && IsBase64Line(t)) {
        chunk.Open(Framing::kHeaderless, Encoding::kBase64, line.offset);
        chunk.confirmed = bare;
        chunk.part.bare = bare;
        Count(t, line.next, chunk);
        return true;
    }
    return false;
}

void Base64Reader::BodyLine(const Line& line, Chunk& chunk) {
    // A piece of an overlong line counts alike. A full line of alphabet alone is usually
    // followed by more of the same: those are taken in bulk (no boundary, header or "From "
    // line can look like one).
    std::string_view t = line.text;
    uint64_t before = m_chars;
    bool whole = Count(t, line.next, chunk);
    if (m_chars != before) Keep(t);
    if (whole && t.size() >= 16 && t.size() % 4 == 0 && line.Stride()) {
        chunk.bulkStride = line.Stride();
        m_bulkLength = t.size();
    }
}

// The streaming decoder runs on from one part into the next: a quad may be split between them.
class Base64SpanDecoder : public SpanDecoder {
  public:
    int Decode(Input& input, const PartInfo& part, ByteSink& sink, const LineReader::FillHook& hook,
               std::vector<char>& readBuffer) override {
        return DecodeBlocks(
            input, part, sink, hook, readBuffer, [](size_t n) { return n / 4 * 3 + 8; },
            [&](const char* data, size_t n, uint8_t* o) { return m_decoder.Decode(data, n, o); });
    }
    // A final partial quad (padding missing).
    void End(ByteSink& sink) override {
        uint8_t* o = sink.Reserve(8);
        sink.Advance(m_decoder.Finish(o));
    }

  private:
    Base64Decoder m_decoder;
};

}  // namespace

std::unique_ptr<FormatReader> NewBase64Reader() {
    return std::make_unique<Base64Reader>();
}

std::unique_ptr<SpanDecoder> NewBase64Decoder(Encoding, bool) {
    return std::make_unique<Base64SpanDecoder>();
}

const CutLineRules kBase64Cut = {
    // A line as long as its neighbours, or a padded last line long enough to go on with.
    [](Encoding, std::string_view joined, size_t neighbour) {
        return IsBase64Line(joined) &&
               (joined.size() == neighbour ||
                (joined.size() < neighbour && joined.size() >= 40 && joined.back() == '='));
    },
    [](PartInfo& part, std::string_view line) {
        bool padded = false;
        uint64_t chars = Base64Chars(line, padded);
        part.bytes -= std::min(part.bytes, chars * 3 / 4);
    },
};

}  // namespace codec
