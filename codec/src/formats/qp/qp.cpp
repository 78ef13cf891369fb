// Quoted-printable lines; see qp.h. Malformed escapes ("=G1", a lone "=" inside a line) are
// kept as they stand, as RFC 2045 advises for robustness.
#include "formats/qp/qp.h"

namespace codec {

namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

size_t DecodeQpLine(std::string_view text, bool hasLineEnd, uint8_t* out) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    bool soft = !text.empty() && text.back() == '=';
    if (soft) text.remove_suffix(1);
    uint8_t* o = out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '=' && i + 2 < text.size()) {
            int hi = Hex(text[i + 1]);
            int lo = Hex(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                *o++ = static_cast<uint8_t>(hi << 4 | lo);
                i += 2;
                continue;
            }
        }
        *o++ = static_cast<uint8_t>(c);
    }
    if (hasLineEnd && !soft) *o++ = '\n';
    return static_cast<size_t>(o - out);
}

}  // namespace codec
