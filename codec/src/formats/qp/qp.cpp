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

// The line without its trailing blanks and soft break; soft: it had one.
std::string_view QpText(std::string_view text, bool& soft) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    soft = !text.empty() && text.back() == '=';
    if (soft) text.remove_suffix(1);
    return text;
}

// Decodes into out, or only counts when out is null: the size and the bytes come from one
// reading of the line.
size_t Qp(std::string_view text, bool hasLineEnd, uint8_t* out) {
    bool soft;
    text = QpText(text, soft);
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i, ++n) {
        char c = text[i];
        if (c == '=' && i + 2 < text.size()) {
            int hi = Hex(text[i + 1]);
            int lo = Hex(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                if (out) out[n] = static_cast<uint8_t>(hi << 4 | lo);
                i += 2;
                continue;
            }
        }
        if (out) out[n] = static_cast<uint8_t>(c);
    }
    if (hasLineEnd && !soft) {
        if (out) out[n] = '\n';
        ++n;
    }
    return n;
}

}  // namespace

size_t DecodeQpLine(std::string_view text, bool hasLineEnd, uint8_t* out) {
    return Qp(text, hasLineEnd, out);
}

size_t QpLineSize(std::string_view text, bool hasLineEnd) {
    return Qp(text, hasLineEnd, nullptr);
}

}  // namespace codec
