// Charset conversion; see charset.h.
#include "base/charset.h"

#include <errno.h>
#include <iconv.h>

#include <array>

#include "base/text.h"

namespace codec {

namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// Length of the valid UTF-8 sequence at s[i], or 0 when none starts there.
size_t SequenceLength(std::string_view s, size_t i) {
    auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = at(i);
    if (c < 0x80) return 1;
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;  // overlong
        if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;  // overlong
        if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - i < n) return 0;
    if (at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

// Charset names are tokens (RFC 2045, 5.1); anything else, "//" suffixes that would change
// what iconv does included, is no charset.
bool IsCharsetToken(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                  c == '.' || c == ':' || c == '+';
        if (!ok) return false;
    }
    return true;
}

iconv_t Open(const std::string& name) {
    if (!IsCharsetToken(name)) return kNoDescriptor;
    std::string_view n = name;
    if (n == "ks_c_5601-1987") n = "cp949";
    if (n == "gb2312") n = "gbk";
    iconv_t cd = iconv_open("UTF-8", std::string(n).c_str());
    if (cd == kNoDescriptor && n.substr(0, 2) == "x-")
        cd = iconv_open("UTF-8", std::string(n.substr(2)).c_str());
    return cd;
}

// The descriptors of one thread by charset name (lower case); unknown names are remembered
// too, so that they are not looked up again.
class DescriptorCache {
  public:
    DescriptorCache() = default;
    DescriptorCache(const DescriptorCache&) = delete;
    DescriptorCache& operator=(const DescriptorCache&) = delete;
    ~DescriptorCache() {
        for (Entry& e : m_entries)
            if (e.cd != kNoDescriptor) iconv_close(e.cd);
    }

    iconv_t Get(const std::string& name) {
        for (Entry& e : m_entries)
            if (e.used && e.name == name) return e.cd;
        Entry& e = m_entries[m_next];
        m_next = (m_next + 1) % m_entries.size();
        if (e.cd != kNoDescriptor) iconv_close(e.cd);
        e.name = name;
        e.cd = Open(name);
        e.used = true;
        return e.cd;
    }

  private:
    struct Entry {
        std::string name;
        iconv_t cd = kNoDescriptor;
        bool used = false;
    };
    std::array<Entry, 8> m_entries;
    size_t m_next = 0;
};

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = SequenceLength(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string CleanUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    bool badRun = false;
    for (size_t i = 0; i < s.size();) {
        size_t n = SequenceLength(s, i);
        if (n == 0) {
            if (!badRun) out += kReplacementUtf8;
            badRun = true;
            ++i;
            continue;
        }
        badRun = false;
        unsigned char c = static_cast<unsigned char>(s[i]);
        bool control =
            c < 0x20 || c == 0x7F || (c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0);
        if (control)
            out += kReplacementUtf8;
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

bool IconvToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    thread_local DescriptorCache cache;
    iconv_t cd = cache.Get(LowerAscii(Trim(charset)));
    if (cd == kNoDescriptor) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state

    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    bool badRun = false;  // the last thing written is a U+FFFD for bad input
    // One call of iconv into the room after out; no input asks for what a stateful charset
    // still owes (the return to its initial state). Returns whether it failed, errno kept.
    auto convert = [&](bool flush) {
        size_t used = out.size();
        out.resize(used + inLeft * 4 + 32);
        char* o = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t r = flush ? iconv(cd, nullptr, nullptr, &o, &outLeft)
                         : iconv(cd, &in, &inLeft, &o, &outLeft);
        int error = errno;
        size_t written = static_cast<size_t>(o - (out.data() + used));
        out.resize(used + written);
        if (written > 0) badRun = false;
        errno = error;
        return r == static_cast<size_t>(-1);
    };
    while (inLeft > 0 && convert(false)) {
        if (errno == E2BIG) continue;
        if (!badRun) out += kReplacementUtf8;
        badRun = true;
        if (errno == EINVAL) break;  // a character cut at the end
        ++in;                        // an invalid sequence: go on after its first byte
        --inLeft;
    }
    while (convert(true) && errno == E2BIG) {
    }
    return true;
}

}  // namespace codec
