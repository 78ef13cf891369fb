// The line-by-line scan; see scanner.h.
//
// A chunk is collected between its first and last data line; lines that are not data in
// between (cut marks, blank lines, a signature) stay inside the span and are skipped again by
// the decoder, which classifies lines with the same functions. A chunk without a begin line
// starts on one data line but counts only once confirmed: by a second data line that is a
// full one, or by the terminator and "end".
#include "message/scanner.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "base/tables.h"
#include "formats/base64/base64.h"
#include "formats/uu/uu.h"
#include "formats/yenc/yenc.h"
#include "simd/simd.h"

namespace codec {

namespace {

constexpr size_t kYencSlice = 64 * 1024;  // decoded at a time by the bulk path

// Header fields that open a news article or mail message when met after a blank line.
constexpr std::array<std::string_view, 12> kArticleFields = {
    "path", "from",        "newsgroups", "subject",       "message-id", "date",
    "xref", "return-path", "received",   "relay-version", "article",    "mime-version"};

bool IsBlankLine(std::string_view t) {
    if (t.empty()) return true;
    char c = t[0];
    return (c == ' ' || c == '\t' || c == '\r') && Trim(t).empty();
}

bool IsMboxFrom(std::string_view t) {
    if (t.size() < 7 || t.substr(0, 5) != "From ") return false;
    // "From sender date": at least two more words.
    size_t words = 0;
    bool in = false;
    for (char c : t.substr(5)) {
        bool blank = c == ' ' || c == '\t';
        if (!blank && !in) ++words;
        in = !blank;
    }
    return words >= 2;
}

bool LooksLikeData(std::string_view t) {
    return ClassifyUuLine(kUuTable, t, false).kind != LineKind::kNotData ||
           ClassifyUuLine(kXxTable, t, false).kind != LineKind::kNotData;
}

bool IsArticleStart(std::string_view t) {
    std::string_view name, value;
    if (!ParseHeaderLine(t, name, value) || LooksLikeData(t)) return false;
    for (std::string_view f : kArticleFields)
        if (EqualsNoCase(name, f)) return true;
    return false;
}

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

}  // namespace

Scanner::Scanner(uint32_t fileIndex, Emit emit, Continues continues, Keeper keeper)
    : m_fileIndex(fileIndex),
      m_emit(std::move(emit)),
      m_continues(std::move(continues)),
      m_keeper(std::move(keeper)) {}

Scanner::~Scanner() {
    StopKeeping();
}

void Scanner::StartKeeping(uint64_t size) {
    StopKeeping();
    if (m_keeper.keep && size >= kKeepAtLeast) m_keepId = m_keeper.keep(size, &m_keepSink);
    if (m_keepId < 0) m_keepSink = nullptr;
}

void Scanner::StopKeeping() {
    if (m_keepId >= 0 && m_keeper.drop) m_keeper.drop(m_keepId);
    m_keepId = -1;
    m_keepSink = nullptr;
    m_binhexKeep.Detach();
}

// The decoder hands over data-fork bytes only once the header is read: the first of them
// decides where they all go.
uint8_t* Scanner::BinHexKeep::Reserve(size_t need) {
    if (!m_decided) {
        m_decided = true;
        m_scanner.StartKeeping(m_scanner.m_peek.header().dataLength);
        m_target = m_scanner.m_keepSink;
    }
    if (m_target) return m_target->Reserve(need);
    if (m_scratch.size() < need) m_scratch.resize(need);
    return m_scratch.data();
}

PartInfo Scanner::NewPart() const {
    PartInfo p;
    p.fileIndex = m_fileIndex;
    p.number = m_subjectInfo.number;
    p.total = m_subjectInfo.total;
    p.subjectKey = m_subjectInfo.key;
    p.subjectName = m_subjectInfo.nameToken;
    return p;
}

// A header block begins: a message's own (top) or a MIME part's.
void Scanner::StartHeaders(bool top) {
    m_mode = Mode::kHeaders;
    m_topHeaders = top;
    m_headerName.clear();
    m_headerValue.clear();
    m_contentType.clear();
    m_transferEncoding.clear();
    m_disposition.clear();
    if (top) m_subject.clear();
}

void Scanner::StartMessage() {
    StartHeaders(true);
}

void Scanner::EndMessage() {
    // A body that simply runs to the end of a single-part message is complete; inside an
    // unclosed multipart it was cut short.
    if (m_body == Body::kVerbatim) m_lastDataEnd = m_lineNext;
    CloseChunk(m_open == Open::kMime && m_boundaries.empty());
    m_boundaries.clear();
    m_body = Body::kText;
    m_subjectInfo = SubjectInfo{};
}

void Scanner::CommitHeader() {
    if (m_headerName.empty()) return;
    if (EqualsNoCase(m_headerName, "content-type"))
        m_contentType = m_headerValue;
    else if (EqualsNoCase(m_headerName, "content-transfer-encoding"))
        m_transferEncoding = m_headerValue;
    else if (EqualsNoCase(m_headerName, "content-disposition"))
        m_disposition = m_headerValue;
    else if (m_topHeaders && EqualsNoCase(m_headerName, "subject"))
        m_subject = m_headerValue;
    m_headerName.clear();
    m_headerValue.clear();
}

void Scanner::HeaderLine(std::string_view text) {
    if ((text[0] == ' ' || text[0] == '\t') && !m_headerName.empty()) {
        if (m_headerValue.size() < 16384) {  // folded fields, bounded against hostile input
            m_headerValue += ' ';
            m_headerValue += Trim(text);
        }
        return;
    }
    std::string_view name, value;
    ParseHeaderLine(text, name, value);
    CommitHeader();
    m_headerName = name;
    m_headerValue = value.substr(0, 16384);
}

void Scanner::FinishHeaders(uint64_t bodyStart, bool bodyStarted) {
    CommitHeader();
    m_mode = Mode::kBody;
    if (m_topHeaders) m_subjectInfo = ParseSubject(DecodeEncodedWords(m_subject));
    MimeField type = ParseMimeField(m_contentType);
    std::string transfer = LowerAscii(Trim(m_transferEncoding));
    m_body = Body::kText;
    if (type.value.rfind("multipart/", 0) == 0 && !type.Param("boundary").empty()) {
        if (m_boundaries.size() < 64) m_boundaries.push_back(type.Param("boundary"));
        return;  // the preamble is read as text
    }
    if (type.value == "message/rfc822" && transfer != "base64") {
        // The enclosed message's header block: its MIME fields count, its Subject does not
        // replace the article's numbering.
        StartHeaders(false);
        return;
    }
    if (type.value == "message/partial" && !type.Param("id").empty()) {
        // One piece of a message sent in parts: kept whole, put together with the others
        // once all are there, and only then read as the message it is.
        m_body = Body::kVerbatim;
        OpenChunk(Open::kMime, Encoding::kPlain, bodyStart);
        m_part.partialId = type.Param("id");
        int number = std::atoi(type.Param("number").c_str());
        int total = std::atoi(type.Param("total").c_str());
        m_part.number = number > 0 && number <= 99999 ? number : 0;
        m_part.total = total > 0 && total <= 99999 ? total : 0;
        m_part.hasBegin = m_part.number == 1;
        m_part.hasData = true;
        m_lineEnd = m_lineNext = bodyStart;
        return;
    }
    MimeField disposition = ParseMimeField(m_disposition);
    std::string name = disposition.Param("filename");
    if (name.empty()) name = type.Param("name");
    if (transfer == "base64") {
        if (name.empty() && type.value.rfind("text/", 0) == 0) {
            m_body = Body::kSkip;  // a mail's own text, not an attachment
            return;
        }
        m_body = Body::kBase64;
        OpenChunk(Open::kMime, Encoding::kBase64, bodyStart);
        m_part.name = name;
        m_part.hasBegin = true;
        m_part.hasData = bodyStarted;  // a named, empty body is an empty file
        return;
    }
    // Quoted-printable and unencoded bodies are files only when they are given a name.
    bool qp = transfer == "quoted-printable";
    bool verbatim =
        transfer.empty() || transfer == "7bit" || transfer == "8bit" || transfer == "binary";
    if (!name.empty() && (qp || verbatim)) {
        m_body = Body::kVerbatim;
        OpenChunk(Open::kMime, qp ? Encoding::kQuotedPrintable : Encoding::kPlain, bodyStart);
        m_part.name = name;
        m_part.hasBegin = true;
        m_part.hasData = bodyStarted;  // an empty attachment is an empty file
        m_lineEnd = m_lineNext = bodyStart;
    }
}

bool Scanner::BoundaryLine(std::string_view text) {
    if (m_boundaries.empty() || text.size() < 3 || text[0] != '-' || text[1] != '-') return false;
    std::string_view rest = text.substr(2);
    for (size_t i = m_boundaries.size(); i-- > 0;) {
        const std::string& b = m_boundaries[i];
        if (rest.size() < b.size() || rest.substr(0, b.size()) != b) continue;
        std::string_view tail = Trim(rest.substr(b.size()));
        // The line break before a boundary belongs to the boundary (RFC 2046, 5.1.1).
        if (m_body == Body::kVerbatim) m_lastDataEnd = m_lineEnd;
        if (tail.empty()) {
            CloseChunk(m_open == Open::kMime);
            m_boundaries.resize(i + 1);
            StartHeaders(false);
            return true;
        }
        if (tail == "--") {
            CloseChunk(m_open == Open::kMime);
            m_boundaries.resize(i);
            m_body = Body::kText;  // the epilogue
            return true;
        }
    }
    return false;
}

void Scanner::OpenChunk(Open kind, Encoding encoding, uint64_t begin) {
    m_open = kind;
    m_part = NewPart();
    m_part.encoding = encoding;
    m_part.begin = begin;
    m_lastDataEnd = begin;
    m_confirmed = kind != Open::kHeaderless;
    m_decided = kind != Open::kBegin || encoding == Encoding::kBase64;
    m_prevData = false;
    m_base64Chars = 0;
    m_firstLineLength = m_lastLineLength = 0;
    m_padded = false;
    YencRestart();
    StopKeeping();
    m_binhexKeep.Reset();
}

void Scanner::CloseChunk(bool hasEnd) {
    if (m_open == Open::kNone) return;
    Open kind = m_open;
    m_open = Open::kNone;
    if (!m_confirmed) {
        StopKeeping();
        return;
    }
    m_part.end = m_lastDataEnd;
    if (m_part.encoding == Encoding::kYenc) {
        YencFlush();
        m_part.crc = m_yencCrc;
        m_part.decodedSize = m_yencSize;
        m_part.verified = true;
        std::swap(m_part.kept, m_keepId);
        // Escapes make the data a little longer than what it carries; the format knows.
        if (m_part.rangeBegin > 0 && m_part.rangeEnd >= m_part.rangeBegin)
            m_part.bytes = static_cast<uint64_t>(m_part.rangeEnd - m_part.rangeBegin + 1);
        else if (m_part.endSize >= 0)
            m_part.bytes = static_cast<uint64_t>(m_part.endSize);
        else if (m_part.fileSize >= 0 && m_part.number <= 1 && m_part.total <= 1)
            m_part.bytes = static_cast<uint64_t>(m_part.fileSize);
        else
            m_part.bytes = m_yencSize;
    }
    if (m_part.encoding == Encoding::kBinHex) {
        m_part.bytes = m_part.fileSize >= 0 ? static_cast<uint64_t>(m_part.fileSize)
                                            : (m_part.end - m_part.begin) * 3 / 4;
        if (m_part.hasBegin && hasEnd) {
            m_part.binhex = m_peek.Check();
            m_part.verified = true;
            std::swap(m_part.kept, m_keepId);
        }
    }
    StopKeeping();
    if (m_part.encoding == Encoding::kPlain || m_part.encoding == Encoding::kQuotedPrintable)
        m_part.bytes = m_part.end - m_part.begin;
    if (m_part.encoding == Encoding::kBase64) {
        uint64_t bytes = m_base64Chars / 4 * 3;
        if (m_base64Chars % 4 >= 2) bytes += m_base64Chars % 4 - 1;
        m_part.bytes = bytes;
        if (kind == Open::kHeaderless && (m_padded || m_lastLineLength < m_firstLineLength))
            hasEnd = true;
    }
    m_part.hasEnd = m_part.hasEnd || hasEnd;
    if (m_part.end < m_part.begin) m_part.end = m_part.begin;
    m_emit(std::move(m_part));
    m_part = PartInfo{};
}

bool Scanner::Base64Line(std::string_view text, uint64_t next) {
    if (IsBlankLine(text)) return false;
    bool padded = m_padded;
    size_t n = Base64Chars(text, m_padded);
    if (n == 0) {
        ++m_part.damagedLines;
        return false;
    }
    m_base64Chars += n;
    m_part.hasData = true;
    if (m_firstLineLength == 0) m_firstLineLength = text.size();
    m_lastLineLength = text.size();
    m_lastDataEnd = next;
    return n == text.size() && !padded && !m_padded;
}

void Scanner::YencData(std::string_view text) {
    if (m_yencOut.size() - m_yencFill < text.size() + 16) {
        YencFlush();
        if (m_yencOut.size() < text.size() + 16)
            m_yencOut.resize(std::max<size_t>(text.size() + 16, 65536));
    }
    m_yencFill += m_yenc.Decode(text.data(), text.size(), m_yencOut.data() + m_yencFill);
}

void Scanner::YencRestart() {
    m_yenc.Reset();
    m_yencFill = 0;
    m_yencCrc = 0;
    m_yencSize = 0;
}

void Scanner::YencFlush() {
    m_yencCrc = Crc32(m_yencCrc, m_yencOut.data(), m_yencFill);
    if (m_keepSink && m_yencFill) {
        std::memcpy(m_keepSink->Reserve(m_yencFill), m_yencOut.data(), m_yencFill);
        m_keepSink->Advance(m_yencFill);
    }
    m_yencSize += m_yencFill;
    m_yencFill = 0;
}

// yEnc keyword and data lines; true when the line was taken.
bool Scanner::YencLine(const codec::Line& line) {
    std::string_view t = line.text;
    bool keyword = !line.overlong && t.size() >= 5 && t[0] == '=' && t[1] == 'y';
    if (m_open == Open::kYenc && !keyword) {
        YencDataLine(line);
        return true;
    }
    if (!keyword) return false;
    YencBegin begin;
    if (ParseYbegin(t, begin)) {
        CloseChunk(false);
        OpenChunk(Open::kYenc, Encoding::kYenc, line.next);
        m_part.name = begin.name;
        if (begin.part > 0) {
            m_part.number = begin.part;
            if (begin.total > 0) m_part.total = begin.total;
        }
        m_part.fileSize = begin.size;
        m_part.hasBegin = begin.part <= 1;
        if (begin.part == 0 || (begin.part == 1 && begin.total == 1))
            StartKeeping(static_cast<uint64_t>(std::max<int64_t>(begin.size, 0)));
        return true;
    }
    if (m_open != Open::kYenc) return false;
    YencPart range;
    if (ParseYpart(t, range)) {
        m_part.begin = m_lastDataEnd = line.next;
        if (m_yencSize + m_yencFill > 0) StopKeeping();  // what was kept is not the data
        YencRestart();                                   // the data starts after this line
        m_part.rangeBegin = range.begin;
        m_part.rangeEnd = range.end;
        m_part.hasBegin = range.begin == 1 || m_part.number <= 1;
        return true;
    }
    YencEnd end;
    if (ParseYend(t, end)) {
        m_part.endSize = end.size;
        m_part.hasPartCrc = end.hasPartCrc;
        m_part.partCrc = end.partCrc;
        m_part.hasFileCrc = end.hasCrc;
        m_part.fileCrc = end.crc;
        // The end of the file: the last part, or the part that reaches the file's size.
        bool last = m_part.number <= 0 || m_part.total <= 0 || m_part.number == m_part.total ||
                    (m_part.rangeEnd > 0 && m_part.rangeEnd == m_part.fileSize);
        if (!m_part.hasData && end.size == 0) m_part.hasData = true;  // an empty file
        CloseChunk(last);
        return true;
    }
    // A keyword this reading does not know, inside the data: data like any other line, as the
    // decoder reads the span.
    if (m_open != Open::kYenc) return false;
    YencDataLine(line);
    return true;
}

void Scanner::YencDataLine(const codec::Line& line) {
    if (line.text.empty()) return;  // blanks are data here (bytes 0xF6 and 0xDF)
    m_part.hasData = true;
    m_lastDataEnd = line.next;
    YencData(line.text);
    if (!line.overlong) {
        m_bulkStride = 1;
        m_bulk = Bulk::kYenc;
    }
}

// A BinHex data line (or the part of it before the closing ':').
void Scanner::BinHexData(std::string_view data, size_t lines, size_t stride) {
    // Only a part that opens the data starts with the header; it is read whole, for the CRCs
    // too, so that a file posted in one piece needs no second pass to be checked.
    if (m_part.hasBegin) {
        bool before = m_peek.headerDone();
        ByteSink* sink = m_keeper.keep ? &m_binhexKeep : nullptr;
        if (lines)
            m_peek.FeedLines(data, lines, stride, sink);
        else
            m_peek.Feed(data.data(), data.size(), sink);
        if (!before && m_peek.headerDone()) {
            m_part.name = m_peek.header().name;
            m_part.fileSize = m_peek.header().dataLength;
        }
    }
    if (!data.empty()) m_part.hasData = true;
}

// BinHex: the introduction, the ':' that opens the data, data lines and the closing ':'.
// True when the line was taken.
bool Scanner::BinHexLine(const codec::Line& line) {
    std::string_view t = line.text;
    if (m_open == Open::kBinHex) {
        if (line.overlong) return true;
        size_t colon = t.find(':');
        std::string_view data = Trim(t.substr(0, colon));
        if (!data.empty() && !IsBinHexText(data)) {
            if (!m_confirmed) {
                m_open = Open::kNone;  // a stray line that looked like BinHex
                return false;
            }
            if (t.size() == 64) ++m_part.damagedLines;
            return true;  // a cut mark or a signature between data lines
        }
        BinHexData(data);
        if (colon != std::string_view::npos) {
            m_confirmed = true;
            m_lastDataEnd = line.offset + colon;  // the span stops before the closing ':'
            CloseChunk(true);
            return true;
        }
        if (!data.empty()) {
            if (m_lastDataEnd != m_part.begin) m_confirmed = true;  // a second data line
            m_lastDataEnd = line.next;
            // Whole 64-character lines come in long runs: those are taken in bulk.
            size_t stride = line.next - line.offset;
            if (m_confirmed && t.size() == 64 && data.size() == 64 &&
                (stride == 65 || stride == 66)) {
                m_bulkStride = stride;
                m_bulk = Bulk::kBinHex;
            }
        }
        return true;
    }
    if (line.overlong) return false;
    if (t.rfind("(This file must be converted", 0) == 0) {
        m_binhexIntro = true;
        return true;
    }
    bool opening = t.size() >= 2 && t[0] == ':' &&
                   (m_binhexIntro || (t.size() == 64 && IsBinHexText(t.substr(1))));
    bool continuing = !opening && t.size() == 64 && IsBinHexText(t) &&
                      (m_subjectInfo.number > 1 || (m_continues && m_continues(Encoding::kBinHex)));
    if (!opening && !continuing) {
        if (!IsBlankLine(t)) m_binhexIntro = false;
        return false;
    }
    CloseChunk(false);
    OpenChunk(Open::kBinHex, Encoding::kBinHex, opening ? line.offset + 1 : line.offset);
    m_peek = BinHexDecoder();
    m_binhexIntro = false;
    m_part.hasBegin = opening;
    m_confirmed = opening;
    codec::Line rest = line;
    if (opening) {
        rest.text = t.substr(1);
        rest.offset = line.offset + 1;
    }
    // The first line is data like any other (and may already hold the closing ':').
    size_t colon = rest.text.find(':');
    std::string_view data = rest.text.substr(0, colon);
    if (!data.empty() && !IsBinHexText(Trim(data))) {
        m_open = Open::kNone;
        return false;
    }
    BinHexData(Trim(data));
    if (colon != std::string_view::npos) {
        m_confirmed = true;
        m_lastDataEnd = rest.offset + colon;
        CloseChunk(true);
    } else {
        m_lastDataEnd = line.next;
    }
    return true;
}

void Scanner::TextLine(const codec::Line& line) {
    std::string_view t = line.text;
    int mode = 0;
    std::string_view name;

    if (YencLine(line)) return;
    if (BinHexLine(line)) return;

    if (m_open == Open::kBegin || m_open == Open::kHeaderless) {
        bool uuFamily = m_part.encoding != Encoding::kBase64;
        if (uuFamily && IsEndLine(t)) {
            if (m_open == Open::kHeaderless && !m_confirmed) m_confirmed = m_prevData;
            CloseChunk(true);
            return;
        }
        if (!uuFamily && m_open == Open::kBegin && Trim(t) == "====") {
            CloseChunk(true);
            return;
        }
    }
    if (!line.overlong && t.size() > 6 && t[0] == 'b') {
        bool b64 = ParseBeginLine(t, "begin-base64", mode, name);
        if (b64 || ParseBeginLine(t, "begin", mode, name)) {
            CloseChunk(false);
            OpenChunk(Open::kBegin, b64 ? Encoding::kBase64 : Encoding::kUu, line.next);
            m_part.name = std::string(name);
            m_part.mode = mode;
            m_part.hasBegin = true;
            return;
        }
    }

    if (m_open == Open::kBegin || m_open == Open::kHeaderless) {
        if (m_part.encoding == Encoding::kBase64) {
            if (IsBlankLine(t)) return;
            bool ok = m_open == Open::kBegin ? IsBase64Text(t) : IsBase64Line(t);
            if (ok) {
                bool second = m_firstLineLength != 0;
                Base64Line(t, line.next);
                if (second) m_confirmed = true;
            } else if (!m_confirmed) {
                m_open = Open::kNone;
            } else {
                ++m_part.damagedLines;
            }
            return;
        }
        if (!m_decided) {
            UuLine u = ClassifyUuLine(kUuTable, t, true);
            UuLine x = ClassifyUuLine(kXxTable, t, true);
            bool lower = false;
            for (char c : t)
                lower = lower || (c >= 'a' && c <= 'z');
            if (x.kind == LineKind::kData && (u.kind != LineKind::kData || lower)) {
                m_part.encoding = Encoding::kXx;
                m_decided = true;
            } else if (u.kind == LineKind::kData) {
                m_decided = true;
            } else {
                if (u.kind == LineKind::kZero || x.kind == LineKind::kZero)
                    m_part.hasData = true;  // "begin", "`", "end": an empty file
                else if (IsDamagedUuLine(kUuTable, t) || IsDamagedUuLine(kXxTable, t))
                    ++m_part.damagedLines;
                return;
            }
        }
        const SixBitTable& table = m_part.encoding == Encoding::kXx ? kXxTable : kUuTable;
        // Inside a block a full line may have lost trailing blanks; the decoder reads the
        // span with the same leniency.
        UuLine u = ClassifyUuLine(table, t, true);
        if (u.kind == LineKind::kData) {
            m_bulkStride = FullLineStride(table, t, line.next - line.offset);
            m_bulk = Bulk::kUu;
            if (m_open == Open::kHeaderless && !m_confirmed && m_bulkStride) m_confirmed = true;
            m_part.bytes += static_cast<uint64_t>(u.bytes);
            m_part.hasData = true;
            m_lastDataEnd = line.next;
            m_prevData = true;
            if (!m_confirmed) m_bulkStride = 0;
            return;
        }
        if (u.kind == LineKind::kZero) {
            if (m_open == Open::kHeaderless && !m_confirmed) m_confirmed = m_prevData;
            if (m_open == Open::kBegin) m_part.hasData = true;  // "`": an empty file's data
            m_prevData = false;
            return;
        }
        m_prevData = false;
        if (IsBlankLine(t)) return;
        if (!m_confirmed) {
            m_open = Open::kNone;  // a stray line that happened to look like data
        } else if (IsDamagedUuLine(table, t)) {
            ++m_part.damagedLines;
        }
        if (m_open != Open::kNone) return;
    }

    // No chunk open: a data line without a begin line may start one.
    if (line.overlong) return;
    // The last part of a posting may hold no data at all: only the terminator and "end".
    bool zero = t == "`" || t == "+" || t == " ";
    if (IsEndLine(t) && m_prevZero &&
        (m_subjectInfo.number > 1 ||
         (m_continues && (m_continues(Encoding::kUu) || m_continues(Encoding::kXx))))) {
        bool xx = m_continues && m_continues(Encoding::kXx);
        OpenChunk(Open::kHeaderless, xx ? Encoding::kXx : Encoding::kUu, line.offset);
        m_part.hasData = true;
        m_confirmed = true;
        m_prevZero = false;
        CloseChunk(true);
        return;
    }
    m_prevZero = zero;
    for (const SixBitTable* table : {&kUuTable, &kXxTable}) {
        UuLine u = ClassifyUuLine(*table, t, false);
        if (u.kind == LineKind::kData) {
            Encoding encoding = table == &kXxTable ? Encoding::kXx : Encoding::kUu;
            OpenChunk(Open::kHeaderless, encoding, line.offset);
            // One full line is data enough where a part of a posting is expected.
            m_confirmed = IsFullUuLine(*table, t) &&
                          (m_subjectInfo.number > 1 || (m_continues && m_continues(encoding)));
            m_part.bytes = static_cast<uint64_t>(u.bytes);
            m_part.hasData = true;
            m_lastDataEnd = line.next;
            m_prevData = true;
            return;
        }
    }
    if (t.size() >= 40 && IsBase64Line(t) &&
        (m_subjectInfo.number > 1 || (m_continues && m_continues(Encoding::kBase64)))) {
        OpenChunk(Open::kHeaderless, Encoding::kBase64, line.offset);
        m_confirmed = false;
        Base64Line(t, line.next);
    }
}

void Scanner::BodyLine(const codec::Line& line) {
    std::string_view t = line.text;
    if (m_prevBlank && !line.overlong) {
        if (IsMboxFrom(t)) {
            EndMessage();
            StartMessage();
            return;
        }
        // (The first piece of a message/partial message starts with the enclosed message's
        // header; another article may follow it.)
        bool ownBody =
            m_open == Open::kMime && (m_body != Body::kVerbatim ||
                                      (!m_part.partialId.empty() && line.offset == m_part.begin));
        if (m_boundaries.empty() && !ownBody && IsArticleStart(t)) {
            EndMessage();
            StartMessage();
            HeaderLine(t);
            return;
        }
    }
    if (!line.overlong && BoundaryLine(t)) return;
    switch (m_body) {
        case Body::kSkip:
            return;
        case Body::kVerbatim:
            m_lineEnd = line.offset + t.size();
            m_lineNext = line.next;
            return;
        case Body::kBase64:
            // Articles saved one after another: a single-part message's Base64 body ends where
            // the next article's header starts (checked above only after a blank line).
            if (m_boundaries.empty() && IsArticleStart(t)) {
                EndMessage();
                StartMessage();
                HeaderLine(t);
                return;
            }
            // A piece of an overlong line counts alike. A full line of alphabet alone is
            // usually followed by more of the same: those are taken in bulk (no boundary,
            // header or "From " line can look like one).
            if (Base64Line(t, line.next) && !line.overlong && t.size() >= 16 && t.size() % 4 == 0 &&
                line.next - line.offset <= t.size() + 2) {
                m_bulkStride = line.next - line.offset;
                m_bulk = Bulk::kBase64;
                m_bulkBase64Length = t.size();
            }
            return;
        case Body::kText:
            TextLine(line);
            return;
    }
}

size_t Scanner::BulkRun(std::string_view pending) const {
    const auto* p = reinterpret_cast<const unsigned char*>(pending.data());
    size_t run = 0;
    switch (m_bulk) {
        case Bulk::kUu:
            return RunOfFullLines(m_part.encoding == Encoding::kXx ? kXxTable : kUuTable, pending,
                                  m_bulkStride);
        case Bulk::kBase64:
            run = Base64FullLines(p, pending.size(), m_bulkStride, m_bulkBase64Length);
            break;
        case Bulk::kBinHex:
            run = BinHexFullLines(p, pending.size(), m_bulkStride);
            break;
        case Bulk::kYenc:
            return YencRun(pending);
    }
    return run;
}

// yEnc data lines: the whole lines up to one that the line-by-line scan would read as more
// than data (a keyword, a MIME boundary) or that is blank (a message may start after it).
size_t Scanner::YencRun(std::string_view pending) const {
    const auto* p = reinterpret_cast<const unsigned char*>(pending.data());
    size_t n = pending.size();
    auto stops = [&](size_t at) {
        std::string_view t = pending.substr(at);
        size_t lf = t.find('\n');
        t = t.substr(0, lf);
        if (t.size() >= 2 && t[0] == '=' && t[1] == 'y') return true;
        if (!m_boundaries.empty() && t.size() >= 2 && t[0] == '-' && t[1] == '-') return true;
        if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
        return IsBlankLine(t);
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

void Scanner::FullLines(std::string_view run, size_t count, uint64_t end) {
    switch (m_bulk) {
        case Bulk::kUu:
            m_part.bytes += 45 * static_cast<uint64_t>(count);
            break;
        case Bulk::kBase64:
            m_base64Chars += m_bulkBase64Length * count;
            break;
        case Bulk::kBinHex:
            BinHexData(run, count, m_bulkStride);
            break;
        case Bulk::kYenc:
            // Lines of data, none blank; the decoder skips the line ends itself.
            m_part.hasData = true;
            for (size_t at = 0; at < run.size(); at += kYencSlice)
                YencData(run.substr(at, kYencSlice));
            break;
    }
    m_lastDataEnd = end;
}

void Scanner::Line(const codec::Line& line) {
    m_bulkStride = 0;
    m_bulkBase64Length = 0;
    std::string_view t = line.text;
    if (m_mode == Mode::kHeaders) {
        if (IsBlankLine(t)) {
            FinishHeaders(line.next);
            m_prevBlank = true;
            return;
        }
        std::string_view name, value;
        bool continuation = (t[0] == ' ' || t[0] == '\t') && !m_headerName.empty();
        if (!line.overlong &&
            (continuation || (ParseHeaderLine(t, name, value) && !LooksLikeData(t)))) {
            HeaderLine(t);
            return;
        }
        // The header block ended without a blank line: this line is already body.
        FinishHeaders(line.offset);
    } else if (m_prevBlank && m_open == Open::kNone && m_boundaries.empty() &&
               m_body == Body::kText && line.offset == 0 && !line.overlong) {
        // A file that starts with a header field is a message.
        std::string_view name, value;
        if (ParseHeaderLine(t, name, value) && !LooksLikeData(t)) {
            StartMessage();
            HeaderLine(t);
            m_prevBlank = false;
            return;
        }
    }
    BodyLine(line);
    m_prevBlank = IsBlankLine(t);
}

void Scanner::Finish() {
    if (m_mode == Mode::kHeaders) FinishHeaders(m_lastDataEnd, false);
    EndMessage();
}

bool ScanFile(LineReader& reader, Scanner& scanner) {
    codec::Line line;
    while (reader.Next(line)) {
        scanner.Line(line);
        if (size_t stride = scanner.BulkStride()) {
            size_t run = scanner.BulkRun(reader.Pending());
            if (run) {
                scanner.FullLines(reader.Pending().substr(0, run * stride), run,
                                  reader.PendingOffset() + run * stride);
                reader.Consume(run * stride);
            }
        }
    }
    if (reader.stopped() || reader.error() != 0) return false;
    scanner.Finish();
    return true;
}

}  // namespace codec
