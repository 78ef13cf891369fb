// yEnc as a format of the scan and the decode, and the checks of its CRC-32s and sizes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/format.h"

namespace codec {

std::unique_ptr<FormatReader> NewYencReader();
std::unique_ptr<SpanDecoder> NewYencDecoder(Encoding encoding, bool checks);

// Compares what the scan computed of a part (its CRC-32 and size) with what the encoder
// wrote, once; says what differs (where: "'name' part N") and marks the part. True when a
// part of the record is bad.
using Warn = std::function<void(const std::string& text)>;
CopyCheck CheckYencCopy(const PartInfo& part);
bool CheckYencParts(std::vector<PartInfo>& parts, const std::string& name, const Warn& warn);
// The whole file's CRC-32 from the parts' ones, once every part is there and checked: false
// (with a warning) when it does not match.
bool CheckYencFile(const std::vector<PartInfo>& parts, const std::string& name, const Warn& warn);
// The byte ranges of parts that follow each other (in number order) meet, the first begins at
// the file's first byte and the last ends at its size: false (with a warning naming the part)
// where they do not, as when parts of another post or split joined.
bool CheckYencRanges(const std::vector<PartInfo>& parts, const std::string& name, const Warn& warn);

}  // namespace codec
