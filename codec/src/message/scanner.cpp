// The message and MIME walk of the scan; see scanner.h. What is data, and where a chunk of it
// starts and ends, is the formats' to say.
#include "message/scanner.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "base/tables.h"
#include "base/text.h"
#include "formats/qp/qp.h"
#include "formats/uu/uu.h"
#include "io/source.h"
#include "message/headers.h"
#include "message/part_name.h"

namespace codec {

namespace {

// Header fields that open a news article or mail message when met after a blank line.
constexpr std::array<std::string_view, 12> kArticleFields = {
    "path", "from",        "newsgroups", "subject",       "message-id", "date",
    "xref", "return-path", "received",   "relay-version", "article",    "mime-version"};

// A line of uuencode or xxencode data is never a header, however it looks.
bool LooksLikeData(std::string_view t) {
    return ClassifyUuLine(kUuTable, t, false).kind != LineKind::kNotData ||
           ClassifyUuLine(kXxTable, t, false).kind != LineKind::kNotData;
}

bool ParsesAsHeader(std::string_view t) {
    std::string_view name, value;
    return ParseHeaderLine(t, name, value);
}

bool IsHeader(std::string_view t) {
    return ParsesAsHeader(t) && !LooksLikeData(t);
}

// Of those, the ones a server or transport puts on a message and text does not quote: a named
// text attachment may hold a blank line and "Subject: ..." of its own.
constexpr std::array<std::string_view, 7> kTransportFields = {
    "path", "newsgroups", "message-id", "xref", "relay-version", "return-path", "received"};

bool IsArticleStart(std::string_view t, bool transportOnly = false) {
    std::string_view name, value;
    if (!ParseHeaderLine(t, name, value) || LooksLikeData(t)) return false;
    for (std::string_view f : kTransportFields)
        if (EqualsNoCase(name, f)) return true;
    if (transportOnly) return false;
    for (std::string_view f : kArticleFields)
        if (EqualsNoCase(name, f)) return true;
    return false;
}

// The line rn and trn put before each article they save: "Article 1234 of alt.binaries.x:".
bool IsSavedArticleLine(std::string_view t) {
    if (t.substr(0, 8) != "Article ") return false;
    size_t i = 8, digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
        ++i, ++digits;
    if (digits == 0 || t.substr(i, 4) != " of ") return false;
    std::string_view group = Trim(t.substr(i + 4));
    if (!group.empty() && group.back() == ':') group.remove_suffix(1);
    return group.find('.') != std::string_view::npos &&
           group.find_first_of(" \t") == std::string_view::npos;
}

constexpr std::string_view kMmdfSeparator = "\x01\x01\x01\x01";
constexpr std::string_view kBabylHeaderEnd = "*** EOOH ***";

// The text of a mail itself, in whichever form, when it has no name: not a file.
bool IsMailText(std::string_view type) {
    return type == "text/plain" || type == "text/html" || type == "text/enriched" ||
           type == "text/richtext";
}

int PieceNumber(const MimeField& type, std::string_view param) {
    int n = std::atoi(type.Param(param).c_str());
    return n > 0 && n <= 99999 ? n : 0;
}

}  // namespace

Scanner::Scanner(uint32_t fileIndex, Emit emit, Continues continues, Keeper keeper)
    : m_chunk(fileIndex, std::move(emit), std::move(continues), std::move(keeper), m_formats) {}

// A header block begins: a message's own (top) or a MIME part's.
void Scanner::StartHeaders(bool top) {
    m_mode = Mode::kHeaders;
    m_topHeaders = top;
    m_enclosedHeaders = false;
    m_headerName.clear();
    m_headerValue.clear();
    m_contentType.clear();
    m_transferEncoding.clear();
    m_disposition.clear();
    m_description.clear();
    m_contentId.clear();
    m_anyHeader = false;
    m_html = m_qpText = false;
    m_charset.clear();
    m_babyl = Babyl::kNone;
    if (top) {
        m_subject.clear();
        m_partNumber = 0;
    }
}

void Scanner::DropOutsideParts() {
    // What a MIME reader never shows: a begin line there without any data is prose.
    if (m_outsideParts && m_chunk.IsOpen() && m_chunk.framing != Framing::kMime &&
        !m_chunk.part.hasData)
        m_chunk.Drop();
    m_outsideParts = false;
}

void Scanner::EndFramedMessage(uint64_t at) {
    // The line break before a mailbox's separator is the separator's (its writer put it there),
    // as before a MIME boundary; when it was the blank line that ended the header, the body
    // never began.
    if (m_mode == Mode::kBody && m_body == Body::kVerbatim) m_chunk.lastDataEnd = m_chunk.lineEnd;
    if (m_mode == Mode::kBody && m_chunk.framing == Framing::kMime && m_chunk.part.begin == at)
        m_chunk.part.hasData = false;
    EndArticle();
}

void Scanner::NewArticle(std::string_view firstHeader) {
    EndMessage();
    StartMessage();
    HeaderLine(firstHeader);
}

void Scanner::EndMessage() {
    DropOutsideParts();
    m_html = m_qpText = false;
    // A body that simply runs to the end of a single-part message is complete; inside an
    // unclosed multipart it was cut short.
    m_chunk.Close(m_chunk.framing == Framing::kMime && m_boundaries.empty());
    m_boundaries.clear();
    m_body = Body::kText;
    m_chunk.article = Article{};
}

void Scanner::CommitHeader() {
    if (m_headerName.empty()) return;
    if (EqualsNoCase(m_headerName, "content-type"))
        m_contentType = m_headerValue;
    else if (EqualsNoCase(m_headerName, "content-transfer-encoding"))
        m_transferEncoding = m_headerValue;
    else if (EqualsNoCase(m_headerName, "content-disposition"))
        m_disposition = m_headerValue;
    else if (EqualsNoCase(m_headerName, "content-description"))
        m_description = m_headerValue;
    else if (EqualsNoCase(m_headerName, "content-id"))
        m_contentId = m_headerValue;
    else if ((m_topHeaders || m_enclosedHeaders) && EqualsNoCase(m_headerName, "subject"))
        m_subject = m_headerValue;
    m_headerName.clear();
    m_headerValue.clear();
}

void Scanner::HeaderLine(std::string_view text, bool piece) {
    m_anyHeader = true;
    if (piece || ((text[0] == ' ' || text[0] == '\t') && !m_headerName.empty())) {
        if (m_headerValue.size() < 16384) {  // folded fields, bounded against hostile input
            if (!piece) m_headerValue += ' ';
            m_headerValue += piece ? text : Trim(text);
            if (m_headerValue.size() > 16384) m_headerValue.resize(16384);
        }
        return;
    }
    std::string_view name, value;
    ParseHeaderLine(text, name, value);
    CommitHeader();
    m_headerName = name;
    m_headerValue = value.substr(0, 16384);
}

void Scanner::OpenBody(Encoding encoding, uint64_t bodyStart) {
    m_chunk.Open(Framing::kMime, encoding, bodyStart);
    m_body = encoding == Encoding::kBase64 ? Body::kEncoded : Body::kVerbatim;
}

void Scanner::FinishHeaders(uint64_t bodyStart, bool bodyStarted) {
    CommitHeader();
    m_mode = Mode::kBody;
    if (m_topHeaders) {
        SubjectInfo subject = ParseSubject(DecodeEncodedWords(m_subject));
        m_chunk.article = {subject.number, subject.total, subject.key, subject.nameToken};
    }
    MimeField type = ParseMimeField(m_contentType);
    if (m_enclosedHeaders && (type.value.empty() || type.value == "text/plain")) {
        // An article inside this message (a digest's, a forwarded one) numbers the encoded
        // data in its text when its Subject says a numbering, up to the end of its part.
        SubjectInfo subject = ParseSubject(DecodeEncodedWords(m_subject));
        if (subject.number > 0)
            m_chunk.article = {subject.number, subject.total, subject.key, subject.nameToken};
    }
    // A part of a digest without a type of its own is a message (RFC 2046, 5.1.5).
    if (m_partHeaders && Trim(m_contentType).empty() && !m_boundaries.empty() &&
        m_boundaries.back().digest)
        type.value = "message/rfc822";
    std::string transfer = TransferEncodingToken(m_transferEncoding);
    m_body = Body::kText;
    if (m_partHeaders && !m_boundaries.empty() && m_boundaries.back().appleDouble &&
        type.value == "application/applefile") {
        // A Mac file's header (its type, creator, resource fork): the data fork follows as a
        // part of its own, under the same name.
        m_partHeaders = false;
        m_body = Body::kSkip;
        return;
    }
    if (m_partHeaders && !m_boundaries.empty() && m_boundaries.back().alternative) {
        // The HTML form of a text that came as plain text before it holds nothing new.
        Multipart& parent = m_boundaries.back();
        if (type.value == "text/plain" || type.value.empty()) parent.plainText = true;
        if (type.value == "text/html" && parent.plainText) {
            m_partHeaders = false;
            m_body = Body::kSkip;
            return;
        }
    }
    m_partHeaders = false;
    m_html = type.value == "text/html" && transfer != "base64";
    m_qpText = transfer == "quoted-printable";
    m_qpLines = QpTextLines();
    m_charset = type.Param("charset");
    if (type.value.rfind("multipart/", 0) == 0 && !type.Param("boundary").empty()) {
        m_outsideParts = true;  // the preamble
        if (m_boundaries.size() < 64)
            m_boundaries.push_back(
                {type.Param("boundary"), m_chunk.article, type.value == "multipart/digest",
                 type.value == "multipart/alternative", type.value == "multipart/appledouble"});
        return;  // the preamble is read as text
    }
    if (type.value == "message/rfc822" && transfer != "base64") {
        // The enclosed message's header block: its MIME fields count, and its Subject when
        // that numbers the parts of a posting.
        StartHeaders(false);
        m_enclosedHeaders = true;
        return;
    }
    if (type.value == "application/mac-binhex40" && transfer != "base64") {
        return;  // BinHex as text: the format finds it, with its own name and checks
    }
    PartInfo& part = m_chunk.part;
    if (type.value == "message/partial" && !type.Param("id").empty()) {
        // One piece of a message sent in parts: kept whole, put together with the others
        // once all are there, and only then read as the message it is.
        OpenBody(Encoding::kPlain, bodyStart);
        part.partialId = type.Param("id");
        part.number = PieceNumber(type, "number");
        part.total = PieceNumber(type, "total");
        part.hasBegin = part.number == 1;
        part.hasData = true;
        return;
    }
    MimeField disposition = ParseMimeField(m_disposition);
    std::string name = disposition.Param("filename");
    if (name.empty()) name = type.Param("name");
    if (transfer == "base64") {
        if (name.empty() && IsMailText(type.value)) {
            // A mail's own text, not an attachment: what it says is read once decoded.
            OpenBody(Encoding::kBase64, bodyStart);
            part.encodedText = true;
            part.markup = type.value == "text/html";
            part.nameCharset = type.Param("charset");
            return;
        }
        OpenBody(Encoding::kBase64, bodyStart);
        if (name.empty())
            part.suggestedName = SuggestedPartName(type.value, DecodeEncodedWords(m_description),
                                                   m_contentId, std::max(m_partNumber, 1));
    } else {
        // Quoted-printable and unencoded bodies are files only when they are given a name.
        bool qp = transfer == "quoted-printable";
        bool verbatim =
            transfer.empty() || transfer == "7bit" || transfer == "8bit" || transfer == "binary";
        if (name.empty() || (!qp && !verbatim)) return;
        OpenBody(qp ? Encoding::kQuotedPrintable : Encoding::kPlain, bodyStart);
    }
    part.name = name;
    part.nameCharset = type.Param("charset");
    part.hasBegin = true;
    part.hasData = bodyStarted;  // a named, empty body is an empty file
}

bool Scanner::BoundaryLine(std::string_view text) {
    if (m_boundaries.empty() || text.size() < 3 || text[0] != '-' || text[1] != '-') return false;
    std::string_view rest = text.substr(2);
    for (size_t i = m_boundaries.size(); i-- > 0;) {
        const std::string& b = m_boundaries[i].boundary;
        if (rest.size() < b.size() || rest.substr(0, b.size()) != b) continue;
        std::string_view tail = Trim(rest.substr(b.size()));
        // The line break before a boundary belongs to the boundary (RFC 2046, 5.1.1).
        if (m_body == Body::kVerbatim) m_chunk.lastDataEnd = m_chunk.lineEnd;
        if (tail.empty() || tail == "--") {
            DropOutsideParts();
            m_chunk.Close(m_chunk.framing == Framing::kMime);
            m_chunk.article = m_boundaries[i].article;  // a part's enclosed message is over
        }
        if (tail.empty()) {
            m_boundaries.resize(i + 1);
            StartHeaders(false);
            m_partHeaders = true;
            m_outsideParts = false;
            ++m_partNumber;
            return true;
        }
        if (tail == "--") {
            m_boundaries.resize(i);
            m_body = Body::kText;  // the epilogue
            m_html = m_qpText = false;
            m_outsideParts = true;
            return true;
        }
    }
    return false;
}

void Scanner::BodyLine(const codec::Line& line) {
    std::string_view t = line.text;
    // An mbox's "From " line parts messages wherever it stands, after a blank line or right
    // after the last line of a body (as some writers leave it; its writer quoted those of the
    // bodies); in other inputs (saved articles, a mail file of its own) only after a blank line
    // in text outside a MIME structure.
    if (!line.overlong && !line.unquoted &&
        (m_container == Container::kMbox || (m_prevBlank && m_container == Container::kPlain &&
                                             m_boundaries.empty() && m_body == Body::kText)) &&
        IsMboxFromLine(t)) {
        EndFramedMessage(line.offset);
        StartMessage();
        return;
    }
    if (m_prevBlank && !line.overlong) {
        // (The first piece of a message/partial message starts with the enclosed message's
        // header; another article may follow it.)
        const PartInfo& part = m_chunk.part;
        bool mime = m_chunk.framing == Framing::kMime;
        bool ownBody = mime && (m_body != Body::kVerbatim ||
                                (!part.partialId.empty() && line.offset == part.begin));
        // A named attachment's text may hold a blank line and a header of its own: only the
        // fields a transport adds start an article there.
        bool transportOnly = mime && m_body == Body::kVerbatim;
        if (m_boundaries.empty() && !ownBody && IsArticleStart(t, transportOnly)) {
            NewArticle(t);
            return;
        }
    }
    if (!line.overlong && BoundaryLine(t)) return;
    switch (m_body) {
        case Body::kSkip:
        case Body::kEncoded:
            // Articles saved one after another: a single-part message's encoded body ends
            // where the next article's header starts (checked above only after a blank line).
            if (m_boundaries.empty() && !line.overlong && IsArticleStart(t)) {
                NewArticle(t);
                return;
            }
            if (m_body == Body::kSkip) return;
            [[fallthrough]];
        case Body::kVerbatim:
            m_chunk.format->BodyLine(line, m_chunk);
            return;
        case Body::kText:
            // A yEnc part that has all its data but lost its =yend: the next article may
            // start here, blank line or not.
            if (m_chunk.framing == Framing::kYenc && m_chunk.dataComplete && m_boundaries.empty() &&
                !line.overlong && IsArticleStart(t)) {
                NewArticle(t);
                return;
            }
            TextLine(line);
            return;
    }
}

// A line of text that may hold encoded data, as the text reads: quoted-printable decoded (a
// gateway re-encoded it), HTML unmarked; the decoders read the part alike.
void Scanner::TextLine(const codec::Line& line) {
    codec::Line text = line;
    if (m_qpText && !m_qpLines.Add(line, text)) return;  // the rest of a line broken softly
    if (m_html) text.text = UnmarkHtml(text.text, m_unmarked);
    m_formats.TextLine(text, m_chunk);
    if (m_chunk.IsOpen()) {
        m_chunk.part.markup = m_chunk.part.markup || m_html;
        m_chunk.part.qpText = m_chunk.part.qpText || m_qpText;
        if (m_qpText) m_chunk.bulkStride = 0;  // bulk runs are of the lines as sent
        // A name in the data is in the charset of the text around it, if that says one.
        if (m_chunk.part.nameCharset.empty()) m_chunk.part.nameCharset = m_charset;
    }
}

size_t Scanner::BulkRun(std::string_view pending) {
    m_chunk.insideMultipart = !m_boundaries.empty();
    return m_chunk.format->BulkRun(m_chunk, pending);
}

void Scanner::FullLines(std::string_view run, size_t count, uint64_t end) {
    m_chunk.format->FullLines(m_chunk, run, count);
    m_chunk.lastDataEnd = end;
}

void Scanner::EndArticle() {
    if (m_mode == Mode::kHeaders) FinishHeaders(m_chunk.lastDataEnd, false);
    EndMessage();
}

bool Scanner::StatusLine(const codec::Line& line) {
    if (!m_mayBeStatus) return false;
    m_mayBeStatus = false;
    if (line.overlong || !IsNntpStatusLine(line.text)) return false;
    EndArticle();
    if (line.text[2] == '2') {
        m_mode = Mode::kBody;  // the body only, without its header
        m_body = Body::kText;
    } else {
        StartMessage();
    }
    m_prevBlank = false;
    return true;
}

void Scanner::Line(const codec::Line& in) {
    m_chunk.bulkStride = 0;
    m_inputEnd = in.next;
    // A byte order mark that an editor put before the first line is not text of it.
    codec::Line bomless;
    bool bom = in.offset == 0 && in.text.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom) {
        bomless = in;
        bomless.text.remove_prefix(3);
    }
    const codec::Line& line = bom ? bomless : in;
    if (line.articleEnd) {
        // The lone "." after an article a news server sent; another may follow.
        EndArticle();
        m_mayBeStatus = m_prevBlank = true;
        return;
    }
    if (StatusLine(line)) return;
    std::string_view t = line.text;
    // Where an overlong line's pieces belong is decided by its first piece.
    bool firstPiece = !m_longLine;
    m_longLine = line.overlong && line.next == line.offset + line.text.size();
    if (line.offset == 0) StartContainer(t);
    if (firstPiece && !line.overlong && ContainerLine(line)) return;
    if (m_mode == Mode::kHeaders) {
        if (!firstPiece) {
            if (m_headerInLongLine) HeaderLine(t, true);
            return;
        }
        if (!line.overlong && IsBlank(t)) {
            if (m_babyl == Babyl::kOriginalHeaders) {
                // Rmail's copy of the header as it came; the header shown follows.
                m_babyl = Babyl::kHeaderEnd;
                m_mode = Mode::kBody;
                m_prevBlank = true;
                return;
            }
            FinishHeaders(line.next);
            m_prevBlank = true;
            return;
        }
        // The envelope line before a message's header (an MMDF mailbox may have one too).
        if (m_topHeaders && !m_anyHeader && !line.overlong && IsMboxFromLine(t)) return;
        bool continuation = (t[0] == ' ' || t[0] == '\t') && !m_headerName.empty();
        if (continuation || (line.overlong ? ParsesAsHeader(t) : IsHeader(t))) {
            m_headerInLongLine = line.overlong;
            HeaderLine(t);
            return;
        }
        // The header block ended without a blank line: this line is already body.
        FinishHeaders(line.offset);
    } else if (m_babyl == Babyl::kHeaderEnd) {
        m_babyl = Babyl::kNone;
        if (t == kBabylHeaderEnd) {
            StartMessage();
            return;
        }
        FinishHeaders(line.offset);
    } else if (m_prevBlank && !m_chunk.IsOpen() && m_boundaries.empty() && m_body == Body::kText &&
               line.offset == 0 && !line.overlong && IsHeader(t)) {
        // A file that starts with a header field is a message.
        StartMessage();
        HeaderLine(t);
        m_prevBlank = false;
        return;
    }
    BodyLine(line);
    m_prevBlank = !line.overlong && IsBlank(t);
}

void Scanner::StartContainer(std::string_view first) {
    if (first == kMmdfSeparator) {
        m_container = Container::kMmdf;
    } else if (first.substr(0, 14) == "BABYL OPTIONS:") {
        m_container = Container::kBabyl;
        m_body = Body::kSkip;  // the file's options, up to the first message
    } else if (IsMboxFromLine(first)) {
        m_container = Container::kMbox;
    }
}

bool Scanner::ContainerLine(const codec::Line& line) {
    std::string_view t = line.text;
    if (m_boundaries.empty() && IsSavedArticleLine(t)) {
        // A saved article's first line; its header follows.
        EndArticle();
        StartMessage();
        return true;
    }
    if (t == kMmdfSeparator) {
        // Before and after each message of an MMDF mailbox.
        EndFramedMessage(line.offset);
        StartMessage();
        return true;
    }
    if (m_container != Container::kBabyl) return false;
    if (m_babyl == Babyl::kLabels) {
        // The message's labels ("1, unseen,,"); its header follows.
        StartMessage();
        m_babyl = Babyl::kOriginalHeaders;
        return true;
    }
    if (!t.empty() && (t[0] == '\x1f' || t == "\f")) {
        // The end of a message ("\x1f"), and with a form feed the start of the next.
        EndFramedMessage(line.offset);
        m_mode = Mode::kBody;
        m_body = Body::kSkip;
        m_babyl = t.find('\f') != std::string_view::npos ? Babyl::kLabels : Babyl::kNone;
        return true;
    }
    if (m_mode == Mode::kHeaders && t == kBabylHeaderEnd) {
        StartMessage();  // the header shown follows (labels "0,": only that one)
        return true;
    }
    return false;
}

void Scanner::Finish() {
    // An mbox ends, as each of its messages does, with a blank line of its own.
    if (m_container == Container::kMbox && m_prevBlank)
        EndFramedMessage(m_inputEnd);
    else
        EndArticle();
}

bool ScanFile(LineReader& reader, Scanner& scanner) {
    codec::Line line;
    while (reader.Next(line)) {
        scanner.Line(line);
        if (size_t stride = scanner.BulkStride()) {
            // Only yEnc lines may begin with any byte, a quoted ">" or a stuffed "." too.
            bool fixedStart = scanner.BulkEncoding() != Encoding::kYenc;
            std::string_view pending = reader.Pending(fixedStart);
            size_t run = scanner.BulkRun(pending);
            if (run) {
                scanner.FullLines(pending.substr(0, run * stride), run,
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
