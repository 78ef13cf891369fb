// What every format offers the scan and the decode, and the chunk a format collects.
//
// The scan walks messages and MIME structure and hands each line to the formats: a line of
// plain text to every format in turn until one takes it, a line of a MIME body to the format
// of its transfer encoding. A format detects where its data starts (a begin line, a keyword,
// a run of data lines), follows it line by line, and decides where it ends; the chunk it
// collects becomes a part. Each format also decodes its parts' spans (SpanDecoder), reading
// lines with the same classification the scan used, so that scan and decode agree.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_sink.h"
#include "codec/codec_library.h"
#include "formats/part.h"
#include "io/line_reader.h"

namespace codec {

class FormatReader;

// Where the decoded data of a large file posted whole may go while the scan decodes it
// anyway (to check it), so that decoding it needs no second pass. keep(size) is asked with
// the size the format gives and returns an id and a sink, or -1; drop(id) gives back one that
// will not be used. A part that has its data kept carries the id.
//
// The parts of a posting found in order (uuencode, xxencode: one after another in a spool, or
// in inputs loaded one after another) go into one kept file: the chain says which part it
// waits for; each part in it carries the id and its place.
struct KeptChain {
    int id = -1;  // none waiting
    Encoding encoding = Encoding::kUu;
    std::string key;
    int next = 0, total = 0;  // the number of the part it waits for, of how many
    int seq = 0;              // the parts in it
};
struct Keeper {
    std::function<int(uint64_t size, ByteSink** sink)> keep;
    std::function<void(int id)> drop;
    std::function<ByteSink*(int id)> sinkOf;  // of an id still kept, or null
    KeptChain* chain = nullptr;               // the library's, across inputs
    uint64_t inputSize = 0;  // of the input scanned: a bound for sizes only estimated
    uint64_t atLeast = 0;    // the least a file must hold to have its data kept
};
// The usual least (TAMSEL_KEEP_FROM may set another, for tests of small inputs).
inline constexpr uint64_t kKeepAtLeast = 1 << 20;

// Whether a chunk without headers of this encoding may start here: only right after an
// unfinished part of that encoding (or in an article numbered as a later part), so that
// signatures and hashes in ordinary text are not taken for data.
using Continues = std::function<bool(Encoding)>;

// How the open chunk began: after a begin line, on a data line without one, as a MIME body,
// at a yEnc =ybegin line, or at BinHex's opening ':'.
enum class Framing { kNone, kBegin, kHeaderless, kMime, kYenc, kBinHex };

// What the message around a chunk says of it: the numbering and name its Subject gives.
struct Article {
    int number = 0;  // 0: none
    int total = 0;
    std::string key;
    std::string name;
};

class FormatSet;

// The chunk being collected: its part, how far its data goes, and its lifecycle. One per scan.
class Chunk {
  public:
    using Emit = std::function<void(PartInfo&&)>;

    Chunk(uint32_t fileIndex, Emit emit, Continues continues, Keeper keeper, FormatSet& formats);
    ~Chunk();
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;

    // Starts collecting a chunk of encoding at begin (whatever was open is dropped: close it
    // first). The format of that encoding reads it.
    void Open(Framing framing, Encoding encoding, uint64_t begin);
    // Ends the open chunk: a confirmed one becomes a part, with its end when hasEnd.
    void Close(bool hasEnd);
    // Ends the open chunk without a part: what it saw was not a file.
    void Drop() {
        framing = Framing::kNone;
        StopKeeping();
    }

    bool IsOpen() const { return framing != Framing::kNone; }
    // A chunk without headers of this encoding may start here (see Continues).
    bool MayContinue(Encoding encoding) const {
        return article.number > 1 || (m_continues && m_continues(encoding));
    }
    bool Continuing(Encoding encoding) const { return m_continues && m_continues(encoding); }

    // Keeping the decoded data (see Keeper): StartKeeping asks for a sink for a file of that
    // size; keepSink is it while kept; TakeKeepId hands the id to the part. A chunk that opens
    // as the next part of a chain has keepSink set already; a part that does not take the id
    // loses it for all of the chain.
    bool CanKeep() const { return static_cast<bool>(m_keeper.keep); }
    uint64_t KeepAtLeast() const { return m_keeper.atLeast; }
    uint64_t InputSize() const { return m_keeper.inputSize; }
    void StartKeeping(uint64_t size);
    void StopKeeping();
    int TakeKeepId();
    ByteSink* keepSink = nullptr;

    Framing framing = Framing::kNone;
    PartInfo part;
    FormatReader* format = nullptr;  // the open chunk's
    bool confirmed = false;          // a chunk without headers is data, not a stray line
    uint64_t lastDataEnd = 0;        // where the data seen so far ends
    uint64_t lineEnd = 0;            // a MIME body's last line's end, before its line break
    size_t bulkStride = 0;           // set by the format: see FormatReader::BulkRun
    bool insideMultipart = false;    // a line starting "--" may be a boundary
    bool dataComplete = false;       // the data holds all its format said it would
    Article article;

  private:
    // Drops the chain waiting, for another.
    void EndChain();
    // The part closing took the id: it goes on the chain, or starts one.
    void Chain(bool chained);

    uint32_t m_fileIndex;
    Emit m_emit;
    Continues m_continues;
    Keeper m_keeper;
    int m_keepId = -1;
    bool m_chained = false;  // the open chunk is the next part of the chain
    FormatSet& m_formats;
};

// Keeping the data of a file whose size is known only at its end (uuencode: no header says
// it): from the first byte on, the format writes what it counts as data here; the start is
// held in memory until there is enough to be worth a sink, whose size is then estimated from
// the input left. Written() is what went in, to be checked against what the part counts.
class GrowingKeep : public ByteSink {
  public:
    // Starts collecting for chunk, whose data begins at offset `from` with `ratio` bytes of
    // data to a byte of input at most.
    void Start(Chunk& chunk, uint64_t from, double ratio);
    // The first part of several holds too little to be kept alone: what it holds times the
    // parts there are is the size asked for.
    void Settle(uint64_t estimate);
    // Stops, dropping what the chunk kept unless its id was taken: what was written is not
    // the part's data, or the part is done.
    void Stop();
    // Forgets the chunk, which has gone with what it kept.
    void Reset();
    bool Active() const { return m_chunk != nullptr; }
    uint64_t Written() const { return m_written; }

    uint8_t* Reserve(size_t need) override;
    void Advance(size_t used) override;

  private:
    void Flush();  // what is held, into the sink asked for

    Chunk* m_chunk = nullptr;
    uint64_t m_estimate = 0;
    uint64_t m_written = 0;
    std::vector<uint8_t> m_start;  // held until kept
    size_t m_held = 0;
};

// A format's side of one scan. Stateful: one object per scan.
class FormatReader {
  public:
    virtual ~FormatReader() = default;
    // A line of text (not a MIME body of an encoding): true when this format took it.
    virtual bool TextLine(const Line& line, Chunk& chunk) = 0;
    // A line of a MIME body in this format's transfer encoding.
    virtual void BodyLine(const Line&, Chunk&) {}
    // A chunk of this format was opened.
    virtual void Opened(Chunk&) {}
    // The chunk is about to become a part: the format fills in what it knows (its size, its
    // checks) and may decide that it is complete.
    virtual void Closing(Chunk&, Framing, bool& /*hasEnd*/) {}
    // After a line that set chunk.bulkStride: how many lines like it `pending` starts with,
    // which FullLines then takes in one go (yEnc: stride 1, the run in bytes).
    // A format may decode the run as it checks it (into what it keeps).
    virtual size_t BulkRun(Chunk&, std::string_view /*pending*/) { return 0; }
    virtual void FullLines(Chunk&, std::string_view /*run*/, size_t /*count*/) {}
};

// A format's decoding of the parts of one record, in order; state may run on from one part
// into the next (a Base64 quad or a BinHex stream split between parts).
class SpanDecoder {
  public:
    virtual ~SpanDecoder() = default;
    // Decodes part's span of input into sink. Returns 0, an errno value for a read error, or
    // -1 when the hook asked to stop.
    virtual int Decode(Input& input, const PartInfo& part, ByteSink& sink,
                       const LineReader::FillHook& hook, std::vector<char>& readBuffer) = 0;
    // The record ends: what the state still holds goes to the sink.
    virtual void End(ByteSink&) {}
};

// The formats of one scan: every format's reader, in the order a line of text is offered.
class FormatSet {
  public:
    FormatSet();
    ~FormatSet();
    // Offers a line of text to each format in turn.
    void TextLine(const Line& line, Chunk& chunk);
    FormatReader& For(Encoding encoding);

  private:
    std::vector<std::unique_ptr<FormatReader>> m_readers;
    std::vector<FormatReader*> m_byEncoding;
};

// A decoder for the parts of one record of this encoding; checks: also compute the
// checksums the scan has not verified.
std::unique_ptr<SpanDecoder> NewSpanDecoder(Encoding encoding, bool checks);

// An input cut inside a line (a file split by size, as `split -b` cuts it) goes on in the next
// input: the line is whole again once that input's first line is put after it. Whether
// `joined`, the line made so (without its line break), is a data line of this encoding among
// lines `neighbour` bytes long.
bool FinishesCutLine(Encoding encoding, std::string_view joined, size_t neighbour);
// The part ran into such a cut line (at lineBegin, text `line`), which the next input
// finishes: it now ends before the line, and counts nothing of it.
void EndBeforeCutLine(PartInfo& part, uint64_t lineBegin, std::string_view line);
// A format's side of those two.
struct CutLineRules {
    bool (*finishes)(Encoding encoding, std::string_view joined, size_t neighbour) = nullptr;
    // Takes off the part's counts what the scan counted of the line.
    void (*uncount)(PartInfo& part, std::string_view line) = nullptr;
};

// What a part's own checksums, as the scan computed them, say of this copy of it: what decides
// between two copies of one part.
enum class CopyCheck { kUnknown, kGood, kBad };
CopyCheck CheckCopy(const PartInfo& part);

}  // namespace codec
