// A part: one encoded chunk found in an input file. Only its span is kept, never its data.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "codec/codec_library.h"
#include "formats/binhex/binhex.h"

namespace codec {

// What yEnc says of a part, to be checked, and what the scan computed of it.
struct YencFacts {
    int64_t rangeBegin = -1;  // this part's first and last byte in the file, 1-based
    int64_t rangeEnd = -1;
    int64_t endSize = -1;  // the size the trailer gives for this part
    bool hasPartCrc = false;
    uint32_t partCrc = 0;
    bool hasFileCrc = false;
    uint32_t fileCrc = 0;
    uint32_t crc = 0;  // CRC-32 of the decoded part
    uint64_t decodedSize = 0;
};

struct PartInfo {
    Encoding encoding = Encoding::kUu;
    uint32_t fileIndex = 0;
    uint64_t begin = 0;  // data span in the file: [begin, end)
    uint64_t end = 0;
    std::string name;           // from a begin line or MIME headers (UTF-8), empty when none
    std::string suggestedName;  // where there is none: what the part suggests (a MIME part's)
    std::string nameCharset;    // the charset of the text the name was found in, if declared
    int mode = -1;              // permission bits of a begin line, -1 when none
    bool hasBegin = false;
    bool hasEnd = false;
    bool hasData = false;  // data lines, or the empty data of an empty file
    bool bare = false;     // data from the input's first line, without any framing
    bool markup = false;   // found in HTML source: its lines are read unmarked
    bool qpText = false;   // found in text sent as quoted-printable: read decoded
    // Not a file: a mail's own text, sent as Base64, whose decoded text may hold encoded data
    // (markup: it is HTML; nameCharset: its charset).
    bool encodedText = false;
    // uu and xx: the data ended as a file's does (a short line, the zero-length terminator),
    // so that only "end" may follow; and a part that is that "end" alone.
    bool dataEnded = false;
    bool endOnly = false;
    uint64_t bytes = 0;         // decoded size: exact for uu/xx, an estimate for Base64
    uint32_t damagedLines = 0;  // lines inside the data that are not data
    int number = 0;             // from the format (yEnc) or the Subject; 0: none
    int total = 0;
    int64_t fileSize = -1;  // the whole file's size, where the format says it (yEnc, BinHex)

    // Filled in by the scan or the checksum pass after a load.
    bool verified = false;  // the format's checksums of the part are computed
    bool checked = false;   // and compared with what the format says
    bool checksumBad = false;
    // The format's own facts: yEnc's sizes and CRCs, or what a BinHex stream read whole in
    // the scan showed (a part with its begin and its end).
    std::variant<std::monostate, YencFacts, BinHexCheck> facts;
    int kept = -1;  // the library's copy of the decoded data, made by the scan; -1: none
    int keptSeq = 0;  // where in it: the parts of a posting found in order share one copy
    std::string subjectKey;
    std::string subjectName;
    std::string partialId;  // a piece of a message/partial message (RFC 2046, 5.2.2)

    YencFacts& Yenc() {
        if (!std::holds_alternative<YencFacts>(facts)) facts = YencFacts();
        return std::get<YencFacts>(facts);
    }
    const YencFacts& Yenc() const {
        static const YencFacts none;
        const auto* f = std::get_if<YencFacts>(&facts);
        return f ? *f : none;
    }
    const BinHexCheck& BinHex() const {
        static const BinHexCheck none;
        const auto* f = std::get_if<BinHexCheck>(&facts);
        return f ? *f : none;
    }
};

}  // namespace codec
