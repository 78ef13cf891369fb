// The chunk lifecycle and the registry of formats; see format.h.
#include "formats/format.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "formats/base64/base64_format.h"
#include "formats/binhex/binhex_format.h"
#include "formats/plain/plain_format.h"
#include "formats/uu/uu_format.h"
#include "formats/yenc/yenc_format.h"

namespace codec {

namespace {

// Every format, in the order a line of text is offered to them (the keyword formats first:
// their lines may also look like uuencode), with the encodings it reads.
struct Registration {
    std::unique_ptr<FormatReader> (*reader)();
    std::unique_ptr<SpanDecoder> (*decoder)(Encoding encoding, bool checks);
    std::vector<Encoding> encodings;
    CopyCheck (*check)(const PartInfo& part) = nullptr;  // for formats with checksums
    // For formats whose data goes on without headers in the next input: see FinishesCutLine.
    CutLineRules cut = {};
};

const std::vector<Registration>& Registry() {
    static const std::vector<Registration> formats = {
        {NewYencReader, NewYencDecoder, {Encoding::kYenc}, CheckYencCopy},
        {NewBinHexReader, NewBinHexDecoder, {Encoding::kBinHex}, CheckBinHexCopy, kBinHexCut},
        {NewUuReader, NewUuDecoder, {Encoding::kUu, Encoding::kXx}, nullptr, kUuCut},
        {NewBase64Reader, NewBase64Decoder, {Encoding::kBase64}, nullptr, kBase64Cut},
        {NewPlainReader, NewPlainDecoder, {Encoding::kPlain, Encoding::kQuotedPrintable}},
    };
    return formats;
}

const Registration* RegistrationOf(Encoding encoding) {
    for (const Registration& r : Registry())
        for (Encoding e : r.encodings)
            if (e == encoding) return &r;
    return nullptr;
}

constexpr size_t kEncodings = static_cast<size_t>(Encoding::kPlain) + 1;

}  // namespace

FormatSet::FormatSet() : m_byEncoding(kEncodings, nullptr) {
    for (const Registration& r : Registry()) {
        m_readers.push_back(r.reader());
        for (Encoding e : r.encodings)
            m_byEncoding[static_cast<size_t>(e)] = m_readers.back().get();
    }
}

FormatSet::~FormatSet() = default;

void FormatSet::TextLine(const Line& line, Chunk& chunk) {
    for (const auto& reader : m_readers)
        if (reader->TextLine(line, chunk)) return;
}

FormatReader& FormatSet::For(Encoding encoding) {
    return *m_byEncoding[static_cast<size_t>(encoding)];
}

CopyCheck CheckCopy(const PartInfo& part) {
    const Registration* r = RegistrationOf(part.encoding);
    return r && r->check ? r->check(part) : CopyCheck::kUnknown;
}

std::unique_ptr<SpanDecoder> NewSpanDecoder(Encoding encoding, bool checks) {
    const Registration* r = RegistrationOf(encoding);
    return r ? r->decoder(encoding, checks) : nullptr;
}

bool FinishesCutLine(Encoding encoding, std::string_view joined, size_t neighbour) {
    const Registration* r = RegistrationOf(encoding);
    return r && r->cut.finishes && r->cut.finishes(encoding, joined, neighbour);
}

void EndBeforeCutLine(PartInfo& part, uint64_t lineBegin, std::string_view line) {
    const Registration* r = RegistrationOf(part.encoding);
    if (part.end > lineBegin && r && r->cut.uncount) r->cut.uncount(part, line);
    part.end = std::min(part.end, lineBegin);
    part.hasEnd = false;  // a line cut short is not the short last line that ends data
}

Chunk::Chunk(uint32_t fileIndex, Emit emit, Continues continues, Keeper keeper, FormatSet& formats)
    : m_fileIndex(fileIndex),
      m_emit(std::move(emit)),
      m_continues(std::move(continues)),
      m_keeper(std::move(keeper)),
      m_formats(formats) {}

Chunk::~Chunk() {
    StopKeeping();
}

void Chunk::EndChain() {
    KeptChain& chain = *m_keeper.chain;
    if (chain.id >= 0 && m_keeper.drop) m_keeper.drop(chain.id);
    chain = KeptChain();
}

void Chunk::Chain(bool chained) {
    KeptChain& chain = *m_keeper.chain;
    if (!chained) {
        EndChain();  // one posting at a time
        chain.encoding = part.encoding;
        chain.key = part.subjectKey;
        chain.total = part.total;
        chain.next = 1;
    }
    part.keptSeq = chain.seq++;
    // The last part ends it: the parts hold the id.
    if (++chain.next <= chain.total)
        chain.id = part.kept;
    else
        chain = KeptChain();
}

void Chunk::StartKeeping(uint64_t size) {
    StopKeeping();
    if (m_keeper.keep && size >= m_keeper.atLeast) m_keepId = m_keeper.keep(size, &keepSink);
    if (m_keepId < 0) keepSink = nullptr;
}

void Chunk::StopKeeping() {
    if (m_keepId >= 0 && m_keeper.drop) m_keeper.drop(m_keepId);
    m_keepId = -1;
    keepSink = nullptr;
}

int Chunk::TakeKeepId() {
    int id = m_keepId;
    m_keepId = -1;
    return id;
}

void GrowingKeep::Start(Chunk& chunk, uint64_t from, double ratio) {
    Stop();
    if (!chunk.CanKeep()) return;
    uint64_t left = chunk.InputSize() > from ? chunk.InputSize() - from : 0;
    m_estimate = static_cast<uint64_t>(static_cast<double>(left) * ratio);
    if (chunk.part.total > 1) m_estimate *= static_cast<uint64_t>(chunk.part.total);  // a guess
    // Too little input left to be kept, unless it goes on what is kept already.
    if (!chunk.keepSink && m_estimate < chunk.KeepAtLeast()) return;
    m_chunk = &chunk;
}

void GrowingKeep::Settle(uint64_t estimate) {
    if (!m_chunk || m_chunk->keepSink) return;
    m_estimate = estimate;
    m_chunk->StartKeeping(std::max<uint64_t>(estimate, m_held));
    Flush();
}

void GrowingKeep::Reset() {
    m_chunk = nullptr;
    m_written = 0;
    m_held = 0;
}

void GrowingKeep::Stop() {
    if (m_chunk) m_chunk->StopKeeping();
    Reset();
}

uint8_t* GrowingKeep::Reserve(size_t need) {
    if (m_chunk->keepSink) return m_chunk->keepSink->Reserve(need);
    if (m_start.size() < m_held + need) m_start.resize(std::max(m_held + need, m_start.size() * 2));
    return m_start.data() + m_held;
}

void GrowingKeep::Advance(size_t used) {
    m_written += used;
    if (ByteSink* sink = m_chunk->keepSink) {
        sink->Advance(used);
        return;
    }
    m_held += used;
    if (m_held < m_chunk->KeepAtLeast()) return;
    m_chunk->StartKeeping(std::max<uint64_t>(m_estimate, m_held));
    Flush();
}

void GrowingKeep::Flush() {
    ByteSink* sink = m_chunk->keepSink;
    if (!sink) {  // refused: as many kept as may be, or no output directory
        Stop();
        return;
    }
    std::memcpy(sink->Reserve(m_held), m_start.data(), m_held);
    sink->Advance(m_held);
    m_held = 0;
}

void Chunk::Open(Framing how, Encoding encoding, uint64_t begin) {
    framing = how;
    part = PartInfo();
    part.fileIndex = m_fileIndex;
    part.number = article.number;
    part.total = article.total;
    part.subjectKey = article.key;
    part.subjectName = article.name;
    part.encoding = encoding;
    part.begin = begin;
    lastDataEnd = lineEnd = begin;
    confirmed = how != Framing::kHeaderless;
    dataComplete = false;
    StopKeeping();
    m_chained = false;
    if (KeptChain* c = m_keeper.chain; c && c->id >= 0 && part.number == c->next &&
                                       part.total == c->total && encoding == c->encoding &&
                                       part.subjectKey == c->key) {
        // Its part takes the id back, or it is lost.
        if ((keepSink = m_keeper.sinkOf(c->id))) m_keepId = c->id;
        m_chained = keepSink != nullptr;
        c->id = -1;
    }
    format = &m_formats.For(encoding);
    format->Opened(*this);
}

void Chunk::Close(bool hasEnd) {
    if (framing == Framing::kNone) return;
    Framing how = framing;
    framing = Framing::kNone;
    if (!confirmed) {
        StopKeeping();
        return;
    }
    part.end = lastDataEnd;
    bool chained = std::exchange(m_chained, false);
    format->Closing(*this, how, hasEnd);
    if (m_keeper.chain && part.kept >= 0 && part.total > 1 && (chained || part.number == 1) &&
        (part.encoding == Encoding::kUu || part.encoding == Encoding::kXx))
        Chain(chained);
    StopKeeping();
    part.hasEnd = part.hasEnd || hasEnd;
    if (part.end < part.begin) part.end = part.begin;
    m_emit(std::move(part));
    part = PartInfo();
}

}  // namespace codec
