// Loading an input: the scan, handing parts to the assembly, and message/partial messages put
// together once all their pieces are loaded.
#include "library/library_impl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/text.h"
#include "formats/base64/base64_text.h"
#include "io/line_reader.h"
#include "library/safe_name.h"
#include "message/scanner.h"
#include "simd/simd.h"

namespace codec {

namespace {

// The bytes of [from, from + size) of the input, fewer at its end; empty on a read error.
std::string ReadRange(Input& input, uint64_t from, size_t size) {
    std::string bytes(size, '\0');
    size_t have = 0;
    while (have < size) {
        ssize_t n = input.ReadAt(bytes.data() + have, size - have, from + have);
        if (n < 0) return {};
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

}  // namespace

Continues CodecLibrary::Impl::ContinuesAfter(const std::vector<PartInfo>& found) const {
    return [this, &found](Encoding encoding) {
        if (!found.empty()) return !found.back().hasEnd && found.back().encoding == encoding;
        return assembly.LastOpenIs(encoding);
    };
}

int CodecLibrary::Impl::Load(const std::string& path) {
    Fd fd;
    struct stat st;
    if (int err = OpenInputFile(path.c_str(), fd, st); err != 0 || !S_ISREG(st.st_mode)) {
        const char* why = err != 0              ? std::strerror(err)
                          : S_ISDIR(st.st_mode) ? "it is a directory"
                                                : "it is not a regular file";
        Message(kLevelWarning, "Cannot read " + Quote(path) + ": " + why);
        cut.reset();  // a piece missing: nothing goes on from the line cut
        return kIoError;
    }
    FdInput input(fd.get());
    return Scan(path, input, files.AddFile(path, st));
}

int CodecLibrary::Impl::LoadStream(int fd, const std::string& name, const std::string& dir) {
    auto spool = std::make_shared<Spool>(fd, dir, [this, &name] {
        // A read that waits for the stream was interrupted: perhaps to cancel.
        lastBusy = Clock::time_point{};
        return Tick(kActionScanning, name, 1, 1, 0, 0);
    });
    SpoolInput input(spool);
    int rc = Scan(name, input, files.AddStream(spool, name));
    spool->Finish();
    if (spool->keepError() != 0)
        Message(
            kLevelWarning,
            Quote(name) + " is kept past its first " + std::to_string(Spool::kStreamMemory >> 20) +
                " MiB in a temporary file in " + Quote(spool->dir()) +
                ", and that file cannot be made or written: " + std::strerror(spool->keepError()));
    return rc;
}

int CodecLibrary::Impl::Scan(const std::string& path, Input& input, uint32_t fileIndex) {
    uint64_t total = files.SizeOf(fileIndex);
    std::string shown = BaseName(path);
    input.transform = DetectTransform(input);
    files.SetTransform(fileIndex, input.transform);
    // A piece of a file cut by size is read after the line the input before it ended inside.
    uint32_t index = fileIndex;
    std::unique_ptr<Input> joined;
    uint64_t before = 0;  // the bytes of that line, read first
    if (std::optional<CutLine> c = std::exchange(cut, std::nullopt)) {
        joined = GoOnFromCut(*c, input, fileIndex, total, shown, index);
        if (joined) before = c->file.end - c->file.begin;
    }
    Input& scanned = joined ? *joined : input;
    uint64_t size = total ? total + before : 0;
    std::vector<PartInfo> found;
    LineReader reader(readBuffer);
    // Up to the size it has now (no read to find the end), unless it says it has none: some
    // files (under /proc) are only known by reading them.
    reader.Reset(scanned, 0, size ? size : UINT64_MAX);
    if (!Tick(kActionScanning, shown, 1, 1, 0, size)) return kCanceled;
    reader.SetFillHook(
        [&](uint64_t offset) { return Tick(kActionScanning, shown, 1, 1, offset, size); });
    Scanner scanner(
        index, [&](PartInfo&& p) { found.push_back(std::move(p)); }, ContinuesAfter(found),
        MakeKeeper(total));
    if (!ScanFile(reader, scanner)) {
        if (reader.stopped() || reader.error() == ECANCELED) return kCanceled;
        Message(kLevelWarning, "Cannot read " + Quote(path) + ": " + std::strerror(reader.error()));
        return kIoError;
    }
    if (total == 0) {
        // A stream is known only once read to its end.
        total = files.SizeOf(fileIndex);
        size = total;
    }
    std::optional<CutLine> next;
    if (!found.empty() && size > 0) next = FindCutLine(scanned, size, found.back());
    if (next && next->begin >= before) {
        next->file = Segment{fileIndex, next->begin - before, total};
        next->shown = shown;
    } else {
        next.reset();
    }
    for (PartInfo& p : found)
        if (p.bare && p.name.empty() && p.subjectName.empty()) NameBare(p, shown);
    std::vector<std::string> touched;
    size_t listedBefore = partsFound;
    int rc = AddParts(found, shown, total, nullptr, &touched);
    if (rc != kOk) return rc;
    if (partsFound == listedBefore)
        Message(kLevelNote, "Loaded " + Quote(shown) + ": no encoded data found");
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    for (const std::string& id : touched) {
        rc = JoinPartial(id, shown, total);
        if (rc != kOk) return rc;
    }
    cut = std::move(next);
    return kOk;
}

std::optional<CodecLibrary::Impl::CutLine> CodecLibrary::Impl::FindCutLine(Input& input,
                                                                           uint64_t size,
                                                                           const PartInfo& last) {
    constexpr uint64_t kMaxLine = LineReader::kMaxLine;
    // Cheap tests first: most inputs end with a part that is complete.
    if (!last.partialId.empty() || last.end + kMaxLine < size ||
        (last.hasEnd && last.encoding != Encoding::kBase64))
        return std::nullopt;
    // An input that ends with a line break has no line cut short: one byte says so.
    char eol = input.transform.LineEnd();
    if (std::string end = ReadRange(input, size - 1, 1); end.size() == 1 && end[0] == eol)
        return std::nullopt;
    // The line, and the one before it for its length.
    uint64_t from = size > 2 * kMaxLine + 2 ? size - (2 * kMaxLine + 2) : 0;
    std::string tail = ReadRange(input, from, static_cast<size_t>(size - from));
    if (tail.size() != size - from) return std::nullopt;
    size_t brk = tail.empty() || tail.back() == eol ? std::string::npos : tail.rfind(eol);
    if (brk == std::string::npos || tail.size() - brk - 1 > kMaxLine) return std::nullopt;
    CutLine c;
    c.source = last.fileIndex;
    c.begin = from + brk + 1;
    if (last.end < c.begin) return std::nullopt;  // its data stopped before the line
    c.encoding = last.encoding;
    c.text = tail.substr(brk + 1);
    size_t start = brk == 0 ? std::string::npos : tail.rfind(eol, brk - 1);
    if (start != std::string::npos || from == 0) {
        start = start == std::string::npos ? 0 : start + 1;
        c.neighbour = brk - start;
        if (eol == '\n' && c.neighbour > 0 && tail[brk - 1] == '\r') --c.neighbour;
    }
    return c;
}

std::unique_ptr<Input> CodecLibrary::Impl::GoOnFromCut(const CutLine& c, Input& input,
                                                       uint32_t fileIndex, uint64_t total,
                                                       const std::string& shown, uint32_t& index) {
    if (total == 0) return nullptr;
    std::string head =
        ReadRange(input, 0, static_cast<size_t>(std::min<uint64_t>(total, LineReader::kMaxLine)));
    char eol = input.transform.LineEnd();
    size_t brk = head.find(eol);
    if (brk == std::string::npos) return nullptr;
    auto withoutCr = [eol](std::string s) {
        if (eol == '\n' && !s.empty() && s.back() == '\r') s.pop_back();
        return s;
    };
    if (!FinishesCutLine(c.encoding, withoutCr(c.text + head.substr(0, brk)), c.neighbour)) {
        // Unless the line was whole after all (only its line break missing), the rest of it
        // is in an input that is not here.
        if (!FinishesCutLine(c.encoding, withoutCr(c.text), c.neighbour))
            assembly.GapAfterLast(c.source, c.begin);
        return nullptr;
    }
    uint32_t joined = files.AddJoined({c.file, Segment{fileIndex, 0, total}}, shown);
    std::unique_ptr<Input> in = files.Open(joined);
    PartInfo* part = in ? assembly.ReopenLast(c.source, c.begin) : nullptr;
    if (!part) return nullptr;
    kept.erase(part->kept);  // what the load kept of it is cut short too
    part->kept = -1;
    EndBeforeCutLine(*part, c.begin, c.text);
    Message(kLevelNote, Quote(shown) + " begins with the rest of the line " + Quote(c.shown) +
                            " was cut inside: the two are read as one.");
    index = joined;
    return in;
}

// Data that is the whole input, without framing: its file has the input's name, less an
// ending that only says how it is encoded.
void CodecLibrary::Impl::NameBare(PartInfo& part, const std::string& shown) {
    std::string name = shown;
    for (std::string_view ending : {".b64", ".base64", ".txt"}) {
        if (name.size() > ending.size() &&
            EqualsNoCase(std::string_view(name).substr(name.size() - ending.size()), ending)) {
            name.resize(name.size() - ending.size());
            break;
        }
    }
    part.name = name;
    part.hasBegin = true;
    Message(kLevelNote, Quote(shown) + " holds " + EncodingName(part.encoding) +
                            " data only: it is listed as " + Quote(name) + ".");
}

Keeper CodecLibrary::Impl::MakeKeeper(uint64_t inputSize) {
    if (!decodeDuringLoad || !unnamedOutput) return {};
    Keeper keeper;
    keeper.keep = [this, inputSize](uint64_t size, ByteSink** sink) {
        if (kept.size() >= kMaxKept) return -1;
        auto k = std::make_unique<Kept>();
        struct stat st;
        if (OpenOutputDir(k->dir, true) != kOk || fstat(k->dir.get(), &st) != 0) return -1;
        k->dev = st.st_dev;
        k->ino = st.st_ino;
        k->file = std::make_unique<OutputFile>(k->buffer, true);
        // Only a file without a name: one with a name would show, and stay if we died.
        if (k->file->Create(k->dir.get(), std::string()) != 0 || !k->file->unnamed()) return -1;
        k->file->Preallocate(std::min(size, inputSize));  // never more than the input
        *sink = k->file.get();
        int id = nextKeptId++;
        kept[id] = std::move(k);
        return id;
    };
    keeper.drop = [this](int id) { kept.erase(id); };
    keeper.sinkOf = [this](int id) -> ByteSink* {
        auto found = kept.find(id);
        return found == kept.end() ? nullptr : found->second->file.get();
    };
    keeper.chain = &keptChain;
    keeper.inputSize = inputSize;
    static const uint64_t atLeast = [] {
        const char* from = std::getenv("TAMSEL_KEEP_FROM");
        return from && *from ? std::strtoull(from, nullptr, 10) : kKeepAtLeast;
    }();
    keeper.atLeast = atLeast;
    return keeper;
}

namespace {

// Counts the CRC-32 of what is written to it.
class CrcSink : public NullSink {
  public:
    using NullSink::NullSink;
    void Advance(size_t used) override { crc = Crc32(crc, m_buffer.data(), used); }
    uint32_t crc = 0;
};

}  // namespace

bool CodecLibrary::Impl::DecodedCrc(const PartInfo& part, uint32_t& crc) {
    std::unique_ptr<Input> input = files.Open(part.fileIndex);
    if (!input) return false;
    CrcSink sink(writeBuffer);
    PartDecoder decoder(readBuffer);
    decoder.Begin(false);
    if (decoder.Decode(*input, part, sink, nullptr) != 0) return false;
    decoder.End(sink);
    crc = sink.crc;
    return true;
}

// Two copies of a part with one name and number are of one file when their sizes agree and,
// by the strongest evidence there is: the CRC-32 yEnc's encoder wrote; a damaged copy (the
// damage explains the difference; its checksum decides which copy is used); the bytes they
// decode to.
bool CodecLibrary::Impl::SameFile(const PartInfo& first, const PartInfo& again) {
    if (first.encoding != again.encoding || first.bytes != again.bytes) return false;
    if (first.encoding == Encoding::kYenc) {
        auto written = [](const YencFacts& f) -> int64_t {
            return f.hasPartCrc ? f.partCrc : f.hasFileCrc ? static_cast<int64_t>(f.fileCrc) : -1;
        };
        int64_t a = written(first.Yenc()), b = written(again.Yenc());
        if (a >= 0 && b >= 0) return a == b;
    }
    if (CheckCopy(first) == CopyCheck::kBad || CheckCopy(again) == CopyCheck::kBad) return true;
    uint32_t a = 0, b = 0;
    if (!DecodedCrc(first, a) || !DecodedCrc(again, b)) return true;  // cannot tell: as before
    return a == b;
}

// Hands the parts of one scan to the assembly (pieces of message/partial messages to their
// group), says what was found, and checks the checksums of what changed.
int CodecLibrary::Impl::AddParts(std::vector<PartInfo>& found, const std::string& shown,
                                 uint64_t total, Record** reuse,
                                 std::vector<std::string>* touched) {
    auto note = [&](const std::string& text, int level) { Message(level, text); };
    assembly.sameFile = [this](const PartInfo& a, const PartInfo& b) { return SameFile(a, b); };
    std::vector<Record*> toVerify;
    std::unordered_set<Record*> verifying;
    std::string summary;
    size_t listed = 0;
    std::vector<PartInfo> texts;  // mails' own texts sent as Base64, read once the rest is added
    for (PartInfo& p : found) {
        if (p.encodedText) {
            if (p.end > p.begin) texts.push_back(p);
            continue;
        }
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
            kept.erase(p.kept);  // a piece is read again once the message is whole
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
        bool check = p.encoding == Encoding::kYenc || p.encoding == Encoding::kBinHex ||
                     p.encoding == Encoding::kUu || p.encoding == Encoding::kXx;
        int keptId = p.kept, replacedKept = -1;
        Record* joined = assembly.Add(std::move(p), note, reuse ? *reuse : nullptr, &replacedKept);
        if (!joined) kept.erase(keptId);  // a repeat, dropped with what the load kept of it
        kept.erase(replacedKept);         // a damaged copy, replaced
        if (joined && reuse && joined == *reuse) *reuse = nullptr;
        // In the order found (not by address, which would change from run to run).
        if (joined && check && verifying.insert(joined).second) toVerify.push_back(joined);
    }
    partsFound += listed;
    if (listed > 0) {
        if (listed > 20) summary += ", and " + std::to_string(listed - 20) + " more";
        Message(kLevelNote, "Loaded " + Quote(shown) + ": " + std::to_string(listed) +
                                " part(s) found: " + summary);
    }
    assembly.Refresh(decodeWithErrors, note);
    for (Record* r : toVerify) {
        if (Verify(*r, shown, total) == kCanceled) return kCanceled;
        assembly.RefreshOne(*r, decodeWithErrors);
    }
    for (const PartInfo& text : texts)
        if (int rc = ScanText(text, shown, total); rc != kOk) return rc;
    return kOk;
}

// A mail's own text sent as Base64 is read decoded, as a text of its own: the encoded data in
// it becomes parts. (Text inside such text is read too, to a bounded depth.)
int CodecLibrary::Impl::ScanText(const PartInfo& text, const std::string& shown, uint64_t total) {
    constexpr int kMaxDepth = 4;
    if (textDepth >= kMaxDepth) return kOk;
    uint32_t index =
        files.AddDecoded(Segment{text.fileIndex, text.begin, text.end}, NewBase64TextInput, shown);
    std::unique_ptr<Input> input = files.Open(index);
    LineReader reader(readBuffer);
    std::vector<PartInfo> found;
    Scanner scanner(
        index, [&](PartInfo&& p) { found.push_back(std::move(p)); }, ContinuesAfter(found));
    scanner.ReadsText(text.markup, text.nameCharset);
    if (input) {
        reader.Reset(*input, 0, UINT64_MAX);
        reader.SetFillHook(
            [&](uint64_t) { return Tick(kActionScanning, shown, 1, 1, total, total); });
    }
    if (!input || !ScanFile(reader, scanner)) {
        if (input && reader.stopped()) return kCanceled;
        Message(kLevelWarning, "Cannot read the text of " + Quote(shown) + ": " +
                                   InputError(input ? reader.error() : errno));
        return kOk;
    }
    ++textDepth;
    int rc = AddParts(found, shown, total, nullptr, nullptr);
    --textDepth;
    return rc;
}

// The name of the first file the first piece of a message/partial message names (its data is
// cut short there, its headers are not): what the message will be known by once whole.
std::string CodecLibrary::Impl::NameInFirstPiece(const std::string& id, const Segment& piece) {
    uint32_t index = files.AddJoined({piece}, "message/partial " + id);
    std::unique_ptr<Input> input = files.Open(index);
    if (!input) return {};
    LineReader reader(readBuffer);
    reader.Reset(*input, 0, UINT64_MAX);
    std::string name;
    Scanner scanner(
        index,
        [&](PartInfo&& p) {
            if (name.empty()) name = SafeBaseName(p.name.empty() ? p.subjectName : p.name);
        },
        [](Encoding) { return false; });
    ScanFile(reader, scanner);
    return name;
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
        if (!group.firstRead && group.pieces.count(1)) {
            group.firstRead = true;
            group.firstName = NameInFirstPiece(id, group.pieces[1]);
        }
        group.placeholder =
            assembly.Placeholder(id, numbers, group.total,
                                 group.firstName.empty() ? group.subjectName : group.firstName);
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
                                   InputError(errno));
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
                                   InputError(reader.error()));
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

}  // namespace codec
