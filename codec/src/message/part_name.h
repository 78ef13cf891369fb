// The name a MIME part that has none suggests for itself: an inline image with only a
// Content-ID, a document with only a Content-Description. Listed until the user renames it.
#pragma once

#include <string>
#include <string_view>

namespace codec {

// The extension ("pdf", no dot) a file of this MIME type ("application/pdf", lower case)
// usually has; "bin" for a type without a known one.
std::string ExtensionOf(std::string_view type);

// From the part's Content-Description when it reads as a short name, else its Content-ID's
// local part when that does, else "part-N"; with the type's extension unless it has one.
std::string SuggestedPartName(std::string_view type, std::string_view description,
                              std::string_view contentId, int partNumber);

}  // namespace codec
