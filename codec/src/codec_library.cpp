// The public face of the codec library: options, callbacks, progress and the load, decode and
// rename operations over the scanner, the assembly and the atomic output file.
#include "codec/codec_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "assembly.h"
#include "base64.h"
#include "encode.h"
#include "line_reader.h"
#include "output_file.h"
#include "part_decoder.h"
#include "safe_name.h"
#include "scanner.h"
#include "tables.h"
#include "uu.h"

namespace codec {

const char* EncodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::kUu:
            return "uu";
        case Encoding::kXx:
            return "xx";
        case Encoding::kBase64:
            return "base64";
        case Encoding::kBinHex:
            return "binhex";
        case Encoding::kYenc:
            return "yenc";
        case Encoding::kQuotedPrintable:
            return "qp";
        case Encoding::kPlain:
            return "plain";
    }
    return "plain";
}

namespace {

using Clock = std::chrono::steady_clock;

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// The process umask, read without changing it (umask(2) would race other threads).
unsigned ReadUmask() {
    FILE* f = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (!f) return mask;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = static_cast<unsigned>(std::strtoul(line + 6, nullptr, 8)) & 0777;
            break;
        }
    }
    std::fclose(f);
    return mask;
}

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void Reset(int fd = -1) {
        if (m_fd >= 0) close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }

  private:
    int m_fd = -1;
};

}  // namespace

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
    };
    std::unordered_map<std::string, Partial> partials;
    Assembly assembly;
    std::vector<char> readBuffer;
    std::vector<uint8_t> writeBuffer;
    unsigned umask = ReadUmask();

    void Message(int level, const std::string& text) {
        if (msg) msg(msgOpaque, text.c_str(), level);
    }

    // Reports progress when the interval has passed; false when the callback asks to cancel.
    bool Tick(int action, const std::string& file, int part, int parts, uint64_t done,
              uint64_t total) {
        if (!busy) return true;
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
        return busy(busyOpaque, &p) == 0;
    }

    int Load(const std::string& path);
    int EncodeFile(const char* inputPath, int type, const char* headerName, const char* outputName,
                   long linesPerPart);
    int AddParts(std::vector<PartInfo>& found, const std::string& shown, uint64_t total,
                 Record** reuse, std::vector<std::string>* touched);
    int JoinPartial(const std::string& id, const std::string& shown, uint64_t total);
    int Verify(Record& record, const std::string& shown, uint64_t total);
    int VerifyBinHex(Record& record, const std::string& shown, uint64_t total);
    int Decode(Record& record, const std::string& name);
    int DecodePart(Record& record, const PartInfo& part, Input& input, int index, ByteSink& out,
                   PartDecoder& decoder);
};

int CodecLibrary::Impl::Load(const std::string& path) {
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        Message(kLevelWarning, "Cannot read " + Quote(path) + ": " + std::strerror(errno));
        return kIoError;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        const char* why = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
        Message(kLevelWarning, "Cannot read " + Quote(path) + ": " + why);
        return kIoError;
    }
    auto index = static_cast<uint32_t>(files.size());
    FdInput input(fd.get());
    std::string shown = BaseName(path);
    std::vector<PartInfo> found;
    LineReader reader(readBuffer);
    reader.Reset(input, 0, UINT64_MAX);
    auto total = static_cast<uint64_t>(st.st_size);
    if (!Tick(kActionScanning, shown, 1, 1, 0, total)) return kCanceled;
    reader.SetFillHook(
        [&](uint64_t offset) { return Tick(kActionScanning, shown, 1, 1, offset, total); });
    Scanner scanner(
        index, [&](PartInfo&& p) { found.push_back(std::move(p)); },
        [&](Encoding encoding) {
            if (!found.empty()) return !found.back().hasEnd && found.back().encoding == encoding;
            return assembly.LastOpenIs(encoding);
        });
    if (!ScanFile(reader, scanner)) {
        if (reader.stopped()) return kCanceled;
        Message(kLevelWarning, "Cannot read " + Quote(path) + ": " + std::strerror(reader.error()));
        return kIoError;
    }
    files.AddFile(path);
    std::vector<std::string> touched;
    int rc = AddParts(found, shown, total, nullptr, &touched);
    if (rc != kOk) return rc;
    if (found.empty()) Message(kLevelNote, "Loaded " + Quote(shown) + ": no encoded data found");
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    for (const std::string& id : touched) {
        rc = JoinPartial(id, shown, total);
        if (rc != kOk) return rc;
    }
    return kOk;
}

// Hands the parts of one scan to the assembly (pieces of message/partial messages to their
// group), says what was found, and checks the checksums of what changed.
int CodecLibrary::Impl::AddParts(std::vector<PartInfo>& found, const std::string& shown,
                                 uint64_t total, Record** reuse,
                                 std::vector<std::string>* touched) {
    auto note = [&](const std::string& text, int level) { Message(level, text); };
    std::vector<Record*> toVerify;
    std::string summary;
    size_t listed = 0;
    for (PartInfo& p : found) {
        std::string name = SafeBaseName(p.name.empty() ? p.subjectName : p.name);
        if (listed < 20) {
            summary += (listed ? ", " : "") + (name.empty() ? std::string("(no name)") : name);
            if (!p.partialId.empty()) summary += " (message/partial)";
            if (p.number > 0) summary += " part " + std::to_string(p.number);
            summary += std::string(" [") + EncodingName(p.encoding) + "]";
        }
        ++listed;
        if (p.damagedLines)
            Message(kLevelWarning, Quote(shown) + ": " + std::to_string(p.damagedLines) +
                                       " line(s) inside the data of " +
                                       (name.empty() ? std::string("a part") : Quote(name)) +
                                       " are not valid data and will be skipped");
        if (!p.partialId.empty()) {
            if (!touched || p.number <= 0) continue;  // no message/partial inside another
            Partial& group = partials[p.partialId];
            if (group.pieces.count(p.number))
                Message(kLevelNote, "Piece " + std::to_string(p.number) + " of message/partial " +
                                        Quote(p.partialId) +
                                        " was found again; the first copy is kept.");
            else
                group.pieces[p.number] = Segment{p.fileIndex, p.begin, p.end};
            group.total = std::max(group.total, p.total);
            if (group.subjectName.empty()) group.subjectName = p.subjectName;
            touched->push_back(p.partialId);
            continue;
        }
        bool check = p.encoding == Encoding::kYenc || p.encoding == Encoding::kBinHex;
        Record* joined = assembly.Add(std::move(p), note, reuse ? *reuse : nullptr);
        if (joined && reuse && joined == *reuse) *reuse = nullptr;
        if (joined && check) toVerify.push_back(joined);
    }
    if (!found.empty()) {
        if (listed > 20) summary += ", and " + std::to_string(listed - 20) + " more";
        Message(kLevelNote, "Loaded " + Quote(shown) + ": " + std::to_string(found.size()) +
                                " part(s) found: " + summary);
    }
    assembly.Refresh(decodeWithErrors);
    std::sort(toVerify.begin(), toVerify.end());
    toVerify.erase(std::unique(toVerify.begin(), toVerify.end()), toVerify.end());
    for (Record* r : toVerify) {
        if (Verify(*r, shown, total) == kCanceled) return kCanceled;
        assembly.RefreshOne(*r, decodeWithErrors);
    }
    return kOk;
}

// A message/partial group: while pieces are missing, a placeholder record says which; once all
// are there, they are read one after another as the message they carry, whose attachments
// become records (the first of them taking the placeholder's place).
int CodecLibrary::Impl::JoinPartial(const std::string& id, const std::string& shown,
                                    uint64_t total) {
    Partial& group = partials[id];
    if (group.done) return kOk;
    bool complete = group.total > 0 && group.pieces.size() == static_cast<size_t>(group.total) &&
                    group.pieces.rbegin()->first == group.total;
    if (!complete) {
        std::vector<int> numbers;
        for (const auto& piece : group.pieces)
            numbers.push_back(piece.first);
        group.placeholder = assembly.Placeholder(id, numbers, group.total, group.subjectName);
        assembly.Refresh(decodeWithErrors);
        return kOk;
    }
    std::vector<Segment> segments;
    for (const auto& piece : group.pieces)
        segments.push_back(piece.second);
    uint32_t index = files.AddJoined(std::move(segments), "message/partial " + id);
    std::unique_ptr<Input> input = files.Open(index);
    if (!input) {
        Message(kLevelWarning, "Cannot read the pieces of message/partial " + Quote(id) + ": " +
                                   std::strerror(errno));
        return kOk;
    }
    LineReader reader(readBuffer);
    reader.Reset(*input, 0, UINT64_MAX);
    reader.SetFillHook([&](uint64_t) { return Tick(kActionScanning, shown, 1, 1, total, total); });
    std::vector<PartInfo> found;
    Scanner scanner(
        index, [&](PartInfo&& p) { found.push_back(std::move(p)); },
        [](Encoding) { return false; });
    if (!ScanFile(reader, scanner)) {
        if (reader.stopped()) return kCanceled;
        Message(kLevelWarning, "Cannot read the pieces of message/partial " + Quote(id) + ": " +
                                   std::strerror(reader.error()));
        return kOk;
    }
    group.done = true;
    Message(kLevelNote, "Message/partial " + Quote(id) + " is complete (" +
                            std::to_string(group.total) + " pieces).");
    Record* placeholder = group.placeholder;
    int rc = AddParts(found, "message/partial " + id, total, &placeholder, nullptr);
    if (placeholder) {
        // Nothing took its place (the message held no file, or one already listed): it stays,
        // complete now, as the message without data that it is.
        std::vector<int> numbers;
        for (const auto& piece : group.pieces)
            numbers.push_back(piece.first);
        assembly.Placeholder(id, numbers, group.total, group.subjectName);
        assembly.Refresh(decodeWithErrors);
    }
    return rc;
}

// Checks what the format says of the data (yEnc CRC-32s and sizes) by decoding every part not
// checked yet into a CRC counter, and the whole file's CRC once all parts are there.
int CodecLibrary::Impl::Verify(Record& r, const std::string& shown, uint64_t total) {
    if (r.pub.encoding == Encoding::kBinHex) return VerifyBinHex(r, shown, total);
    std::string name = r.name.empty() ? r.subjectName : r.name;
    PartDecoder decoder(readBuffer);
    OpenInputs inputs(files);
    for (PartInfo& p : r.parts) {
        if (p.verified) continue;
        Input* in = inputs.Get(p.fileIndex);
        if (!in) continue;  // reported when decoding
        CrcSink sink(writeBuffer);
        decoder.Begin();
        int err = decoder.Decode(*in, p, sink, [&](uint64_t offset) {
            return Tick(kActionScanning, shown, 1, 1, offset, total);
        });
        if (err == -1) return kCanceled;
        if (err != 0) continue;
        decoder.End(sink);
        sink.Flush();
        p.verified = true;
        p.crc = sink.crc();
        p.decodedSize = sink.size();
        std::string where = Quote(name) + " part " + std::to_string(p.number);
        auto hex = [](uint32_t v) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%08x", v);
            return std::string(buf);
        };
        bool single = p.number <= 1 && p.total <= 1;
        uint32_t expected = p.hasPartCrc ? p.partCrc : p.fileCrc;
        if ((p.hasPartCrc || (single && p.hasFileCrc)) && expected != p.crc) {
            p.checksumBad = true;
            Message(kLevelWarning, where + ": the CRC-32 of the data is " + hex(p.crc) +
                                       ", the encoder wrote " + hex(expected));
        }
        int64_t size = static_cast<int64_t>(p.decodedSize);
        int64_t range = p.rangeBegin > 0 ? p.rangeEnd - p.rangeBegin + 1 : -1;
        if ((p.endSize >= 0 && p.endSize != size) || (range >= 0 && range != size) ||
            (single && p.fileSize >= 0 && p.fileSize != size)) {
            p.checksumBad = true;
            Message(kLevelWarning, where + ": " + std::to_string(size) +
                                       " bytes of data, not the size the encoder wrote");
        }
    }
    bool bad = false;
    for (const PartInfo& p : r.parts)
        bad = bad || p.checksumBad;
    // The whole file's CRC, from the parts' CRCs, once every part is there and checked.
    const PartInfo* last = r.parts.empty() ? nullptr : &r.parts.back();
    bool complete =
        last && r.parts.size() > 1 && last->hasFileCrc &&
        static_cast<size_t>(last->number) == r.parts.size() &&
        std::all_of(r.parts.begin(), r.parts.end(), [](const PartInfo& p) { return p.verified; });
    if (!bad && complete) {
        uLong crc = r.parts[0].crc;
        for (size_t i = 1; i < r.parts.size(); ++i)
            crc = crc32_combine(crc, r.parts[i].crc, static_cast<z_off_t>(r.parts[i].decodedSize));
        if (static_cast<uint32_t>(crc) != last->fileCrc) {
            bad = true;
            Message(kLevelWarning, Quote(name) + ": the CRC-32 of the whole file does not match");
        }
    }
    r.checksumBad = bad;
    return kOk;
}

// BinHex carries its CRCs in the stream of the whole file, so a record is checked once all its
// parts are there, from the first part to the last.
int CodecLibrary::Impl::VerifyBinHex(Record& r, const std::string& shown, uint64_t total) {
    bool complete =
        !r.parts.empty() && r.missing.size() == 1 && r.parts.front().hasBegin &&
        std::any_of(r.parts.begin(), r.parts.end(), [](const PartInfo& p) { return p.hasEnd; });
    bool done =
        std::all_of(r.parts.begin(), r.parts.end(), [](const PartInfo& p) { return p.verified; });
    if (!complete || done) return kOk;
    std::string name = r.name.empty() ? r.subjectName : r.name;
    PartDecoder decoder(readBuffer);
    decoder.Begin();
    OpenInputs inputs(files);
    for (PartInfo& p : r.parts) {
        Input* in = inputs.Get(p.fileIndex);
        if (!in) return kOk;  // reported when decoding
        NullSink discard(writeBuffer);
        int err = decoder.Decode(*in, p, discard, [&](uint64_t offset) {
            return Tick(kActionScanning, shown, 1, 1, offset, total);
        });
        if (err == -1) return kCanceled;
        if (err != 0) return kOk;
    }
    for (PartInfo& p : r.parts)
        p.verified = true;
    const BinHexDecoder& bh = decoder.binhex();
    std::vector<std::string> bad;
    if (!bh.headerDone() || !bh.headerCrcOk()) bad.emplace_back("header");
    if (bh.headerDone() && (!bh.complete() || !bh.dataCrcOk())) bad.emplace_back("data fork");
    if (bh.complete() && !bh.resourceCrcOk()) bad.emplace_back("resource fork");
    for (const std::string& fork : bad)
        Message(kLevelWarning, Quote(name) + ": the CRC of the BinHex " + fork +
                                   (bh.complete() || fork == "header" ? " does not match"
                                                                      : " cannot be checked: "
                                                                        "the data ends early"));
    if (bh.headerDone() && bh.header().resourceLength > 0)
        Message(kLevelNote, Quote(name) + " has a resource fork of " +
                                std::to_string(bh.header().resourceLength) +
                                " bytes; only the data fork is written.");
    r.checksumBad = !bad.empty();
    return kOk;
}

int CodecLibrary::Impl::DecodePart(Record& record, const PartInfo& part, Input& input, int index,
                                   ByteSink& out, PartDecoder& decoder) {
    std::string name = record.pub.name ? std::string(record.pub.name) : std::string();
    int parts = static_cast<int>(record.parts.size());
    uint64_t span = part.end - part.begin;
    auto hook = [&](uint64_t offset) {
        return Tick(kActionDecoding, name, index + 1, parts, offset - part.begin, span);
    };
    if (!Tick(kActionDecoding, name, index + 1, parts, 0, span)) return kCanceled;
    int err = decoder.Decode(input, part, out, hook);
    if (err == -1) return kCanceled;
    if (err != 0) {
        Message(kLevelWarning, "Cannot read part " + std::to_string(part.number) + " of " +
                                   Quote(name) + " from " + Quote(files.Name(part.fileIndex)) +
                                   ": " + std::strerror(err));
        return kIoError;
    }
    return kOk;
}

int CodecLibrary::Impl::Decode(Record& record, const std::string& name) {
    const FileRecord& pub = record.pub;
    if (!(pub.state & kStateReady) || name.empty()) {
        if (name.empty()) {
            Message(kLevelWarning, "A file without a name cannot be decoded; rename it first.");
            return kNoData;
        }
        Message(kLevelWarning, Quote(name) + " is not ready to decode.");
        if (pub.state & kStateNoData) return kNoData;
        if (pub.state & (kStateNoEnd | kStateMissingParts)) return kNoEnd;
        return kNoData;
    }
    std::string dir = outputDir.empty() ? std::string(".") : outputDir;
    Fd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string target = (dir.back() == '/' ? dir : dir + "/") + name;
    if (dirFd.get() < 0) {
        Message(kLevelWarning,
                "Cannot open the output directory " + Quote(dir) + ": " + std::strerror(errno));
        record.failed = true;
        return kIoError;
    }
    struct stat st;
    if (!overwrite && fstatat(dirFd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        Message(kLevelWarning, Quote(target) + " already exists and was not overwritten.");
        return kTargetExists;
    }
    OutputFile out(writeBuffer);
    if (int err = out.Create(dirFd.get(), name); err != 0) {
        Message(kLevelWarning, "Cannot create a file in " + Quote(dir) + ": " + std::strerror(err));
        record.failed = true;
        return kIoError;
    }
    // Never more than the encoded data: a size a header claims is not to be trusted with disk
    // space.
    uint64_t encoded = 0;
    for (const PartInfo& p : record.parts)
        encoded += p.end - p.begin;
    out.Preallocate(std::min(record.Size(), encoded));
    PartDecoder decoder(readBuffer);
    decoder.Begin(false);
    OpenInputs inputs(files);
    for (size_t i = 0; i < record.parts.size(); ++i) {
        const PartInfo& part = record.parts[i];
        Input* in = inputs.Get(part.fileIndex);
        if (!in) {
            Message(kLevelWarning, "Cannot read part " + std::to_string(part.number) + " of " +
                                       Quote(name) + " from " + Quote(files.Name(part.fileIndex)) +
                                       ": " + std::strerror(errno));
            record.failed = true;
            return kIoError;
        }
        int rc = DecodePart(record, part, *in, static_cast<int>(i), out, decoder);
        if (rc != kOk) {
            if (rc != kCanceled) record.failed = true;
            return rc;
        }
    }
    decoder.End(out);
    if (record.missing.size() > 1)
        Message(kLevelWarning, Quote(name) + " is decoded with parts missing; it is incomplete.");

    int mode = record.Mode();
    unsigned bits = (mode >= 0 ? static_cast<unsigned>(mode) : 0666u) & 0777u & ~umask;
    uint64_t written = out.written();
    int err = out.Commit(overwrite, bits);
    if (err == EEXIST && !overwrite) {
        Message(kLevelWarning, Quote(target) + " already exists and was not overwritten.");
        return kTargetExists;
    }
    if (err != 0) {
        Message(kLevelWarning, "Cannot write " + Quote(target) + ": " + std::strerror(err));
        record.failed = true;
        return kIoError;
    }
    record.failed = false;
    Message(kLevelNote, "Decoded " + Quote(target) + " (" + std::to_string(written) + " bytes)");
    return kOk;
}

int CodecLibrary::Impl::EncodeFile(const char* inputPath, int type, const char* headerName,
                                   const char* outputName, long linesPerPart) {
    if (type != kEncodeUu && type != kEncodeBase64 && type != kEncodeXx) {
        Message(kLevelWarning, "Unknown encoding " + std::to_string(type) + ".");
        return kInternalError;
    }
    std::string input = inputPath ? inputPath : "";
    std::string output = outputName ? SafeBaseName(outputName) : std::string();
    if (output.empty() || output != (outputName ? outputName : "")) {
        Message(kLevelWarning, "Cannot encode into " + Quote(outputName ? outputName : "") +
                                   ": give a file name without a directory.");
        return kIoError;
    }
    Fd in(open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat st;
    if (in.get() < 0 || fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        const char* why = in.get() < 0 ? std::strerror(errno) : "it is not a regular file";
        Message(kLevelWarning, "Cannot read " + Quote(input) + ": " + why);
        return kIoError;
    }
    std::string dir = outputDir.empty() ? std::string(".") : outputDir;
    Fd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0) {
        Message(kLevelWarning,
                "Cannot open the output directory " + Quote(dir) + ": " + std::strerror(errno));
        return kIoError;
    }
    EncodeJob job;
    job.inputFd = in.get();
    job.inputSize = static_cast<uint64_t>(st.st_size);
    job.type = type;
    job.headerName = SafeBaseName(headerName ? headerName : BaseName(input));
    if (job.headerName.empty()) job.headerName = output;
    job.outputName = output;
    job.linesPerPart = linesPerPart;
    job.extension = encodedExt;
    job.outputDirFd = dirFd.get();
    job.overwrite = overwrite;
    job.umask = umask;
    char id[96];
    std::snprintf(
        id, sizeof id, "%d.%lld.%llx@tamsel", static_cast<int>(getpid()),
        static_cast<long long>(std::chrono::system_clock::now().time_since_epoch().count()),
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    job.id = id;
    EncodeCallbacks callbacks;
    callbacks.progress = [&](int part, int parts, int percent) {
        return Tick(kActionEncoding, output, part, parts, static_cast<uint64_t>(percent), 100);
    };
    callbacks.message = [&](int level, const std::string& text) { Message(level, text); };
    int rc = Encode(job, writeBuffer, readBuffer, callbacks);
    if (rc == kOk)
        Message(kLevelNote, "Encoded " + Quote(input) + " as " +
                                EncodingName(type == kEncodeUu   ? Encoding::kUu
                                             : type == kEncodeXx ? Encoding::kXx
                                                                 : Encoding::kBase64) +
                                " into " + Quote(dir) + ".");
    return rc;
}

CodecLibrary::CodecLibrary() : m_impl(std::make_unique<Impl>()) {}
CodecLibrary::~CodecLibrary() = default;

int CodecLibrary::Initialize() {
    try {
        auto msg = m_impl->msg;
        auto msgOpaque = m_impl->msgOpaque;
        m_impl = std::make_unique<Impl>();
        m_impl->msg = msg;
        m_impl->msgOpaque = msgOpaque;
        return kOk;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

void CodecLibrary::SetMsgCallback(void* opaque, MsgCallback callback) {
    m_impl->msg = callback;
    m_impl->msgOpaque = opaque;
}

void CodecLibrary::SetBusyCallback(void* opaque, BusyCallback callback, long intervalMs) {
    m_impl->busy = callback;
    m_impl->busyOpaque = opaque;
    m_impl->interval = std::chrono::milliseconds(intervalMs < 0 ? 0 : intervalMs);
    m_impl->busyCalled = false;
}

void CodecLibrary::SetOption(int option, int value, const char* text) {
    try {
        switch (option) {
            case kOptDecodeWithErrors:
                m_impl->decodeWithErrors = value != 0;
                m_impl->assembly.RefreshAll(m_impl->decodeWithErrors);
                break;
            case kOptOverwrite:
                m_impl->overwrite = value != 0;
                break;
            case kOptOutputDir:
                m_impl->outputDir = text ? text : "";
                break;
            case kOptEncodedExt:
                m_impl->encodedExt = text && *text ? text : "uue";
                break;
            default:
                break;
        }
    } catch (const std::bad_alloc&) {
        m_impl->Message(kLevelError, "Out of memory while setting an option.");
    }
}

int CodecLibrary::LoadFile(const char* path, const char* fileId, int flags) {
    (void)fileId;
    (void)flags;
    if (!path || !*path) {
        m_impl->Message(kLevelWarning, "Cannot read a file without a name.");
        return kIoError;
    }
    try {
        return m_impl->Load(path);
    } catch (const std::bad_alloc&) {
        m_impl->Message(kLevelWarning, "Out of memory while reading " + Quote(path) + ".");
        return kNoMemory;
    } catch (...) {
        return kInternalError;
    }
}

const FileRecord* CodecLibrary::GetFileListItem(int index) const {
    if (index < 0) return nullptr;
    const Record* r = m_impl->assembly.At(static_cast<size_t>(index));
    return r ? &r->pub : nullptr;
}

int CodecLibrary::DecodeFile(const FileRecord* record, const char* targetName) {
    try {
        Record* r = m_impl->assembly.Find(record);
        if (!r) {
            m_impl->Message(kLevelWarning, "Decode was asked for a file this scan does not hold.");
            return kInternalError;
        }
        std::string name = targetName ? SafeBaseName(targetName)
                                      : (r->pub.name ? std::string(r->pub.name) : std::string());
        int rc = m_impl->Decode(*r, name);
        m_impl->assembly.RefreshOne(*r, m_impl->decodeWithErrors);
        return rc;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    } catch (...) {
        return kInternalError;
    }
}

int CodecLibrary::RenameFile(const FileRecord* record, const char* newName) {
    try {
        Record* r = m_impl->assembly.Find(record);
        std::string name = newName ? SafeBaseName(newName) : std::string();
        if (!r || name.empty()) return kInternalError;
        r->name = name;
        m_impl->assembly.RefreshOne(*r, m_impl->decodeWithErrors);
        return kOk;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int CodecLibrary::EncodeToFile(void* stream, const char* inputPath, int type,
                               const char* headerName, const char* outputName, long linesPerPart) {
    (void)stream;  // the input is always opened by name
    try {
        return m_impl->EncodeFile(inputPath, type, headerName, outputName, linesPerPart);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    } catch (...) {
        return kInternalError;
    }
}

void CodecLibrary::CleanUp() {
    m_impl->assembly.Clear();
    m_impl->files.Clear();
    m_impl->partials.clear();
}

}  // namespace codec
