// Safe base names; see safe_name.h. Both separators count, whatever the platform: a name
// written on another system ("C:\dl\a.zip") must not keep its directories here either.
#include "library/safe_name.h"

#include "message/headers.h"

namespace codec {

namespace {

// Longest prefix of s of at most max bytes that does not cut a UTF-8 sequence.
size_t Utf8Prefix(std::string_view s, size_t max) {
    if (s.size() <= max) return s.size();
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

}  // namespace

std::string SafeBaseName(std::string_view name) {
    size_t cut = name.find_last_of("/\\");
    if (cut != std::string_view::npos) name = name.substr(cut + 1);
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        name = name.substr(2);
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) continue;
        out += c;
    }
    // Invalid UTF-8 (a name in an unknown charset) is kept byte for byte: Linux names are
    // bytes. Only the length is bounded, without cutting a sequence in two.
    std::string_view trimmed = Trim(out);
    out = std::string(trimmed);
    if (out.size() > kMaxNameBytes) {
        size_t dot = out.rfind('.');
        std::string ext =
            (dot != std::string::npos && out.size() - dot <= 16) ? out.substr(dot) : "";
        size_t keep = Utf8Prefix(out, kMaxNameBytes - ext.size());
        out = out.substr(0, keep) + ext;
    }
    if (out == "." || out == "..") out.clear();
    return out;
}

}  // namespace codec
