// uuencode and xxencode line classification and decoding. The same classifier serves the scan
// and the decode, so the bytes the scan counts are the bytes the decode writes.
#include "formats/uu/uu.h"

#include "simd/simd.h"

namespace codec {

namespace {

// Every character is in the alphabet. Range tests rather than table lookups, vectorised for
// uuencode: this runs on every line of a scan.
bool AllValid(const SixBitTable& table, std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t n = s.size();
    unsigned bad = 0;
    if (&table == &kUuTable) return UuAllValid(p, n);
    if (&table == &kXxTable) {
        for (size_t i = 0; i < n; ++i) {
            unsigned char c = p[i];
            unsigned char lower = c | 0x20;
            bool ok = static_cast<unsigned char>(lower - 'a') < 26 ||
                      static_cast<unsigned char>(c - '0') < 10 || c == '+' || c == '-';
            bad |= !ok;
        }
        return bad == 0;
    }
    for (size_t i = 0; i < n; ++i)
        bad |= table[p[i]] < 0;
    return bad == 0;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

UuLine ClassifyUuLine(const SixBitTable& table, std::string_view line, bool lenient) {
    UuLine r;
    if (line.empty()) return r;
    int n = table[static_cast<unsigned char>(line[0])];
    if (n < 0) return r;
    size_t payload = line.size() - 1;
    if (n == 0) {
        // "`" alone (or with a check character or two).
        if (payload <= 2 && AllValid(table, line.substr(1))) r.kind = LineKind::kZero;
        return r;
    }
    size_t full = static_cast<size_t>((n + 2) / 3 * 4);
    size_t minimal = static_cast<size_t>((n * 4 + 2) / 3);
    if (payload > full + 2) return r;
    bool cut = payload < minimal;
    // Only uuencode has blanks to lose (xxencode writes zero as "+").
    if (cut && (!lenient || &table != &kUuTable)) return r;
    if (!AllValid(table, line.substr(1))) return r;
    // A full line cut short is data; a shorter one is as often a line of dashes as data.
    r.kind = cut && n != 45 ? LineKind::kShort : LineKind::kData;
    r.bytes = n;
    return r;
}

void DecodeUuLine(const SixBitTable& table, std::string_view line, int bytes, uint8_t* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(line.data()) + 1;
    size_t avail = line.size() - 1;
    size_t groups = static_cast<size_t>((bytes + 2) / 3);
    size_t fast = avail / 4 < groups ? avail / 4 : groups;
    size_t g = 0;
    if (&table == &kUuTable) {
        // uuencode maps a character to (c - 32) & 63: whole groups by arithmetic, no lookups.
        UuDecodeGroups(p, fast, out);
        g = fast;
        p += g * 4;
        out += g * 3;
    }
    // Whole groups present in the line: no bounds checks inside.
    for (; g < fast; ++g, p += 4, out += 3) {
        unsigned a = static_cast<unsigned>(table[p[0]]) & 63;
        unsigned b = static_cast<unsigned>(table[p[1]]) & 63;
        unsigned c = static_cast<unsigned>(table[p[2]]) & 63;
        unsigned d = static_cast<unsigned>(table[p[3]]) & 63;
        out[0] = static_cast<uint8_t>(a << 2 | b >> 4);
        out[1] = static_cast<uint8_t>(b << 4 | c >> 2);
        out[2] = static_cast<uint8_t>(c << 6 | d);
    }
    // Groups cut short (stripped blanks, or an encoder that does not pad): missing is zero.
    size_t left = avail - fast * 4;
    for (g = fast; g < groups; ++g, out += 3) {
        unsigned v[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < 4 && left > 0; ++i, --left, ++p)
            v[i] = static_cast<unsigned>(table[*p]) & 63;
        out[0] = static_cast<uint8_t>(v[0] << 2 | v[1] >> 4);
        out[1] = static_cast<uint8_t>(v[1] << 4 | v[2] >> 2);
        out[2] = static_cast<uint8_t>(v[2] << 6 | v[3]);
    }
}

bool IsDamagedUuLine(const SixBitTable& table, std::string_view line) {
    if (line.empty()) return false;
    int n = table[static_cast<unsigned char>(line[0])];
    if (n <= 0) return false;
    size_t full = static_cast<size_t>((n + 2) / 3 * 4);
    size_t payload = line.size() - 1;
    return payload + 3 >= full && payload <= full + 3 &&
           ClassifyUuLine(table, line, true).kind == LineKind::kNotData;
}

bool IsFullUuLine(const SixBitTable& table, std::string_view line) {
    if (line.size() < 61 || line.size() > 63) return false;
    if (table[static_cast<unsigned char>(line[0])] != 45) return false;
    return AllValid(table, line.substr(1));
}

size_t FullLineStride(const SixBitTable& table, std::string_view text, size_t lineBytes) {
    if (text.size() != 61 || (lineBytes != 62 && lineBytes != 63)) return 0;
    return IsFullUuLine(table, text) ? lineBytes : 0;
}

size_t FullLines(const SixBitTable& table, const unsigned char* p, size_t avail, size_t stride,
                 size_t maxLines, uint8_t* out) {
    return &table == &kXxTable ? XxFullLines(p, avail, stride, maxLines, out)
                               : UuFullLines(p, avail, stride, maxLines, out);
}

size_t RunOfFullLines(const SixBitTable& table, std::string_view data, size_t stride) {
    return FullLines(table, reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                     stride, SIZE_MAX, nullptr);
}

bool IsEndLine(std::string_view line) {
    return line.size() >= 3 && line[0] == 'e' && TrimRight(line) == "end";
}

bool ParseBeginLine(std::string_view line, std::string_view keyword, int& mode,
                    std::string_view& name) {
    if (line.size() < keyword.size() + 2 || line.substr(0, keyword.size()) != keyword) return false;
    size_t i = keyword.size();
    if (line[i] != ' ' && line[i] != '\t') return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    size_t digits = 0;
    int m = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7' && digits < 6) {
        m = m * 8 + (line[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0) return false;
    if (i < line.size() && line[i] != ' ' && line[i] != '\t') return false;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    mode = m;
    name = TrimRight(line.substr(i));
    return true;
}

}  // namespace codec
