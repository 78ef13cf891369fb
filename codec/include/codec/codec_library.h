// The codec library: scans saved news articles and mail for encoded attachments (uuencode,
// xxencode, Base64/MIME and the rest), assembles multi-part postings into file records and
// decodes them safely into one output directory. It also encodes one file, whole or in parts.
//
// One CodecLibrary object holds all state; objects are independent, so tests and fuzzers may
// run many at once (one thread per object). No exception leaves this header: out of memory is
// returned as kNoMemory. Callbacks run inside the calls, on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace codec {

// Return codes of every operation that returns int.
enum Result : int {
    kOk = 0,
    kIoError = 1,
    kNoMemory = 2,
    kInternalError = 3,
    kNoData = 4,
    kNoEnd = 5,
    kTargetExists = 7,
    kCanceled = 9,
};

// Option numbers for SetOption.
enum Option : int {
    kOptDecodeWithErrors = 5,  // 0/1: a record with a name and any data is ready
    kOptOverwrite = 7,         // 0/1: replace an existing output file
    kOptOutputDir = 8,         // text: output directory (a trailing '/' is allowed)
    kOptEncodedExt = 19,       // text: extension of encoded part files, "uue" by default
    // 0/1: every ready file will be decoded into the output directory (option 8, set first)
    // right after loading. A large file posted whole in yEnc or BinHex is then written there,
    // unnamed, by the load that decodes it to check it, and DecodeFile only puts it in place.
    kOptDecodeDuringLoad = 100,
};

// State bits of a FileRecord.
enum State : uint32_t {
    kStateMissingParts = 0x01,
    kStateNoBegin = 0x02,
    kStateNoEnd = 0x04,
    kStateNoData = 0x08,
    kStateReady = 0x10,
    kStateFailed = 0x20,
    kStateChecksum = 0x40,  // a checksum or size the format carries does not match the data
    // Parts of articles whose Subjects number nothing follow each other only in the order the
    // inputs were given: nothing says that order is the file's.
    kStateOrderUnknown = 0x80,
};

// The lines that tell a user what a record's state bits mean, in a fixed order: no begin,
// missing parts (then one line per missing number), no end, no data, checksum, order unknown,
// ready, failed.
std::vector<std::string> DescribeState(const struct FileRecord& record);

enum class Encoding : int { kUu, kXx, kBase64, kBinHex, kYenc, kQuotedPrintable, kPlain };

// Short lower-case name of an encoding: "uu", "xx", "base64", "binhex", "yenc", "qp", "plain".
const char* EncodingName(Encoding encoding);

// One output file the scanned input will produce. Owned by the library; the pointer and its
// fields stay valid until CleanUp (a later LoadFile may update the fields, never move them).
struct FileRecord {
    uint32_t state = 0;                     // State bits
    int32_t size = 0;                       // approximate output size in bytes
    const char* name = nullptr;             // output file name (a safe base name), or null
    const int32_t* missingParts = nullptr;  // ascending part numbers, ended by 0
    Encoding encoding = Encoding::kUu;
    int32_t partCount = 0;  // parts found (repeats not counted)
};

// Progress actions.
enum Action : int { kActionScanning = 1, kActionDecoding = 2, kActionEncoding = 4 };

// Laid out as the front ends have always read it: action at byte 0, the file name at 4, part
// at 260, parts at 264, percent at 272.
struct Progress {
    int action = 0;
    char currentFile[256] = {};  // base name of the file being read or written
    int part = 0;                // from 1
    int parts = 0;
    int reserved = 0;
    int percent = 0;  // of the current part
};
static_assert(offsetof(Progress, part) == 260 && offsetof(Progress, percent) == 272);

// Message levels.
enum Level : int {
    kLevelPlain = 0,
    kLevelNote = 1,
    kLevelWarning = 2,
    kLevelError = 3,
    kLevelFatal = 4,
    kLevelPanic = 5,
};

using MsgCallback = void (*)(void* opaque, const char* text, int level);
// Returns non-zero to cancel the running call, which then returns kCanceled.
using BusyCallback = int (*)(void* opaque, const Progress* progress);

enum EncodeType : int { kEncodeUu = 1, kEncodeBase64 = 2, kEncodeXx = 3, kEncodeYenc = 4 };

class CodecLibrary {
  public:
    CodecLibrary();
    ~CodecLibrary();
    CodecLibrary(const CodecLibrary&) = delete;
    CodecLibrary& operator=(const CodecLibrary&) = delete;

    // Makes the object ready; drops any earlier scan and resets the options.
    int Initialize();
    void SetMsgCallback(void* opaque, MsgCallback callback);
    // The callback is called at most once per intervalMs (measured by the clock).
    void SetBusyCallback(void* opaque, BusyCallback callback, long intervalMs);
    // Unknown options are ignored. text may be null.
    void SetOption(int option, int value, const char* text);

    // Scans one input file and adds what it finds to the file records. fileId and flags are
    // reserved (pass null and 0). Returns kIoError for an unreadable file or a directory (with
    // a warning naming the file and the reason), kCanceled when the busy callback asked so;
    // any input bytes, however malformed, are otherwise accepted.
    int LoadFile(const char* path, const char* fileId = nullptr, int flags = 0);

    // LoadFile for each of count paths, in the order given; results[i] gets what LoadFile
    // returns for paths[i]. Meanwhile a second thread reads small files ahead; the callbacks
    // are called on this thread only. After a cancel no more files are loaded (kCanceled in
    // their place). Returns kCanceled after a cancel, else kOk.
    int LoadFiles(const char* const* paths, int count, int* results);

    // Reads a stream (a pipe, a terminal: fd, not closed) to its end and scans it as one
    // input, named name in messages ("stdin" when null). Each byte is read once: what is read
    // is kept in memory up to a few MiB and past that in a file without a name in spoolDir
    // (null: $TMPDIR, else /tmp), which goes at CleanUp. Returns like LoadFile; kIoError also
    // when that file cannot be made or written, kCanceled when the busy callback asked so
    // (also while a read waits and a signal interrupts it).
    int LoadStream(int fd, const char* name = nullptr, const char* spoolDir = nullptr);

    // The record at a 0-based index, or null past the last one.
    const FileRecord* GetFileListItem(int index) const;

    // Decodes a record into the output directory under its name (targetName, when given,
    // replaces the name). Never writes outside the output directory; writes a temporary file
    // there and renames it into place only when complete, so a failure or a cancel leaves no
    // partial output and an existing file as it was. With overwrite off an existing target is
    // left alone and kTargetExists returned.
    int DecodeFile(const FileRecord* record, const char* targetName = nullptr);

    // DecodeFile for each of count records, under its name; results[i] gets what DecodeFile
    // would return for records[i]. Two records may be decoded at once, by this thread and one
    // more, but records of one name are decoded in the order given, and the callbacks are
    // called on this thread only: the messages of each record together, in the order of the
    // records. After a cancel no more records are begun (kCanceled in their place). Returns
    // kCanceled after a cancel, else kOk.
    int DecodeFiles(const FileRecord* const* records, int count, int* results);

    // Gives the record a new name (reduced to a safe base name). A nameless record becomes
    // ready once named. Returns kInternalError for a record not of this object or an unusable
    // name.
    int RenameFile(const FileRecord* record, const char* newName);

    // Encodes inputPath (relative names against the current directory) into outputName in the
    // output directory: whole when linesPerPart is 0, else in parts of that many encoded lines
    // (yEnc: of linesPerPart * 128 bytes of the input, each written in about that many lines).
    // stream is reserved (pass null); headerName null means the input's base name.
    int EncodeToFile(void* stream, const char* inputPath, int type, const char* headerName,
                     const char* outputName, long linesPerPart);

    // Releases all records and scanned data. The options and callbacks stay.
    void CleanUp();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace codec
