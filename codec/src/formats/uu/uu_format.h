// uuencode and xxencode as a format of the scan and the decode: begin...end blocks (and the
// Base64 blocks of "begin-base64" framing, whose data lines are Base64's), and runs of data
// lines without a begin line, which continue a posting split into parts.
#pragma once

#include <memory>

#include "formats/format.h"

namespace codec {

std::unique_ptr<FormatReader> NewUuReader();
std::unique_ptr<SpanDecoder> NewUuDecoder(Encoding encoding, bool checks);
extern const CutLineRules kUuCut;

}  // namespace codec
