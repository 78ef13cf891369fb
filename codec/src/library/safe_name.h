// Reduces a file name found in the input (or typed by the user) to a base name that is safe
// to create in the output directory: no directory parts, no drive, no "." or "..", no control
// characters, at most 255 bytes of valid UTF-8. An empty result means "no usable name".
#pragma once

#include <string>
#include <string_view>

namespace codec {

inline constexpr size_t kMaxNameBytes = 255;

std::string SafeBaseName(std::string_view name);

}  // namespace codec
