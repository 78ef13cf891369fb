// The SSSE3 kernels, with PCLMUL for the CRCs (x86 only); see simd.h. Every function carries
// its instruction sets as a target attribute, so the file builds for any x86 and only runs
// where dispatch.cpp found them.
//
// Decoding a 6-bit alphabet is the same three steps for uuencode and Base64: map each
// character to its 6-bit value, then merge pairs of values into 12 bits (pmaddubsw with 64
// and 1) and pairs of those into 24 bits (pmaddwd with 4096 and 1), then gather the three
// low bytes of every 32-bit lane in big-endian order (pshufb). Base64 maps characters through
// two 16-entry tables indexed by the high nibble: one tells invalid characters apart, the
// other holds the offset that turns a character into its value.
#include "simd/scalar.h"

#if defined(__x86_64__) || defined(__i386__)

#include "simd/x86_tables.h"

#include <emmintrin.h>
#include <tmmintrin.h>
#include <wmmintrin.h>
#include <zlib.h>

namespace codec {

namespace {

inline __m128i Table(const int8_t (&t)[16]) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(t));
}

__attribute__((target("ssse3"))) inline __m128i Pack(__m128i values) {
    __m128i merged = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i lanes = _mm_madd_epi16(merged, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(lanes, Table(x86::kGather24));
}

__attribute__((target("ssse3"))) void UuDecodeGroupsSsse3(const unsigned char* p, size_t groups,
                                                          uint8_t* out) {
    if (groups < 4) return scalar::UuDecodeGroups(p, groups, out);
    size_t g = 0;
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i mask = _mm_set1_epi8(0x3F);
    for (; g + 4 <= groups; g += 4, p += 16, out += 12) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        v = _mm_and_si128(_mm_sub_epi8(v, space), mask);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack(v));
    }
    if (g < groups) {
        // The last one to three groups: redo the last four, overlapping what is done (the
        // overlap is written again with the same bytes).
        size_t back = 4 - (groups - g);
        p -= back * 4;
        out -= back * 3;
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        v = _mm_and_si128(_mm_sub_epi8(v, space), mask);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack(v));
    }
}

// Bit classes of invalid characters, by low and by high nibble: a character is valid when the
// two entries share no bit. Non-zero bytes of the result mark invalid characters.
__attribute__((target("ssse3"))) inline __m128i Classes(__m128i v, __m128i lutLo, __m128i lutHi) {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    __m128i hi = _mm_and_si128(_mm_srli_epi32(v, 4), nibble);
    __m128i lo = _mm_and_si128(v, nibble);
    return _mm_and_si128(_mm_shuffle_epi8(lutLo, lo), _mm_shuffle_epi8(lutHi, hi));
}

// The xxencode alphabet ("+-", digits, upper and lower case): classes by high nibble 2 to 7,
// each invalid for the low nibbles outside its range; any other high nibble is invalid.
__attribute__((target("ssse3"))) inline __m128i XxInvalid(__m128i v) {
    return Classes(v,
                   _mm_setr_epi8(0x55, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x43,
                                 0x6A, 0x6B, 0x6A, 0x6B, 0x6B),
                   _mm_setr_epi8(0x40, 0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x40, 0x40,
                                 0x40, 0x40, 0x40, 0x40, 0x40));
}

// The values of valid xxencode characters: an offset by high nibble, one less for '-'.
__attribute__((target("ssse3"))) inline __m128i XxValues(__m128i v) {
    __m128i hi = _mm_and_si128(_mm_srli_epi32(v, 4), _mm_set1_epi8(0x0F));
    __m128i offset = _mm_shuffle_epi8(
        _mm_setr_epi8(0, 0, -43, -46, -53, -53, -59, -59, 0, 0, 0, 0, 0, 0, 0, 0), hi);
    return _mm_add_epi8(_mm_add_epi8(v, offset), _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
}

// uuencode: a character is in the alphabet when (c - 0x20) is at most 0x40, unsigned, and its
// value is that, less 0x40 ("`" is zero).
__attribute__((target("ssse3"))) inline __m128i UuInvalid(__m128i v) {
    return _mm_subs_epu8(_mm_sub_epi8(v, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x40));
}
__attribute__((target("ssse3"))) inline __m128i UuValues(__m128i v) {
    return _mm_and_si128(_mm_sub_epi8(v, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x3F));
}

// Full lines of 45 bytes ("M" or "h", 60 characters, the line end) of either alphabet. Four
// loads cover the 60 characters: 1..16, 17..32, 33..48 and 45..60. The last overlaps the third
// by one group, whose three bytes it writes again with the same values.
template <char kLength, __m128i (*Invalid)(__m128i), __m128i (*Values)(__m128i)>
__attribute__((target("ssse3"))) size_t SixBitFullLines(const unsigned char* p, size_t avail,
                                                        size_t stride, size_t maxLines,
                                                        uint8_t* out) {
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (p[0] != kLength || !scalar::EndsLine(p, 61, stride)) break;
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 17));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 33));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 45));
        __m128i bad = _mm_or_si128(_mm_or_si128(Invalid(a), Invalid(b)),
                                   _mm_or_si128(Invalid(c), Invalid(d)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) != 0xFFFF) break;
        if (out) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack(Values(a)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), Pack(Values(b)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), Pack(Values(c)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 33), Pack(Values(d)));
            out += 45;
        }
    }
    return n;
}

__attribute__((target("ssse3"))) size_t UuFullLinesSsse3(const unsigned char* p, size_t avail,
                                                         size_t stride, size_t maxLines,
                                                         uint8_t* out) {
    return SixBitFullLines<'M', UuInvalid, UuValues>(p, avail, stride, maxLines, out);
}

__attribute__((target("ssse3"))) size_t XxFullLinesSsse3(const unsigned char* p, size_t avail,
                                                         size_t stride, size_t maxLines,
                                                         uint8_t* out) {
    return SixBitFullLines<'h', XxInvalid, XxValues>(p, avail, stride, maxLines, out);
}

__attribute__((target("ssse3"))) inline __m128i Base64Invalid(__m128i v) {
    return Classes(v, Table(x86::kBase64ClassLo), Table(x86::kBase64ClassHi));
}

// The BinHex alphabet in the same form: one class bit per high nibble 2 to 7 (0x40 for all
// others), and per low nibble the classes in which it is not a character of the alphabet.
__attribute__((target("ssse3"))) inline __m128i BinHexInvalid(__m128i v) {
    return Classes(v,
                   _mm_setr_epi8(0x41, 0x40, 0x40, 0x60, 0x60, 0x60, 0x60, 0x7A, 0x60, 0x60, 0x62,
                                 0x62, 0x6A, 0x6A, 0x7B, 0x7F),
                   _mm_setr_epi8(0x40, 0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x40, 0x40,
                                 0x40, 0x40, 0x40, 0x40, 0x40));
}

__attribute__((target("ssse3"))) size_t BinHexFullLinesSsse3(const unsigned char* p, size_t avail,
                                                             size_t stride) {
    size_t n = 0;
    for (; avail >= stride; ++n, p += stride, avail -= stride) {
        if (!scalar::EndsLine(p, 64, stride)) break;
        __m128i bad = _mm_setzero_si128();
        for (size_t k = 0; k < 64; k += 16)
            bad = _mm_or_si128(
                bad, BinHexInvalid(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k))));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) != 0xFFFF) break;
    }
    return n;
}

// A BinHex character's value is the character plus an offset that depends on its high nibble,
// one less for the upper half of the nibbles 3, 5 and 6 (where the alphabet skips '7', 'W'
// and 'g').
__attribute__((target("ssse3"))) size_t BinHexDecodeBlocksSsse3(const unsigned char* p, size_t n,
                                                                uint8_t* out, size_t& written) {
    const __m128i base =
        _mm_setr_epi8(0, 0, -0x21, -0x23, -0x2A, -0x2B, -0x30, -0x33, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i upper = _mm_setr_epi8(0, 0, 0, -1, 0, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i eight = _mm_set1_epi8(0x08);
    size_t done = 0;
    uint8_t* o = out;
    while (done + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + done));
        size_t next = done + 16;
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(BinHexInvalid(v), _mm_setzero_si128())) != 0xFFFF) {
            // A block across a line end: its sixteen characters gathered without the CR and
            // LF (which the character-by-character reading skips too), then checked again.
            alignas(16) unsigned char gathered[16];
            size_t k = 0;
            for (next = done; k < 16 && next < n; ++next)
                if (p[next] != '\n' && p[next] != '\r') gathered[k++] = p[next];
            if (k < 16) break;
            v = _mm_load_si128(reinterpret_cast<const __m128i*>(gathered));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(BinHexInvalid(v), _mm_setzero_si128())) != 0xFFFF)
                break;
        }
        __m128i hi = _mm_and_si128(_mm_srli_epi32(v, 4), nibble);
        __m128i high = _mm_cmpeq_epi8(_mm_and_si128(v, eight), eight);
        __m128i offset = _mm_add_epi8(_mm_shuffle_epi8(base, hi),
                                      _mm_and_si128(high, _mm_shuffle_epi8(upper, hi)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), Pack(_mm_add_epi8(v, offset)));
        done = next;
        o += 12;
    }
    written = static_cast<size_t>(o - out);
    return done;
}

// Six-bit encoding: the twelve bytes are spread so that every 32-bit lane holds one group of
// three (`spread` picks them from the 16 loaded), and the four 6-bit fields are moved to bytes
// of their own with a multiply-high and a multiply-low.
__attribute__((target("ssse3"))) inline __m128i SixBitFields(__m128i loaded, __m128i spread) {
    __m128i in = _mm_shuffle_epi8(loaded, spread);
    __m128i hi =
        _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0FC0FC00)), _mm_set1_epi32(0x04000040));
    __m128i lo =
        _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003F03F0)), _mm_set1_epi32(0x01000010));
    return _mm_or_si128(hi, lo);
}

// The twelve bytes from the start of the 16 loaded, or from their fifth.
__attribute__((target("ssse3"))) inline __m128i SpreadFirst() {
    return _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
}
__attribute__((target("ssse3"))) inline __m128i SpreadLast() {
    return _mm_setr_epi8(5, 4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14);
}

// Base64: a field becomes its character through an offset looked up by range.
__attribute__((target("ssse3"))) size_t Base64EncodeBlocksSsse3(const unsigned char* p, size_t n,
                                                                char* out) {
    const __m128i offsets =
        _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                      '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    size_t done = 0;
    for (; done + 16 <= n; done += 12, p += 12, out += 16) {
        __m128i fields =
            SixBitFields(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), SpreadFirst());
        __m128i range = _mm_subs_epu8(fields, _mm_set1_epi8(51));
        range = _mm_or_si128(
            range, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), fields), _mm_set1_epi8(13)));
        __m128i chars = _mm_add_epi8(_mm_shuffle_epi8(offsets, range), fields);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chars);
    }
    return done;
}

// Any alphabet: a field looks its character up in each quarter of the alphabet, and only the
// quarter it falls in answers (the others see an index with the top bit set, which gives 0).
__attribute__((target("ssse3"))) inline __m128i SixBitChars(const __m128i quarter[4],
                                                            __m128i fields) {
    __m128i c = _mm_setzero_si128();
    for (int q = 0; q < 4; ++q) {
        __m128i index = _mm_add_epi8(
            _mm_xor_si128(fields, _mm_set1_epi8(static_cast<char>(q << 4))), _mm_set1_epi8(0x70));
        c = _mm_or_si128(c, _mm_shuffle_epi8(quarter[q], index));
    }
    return c;
}

__attribute__((target("ssse3"))) size_t SixBitEncodeLinesSsse3(const unsigned char* p, size_t lines,
                                                               size_t bytes, const char* alphabet,
                                                               char lead, char* out) {
    __m128i quarter[4];
    for (int q = 0; q < 4; ++q)
        quarter[q] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alphabet + 16 * q));
    const size_t lineChars = bytes / 3 * 4;
    char* o = out;
    for (size_t l = 0; l < lines; ++l, p += bytes) {
        if (lead) *o++ = lead;
        // Blocks that load within the line, then one that ends with it (overlapping the one
        // before where the line is not a multiple of twelve). Where fifteen bytes are left, the
        // first group of them is out of that one's reach: a block loaded four bytes early
        // takes the twelve from there.
        size_t at = 0;
        for (; at + 16 <= bytes; at += 12) {
            __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + at / 3 * 4),
                             SixBitChars(quarter, SixBitFields(in, SpreadFirst())));
        }
        if (bytes - at > 12) {
            __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at - 4));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + at / 3 * 4),
                             SixBitChars(quarter, SixBitFields(in, SpreadLast())));
        }
        if (at < bytes) {
            __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + bytes - 16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + lineChars - 16),
                             SixBitChars(quarter, SixBitFields(in, SpreadLast())));
        }
        o += lineChars;
        *o++ = '\n';
    }
    return static_cast<size_t>(o - out);
}

// Blocks of 16 plus 42 at once; the block with the first byte to escape is written whole
// (the slack) and counted up to that byte.
__attribute__((target("ssse3"))) size_t YencEncodeRunSsse3(const unsigned char* p, size_t n,
                                                           char* out) {
    const __m128i add = _mm_set1_epi8(42);
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i c = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), add);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), c);
        __m128i bad = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(c, _mm_setzero_si128()),
                                                _mm_cmpeq_epi8(c, _mm_set1_epi8('\n'))),
                                   _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('\r')),
                                                _mm_cmpeq_epi8(c, _mm_set1_epi8('='))));
        if (int mask = _mm_movemask_epi8(bad))
            return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
    return i + scalar::YencEncodeRun(p + i, n - i, out + i);
}

// Every 16-byte block (the last one overlapping) through a classifier; n >= 16.
template <__m128i (*Invalid)(__m128i)>
__attribute__((target("ssse3"))) bool AllValidBlocks(const unsigned char* p, size_t n) {
    __m128i acc = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        acc = _mm_or_si128(acc, Invalid(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i))));
    if (i < n)
        acc = _mm_or_si128(acc,
                           Invalid(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16))));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(acc, _mm_setzero_si128())) == 0xFFFF;
}

// A valid Base64 character's value: the character plus an offset by its high nibble.
__attribute__((target("ssse3"))) inline __m128i Base64Values(__m128i v) {
    const __m128i lutRoll = Table(x86::kBase64Roll);
    __m128i hi = _mm_and_si128(_mm_srli_epi32(v, 4), _mm_set1_epi8(0x0F));
    __m128i roll =
        _mm_shuffle_epi8(lutRoll, _mm_add_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), hi));
    return _mm_add_epi8(v, roll);
}

// Sixteen characters checked (into bad) and, when out is given, decoded.
__attribute__((target("ssse3"), always_inline)) inline void Base64Block(const unsigned char* p,
                                                                        uint8_t* out,
                                                                        __m128i& bad) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    bad = _mm_or_si128(bad, Base64Invalid(v));
    if (out) _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack(Base64Values(v)));
}

// Blocks of 16 through the line, the last one overlapping the one before where the length is
// not a multiple of 16; each is decoded as it is checked, and a line found bad is not counted.
__attribute__((target("ssse3"))) size_t Base64FullLinesSsse3(const unsigned char* p, size_t avail,
                                                             size_t stride, size_t length,
                                                             size_t maxLines, uint8_t* out) {
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (!scalar::EndsLine(p, length, stride)) break;
        __m128i bad = _mm_setzero_si128();
        for (size_t i = 0; i + 16 <= length; i += 16)
            Base64Block(p + i, out ? out + i / 4 * 3 : nullptr, bad);
        if (length % 16)
            Base64Block(p + length - 16, out ? out + (length - 16) / 4 * 3 : nullptr, bad);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) != 0xFFFF) break;
        if (out) out += length / 4 * 3;
    }
    return n;
}

__attribute__((target("ssse3"))) size_t Base64DecodeBlocksSsse3(const unsigned char* p, size_t n,
                                                                uint8_t* out) {
    size_t done = 0;
    for (; done + 16 <= n; done += 16, p += 16, out += 12) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(Base64Invalid(v), _mm_setzero_si128())) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack(Base64Values(v)));
    }
    return done;
}

// For every 8-bit mask of bytes to keep, where those bytes are, first to last, and how many.
struct Compaction {
    uint8_t index[256][8];
    uint8_t count[256];
};

constexpr Compaction MakeCompaction() {
    Compaction c{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        uint8_t k = 0;
        for (uint8_t bit = 0; bit < 8; ++bit)
            if (mask & 1u << bit) c.index[mask][k++] = bit;
        c.count[mask] = k;
        while (k < 8)
            c.index[mask][k++] = 0x80;  // pshufb writes a zero
    }
    return c;
}

constexpr Compaction kCompaction = MakeCompaction();

// Per block: the escaped positions are those after an '=' (or the first, when the previous
// block ended in one); every byte is taken less 42, escaped ones less 64 more, and the '=' and
// line-end bytes are squeezed out eight at a time through the compaction table.
__attribute__((target("ssse3"))) size_t YencDecodeBlocksSsse3(const unsigned char* p, size_t n,
                                                              uint8_t* out, bool& escape,
                                                              size_t& written) {
    const __m128i eq = _mm_set1_epi8('='), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i offset = _mm_set1_epi8(42), escOffset = _mm_set1_epi8(64);
    const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    const __m128i bits = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i eight = _mm_set1_epi8(8);
    unsigned carry = escape ? 1 : 0;
    uint8_t* o = out;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto eqMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, eq)));
        auto lineMask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        __m128i value = _mm_sub_epi8(v, offset);
        // No branch for blocks without special bytes: in yEnc data they come and go at
        // random, and a mispredicted branch costs more than the compaction.
        unsigned escMask = (eqMask << 1 | carry) & 0xFFFF;
        if (escMask & (eqMask | lineMask)) break;  // "==" or an escape before a line end
        __m128i escBytes = _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(escMask)), spread);
        escBytes = _mm_cmpeq_epi8(_mm_and_si128(escBytes, bits), bits);
        value = _mm_sub_epi8(value, _mm_and_si128(escBytes, escOffset));
        unsigned keep = ~(eqMask | lineMask) & 0xFFFF;
        unsigned lo = keep & 0xFF, hi = keep >> 8;
        __m128i lower = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompaction.index[lo]));
        __m128i upper = _mm_add_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompaction.index[hi])), eight);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(value, lower));
        o += kCompaction.count[lo];
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(value, upper));
        o += kCompaction.count[hi];
        carry = eqMask >> 15;
    }
    escape = carry != 0;
    written = static_cast<size_t>(o - out);
    return i;
}

using x86::Fold;

// Four lanes run 512 bits apart, then fold into one; the remaining 128 bits have the same
// remainder as everything folded, so zlib finishes them and the tail.
__attribute__((target("pclmul"))) uint32_t Crc32Clmul(uint32_t crc, const uint8_t* p, size_t n) {
    if (n < 64) return scalar::Crc32(crc, p, n);
    const __m128i by4 = x86::FoldBy(0x653d9822, 0xcad38e8f);
    const __m128i by1 = x86::FoldBy(0x65673b46, 0x9ba54c6f);
    auto load = [](const uint8_t* q) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    };
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    size_t i = 64;
    for (; i + 64 <= n; i += 64) {
        x0 = Fold(x0, by4, load(p + i));
        x1 = Fold(x1, by4, load(p + i + 16));
        x2 = Fold(x2, by4, load(p + i + 32));
        x3 = Fold(x3, by4, load(p + i + 48));
    }
    __m128i x = Fold(Fold(Fold(x0, by1, x1), by1, x2), by1, x3);
    for (; i + 16 <= n; i += 16)
        x = Fold(x, by1, load(p + i));
    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
    auto c = static_cast<uint32_t>(crc32_z(0xFFFFFFFFUL, rest, 16));
    return static_cast<uint32_t>(crc32_z(c, p + i, n - i));
}

inline __m128i Reverse() {
    return _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
}

__attribute__((target("ssse3"))) inline __m128i LoadReversed(const uint8_t* q, __m128i reverse) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), reverse);
}

// CRC-16/XMODEM is not reflected: bytes are turned round so that a block reads as one 128-bit
// polynomial, highest term first, and a block D bits ahead of the next is folded onto it as
// high half times x^(D+64) mod P plus low half times x^D mod P.
// The 16 folded bytes have the same CRC from zero as the bytes folded; the reference
// finishes them and the tail.
__attribute__((target("pclmul,ssse3"))) uint16_t Crc16Clmul(uint16_t crc, const uint8_t* p,
                                                            size_t n) {
    if (n < 64) return scalar::Crc16(crc, p, n);
    const __m128i by4 = _mm_set_epi64x(0x8832, 0x13fc);
    const __m128i by1 = _mm_set_epi64x(0x650b, 0xaefc);
    const __m128i r = Reverse();
    __m128i x0 = _mm_xor_si128(LoadReversed(p, r),
                               _mm_set_epi64x(static_cast<long long>(uint64_t{crc} << 48), 0));
    __m128i x1 = LoadReversed(p + 16, r), x2 = LoadReversed(p + 32, r);
    __m128i x3 = LoadReversed(p + 48, r);
    size_t i = 64;
    for (; i + 64 <= n; i += 64) {
        x0 = Fold(x0, by4, LoadReversed(p + i, r));
        x1 = Fold(x1, by4, LoadReversed(p + i + 16, r));
        x2 = Fold(x2, by4, LoadReversed(p + i + 32, r));
        x3 = Fold(x3, by4, LoadReversed(p + i + 48, r));
    }
    __m128i x = Fold(Fold(Fold(x0, by1, x1), by1, x2), by1, x3);
    for (; i + 16 <= n; i += 16)
        x = Fold(x, by1, LoadReversed(p + i, r));
    uint8_t folded[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), _mm_shuffle_epi8(x, r));
    return scalar::Crc16(scalar::Crc16(0, folded, sizeof folded), p + i, n - i);
}

__attribute__((target("ssse3"))) size_t FindMarkedLineStartSsse3(const unsigned char* p, size_t n) {
    // Sixteen bytes at a time for the LFs (about one in a hundred bytes); the byte after each
    // is looked at on its own.
    const __m128i lf = _mm_set1_epi8('\n');
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        while (lfs) {
            size_t at = i + static_cast<size_t>(__builtin_ctz(lfs)) + 1;
            if (at >= n) return n;
            if (scalar::MarksLine(p[at])) return at;
            lfs &= lfs - 1;
        }
    }
    for (i = i ? i : 1; i < n; ++i)
        if (p[i - 1] == '\n' && scalar::MarksLine(p[i])) return i;
    return n;
}

__attribute__((target("ssse3"))) bool UuAllValidSsse3(const unsigned char* p, size_t n) {
    if (n < 16) return scalar::UuAllValid(p, n);
    // Unsigned (c - 0x20) <= 0x40, as a saturating subtraction that leaves zero.
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i limit = _mm_set1_epi8(0x40);
    __m128i acc = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        acc = _mm_or_si128(acc, _mm_subs_epu8(_mm_sub_epi8(v, space), limit));
    }
    if (i < n) {  // the last 16 bytes again, overlapping
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16));
        acc = _mm_or_si128(acc, _mm_subs_epu8(_mm_sub_epi8(v, space), limit));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(acc, _mm_setzero_si128())) == 0xFFFF;
}

__attribute__((target("ssse3"))) bool Base64AllValidSsse3(const unsigned char* p, size_t n) {
    return n < 16 ? scalar::Base64AllValid(p, n) : AllValidBlocks<Base64Invalid>(p, n);
}

__attribute__((target("ssse3"))) bool BinHexAllValidSsse3(const unsigned char* p, size_t n) {
    return n < 16 ? scalar::BinHexAllValid(p, n) : AllValidBlocks<BinHexInvalid>(p, n);
}

}  // namespace

namespace detail {

const Kernels kSsse3Table = {
    "ssse3",
    UuAllValidSsse3,
    UuDecodeGroupsSsse3,
    UuFullLinesSsse3,
    XxFullLinesSsse3,
    Base64AllValidSsse3,
    Base64FullLinesSsse3,
    Base64DecodeBlocksSsse3,
    Base64EncodeBlocksSsse3,
    SixBitEncodeLinesSsse3,
    BinHexAllValidSsse3,
    BinHexFullLinesSsse3,
    BinHexDecodeBlocksSsse3,
    YencDecodeBlocksSsse3,
    YencEncodeRunSsse3,
    FindMarkedLineStartSsse3,
    Crc16Clmul,
    Crc32Clmul,
};

}  // namespace detail

}  // namespace codec

#endif
