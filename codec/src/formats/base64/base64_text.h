// Text sent as Base64 (a mail's own text part), read decoded, so that the encoded data it may
// hold is found and decoded like any other text's.
#pragma once

#include <memory>

#include "io/source.h"

namespace codec {

// An input of what the Base64 in `encoded` decodes to (a Decoding). It decodes as it is read
// forward, a block at a time; a read before the block held starts again from the beginning.
std::unique_ptr<Input> NewBase64TextInput(std::unique_ptr<Input> encoded);

}  // namespace codec
