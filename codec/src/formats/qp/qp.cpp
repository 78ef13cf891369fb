// Quoted-printable lines; see qp.h. Malformed escapes ("=G1", a lone "=" inside a line) are
// kept as they stand, as RFC 2045 advises for robustness.
#include "formats/qp/qp.h"

#include "base/text.h"

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

bool QpTextLines::Add(const Line& raw, Line& out) {
    if (!m_open) {
        m_text.clear();
        m_offset = raw.offset;
        m_open = true;
    }
    size_t at = m_text.size();
    if (at < LineReader::kMaxLine) {
        m_text.resize(at + raw.text.size() + 1);
        size_t n = DecodeQpLine(raw.text, true, reinterpret_cast<uint8_t*>(m_text.data() + at));
        m_text.resize(at + n);
    }
    m_next = raw.next;
    bool whole = raw.overlong || (!m_text.empty() && m_text.back() == '\n') ||
                 m_text.size() >= LineReader::kMaxLine;
    if (!whole) return false;
    if (!m_text.empty() && m_text.back() == '\n') m_text.pop_back();
    out = Line();
    out.text = m_text;
    out.offset = m_offset;
    out.next = m_next;
    out.overlong = raw.overlong;
    m_open = false;
    return true;
}

bool QpTextLines::Finish(Line& out) {
    if (!m_open) return false;
    out = Line();
    out.text = m_text;
    out.offset = m_offset;
    out.next = m_next;
    m_open = false;
    return true;
}

bool PartTextLines::Next(Line& out) {
    if (!m_qp) {
        if (!m_reader.Next(out)) return false;
    } else {
        Line raw;
        bool got = false;
        while (!got && m_reader.Next(raw))
            got = m_lines.Add(raw, out);
        if (!got && !m_lines.Finish(out)) return false;
    }
    if (m_markup) out.text = UnmarkHtml(out.text, m_unmarked);
    return true;
}

}  // namespace codec
