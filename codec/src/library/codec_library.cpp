// The public face of the codec library: options, callbacks, and the decode, rename and encode
// operations over the assembly and the atomic output file. Loading is in load.cpp, the checks
// after a load in verify.cpp.
#include "codec/codec_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "io/output_file.h"
#include "library/encode.h"
#include "library/library_impl.h"
#include "library/safe_name.h"

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
                                   ": " + InputError(err));
        return kIoError;
    }
    return kOk;
}

std::unique_ptr<CodecLibrary::Impl::Kept> CodecLibrary::Impl::TakeKept(const Record& record,
                                                                       int dirFd) {
    if (record.parts.empty()) return nullptr;
    auto found = kept.find(record.parts[0].kept);
    if (found == kept.end()) return nullptr;
    std::unique_ptr<Kept> k = std::move(found->second);
    kept.erase(found);
    // The parts of a posting kept as one: every one of them, in order, and nothing else.
    uint64_t bytes = 0;
    for (size_t i = 0; i < record.parts.size(); ++i) {
        const PartInfo& p = record.parts[i];
        if (p.kept != record.parts[0].kept || p.keptSeq != static_cast<int>(i)) return nullptr;
        // Decoded again instead (the kept file goes) when an input has changed since: what
        // the load kept would not be what the input holds now.
        if ((i == 0 || p.fileIndex != record.parts[i - 1].fileIndex) && files.Check(p.fileIndex))
            return nullptr;
        bytes += p.bytes;
    }
    if (record.parts.size() > 1 && bytes != k->file->written()) return nullptr;
    struct stat st;
    if (k->file->Failed() || fstat(dirFd, &st) != 0 || st.st_dev != k->dev || st.st_ino != k->ino)
        return nullptr;
    return k;
}

// Creates the temporary for name in dirFd and decodes every part of the record into it.
int CodecLibrary::Impl::DecodeInto(Record& record, const std::string& name, int dirFd,
                                   unsigned mode, OutputFile& out, std::vector<char>& readBuf) {
    if (int err = out.Create(dirFd, name, mode); err != 0) {
        Message(kLevelWarning,
                "Cannot create a file in " + Quote(OutputDir()) + ": " + std::strerror(err));
        return kIoError;
    }
    // Never more than the encoded data: a size a header claims is not to be trusted with disk
    // space.
    uint64_t encoded = 0;
    for (const PartInfo& p : record.parts)
        encoded += p.end - p.begin;
    out.Preallocate(std::min(record.Size(), encoded));
    PartDecoder decoder(readBuf);
    decoder.Begin(false);
    OpenInputs inputs(files);
    for (size_t i = 0; i < record.parts.size(); ++i) {
        const PartInfo& part = record.parts[i];
        Input* in = inputs.Get(part.fileIndex);
        if (!in) {
            Message(kLevelWarning, "Cannot read part " + std::to_string(part.number) + " of " +
                                       Quote(name) + " from " + Quote(files.Name(part.fileIndex)) +
                                       ": " + InputError(errno));
            return kIoError;
        }
        int rc = DecodePart(record, part, *in, static_cast<int>(i), out, decoder);
        if (rc != kOk) return rc;
    }
    decoder.End(out);
    if (record.missing.size() > 1)
        Message(kLevelWarning, Quote(name) + " is decoded with parts missing; it is incomplete.");
    return kOk;
}

int CodecLibrary::Impl::CheckDecodable(const Record& record, const std::string& name) {
    const FileRecord& pub = record.pub;
    if (name.empty()) {
        Message(kLevelWarning, "A file without a name cannot be decoded; rename it first.");
        return kNoData;
    }
    if (pub.state & kStateReady) return kOk;
    Message(kLevelWarning, Quote(name) + " is not ready to decode.");
    if (pub.state & kStateNoData) return kNoData;
    if (pub.state & (kStateNoEnd | kStateMissingParts)) return kNoEnd;
    return kNoData;
}

int CodecLibrary::Impl::OpenOutputDir(Fd& dirFd, bool quiet) {
    dirFd.Reset(open(OutputDir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) return kOk;
    if (quiet) return kIoError;
    Message(kLevelWarning,
            "Cannot open the output directory " + Quote(OutputDir()) + ": " + std::strerror(errno));
    return kIoError;
}

int CodecLibrary::Impl::Decode(Record& record, const std::string& name) {
    if (int rc = CheckDecodable(record, name); rc != kOk) return rc;
    Fd dirFd;
    if (OpenOutputDir(dirFd) != kOk) {
        record.failed = true;
        return kIoError;
    }
    std::unique_ptr<Kept> loaded = TakeKept(record, dirFd.get());
    return DecodeTo(record, name, dirFd.get(), loaded.get(), readBuffer, writeBuffer);
}

int CodecLibrary::Impl::DecodeTo(Record& record, const std::string& name, int dirFd, Kept* loaded,
                                 std::vector<char>& readBuf, std::vector<uint8_t>& writeBuf) {
    std::string dir = OutputDir();
    std::string target = (dir.back() == '/' ? dir : dir + "/") + name;
    struct stat st;
    if (!overwrite && fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        Message(kLevelWarning, Quote(target) + " already exists and was not overwritten.");
        return kTargetExists;
    }
    int mode = record.Mode();
    unsigned bits = (mode >= 0 ? static_cast<unsigned>(mode) : 0666u) & 0777u & ~umask;
    // Decoded already by the load, or decoded now.
    OutputFile fresh(writeBuf, unnamedOutput);
    OutputFile& out = loaded ? *loaded->file : fresh;
    if (loaded) {
        out.SetFinalName(name);
    } else {
        int rc = DecodeInto(record, name, dirFd, bits, out, readBuf);
        if (rc != kOk) {
            if (rc != kCanceled) record.failed = true;
            return rc;
        }
    }
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
    EncodeType known;
    if (!ToEncodeType(type, known)) {
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
    Fd in;
    struct stat st;
    if (int err = OpenInputFile(input.c_str(), in, st); err != 0 || !S_ISREG(st.st_mode)) {
        const char* why = err != 0 ? std::strerror(err) : "it is not a regular file";
        Message(kLevelWarning, "Cannot read " + Quote(input) + ": " + why);
        return kIoError;
    }
    std::string dir = OutputDir();
    Fd dirFd;
    if (OpenOutputDir(dirFd) != kOk) return kIoError;
    EncodeJob job;
    job.inputFd = in.get();
    job.inputSize = static_cast<uint64_t>(st.st_size);
    job.type = known;
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
        Message(kLevelNote, "Encoded " + Quote(input) + " as " + EncodingName(EncodingOf(known)) +
                                " into " + Quote(dir) + ".");
    return rc;
}

CodecLibrary::CodecLibrary() : m_impl(std::make_unique<Impl>()) {}
CodecLibrary::~CodecLibrary() = default;

int CodecLibrary::Initialize() {
    return Guarded([&]() -> int {
        auto msg = m_impl->msg;
        auto msgOpaque = m_impl->msgOpaque;
        m_impl = std::make_unique<Impl>();
        m_impl->msg = msg;
        m_impl->msgOpaque = msgOpaque;
        return kOk;
    });
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
    auto set = [&]() -> int {
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
            case kOptDecodeDuringLoad:
                m_impl->decodeDuringLoad = value != 0;
                if (!m_impl->decodeDuringLoad) {
                    m_impl->kept.clear();
                    m_impl->keptChain = KeptChain();
                }
                break;
            default:
                break;
        }
        return kOk;
    };
    Guarded(set, [&] { m_impl->Message(kLevelError, "Out of memory while setting an option."); });
}

int CodecLibrary::LoadFile(const char* path, const char* fileId, int flags) {
    (void)fileId;
    (void)flags;
    return m_impl->LoadOne(path, nullptr, 0, nullptr);
}

int CodecLibrary::LoadFiles(const char* const* paths, int count, int* results) {
    std::fill(results, results + std::max(count, 0), kInternalError);  // until loaded
    return Guarded([&]() -> int { return m_impl->LoadMany(paths, count, results); });
}

int CodecLibrary::Impl::LoadOne(const char* path, const char* data, size_t size,
                                const struct stat* st) {
    if (!path || !*path) {
        Message(kLevelWarning, "Cannot read a file without a name.");
        return kIoError;
    }
    return Guarded(
        [&]() -> int {
            if (!data) return Load(path);
            MemoryInput input(data, size);
            return Scan(path, input, files.AddFile(path, *st));
        },
        [&] { Message(kLevelWarning, "Out of memory while reading " + Quote(path) + "."); });
}

int CodecLibrary::LoadStream(int fd, const char* name, const char* spoolDir) {
    std::string shown = name && *name ? name : "stdin";
    std::string dir = spoolDir && *spoolDir ? spoolDir : "";
    if (dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        dir = tmp && *tmp ? tmp : "/tmp";
    }
    return Guarded([&]() -> int { return m_impl->LoadStream(fd, shown, dir); },
                   [&] {
                       m_impl->Message(kLevelWarning,
                                       "Out of memory while reading " + Quote(shown) + ".");
                   });
}

const FileRecord* CodecLibrary::GetFileListItem(int index) const {
    if (index < 0) return nullptr;
    const Record* r = m_impl->assembly.At(static_cast<size_t>(index));
    return r ? &r->pub : nullptr;
}

int CodecLibrary::DecodeFile(const FileRecord* record, const char* targetName) {
    return Guarded([&]() -> int {
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
    });
}

int CodecLibrary::DecodeFiles(const FileRecord* const* records, int count, int* results) {
    std::fill(results, results + std::max(count, 0), kInternalError);  // until decoded
    return Guarded([&]() -> int {
        std::vector<Record*> batch;
        std::vector<int> positions;
        for (int i = 0; i < count; ++i) {
            if (Record* r = m_impl->assembly.Find(records[i])) {
                batch.push_back(r);
                positions.push_back(i);
            } else {
                m_impl->Message(kLevelWarning,
                                "Decode was asked for a file this scan does not hold.");
            }
        }
        std::vector<int> done(batch.size());
        int rc = m_impl->DecodeMany(batch, done.data());
        for (size_t k = 0; k < batch.size(); ++k)
            results[positions[k]] = done[k];
        return rc;
    });
}

int CodecLibrary::RenameFile(const FileRecord* record, const char* newName) {
    return Guarded([&]() -> int {
        Record* r = m_impl->assembly.Find(record);
        std::string name = newName ? SafeBaseName(newName) : std::string();
        if (!r || name.empty()) return kInternalError;
        r->name = name;
        m_impl->assembly.RefreshOne(*r, m_impl->decodeWithErrors);
        return kOk;
    });
}

int CodecLibrary::EncodeToFile(void* stream, const char* inputPath, int type,
                               const char* headerName, const char* outputName, long linesPerPart) {
    (void)stream;  // the input is always opened by name
    return Guarded([&]() -> int {
        return m_impl->EncodeFile(inputPath, type, headerName, outputName, linesPerPart);
    });
}

void CodecLibrary::CleanUp() {
    m_impl->assembly.Clear();
    m_impl->files.Clear();
    m_impl->partials.clear();
    m_impl->cut.reset();
    m_impl->kept.clear();
    m_impl->keptChain = KeptChain();
}

}  // namespace codec
