// A part: one encoded chunk found in an input file. Only its span is kept, never its data.
#pragma once

#include <cstdint>
#include <string>

#include "codec/codec_library.h"

namespace codec {

struct PartInfo {
    Encoding encoding = Encoding::kUu;
    uint32_t fileIndex = 0;
    uint64_t begin = 0;  // data span in the file: [begin, end)
    uint64_t end = 0;
    std::string name;  // from a begin line or MIME headers (UTF-8), empty when none
    int mode = -1;     // permission bits of a begin line, -1 when none
    bool hasBegin = false;
    bool hasEnd = false;
    bool hasData = false;       // data lines, or the empty data of an empty file
    uint64_t bytes = 0;         // decoded size: exact for uu/xx, an estimate for Base64
    uint32_t damagedLines = 0;  // lines inside the data that are not data
    int number = 0;             // from the Subject (0: none)
    int total = 0;
    std::string subjectKey;
    std::string subjectName;
};

}  // namespace codec
