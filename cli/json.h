// A JSON string literal for any bytes: UTF-8 passes through, control characters are escaped
// and bytes that are not UTF-8 become U+FFFD, so the output always parses.
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

std::string JsonString(std::string_view s);

}  // namespace tamsel
