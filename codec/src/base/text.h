// ASCII text helpers shared by every layer.
#pragma once

#include <string>
#include <string_view>

namespace codec {

// Case-insensitive ASCII comparison.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
std::string LowerAscii(std::string_view s);
// Without leading and trailing blanks, tabs and CRs.
std::string_view Trim(std::string_view s);
// Nothing but blanks, tabs and CRs (or nothing at all).
inline bool IsBlank(std::string_view s) {
    return Trim(s).empty();
}

// A line of HTML source as the text it shows, for encoded data pasted into an HTML part: its
// tags ("<br>", "<pre>") go and its character references ("&lt;", "&#38;") are read. The
// result is text itself when there is nothing to undo, else a view of scratch.
std::string_view UnmarkHtml(std::string_view text, std::string& scratch);

}  // namespace codec
