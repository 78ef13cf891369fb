// The state behind a CodecLibrary and the operations its files share: loading (load.cpp, many
// files at once in batch.cpp), checking checksums after a load (verify.cpp), decoding and
// encoding (codec_library.cpp).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/fd.h"
#include "codec/codec_library.h"
#include "formats/part_decoder.h"
#include "io/output_file.h"
#include "io/source.h"
#include "library/assembly.h"
#include "message/scanner.h"

namespace codec {

using Clock = std::chrono::steady_clock;

// Small helpers of the library's own files.
inline std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

inline std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// The process umask, read without changing it (umask(2) would race other threads).
unsigned ReadUmask();

// The one barrier between the library and its callers: no exception leaves a public call. A
// call that runs out of memory gives kNoMemory (after onNoMemory, which may say so), and
// anything else unforeseen kInternalError.
template <typename Call, typename OnNoMemory>
int Guarded(Call&& call, OnNoMemory&& onNoMemory) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        try {
            onNoMemory();
        } catch (...) {
        }
        return kNoMemory;
    } catch (...) {
        return kInternalError;
    }
}

template <typename Call>
int Guarded(Call&& call) noexcept {
    return Guarded(std::forward<Call>(call), [] {});
}

struct CodecLibrary::Impl {
    MsgCallback msg = nullptr;
    void* msgOpaque = nullptr;
    BusyCallback busy = nullptr;
    void* busyOpaque = nullptr;
    Clock::duration interval{};
    Clock::time_point lastBusy{};
    bool busyCalled = false;

    bool decodeWithErrors = false;
    bool overwrite = false;
    std::string outputDir;
    std::string encodedExt = "uue";

    Sources files;
    struct Partial {
        std::map<int, Segment> pieces;
        int total = 0;
        std::string subjectName;
        Record* placeholder = nullptr;
        bool done = false;
        bool firstRead = false;  // piece 1 was read for the name
        std::string firstName;
    };
    std::unordered_map<std::string, Partial> partials;
    // The line the input loaded last ended inside, where the last part found in it ran into
    // it (see FinishesCutLine): the next input may finish it.
    struct CutLine {
        uint32_t source = 0;  // the source scanned
        uint64_t begin = 0;   // where the line starts in it
        Segment file;         // the line in its file
        Encoding encoding = Encoding::kUu;
        std::string text;
        size_t neighbour = 0;  // the length of the line before it
        std::string shown;     // the input's name
    };
    std::optional<CutLine> cut;
    Assembly assembly;
    std::vector<char> readBuffer;
    std::vector<uint8_t> writeBuffer;
    unsigned umask = ReadUmask();
    bool unnamedOutput = OutputFile::CanLinkUnnamed();  // checked once per library

    // Data a load decoded into the output directory for a part (see Keeper) while
    // decodeDuringLoad is on, by id; gone once used or given back. Ids are never used again,
    // so a part never finds another's data.
    struct Kept {
        std::vector<uint8_t> buffer;  // the file's; declared first, so it outlives the file
        Fd dir;
        dev_t dev = 0;
        ino_t ino = 0;
        std::unique_ptr<OutputFile> file;
    };
    static constexpr size_t kMaxKept = 4;  // at once: each holds a descriptor and a buffer
    bool decodeDuringLoad = false;
    std::map<int, std::unique_ptr<Kept>> kept;
    int nextKeptId = 0;
    KeptChain keptChain;  // the posting kept part by part, waiting for its next part

    // A batch of decodes (DecodeMany) runs on two threads. Each thread holds back the
    // messages of the record it decodes, to be reported in order by the calling thread, and
    // only the calling thread calls the busy callback: the other sees a cancel through
    // `canceled`.
    using MessageLog = std::vector<std::pair<int, std::string>>;
    static thread_local MessageLog* t_log;  // set while a record of a batch is decoded
    static thread_local bool t_helper;      // the batch's second thread
    std::atomic<bool> canceled{false};

    void Message(int level, const std::string& text) {
        if (t_log)
            t_log->emplace_back(level, text);
        else if (msg)
            msg(msgOpaque, text.c_str(), level);
    }

    // Reports progress when the interval has passed; false when the callback asks to cancel.
    bool Tick(int action, const std::string& file, int part, int parts, uint64_t done,
              uint64_t total) {
        if (t_log && canceled.load(std::memory_order_relaxed)) return false;
        if (t_helper || !busy) return true;
        Clock::time_point now = Clock::now();
        if (busyCalled && now - lastBusy < interval) return true;
        busyCalled = true;
        lastBusy = now;
        Progress p;
        p.action = action;
        std::snprintf(p.currentFile, sizeof p.currentFile, "%s", file.c_str());
        p.part = part;
        p.parts = parts;
        uint64_t pct = total ? done * 100 / total : 100;
        p.percent = static_cast<int>(pct > 100 ? 100 : pct);
        if (busy(busyOpaque, &p) == 0) return true;
        canceled.store(true, std::memory_order_relaxed);
        return false;
    }

    std::string OutputDir() const { return outputDir.empty() ? std::string(".") : outputDir; }

    int Load(const std::string& path);
    // Scans an input read from source fileIndex, a file at path (of size 0 when its size is
    // unknown) or a stream of that name.
    int Scan(const std::string& path, Input& input, uint32_t fileIndex);
    // Reads stream fd as one input named name, kept in dir past what memory holds.
    int LoadStream(int fd, const std::string& name, const std::string& dir);
    // What a scan asks before data without headers may start: the last part it found (or, before
    // it found any, the last part loaded) is unfinished and of that encoding.
    Continues ContinuesAfter(const std::vector<PartInfo>& found) const;
    // The line an input of that size ends inside, when the last part found in it ran into it.
    std::optional<CutLine> FindCutLine(Input& input, uint64_t size, const PartInfo& last);
    // The input of file fileIndex (total bytes) read after the cut line, when its first line
    // finishes it (the part that ran into the line is then shortened), and its source index.
    std::unique_ptr<Input> GoOnFromCut(const CutLine& cut, Input& input, uint32_t fileIndex,
                                       uint64_t total, const std::string& shown, uint32_t& index);
    // LoadFile: the file at path, or its contents when already read (data, not null, read
    // from the file of status st).
    int LoadOne(const char* path, const char* data, size_t size, const struct stat* st);
    // Load for each path; see LoadFiles.
    int LoadMany(const char* const* paths, int count, int* results);
    int EncodeFile(const char* inputPath, int type, const char* headerName, const char* outputName,
                   long linesPerPart);
    int AddParts(std::vector<PartInfo>& found, const std::string& shown, uint64_t total,
                 Record** reuse, std::vector<std::string>* touched);
    int JoinPartial(const std::string& id, const std::string& shown, uint64_t total);
    int ScanText(const PartInfo& text, const std::string& shown, uint64_t total);
    int textDepth = 0;      // texts being read inside texts (ScanText)
    size_t partsFound = 0;  // by every load so far
    std::string NameInFirstPiece(const std::string& id, const Segment& piece);
    // The CRC-32 of what a part decodes to; false when it cannot be read.
    bool DecodedCrc(const PartInfo& part, uint32_t& crc);
    bool SameFile(const PartInfo& first, const PartInfo& again);
    int Verify(Record& record, const std::string& shown, uint64_t total);
    // False, with a warning, when a uu or xx record's parts cannot follow each other.
    bool CheckUuJoin(const Record& r, const std::string& name);
    int VerifyBinHex(Record& record, const std::string& shown, uint64_t total);
    Keeper MakeKeeper(uint64_t inputSize);
    void NameBare(PartInfo& part, const std::string& shown);
    // The kept data of a record of one part, when it was kept in directory dirFd.
    std::unique_ptr<Kept> TakeKept(const Record& record, int dirFd);
    // The warning and result for a record that cannot be decoded under name, or kOk.
    int CheckDecodable(const Record& record, const std::string& name);
    // Opens the output directory; kIoError (with a warning unless quiet) when it cannot.
    int OpenOutputDir(Fd& dirFd, bool quiet = false);
    int Decode(Record& record, const std::string& name);
    // Decodes a decodable record into dirFd (or puts in place what the load kept of it), with
    // the buffers given: what a thread of a batch does.
    int DecodeTo(Record& record, const std::string& name, int dirFd, Kept* loaded,
                 std::vector<char>& readBuf, std::vector<uint8_t>& writeBuf);
    int DecodeInto(Record& record, const std::string& name, int dirFd, unsigned mode,
                   OutputFile& out, std::vector<char>& readBuf);
    // DecodeFile for each record, under its name, on two threads where that pays; see
    // DecodeFiles.
    int DecodeMany(const std::vector<Record*>& records, int* results);
    int DecodePart(Record& record, const PartInfo& part, Input& input, int index, ByteSink& out,
                   PartDecoder& decoder);
};

}  // namespace codec
