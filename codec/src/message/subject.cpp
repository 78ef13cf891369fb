// Subject numbering and name tokens; see subject.h. Hand-written scanning rather than regular
// expressions: subjects are hostile input, and this runs once per article of a large spool.
#include "message/subject.h"

#include <cctype>
#include <vector>

#include "message/headers.h"

namespace codec {

namespace {

constexpr int kMaxPart = 999999;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads a decimal number at s[i]; false when none or too large.
bool ReadNumber(std::string_view s, size_t& i, int& value) {
    size_t start = i;
    long v = 0;
    while (i < s.size() && IsDigit(s[i])) {
        v = v * 10 + (s[i] - '0');
        if (v > kMaxPart) return false;
        ++i;
    }
    value = static_cast<int>(v);
    return i > start;
}

void SkipBlanks(std::string_view s, size_t& i) {
    while (i < s.size() && IsBlank(s[i]))
        ++i;
}

struct Match {
    size_t begin = 0, end = 0;
    int number = 0, total = 0;
};

// "(a/b)", "[a/b]" or "{a/b}" starting at s[i].
bool Bracketed(std::string_view s, size_t i, Match& m) {
    char close = s[i] == '(' ? ')' : s[i] == '[' ? ']' : '}';
    size_t j = i + 1;
    SkipBlanks(s, j);
    if (!ReadNumber(s, j, m.number)) return false;
    SkipBlanks(s, j);
    if (j >= s.size() || s[j] != '/') return false;
    ++j;
    SkipBlanks(s, j);
    if (!ReadNumber(s, j, m.total)) return false;
    SkipBlanks(s, j);
    if (j >= s.size() || s[j] != close) return false;
    m.begin = i;
    m.end = j + 1;
    return true;
}

// "a/b" as the last word.
bool TrailingSlash(std::string_view s, Match& m) {
    size_t end = s.size();
    while (end > 0 && IsBlank(s[end - 1]))
        --end;
    size_t j = end;
    while (j > 0 && IsDigit(s[j - 1]))
        --j;
    if (j == end || j == 0 || s[j - 1] != '/') return false;
    size_t slash = j - 1;
    size_t k = slash;
    while (k > 0 && IsDigit(s[k - 1]))
        --k;
    if (k == slash || (k > 0 && !IsBlank(s[k - 1]))) return false;
    size_t a = k, b = j;
    if (!ReadNumber(s, a, m.number) || !ReadNumber(s, b, m.total)) return false;
    m.begin = k;
    m.end = end;
    return true;
}

// "[part ]a of b" with "of" at s[i].
bool OfForm(std::string_view s, size_t i, Match& m) {
    if (i == 0 || !IsBlank(s[i - 1]) || i + 2 >= s.size() || !IsBlank(s[i + 2])) return false;
    size_t j = i + 2;
    SkipBlanks(s, j);
    if (!ReadNumber(s, j, m.total)) return false;
    if (j < s.size() && std::isalnum(static_cast<unsigned char>(s[j]))) return false;
    size_t k = i;
    while (k > 0 && IsBlank(s[k - 1]))
        --k;
    size_t digitsEnd = k;
    while (k > 0 && IsDigit(s[k - 1]))
        --k;
    // The number stands alone: "3 of 7", "(3 of 7)", "name.part3 of 7", not "1.2 of 2024".
    bool afterPart = k >= 4 && StartsWithNoCase(s.substr(k - 4), "part") &&
                     (k == 4 || !std::isalpha(static_cast<unsigned char>(s[k - 5])));
    if (k == digitsEnd ||
        (k > 0 && !IsBlank(s[k - 1]) && s[k - 1] != '(' && s[k - 1] != '[' && !afterPart))
        return false;
    size_t a = k;
    if (!ReadNumber(s, a, m.number)) return false;
    size_t begin = afterPart ? k - 4 : k;
    // An optional "part " before the number belongs to the numbering.
    size_t p = begin;
    while (p > 0 && IsBlank(s[p - 1]))
        --p;
    if (p >= 4 && StartsWithNoCase(s.substr(p - 4), "part") &&
        (p == 4 || !std::isalnum(static_cast<unsigned char>(s[p - 5]))))
        begin = p - 4;
    m.begin = begin;
    m.end = j;
    return true;
}

bool LooksLikeFileName(std::string_view w) {
    size_t dot = w.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 >= w.size()) return false;
    std::string_view ext = w.substr(dot + 1);
    if (ext.size() > 6) return false;
    bool letter = false, digitsOnly = true;
    for (char c : ext) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
        if (std::isalpha(static_cast<unsigned char>(c))) letter = true, digitsOnly = false;
    }
    if (w.find('/') != std::string_view::npos || w.find('\\') != std::string_view::npos)
        return false;
    return letter || (digitsOnly && ext.size() == 3);  // "film.001" split archives
}

std::string NameToken(std::string_view s) {
    // A quoted name first: "name.ext".
    size_t q = s.find('"');
    while (q != std::string_view::npos) {
        size_t q2 = s.find('"', q + 1);
        if (q2 == std::string_view::npos) break;
        std::string_view inner = Trim(s.substr(q + 1, q2 - q - 1));
        if (LooksLikeFileName(inner)) return std::string(inner);
        q = s.find('"', q2 + 1);
    }
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        size_t start = i;
        while (i < s.size() && !IsBlank(s[i]))
            ++i;
        std::string_view w = s.substr(start, i - start);
        while (!w.empty() &&
               std::string_view("([<{'\",;:").find(w.front()) != std::string_view::npos)
            w.remove_prefix(1);
        while (!w.empty() &&
               std::string_view(")]>}'\",;:.").find(w.back()) != std::string_view::npos)
            w.remove_suffix(1);
        if (LooksLikeFileName(w)) return std::string(w);
    }
    return {};
}

std::string MakeKey(std::string_view s) {
    std::string_view t = Trim(s);
    for (;;) {  // "Re: Re: " and "Re[2]: "
        if (StartsWithNoCase(t, "re:")) {
            t = Trim(t.substr(3));
        } else if (StartsWithNoCase(t, "re[")) {
            size_t close = t.find("]:");
            if (close == std::string_view::npos || close > 8) break;
            t = Trim(t.substr(close + 2));
        } else {
            break;
        }
    }
    std::string key;
    bool blank = false;
    for (char c : t) {
        if (IsBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !key.empty()) key += ' ';
        blank = false;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // Separators left dangling where the numbering stood.
    while (!key.empty() && (key.back() == '-' || key.back() == ' '))
        key.pop_back();
    return key;
}

}  // namespace

SubjectInfo ParseSubject(std::string_view subject) {
    SubjectInfo info;
    Match best;
    bool found = false;
    for (size_t i = 0; i < subject.size(); ++i) {
        Match m;
        char c = subject[i];
        bool ok = false;
        if (c == '(' || c == '[' || c == '{') {
            ok = Bracketed(subject, i, m);
        } else if ((c == 'o' || c == 'O') && i + 1 < subject.size() &&
                   (subject[i + 1] == 'f' || subject[i + 1] == 'F')) {
            ok = OfForm(subject, i, m);
        }
        if (ok && m.total > 0 && m.number <= m.total && (!found || m.begin >= best.begin)) {
            best = m;
            found = true;
        }
    }
    Match tail;
    if (TrailingSlash(subject, tail) && tail.total > 0 && tail.number <= tail.total &&
        (!found || tail.begin > best.begin)) {
        best = tail;
        found = true;
    }
    std::string rest(subject);
    if (found) {
        info.number = best.number;
        info.total = best.total;
        rest = std::string(subject.substr(0, best.begin)) + " " +
               std::string(subject.substr(best.end));
    }
    info.key = MakeKey(rest);
    info.nameToken = NameToken(rest);
    return info;
}

}  // namespace codec
