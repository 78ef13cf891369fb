// MIME bodies taken as they are (7bit, 8bit, binary) or as quoted-printable: named
// attachments, and the pieces of message/partial messages. Their data is the whole body; the
// line break before a boundary belongs to the boundary (RFC 2046, 5.1.1).
#pragma once

#include <memory>

#include "formats/format.h"

namespace codec {

std::unique_ptr<FormatReader> NewPlainReader();
std::unique_ptr<SpanDecoder> NewPlainDecoder(Encoding encoding, bool checks);

}  // namespace codec
