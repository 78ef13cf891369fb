// The AVX2 kernels, and the AVX-512 ones (x86 only); see simd.h. Each wider table starts as
// the one below it and replaces only the kernels that gain from wider vectors; every function
// carries its instruction sets as a target attribute, so the file builds for any x86 and only
// runs where dispatch.cpp found them.
#include "simd/scalar.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>
#include <zlib.h>

#include "base/tables.h"
#include "simd/x86_tables.h"

namespace codec {

namespace {

// A 16-byte table in both 128-bit lanes, as vpshufb looks up within each lane.
__attribute__((target("avx2"))) inline __m256i Table(const int8_t (&t)[16]) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t)));
}

// Non-zero bytes mark characters outside the Base64 alphabet.
__attribute__((target("avx2"))) inline __m256i Base64Invalid(__m256i v) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i hi = _mm256_and_si256(_mm256_srli_epi32(v, 4), nibble);
    __m256i lo = _mm256_and_si256(v, nibble);
    return _mm256_and_si256(_mm256_shuffle_epi8(Table(x86::kBase64ClassLo), lo),
                            _mm256_shuffle_epi8(Table(x86::kBase64ClassHi), hi));
}

__attribute__((target("avx2"))) inline __m256i Base64Values(__m256i v) {
    __m256i hi = _mm256_and_si256(_mm256_srli_epi32(v, 4), _mm256_set1_epi8(0x0F));
    __m256i slash = _mm256_cmpeq_epi8(v, _mm256_set1_epi8('/'));
    return _mm256_add_epi8(
        v, _mm256_shuffle_epi8(Table(x86::kBase64Roll), _mm256_add_epi8(slash, hi)));
}

// 32 six-bit values into 24 bytes at the start, eight zero bytes after them: each lane as the
// SSSE3 kernels pack it, then the two lanes' twelve bytes put side by side.
__attribute__((target("avx2"))) inline __m256i Pack(__m256i values) {
    __m256i merged = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    __m256i lanes = _mm256_madd_epi16(merged, _mm256_set1_epi32(0x00011000));
    __m256i gathered = _mm256_shuffle_epi8(lanes, Table(x86::kGather24));
    return _mm256_permutevar8x32_epi32(gathered, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

// 32 characters checked (into bad) and, when out is given, decoded.
__attribute__((target("avx2"), always_inline)) inline void Base64Block(const unsigned char* p,
                                                                       uint8_t* out, __m256i& bad) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    bad = _mm256_or_si256(bad, Base64Invalid(v));
    if (out) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), Pack(Base64Values(v)));
}

// Blocks of 32 through the line, the last one overlapping the one before where the length is
// not a multiple of 32 (so the last writes the eight bytes of slack); lines shorter than one
// block go to the SSSE3 kernel.
__attribute__((target("avx2"))) size_t Base64FullLinesAvx2(const unsigned char* p, size_t avail,
                                                           size_t stride, size_t length,
                                                           size_t maxLines, uint8_t* out) {
    if (length < 32)
        return detail::kSsse3Table.base64FullLines(p, avail, stride, length, maxLines, out);
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (!scalar::EndsLine(p, length, stride)) break;
        __m256i bad = _mm256_setzero_si256();
        size_t i = 0;
        for (; i + 32 <= length; i += 32)
            Base64Block(p + i, out ? out + i / 4 * 3 : nullptr, bad);
        if (i < length)
            Base64Block(p + length - 32, out ? out + (length - 32) / 4 * 3 : nullptr, bad);
        if (!_mm256_testz_si256(bad, bad)) break;
        if (out) out += length / 4 * 3;
    }
    return n;
}

// 32 bytes at a time for the LFs; the byte after each is looked at on its own, and what is
// left after the last whole block goes to the SSSE3 kernel from the byte before it.
__attribute__((target("avx2,bmi"))) size_t FindMarkedLineStartAvx2(const unsigned char* p,
                                                                   size_t n) {
    const __m256i lf = _mm256_set1_epi8('\n');
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        auto lfs = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf)));
        while (lfs) {
            size_t at = i + static_cast<size_t>(__builtin_ctz(lfs)) + 1;
            if (at >= n) return n;
            if (scalar::MarksLine(p[at])) return at;
            lfs &= lfs - 1;
        }
    }
    if (i == 0) return detail::kSsse3Table.findMarkedLineStart(p, n);
    return i - 1 + detail::kSsse3Table.findMarkedLineStart(p + i - 1, n - i + 1);
}

// yEnc in blocks of 64: the masks of '=', CR and LF are whole words, the escaped bytes lose
// 64 more under a mask, and the kept bytes are packed by vpcompressb and stored whole (a block
// never writes past the characters read so far, so within the room of n). A block the 64-byte
// loop cannot take, and the rest, go to the SSSE3 kernel, which stops at the same 16-byte
// block as every other table.
__attribute__((target("avx512f,avx512bw,avx512vbmi2,popcnt"))) size_t YencDecodeBlocksAvx512(
    const unsigned char* p, size_t n, uint8_t* out, bool& escape, size_t& written) {
    const __m512i eq = _mm512_set1_epi8('='), cr = _mm512_set1_epi8('\r'),
                  lf = _mm512_set1_epi8('\n');
    const __m512i offset = _mm512_set1_epi8(42), escOffset = _mm512_set1_epi8(64);
    uint64_t carry = escape ? 1 : 0;
    uint8_t* o = out;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m512i v = _mm512_loadu_si512(p + i);
        uint64_t eqMask = _mm512_cmpeq_epi8_mask(v, eq);
        uint64_t lineMask = _mm512_cmpeq_epi8_mask(v, cr) | _mm512_cmpeq_epi8_mask(v, lf);
        uint64_t escMask = eqMask << 1 | carry;
        if (escMask & (eqMask | lineMask)) break;  // "==" or an escape before a line end
        __m512i value = _mm512_sub_epi8(v, offset);
        value = _mm512_mask_sub_epi8(value, escMask, value, escOffset);
        uint64_t keep = ~(eqMask | lineMask);
        auto kept = static_cast<unsigned>(__builtin_popcountll(keep));
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, value));
        o += kept;
        carry = eqMask >> 63;
    }
    escape = carry != 0;
    size_t rest = 0;
    size_t used = detail::kSsse3Table.yencDecodeBlocks(p + i, n - i, o, escape, rest);
    written = static_cast<size_t>(o - out) + rest;
    return i + used;
}

__attribute__((target("avx512f,avx512bw"), always_inline)) inline uint64_t Is(__m512i v, char c) {
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

// 64 bytes at a time, without a branch per line: the LFs shifted on by one (the last one
// carried into the next block) against the bytes scalar::MarksLine names. What is left after the
// last whole block goes to the SSSE3 kernel from the byte before it.
__attribute__((target("avx512f,avx512bw,bmi"))) size_t FindMarkedLineStartAvx512(
    const unsigned char* p, size_t n) {
    uint64_t carry = 0;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m512i v = _mm512_loadu_si512(p + i);
        uint64_t lfs = Is(v, '\n');
        uint64_t marked = lfs | Is(v, '\r') | Is(v, '=') | Is(v, '-') | Is(v, ' ') | Is(v, '\t');
        if (uint64_t hits = (lfs << 1 | carry) & marked)
            return i + static_cast<size_t>(__builtin_ctzll(hits));
        carry = lfs >> 63;
    }
    if (i == 0) return detail::kSsse3Table.findMarkedLineStart(p, n);
    return i - 1 + detail::kSsse3Table.findMarkedLineStart(p + i - 1, n - i + 1);
}

// GCC 12's AVX-512 headers start the masked forms behind broadcasts and extracts from an
// undefined register, which it then warns may be used uninitialized; it is not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The 64-character alphabets by vpermi2b: a character's value is its entry in the lower half of
// the alphabet's 256-entry table. kInvalid has the high bit set, and so has every character
// outside that half, so the high bits of (entry | character) mark what is not in the alphabet.
struct SixBitLookup {
    __m512i lower, upper;
};

__attribute__((target("avx512f"), always_inline)) inline SixBitLookup LookupOf(
    const SixBitTable& table) {
    return {_mm512_loadu_si512(table.data()), _mm512_loadu_si512(table.data() + 64)};
}

// The values of 64 characters; the marks of those outside the alphabet are added to bad.
__attribute__((target("avx512f,avx512vbmi"), always_inline)) inline __m512i SixBitValues(
    const SixBitLookup& lookup, __m512i v, __m512i& bad) {
    __m512i values = _mm512_permutex2var_epi8(lookup.lower, v, lookup.upper);
    bad = _mm512_ternarylogic_epi64(bad, values, v, 0xFE);  // bad | values | v
    return values;
}

// Where output byte j comes from after the merge below: byte 2 - j % 3 of 32-bit lane j / 3
// (big-endian order, as kGather24 per 16 bytes).
struct Gather48 {
    alignas(64) int8_t index[64] = {};
    constexpr Gather48() {
        for (int j = 0; j < 48; ++j)
            index[j] = static_cast<int8_t>(j / 3 * 4 + 2 - j % 3);
    }
};
constexpr Gather48 kGather48;

// 64 six-bit values as 48 bytes at out: merged four to 24 bits as the SSSE3 kernels do it, and
// gathered to the front by vpermb.
__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline void Store48(
    __m512i values, uint8_t* out) {
    __m512i merged = _mm512_madd_epi16(_mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140)),
                                       _mm512_set1_epi32(0x00011000));
    __m512i bytes = _mm512_permutexvar_epi8(_mm512_load_si512(kGather48.index), merged);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm512_extracti32x4_epi32(bytes, 2));
}

// Full uuencode or xxencode lines (see uuFullLines), a line to a register; the 48 bytes stored
// for the line's 45 stay within the slack.
template <char kLead, const SixBitTable& kTable>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t SixBitFullLinesAvx512(
    const unsigned char* p, size_t avail, size_t stride, size_t maxLines, uint8_t* out) {
    const SixBitLookup lookup = LookupOf(kTable);
    const __mmask64 chars = (uint64_t{1} << 60) - 1;
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (p[0] != kLead || !scalar::EndsLine(p, 61, stride)) break;
        __m512i bad = _mm512_setzero_si512();
        __m512i values = SixBitValues(lookup, _mm512_maskz_loadu_epi8(chars, p + 1), bad);
        if (_mm512_movepi8_mask(bad) & chars) break;
        if (out) {
            Store48(values, out);
            out += 45;
        }
    }
    return n;
}

// Base64 lines of 64 characters or more: blocks of 64 through the line, the last one
// overlapping the one before where the length is not a multiple of 64, so that every load is
// within the line and the last store ends where the line's bytes do. Shorter lines go to the
// AVX2 kernel.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t Base64FullLinesAvx512(
    const unsigned char* p, size_t avail, size_t stride, size_t length, size_t maxLines,
    uint8_t* out) {
    if (length < 64) return Base64FullLinesAvx2(p, avail, stride, length, maxLines, out);
    const SixBitLookup lookup = LookupOf(kBase64Table);
    const size_t last = length - 64;
    size_t n = 0;
    for (; n < maxLines && avail >= stride; ++n, p += stride, avail -= stride) {
        if (!scalar::EndsLine(p, length, stride)) break;
        __m512i bad = _mm512_setzero_si512();
        for (size_t i = 0; i < last; i += 64) {
            __m512i values = SixBitValues(lookup, _mm512_loadu_si512(p + i), bad);
            if (out) Store48(values, out + i / 4 * 3);
        }
        __m512i values = SixBitValues(lookup, _mm512_loadu_si512(p + last), bad);
        if (_mm512_movepi8_mask(bad)) break;
        if (out) {
            Store48(values, out + last / 4 * 3);
            out += length / 4 * 3;
        }
    }
    return n;
}

// Whole lines encoded 48 bytes to a register: each three bytes spread by vpermb to b, a, c, b of
// a 32-bit lane, the four fields shifted out by vpmultishiftqb (bits 10, 4, 22 and 16 of the
// lane; vpermb looks at the low six only) and looked up in the alphabet. A line of 48 bytes or
// more takes blocks of 48, the last one ending with the line (overlapping the one before), so
// that every store ends within it. A shorter line is one block, loaded under a mask, whose
// store runs on into the lines after it, which write over it, or under a mask where fewer
// than 64 characters are left.
struct Spread48 {
    alignas(64) int8_t index[64] = {};
    constexpr Spread48() {
        for (int g = 0; g < 16; ++g) {
            index[4 * g] = static_cast<int8_t>(3 * g + 1);
            index[4 * g + 1] = static_cast<int8_t>(3 * g);
            index[4 * g + 2] = static_cast<int8_t>(3 * g + 2);
            index[4 * g + 3] = static_cast<int8_t>(3 * g + 1);
        }
    }
};
constexpr Spread48 kSpread48;

__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline __m512i SixBitChars(
    const unsigned char* p, __mmask64 bytes, __m512i alphabet) {
    __m512i in = _mm512_maskz_loadu_epi8(bytes, p);
    __m512i spread = _mm512_permutexvar_epi8(_mm512_load_si512(kSpread48.index), in);
    __m512i fields = _mm512_multishift_epi64_epi8(_mm512_set1_epi64(0x3036242a1016040a), spread);
    return _mm512_permutexvar_epi8(fields, alphabet);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t SixBitEncodeLinesAvx512(
    const unsigned char* p, size_t lines, size_t bytes, const char* alphabet, char lead,
    char* out) {
    const __m512i letters = _mm512_loadu_si512(alphabet);
    const size_t lineChars = bytes / 3 * 4;
    const char* end = out + lines * (lineChars + 1 + (lead ? 1 : 0));
    const __mmask64 block = (uint64_t{1} << 48) - 1;
    char* o = out;
    for (size_t l = 0; l < lines; ++l, p += bytes) {
        if (lead) *o++ = lead;
        if (bytes < 48) {
            __m512i chars = SixBitChars(p, (uint64_t{1} << bytes) - 1, letters);
            if (end - o >= 64)
                _mm512_storeu_si512(o, chars);
            else
                _mm512_mask_storeu_epi8(o, (uint64_t{1} << lineChars) - 1, chars);
        } else {
            for (size_t at = 0; at + 48 < bytes; at += 48)
                _mm512_storeu_si512(o + at / 3 * 4, SixBitChars(p + at, block, letters));
            _mm512_storeu_si512(o + lineChars - 64, SixBitChars(p + bytes - 48, block, letters));
        }
        o += lineChars;
        *o++ = '\n';
    }
    return static_cast<size_t>(o - out);
}

// CRC-32 folding as the SSSE3 kernel does it (see x86::Fold), four 128-bit lanes to a
// register.
using x86::Fold;
using x86::FoldBy;

__attribute__((target("avx512f,vpclmulqdq"))) inline __m512i Fold(__m512i x, __m512i k,
                                                                  __m512i next) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                     _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

// Four registers run 2048 bits apart, then fold into one, and on 512 bits at a time; its four
// lanes fold onto the last, and the 128 bits left have the same remainder as all folded, so
// the SSSE3 kernel finishes from them.
__attribute__((target("avx512f,vpclmulqdq,pclmul"))) uint32_t Crc32Avx512(uint32_t crc,
                                                                          const uint8_t* p,
                                                                          size_t n) {
    if (n < 256) return detail::kSsse3Table.crc32(crc, p, n);
    const __m512i by16 = _mm512_broadcast_i32x4(FoldBy(0x7cc8e1e7, 0x03f9f863));
    const __m512i by4 = _mm512_broadcast_i32x4(FoldBy(0x653d9822, 0xcad38e8f));
    __m512i x0 =
        _mm512_xor_si512(_mm512_loadu_si512(p), _mm512_maskz_set1_epi32(1, static_cast<int>(~crc)));
    __m512i x1 = _mm512_loadu_si512(p + 64), x2 = _mm512_loadu_si512(p + 128),
            x3 = _mm512_loadu_si512(p + 192);
    size_t i = 256;
    for (; i + 256 <= n; i += 256) {
        x0 = Fold(x0, by16, _mm512_loadu_si512(p + i));
        x1 = Fold(x1, by16, _mm512_loadu_si512(p + i + 64));
        x2 = Fold(x2, by16, _mm512_loadu_si512(p + i + 128));
        x3 = Fold(x3, by16, _mm512_loadu_si512(p + i + 192));
    }
    __m512i x = Fold(Fold(Fold(x0, by4, x1), by4, x2), by4, x3);
    for (; i + 64 <= n; i += 64)
        x = Fold(x, by4, _mm512_loadu_si512(p + i));
    // Lanes 0, 1 and 2 are 384, 256 and 128 bits ahead of lane 3.
    __m128i folded = Fold(_mm512_extracti32x4_epi32(x, 0), FoldBy(0x69ccfc0d, 0x2a283862),
                          Fold(_mm512_extracti32x4_epi32(x, 1), FoldBy(0x9570d495, 0x01b5fd1d),
                               Fold(_mm512_extracti32x4_epi32(x, 2), FoldBy(0x65673b46, 0x9ba54c6f),
                                    _mm512_extracti32x4_epi32(x, 3))));
    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), folded);
    auto c = static_cast<uint32_t>(crc32_z(0xFFFFFFFFUL, rest, 16));
    return detail::kSsse3Table.crc32(c, p + i, n - i);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

namespace detail {

void UseAvx2Kernels(Kernels& table) {
    table.name = "avx2";
    table.base64FullLines = Base64FullLinesAvx2;
    table.findMarkedLineStart = FindMarkedLineStartAvx2;
}

void UseAvx512Kernels(Kernels& table) {
    table.name = "avx512";
    table.yencDecodeBlocks = YencDecodeBlocksAvx512;
    table.crc32 = Crc32Avx512;
    table.findMarkedLineStart = FindMarkedLineStartAvx512;
    table.uuFullLines = SixBitFullLinesAvx512<'M', kUuTable>;
    table.xxFullLines = SixBitFullLinesAvx512<'h', kXxTable>;
    table.base64FullLines = Base64FullLinesAvx512;
    table.sixBitEncodeLines = SixBitEncodeLinesAvx512;
}

}  // namespace detail

}  // namespace codec

#endif
