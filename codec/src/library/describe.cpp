// The state texts shown for a record; one table for every front end.
#include <string>
#include <vector>

#include "codec/codec_library.h"

namespace codec {

std::vector<std::string> DescribeState(const FileRecord& record) {
    std::vector<std::string> lines;
    uint32_t s = record.state;
    if (s & kStateNoBegin) lines.emplace_back("No \"begin\" line was detected.");
    if (s & kStateMissingParts) {
        lines.emplace_back("There are missing parts.");
        for (const int32_t* p = record.missingParts; p && *p; ++p)
            lines.push_back("   - Missing Part#: " + std::to_string(*p));
    }
    if (s & kStateNoEnd) lines.emplace_back("No \"end\" line was detected.");
    if (s & kStateNoData) lines.emplace_back("No encoded data was found within the files");
    if (s & kStateChecksum)
        lines.emplace_back("The data does not match the checksum or size its encoding carries.");
    if (s & kStateOrderUnknown)
        lines.emplace_back(
            "The parts are joined in the order the files were given; their Subjects do not "
            "number them.");
    if (s & kStateReady)
        lines.emplace_back(
            "This file appears to be okay, and decoding is likely to be successful.");
    if (s & kStateFailed)
        lines.emplace_back(
            "A decode operation was attempted, but failed.  This is usually because of an I/O "
            "error.");
    return lines;
}

}  // namespace codec
