// Base64 as a format of the scan and the decode: MIME bodies, "begin-base64" blocks, and runs
// of Base64 lines without headers that continue a part.
#pragma once

#include <memory>

#include "formats/format.h"

namespace codec {

std::unique_ptr<FormatReader> NewBase64Reader();
std::unique_ptr<SpanDecoder> NewBase64Decoder(Encoding encoding, bool checks);
extern const CutLineRules kBase64Cut;

}  // namespace codec
