// Header fields of news articles and mail (RFC 5322 syntax) and the MIME pieces we need:
// Content-Type / Content-Disposition parameters with RFC 2231 continuations and charsets, and
// RFC 2047 encoded words. Every text comes out as UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"

namespace codec {

// "Name: value": name is printable ASCII without blanks or ':' and at least two characters
// long (one-letter names are too often data). value has leading blanks removed.
bool ParseHeaderLine(std::string_view line, std::string_view& name, std::string_view& value);

// Bytes in the given charset (a name as mail writes it, in any case, without an RFC 2231
// language) to UTF-8, through iconv(3): any charset it knows. Text in a charset it does not
// know, or labelled US-ASCII or nothing, is kept when it is valid UTF-8 and read as ISO-8859-1
// otherwise. The result is always valid UTF-8 without control characters: each run of bytes
// that does not convert (an invalid sequence, a multibyte character cut at the end) and each
// control character that comes out (C0, DEL and C1, a tab or line feed too) is a U+FFFD, and
// what converts around them is kept. So a file name never gets bytes that SafeBaseName would
// drop.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// Replaces RFC 2047 encoded words (=?charset?B|Q?text?=) by their UTF-8 text; blanks between
// two adjacent encoded words are dropped, as the RFC says, and the bytes of adjacent words in
// one charset are converted together, so that a character split between them comes out whole.
// Text outside encoded words stays as it is.
std::string DecodeEncodedWords(std::string_view text);

// A structured MIME field value: "type/subtype; a=b; c*=utf-8''x%20y; d*0=..; d*1=..".
struct MimeField {
    std::string value;  // the part before the first ';', lower case, trimmed
    std::vector<std::pair<std::string, std::string>> params;  // names lower case, values UTF-8

    // The parameter's value or an empty string.
    std::string Param(std::string_view name) const;
    bool HasParam(std::string_view name) const;
};

MimeField ParseMimeField(std::string_view text);

// A Content-Transfer-Encoding value as its token (RFC 2045, 6.1), lower case: comments
// ("base64 (MIME encoded)", RFC 822), quotes, and anything after the token (a stray ";") go.
std::string TransferEncodingToken(std::string_view value);

}  // namespace codec
