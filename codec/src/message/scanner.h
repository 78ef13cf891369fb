// The scan of one input file: splits it into messages (mbox "From " lines, articles saved one
// after another, or none at all), follows their MIME structure, and hands every line to the
// formats (formats/format.h), whose chunks become parts. One pass, line by line, no data kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/format.h"
#include "formats/qp/qp.h"
#include "io/line_reader.h"
#include "message/subject.h"

namespace codec {

class Scanner {
  public:
    using Emit = Chunk::Emit;
    using Continues = codec::Continues;
    using Keeper = codec::Keeper;

    Scanner(uint32_t fileIndex, Emit emit, Continues continues, Keeper keeper = {});
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    void Line(const codec::Line& line);
    // After Line: the stride of full data lines the open chunk's format would take next in
    // bulk, 0 when it wants every line one by one. BulkRun counts how many such lines
    // `pending` starts with; FullLines then reports that run. (yEnc lines differ in length:
    // the stride is 1, the run counts the bytes of whole lines.)
    size_t BulkStride() const { return m_chunk.bulkStride; }
    Encoding BulkEncoding() const { return m_chunk.part.encoding; }
    size_t BulkRun(std::string_view pending);
    // The run: its bytes (lines and line ends), how many lines, and where it ends in the file.
    void FullLines(std::string_view run, size_t count, uint64_t end);
    void Finish();
    // The input is a mail's own text, decoded: HTML or not, in this charset.
    void ReadsText(bool html, std::string charset) {
        m_html = html;
        m_charset = std::move(charset);
    }

  private:
    enum class Mode { kHeaders, kBody };
    // What a body is: text that may hold any format, a MIME body of encoded lines (Base64),
    // a MIME body whose every line is data (plain or quoted-printable), or text to pass over.
    enum class Body { kText, kEncoded, kVerbatim, kSkip };

    void StartHeaders(bool top);
    void StartMessage() { StartHeaders(true); }
    void EndMessage();
    // A header line that starts the next article, after the one read.
    void NewArticle(std::string_view firstHeader);
    // At the end of a multipart's preamble or epilogue.
    void DropOutsideParts();
    // The end of the input, or of an article a news server sent.
    void EndArticle();
    // The end of a message at a mailbox's separator line, which starts at `at`.
    void EndFramedMessage(uint64_t at);
    // A news server's status line where an article may begin; false for any other line.
    bool StatusLine(const codec::Line& line);
    // piece: a further piece of an overlong header line.
    void HeaderLine(std::string_view text, bool piece = false);
    // What kind of file this is, from its first line.
    void StartContainer(std::string_view first);
    // A mailbox's separator line, handled; false for any other line.
    bool ContainerLine(const codec::Line& line);
    void CommitHeader();
    // bodyStarted: false when the input ended inside the header block.
    void FinishHeaders(uint64_t bodyStart, bool bodyStarted = true);
    // Opens the chunk of a MIME body in this encoding.
    void OpenBody(Encoding encoding, uint64_t bodyStart);
    bool BoundaryLine(std::string_view text);
    void BodyLine(const codec::Line& line);
    void TextLine(const codec::Line& line);

    FormatSet m_formats;
    Chunk m_chunk;

    Mode m_mode = Mode::kBody;
    bool m_topHeaders = false;  // the header block being read is a message's, not a MIME part's
    bool m_enclosedHeaders = false;   // or a message's inside a MIME part (message/rfc822)
    bool m_prevBlank = true;          // the previous line was blank (or there was none)
    bool m_mayBeStatus = true;        // at the start of the input, or after an article's lone "."
    uint64_t m_inputEnd = 0;          // past the last line read
    bool m_longLine = false;          // the last line was a piece of an overlong line, more follow
    bool m_headerInLongLine = false;  // the overlong line being read is a header field
    bool m_anyHeader = false;         // the header block has had a field

    // The framing of the input: an mbox's "From " lines, MMDF's Ctrl-A lines, Rmail's Babyl
    // (a message is "\x1f\f", labels, the header as it came, "*** EOOH ***", the header
    // shown, the body), or none (a mail or article of its own, or articles saved one after
    // another).
    enum class Container { kPlain, kMbox, kMmdf, kBabyl };
    enum class Babyl { kNone, kLabels, kOriginalHeaders, kHeaderEnd };
    Container m_container = Container::kPlain;
    Babyl m_babyl = Babyl::kNone;

    std::string m_headerName;
    std::string m_headerValue;
    std::string m_contentType, m_transferEncoding, m_disposition, m_subject;
    std::string m_description, m_contentId;
    bool m_outsideParts = false;  // in a multipart's preamble or epilogue
    std::string m_charset;        // the text's declared charset
    bool m_html = false;          // the text is HTML source
    bool m_qpText = false;        // the text was sent as quoted-printable
    QpTextLines m_qpLines;
    std::string m_unmarked;  // a line of it as it shows
    int m_partNumber = 0;    // of the body part being read: all parts the message has shown
    struct Multipart {
        std::string boundary;
        Article article;           // what numbered the message when it opened
        bool digest = false;       // its parts are messages unless they say otherwise
        bool alternative = false;  // its parts are forms of one text
        bool appleDouble = false;  // a Mac file: its header, then its data fork
        bool plainText = false;    // (alternative) it has had the plain form
    };
    std::vector<Multipart> m_boundaries;  // MIME multipart nesting, outermost first
    bool m_partHeaders = false;           // the header block read is a body part's
    Body m_body = Body::kText;
};

// The whole scan of one file through a line reader. Returns false when the reader stopped
// (cancel or read error).
bool ScanFile(LineReader& reader, Scanner& scanner);

}  // namespace codec
