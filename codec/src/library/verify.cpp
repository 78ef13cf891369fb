// Checking what the formats say of their data (yEnc CRC-32s and sizes, BinHex CRC-16s) right
// after a load, so that a record is flagged before anyone decodes it.
#include "library/library_impl.h"

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
    // The scan decoded every yEnc part as it read it (crc, decodedSize): only the comparing is
    // left.
    for (PartInfo& p : r.parts) {
        if (!p.verified || p.checked) continue;
        p.checked = true;
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
    std::string name = r.name.empty() ? r.subjectName : r.name;
    BinHexCheck bh;
    if (r.parts.size() == 1 && r.parts[0].verified && !r.parts[0].checked) {
        bh = r.parts[0].binhex;  // read whole by the scan
    } else {
        if (!complete || done) return kOk;
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
        bh = decoder.binhex().Check();
    }
    for (PartInfo& p : r.parts)
        p.verified = p.checked = true;
    std::vector<std::string> bad;
    if (!bh.headerDone || !bh.headerOk) bad.emplace_back("header");
    if (bh.headerDone && (!bh.complete || !bh.dataOk)) bad.emplace_back("data fork");
    if (bh.complete && !bh.resourceOk) bad.emplace_back("resource fork");
    for (const std::string& fork : bad)
        Message(kLevelWarning, Quote(name) + ": the CRC of the BinHex " + fork +
                                   (bh.complete || fork == "header" ? " does not match"
                                                                    : " cannot be checked: "
                                                                      "the data ends early"));
    if (bh.headerDone && bh.resourceLength > 0)
        Message(kLevelNote, Quote(name) + " has a resource fork of " +
                                std::to_string(bh.resourceLength) +
                                " bytes; only the data fork is written.");
    r.checksumBad = !bad.empty();
    return kOk;
}

}  // namespace codec
