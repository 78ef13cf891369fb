// The scan of one input file: splits it into messages (mbox "From " lines, articles saved one
// after another, or none at all), follows their MIME structure, and reports every encoded
// chunk as a PartInfo. One pass, line by line, no data kept.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "formats/binhex/binhex.h"
#include "formats/part.h"
#include "formats/part_decoder.h"
#include "formats/yenc/yenc.h"
#include "io/line_reader.h"
#include "message/headers.h"
#include "message/subject.h"

namespace codec {

class Scanner {
  public:
    using Emit = std::function<void(PartInfo&&)>;
    // Whether a Base64 or BinHex chunk without headers may start here: only right after an
    // unfinished part of that encoding, or in an article numbered as a later part, so that
    // signatures and hashes in ordinary text are not taken for data.
    using Continues = std::function<bool(Encoding)>;

    // Where the decoded data of a large file posted whole in yEnc or BinHex may go while the
    // scan decodes it anyway (to check it), so that decoding it needs no second pass. keep(size)
    // is asked with the size the format gives and returns an id and a sink, or -1; drop(id)
    // gives back one that will not be used. A part that has its data kept carries the id.
    struct Keeper {
        std::function<int(uint64_t size, ByteSink** sink)> keep;
        std::function<void(int id)> drop;
    };
    // The least a file must say it holds to have its data kept.
    static constexpr uint64_t kKeepAtLeast = 1 << 20;

    Scanner(uint32_t fileIndex, Emit emit, Continues continues, Keeper keeper = {});
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    void Line(const codec::Line& line);
    // After Line: the stride of full data lines the scanner would take next in bulk, 0 when
    // it wants every line one by one. BulkRun counts how many such lines `pending` starts
    // with; FullLines then reports that run. (yEnc lines differ in length: the stride is 1,
    // the run counts the bytes of whole lines.)
    size_t BulkStride() const { return m_bulkStride; }
    size_t BulkRun(std::string_view pending) const;
    // The run: its bytes (lines and line ends), how many lines, and where it ends in the file.
    void FullLines(std::string_view run, size_t count, uint64_t end);
    void Finish();

  private:
    enum class Mode { kHeaders, kBody };
    enum class Body { kText, kBase64, kSkip, kVerbatim };  // verbatim: QP or 7bit/8bit/binary
    enum class Open { kNone, kBegin, kHeaderless, kMime, kYenc, kBinHex };

    void StartMessage();
    void StartHeaders(bool top);
    void EndMessage();
    void HeaderLine(std::string_view text);
    void CommitHeader();
    // bodyStarted: false when the input ended inside the header block.
    void FinishHeaders(uint64_t bodyStart, bool bodyStarted = true);
    bool BoundaryLine(std::string_view text);
    void BodyLine(const codec::Line& line);
    void TextLine(const codec::Line& line);
    bool YencLine(const codec::Line& line);
    bool BinHexLine(const codec::Line& line);
    // A data line's characters, or (lines > 0) a run of full data lines stride bytes apart.
    void BinHexData(std::string_view data, size_t lines = 0, size_t stride = 0);
    // Returns whether the line was all alphabet, without padding.
    bool Base64Line(std::string_view text, uint64_t next);
    void OpenChunk(Open kind, Encoding encoding, uint64_t begin);
    void CloseChunk(bool hasEnd);
    PartInfo NewPart() const;

    uint32_t m_fileIndex;
    Emit m_emit;
    Continues m_continues;

    Mode m_mode = Mode::kBody;
    bool m_topHeaders = false;  // the header block being read is a message's, not a MIME part's
    bool m_prevBlank = true;    // the previous line was blank (or there was none)
    std::string m_headerName;
    std::string m_headerValue;
    std::string m_contentType, m_transferEncoding, m_disposition, m_subject;
    SubjectInfo m_subjectInfo;
    std::vector<std::string> m_boundaries;  // MIME multipart nesting, outermost first
    Body m_body = Body::kText;

    // The chunk being collected.
    Open m_open = Open::kNone;
    PartInfo m_part;
    bool m_confirmed = false;  // a headerless chunk is data, not a stray line
    bool m_decided = false;    // uu or xx is known for a begin block
    bool m_prevData = false;   // the previous line was a data line
    bool m_prevZero = false;   // the previous line, outside a chunk, was a terminator
    uint64_t m_lastDataEnd = 0;
    uint64_t m_base64Chars = 0;
    size_t m_firstLineLength = 0;
    size_t m_lastLineLength = 0;
    bool m_padded = false;
    size_t m_bulkStride = 0;
    enum class Bulk { kUu, kBase64, kBinHex, kYenc };  // yEnc: stride 1, runs in bytes
    size_t YencRun(std::string_view pending) const;
    Bulk m_bulk = Bulk::kUu;        // what the lines taken in bulk are
    size_t m_bulkBase64Length = 0;  // of the Base64 lines taken in bulk
    // yEnc data is decoded as it is read, for its CRC-32 and size.
    void YencData(std::string_view text);
    void YencDataLine(const codec::Line& line);
    void YencFlush();
    void YencRestart();  // forgets the data decoded so far
    YencDecoder m_yenc;
    std::vector<uint8_t> m_yencOut;
    size_t m_yencFill = 0;
    uint32_t m_yencCrc = 0;
    uint64_t m_yencSize = 0;
    // Kept data (see Keeper): the id and sink of the open chunk's, and for BinHex, whose size
    // is known only once its header is read, the sink the decoder writes to until then.
    void StartKeeping(uint64_t size);
    void StopKeeping();
    class BinHexKeep : public ByteSink {
      public:
        explicit BinHexKeep(Scanner& scanner) : m_scanner(scanner) {}
        void Reset() { m_decided = false, m_target = nullptr; }
        void Detach() { m_target = nullptr; }  // what comes now is not kept
        uint8_t* Reserve(size_t need) override;
        void Advance(size_t used) override {
            if (m_target) m_target->Advance(used);
        }

      private:
        Scanner& m_scanner;
        bool m_decided = false;
        ByteSink* m_target = nullptr;
        std::vector<uint8_t> m_scratch;
    };
    Keeper m_keeper;
    int m_keepId = -1;
    ByteSink* m_keepSink = nullptr;
    BinHexKeep m_binhexKeep{*this};
    bool m_binhexIntro = false;  // "(This file must be converted ..." was the last line
    BinHexDecoder m_peek;        // reads a BinHex header for the name and the size
    uint64_t m_lineEnd = 0;      // the previous line's content end (before its line break)
    uint64_t m_lineNext = 0;     // and the offset after its line break
};

// The whole scan of one file through a line reader. Returns false when the reader stopped
// (cancel or read error).
bool ScanFile(LineReader& reader, Scanner& scanner);

}  // namespace codec
