// Header and MIME parameter parsing; see headers.h.
#include "message/headers.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "base/charset.h"
#include "formats/base64/base64.h"

namespace codec {

namespace {

char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerChar(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string DecodeQ(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_') {
            out += ' ';
        } else if (s[i] == '=' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 &&
                   HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string DecodeB(std::string_view s) {
    std::string out(s.size() / 4 * 3 + 8, '\0');
    Base64Decoder d;
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    size_t n = d.Decode(s.data(), s.size(), o);
    n += d.Finish(o + n);
    out.resize(n);
    return out;
}

// One encoded word ("=?cs?e?text?=").
struct EncodedWord {
    std::string charset;  // lower case, without a language
    std::string bytes;    // decoded, still in the charset
    size_t length = 0;    // of the word in the text
};

// The encoded word at s[pos], if one starts there.
bool ParseEncodedWord(std::string_view s, size_t pos, EncodedWord& word) {
    if (s.substr(pos, 2) != "=?") return false;
    // An encoded word is at most 75 characters (RFC 2047, 2); looking further would make
    // text full of "=?" quadratic.
    s = s.substr(0, pos + 200);
    size_t q1 = s.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?') return false;
    char enc = LowerChar(s[q1 + 1]);
    if (enc != 'b' && enc != 'q') return false;
    size_t endq = s.find("?=", q1 + 3);
    if (endq == std::string_view::npos) return false;
    std::string_view charset = s.substr(pos + 2, q1 - pos - 2);
    size_t star = charset.find('*');  // RFC 2231 language suffix
    if (star != std::string_view::npos) charset = charset.substr(0, star);
    std::string_view payload = s.substr(q1 + 3, endq - q1 - 3);
    if (payload.find(' ') != std::string_view::npos) return false;
    word.charset = LowerAscii(Trim(charset));
    word.bytes = enc == 'b' ? DecodeB(payload) : DecodeQ(payload);
    word.length = endq + 2 - pos;
    return true;
}

bool IsLinearWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string PercentDecode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

bool ParseHeaderLine(std::string_view line, std::string_view& name, std::string_view& value) {
    // Most lines of a large file are data without any colon: one memchr rejects them.
    if (line.size() < 3 || !std::memchr(line.data(), ':', line.size())) return false;
    size_t i = 0;
    while (i < line.size()) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == ':' || c <= ' ' || c > '~') break;
        ++i;
    }
    if (i < 2 || i >= line.size() || line[i] != ':') return false;
    name = line.substr(0, i);
    value = line.substr(i + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    return true;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string cs = LowerAscii(Trim(charset));
    if (cs == "utf-8" || cs == "utf8") return CleanUtf8(bytes);
    // No charset, or US-ASCII, is often said of text in anything: it is left to the guess
    // below.
    bool labelled = !cs.empty() && cs != "us-ascii" && cs != "ascii";
    std::string out;
    if (labelled && IconvToUtf8(bytes, cs, out)) return CleanUtf8(out);
    if (IsValidUtf8(bytes)) return CleanUtf8(bytes);
    return CleanUtf8(Latin1ToUtf8(bytes));  // the most common legacy charset of news and mail
}

std::string DecodeEncodedWords(std::string_view text) {
    if (text.find("=?") == std::string_view::npos) return std::string(text);
    std::string out;
    // The bytes of adjacent encoded words in one charset are converted together, so that a
    // character split between two words comes out whole (RFC 2047, 6.2).
    std::string run_charset;
    std::string run_bytes;
    bool in_run = false;
    auto end_run = [&] {
        if (in_run) out += ToUtf8(run_bytes, run_charset);
        run_bytes.clear();
        in_run = false;
    };
    EncodedWord word;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '=' || !ParseEncodedWord(text, i, word)) {
            end_run();
            out += text[i++];
            continue;
        }
        for (;;) {
            if (in_run && word.charset != run_charset) end_run();
            if (!in_run) run_charset = word.charset;
            in_run = true;
            run_bytes += word.bytes;
            i += word.length;
            // Blanks between two encoded words vanish; before other text they stay.
            size_t j = i;
            while (j < text.size() && IsLinearWhiteSpace(text[j]))
                ++j;
            if (j == text.size() || !ParseEncodedWord(text, j, word)) break;
            i = j;
        }
    }
    end_run();
    return out;
}

std::string MimeField::Param(std::string_view name) const {
    for (const auto& [k, v] : params)
        if (k == name) return v;
    return {};
}

bool MimeField::HasParam(std::string_view name) const {
    for (const auto& p : params)
        if (p.first == name) return true;
    return false;
}

MimeField ParseMimeField(std::string_view text) {
    MimeField field;
    size_t semi = text.find(';');
    field.value = LowerAscii(Trim(text.substr(0, semi)));
    if (semi == std::string_view::npos) return field;

    struct Section {
        std::string value;
        bool encoded = false;
    };
    // RFC 2231 sections per parameter name, ordered by their number.
    std::map<std::string, std::map<int, Section>> split;
    std::vector<std::string> order;

    size_t i = semi + 1;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ';'))
            ++i;
        size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) break;
        std::string name = LowerAscii(Trim(text.substr(i, eq - i)));
        i = eq + 1;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        std::string value;
        bool quoted = i < text.size() && text[i] == '"';
        if (quoted) {
            ++i;
            while (i < text.size() && text[i] != '"') {
                // Only "\\" and "\"" are quoted pairs here: mail programs put Windows paths
                // ("C:\dl\a.zip") in quotes as they are.
                if (text[i] == '\\' && i + 1 < text.size() &&
                    (text[i + 1] == '\\' || text[i + 1] == '"'))
                    ++i;
                value += text[i++];
            }
            ++i;  // closing quote
            while (i < text.size() && text[i] != ';')
                ++i;
        } else {
            size_t end = text.find(';', i);
            if (end == std::string_view::npos) end = text.size();
            value = std::string(Trim(text.substr(i, end - i)));
            i = end;
        }
        if (name.empty() || name.find_first_of(" \t") != std::string::npos) continue;

        // RFC 2231: name*=charset'lang'%xx, name*0=.., name*1*=..
        int number = -1;
        bool encoded = false;
        size_t star = name.find('*');
        std::string base = name;
        if (star != std::string::npos) {
            base = name.substr(0, star);
            std::string rest = name.substr(star + 1);
            if (!rest.empty() && rest.back() == '*') {
                encoded = true;
                rest.pop_back();
            } else if (rest.empty()) {
                encoded = true;
            }
            if (rest.empty()) {
                number = 0;
            } else if (rest.size() <= 3 && std::all_of(rest.begin(), rest.end(), [](char c) {
                           return c >= '0' && c <= '9';
                       })) {
                number = std::stoi(rest);
            } else {
                continue;
            }
        }
        if (number < 0) {
            if (split.count(base)) continue;  // an RFC 2231 form of it wins
            field.params.emplace_back(base, DecodeEncodedWords(value));
            continue;
        }
        if (!split.count(base)) order.push_back(base);
        split[base][number] = Section{value, encoded};
    }

    for (const std::string& base : order) {
        std::string charset;
        std::string raw;
        bool first = true;
        for (auto& [n, sec] : split[base]) {
            std::string_view v = sec.value;
            if (first && sec.encoded) {
                size_t a = v.find('\'');
                size_t b = a == std::string_view::npos ? a : v.find('\'', a + 1);
                if (b != std::string_view::npos) {
                    charset = std::string(v.substr(0, a));
                    v = v.substr(b + 1);
                }
            }
            raw += sec.encoded ? PercentDecode(v) : std::string(v);
            first = false;
        }
        std::string value = ToUtf8(raw, charset);
        auto it = std::find_if(field.params.begin(), field.params.end(),
                               [&](const auto& p) { return p.first == base; });
        if (it != field.params.end())
            it->second = value;
        else
            field.params.emplace_back(base, value);
    }
    return field;
}

std::string TransferEncodingToken(std::string_view value) {
    std::string out;
    int depth = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && depth > 0) {
            ++i;  // a quoted character inside a comment
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0 && c != '"') {
            bool ends = c == ';' || c == ' ' || c == '\t';
            if (ends && !out.empty()) break;
            if (!ends) out += c;
        }
    }
    return LowerAscii(out);
}

}  // namespace codec
