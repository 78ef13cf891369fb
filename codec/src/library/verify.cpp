// Checking what the formats say of their data (yEnc CRC-32s and sizes, BinHex CRC-16s) right
// after a load, so that a record is flagged before anyone decodes it.
#include "library/library_impl.h"

#include "formats/binhex/binhex_format.h"
#include "formats/yenc/yenc_format.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace codec {

int CodecLibrary::Impl::Verify(Record& r, const std::string& shown, uint64_t total) {
    if (r.pub.encoding == Encoding::kBinHex) return VerifyBinHex(r, shown, total);
    std::string name = r.name.empty() ? r.subjectName : r.name;
    // The scan decoded every yEnc part as it read it: only the comparing is left.
    auto warn = [&](const std::string& text) { Message(kLevelWarning, text); };
    bool bad = CheckYencParts(r.parts, name, warn);
    if (!bad) bad = !CheckYencFile(r.parts, name, warn);
    if (!bad && r.pub.encoding == Encoding::kYenc) bad = !CheckYencRanges(r.parts, name, warn);
    if (!bad) bad = !CheckUuJoin(r, name);
    r.checksumBad = bad;
    return kOk;
}

// uuencode's lines are all full but a file's last: a part whose data ended so, with more data in
// a later part, shows parts that do not belong together (another post's, or a gap).
bool CodecLibrary::Impl::CheckUuJoin(const Record& r, const std::string& name) {
    if (r.pub.encoding != Encoding::kUu && r.pub.encoding != Encoding::kXx) return true;
    // The parts are in number order after a refresh.
    const PartInfo* ended = nullptr;
    for (const PartInfo& p : r.parts) {
        if (ended && p.bytes > 0 && !p.endOnly) {
            if (!r.checksumBad)  // said once
                Message(kLevelWarning,
                        "'" + name + "': the data of part " + std::to_string(ended->number) +
                            " ends as a file's does, yet part " + std::to_string(p.number) +
                            " has more: they do not belong together.");
            return false;
        }
        if (p.dataEnded && p.bytes > 0) ended = &p;
    }
    return true;
}

// BinHex carries its CRCs in the stream of the whole file, so a record is checked once all its
// parts are there, from the first part to the last.
int CodecLibrary::Impl::VerifyBinHex(Record& r, const std::string& shown, uint64_t total) {
    bool complete =
        !r.parts.empty() && r.missing.size() == 1 && r.parts.front().hasBegin &&
        std::any_of(r.parts.begin(), r.parts.end(), [](const PartInfo& p) { return p.hasEnd; });
    bool done =
        std::all_of(r.parts.begin(), r.parts.end(), [](const PartInfo& p) { return p.verified; });
    std::string name = r.name.empty() ? r.subjectName : r.name;
    BinHexCheck bh;
    if (r.parts.size() == 1 && r.parts[0].verified && !r.parts[0].checked) {
        bh = r.parts[0].BinHex();  // read whole by the scan
    } else {
        if (!complete || done) return kOk;
        BinHexSpanDecoder decoder(true);
        OpenInputs inputs(files);
        for (PartInfo& p : r.parts) {
            Input* in = inputs.Get(p.fileIndex);
            if (!in) return kOk;  // reported when decoding
            NullSink discard(writeBuffer);
            int err = decoder.Decode(
                *in, p, discard,
                [&](uint64_t offset) { return Tick(kActionScanning, shown, 1, 1, offset, total); },
                readBuffer);
            if (err == -1) return kCanceled;
            if (err != 0) return kOk;
        }
        bh = decoder.Check();
    }
    for (PartInfo& p : r.parts)
        p.verified = p.checked = true;
    r.checksumBad = ReportBinHexCheck(
        bh, name, [&](int level, const std::string& text) { Message(level, text); });
    return kOk;
}

}  // namespace codec
