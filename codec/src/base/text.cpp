// ASCII text helpers; see text.h.
#include "base/text.h"

#include <utility>

namespace codec {

namespace {

char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerChar(c);
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

namespace {

bool IsTagStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/' || c == '!';
}

// The character a reference at text[i] ('&') stands for, and its length; false for none.
bool CharacterReference(std::string_view text, size_t i, char& c, size_t& length) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&lt;", '<'},   {"&gt;", '>'},    {"&amp;", '&'},
        {"&quot;", '"'}, {"&apos;", '\''}, {"&nbsp;", ' '}};
    for (const auto& [name, ch] : kNamed) {
        if (text.substr(i, name.size()) == name) {
            c = ch;
            length = name.size();
            return true;
        }
    }
    if (text.substr(i, 2) != "&#") return false;
    size_t k = i + 2;
    bool hex = k < text.size() && (text[k] == 'x' || text[k] == 'X');
    if (hex) ++k;
    unsigned value = 0;
    size_t digits = 0;
    for (; k < text.size() && digits < 6; ++k, ++digits) {
        char d = text[k];
        int v = d >= '0' && d <= '9'          ? d - '0'
                : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                              : -1;
        if (v < 0) break;
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(v);
    }
    // Only ASCII: encoded data is ASCII, and anything else stays as it was written.
    if (digits == 0 || k >= text.size() || text[k] != ';' || value == 0 || value > 0x7E)
        return false;
    c = static_cast<char>(value);
    length = k + 1 - i;
    return true;
}

}  // namespace

std::string_view UnmarkHtml(std::string_view text, std::string& scratch) {
    if (text.find_first_of("<&") == std::string_view::npos) return text;
    scratch.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        size_t length = 0;
        if (c == '<' && i + 1 < text.size() && IsTagStart(text[i + 1])) {
            size_t close = text.find('>', i);
            if (close != std::string_view::npos) {
                i = close;
                continue;
            }
        } else if (c == '&' && CharacterReference(text, i, c, length)) {
            i += length - 1;
        }
        scratch += c;
    }
    return scratch;
}

}  // namespace codec
