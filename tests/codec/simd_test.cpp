// The kernel tables: every kernel of every vector table this processor has against the plain
// reference, on seeded random inputs around the block sizes, and the decoders built on them
// giving the same bytes with either table; and the switches that choose the table.
//
// Inputs and outputs live in buffers of exactly the size the contract allows, so that a
// kernel reading or writing past it shows up under AddressSanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/byte_sink.h"
#include "base/tables.h"
#include "formats/base64/base64.h"
#include "formats/binhex/binhex.h"
#include "formats/uu/uu.h"
#include "formats/yenc/yenc.h"
#include "simd/simd.h"
#include "support/test_support.h"

namespace {

using codec::Kernels;
using Bytes = std::vector<unsigned char>;

// Lengths around the 16-byte blocks and the 64-byte folds, and some long runs.
std::vector<size_t> Lengths() {
    std::vector<size_t> n;
    for (size_t i = 0; i <= 200; ++i)
        n.push_back(i);
    for (size_t i : {255, 256, 257, 1000, 4099, 65541})
        n.push_back(i);
    return n;
}

// Characters of an alphabet, with about one in `rarity` a random byte instead (0: never).
Bytes Mostly(std::mt19937& rng, size_t n, std::string_view alphabet, unsigned rarity) {
    Bytes b(n);
    for (auto& c : b)
        c = rarity && rng() % rarity == 0
                ? static_cast<unsigned char>(rng())
                : static_cast<unsigned char>(alphabet[rng() % alphabet.size()]);
    return b;
}

const std::string kUuChars = [] {
    std::string s;
    for (int c = 0x20; c <= 0x60; ++c)
        s += static_cast<char>(c);
    return s;
}();

// Makes a table the active one for a scope.
struct UsingKernels {
    explicit UsingKernels(const Kernels& k) { codec::UseKernels(&k); }
    ~UsingKernels() { codec::UseKernels(nullptr); }
};

struct VectorTable {
    const char* name;
    const Kernels* (*get)();
};

void PrintTo(const VectorTable& table, std::ostream* os) {
    *os << table.name;
}

class KernelsAgree : public testing::TestWithParam<VectorTable> {
  protected:
    void SetUp() override {
        vec = GetParam().get();
        if (!vec) GTEST_SKIP() << GetParam().name << " not on this processor";
    }
    const Kernels& ref = codec::ScalarKernels();
    const Kernels* vec = nullptr;
    std::mt19937 rng{20240611};
};

INSTANTIATE_TEST_SUITE_P(Tables, KernelsAgree,
                         testing::Values(VectorTable{"ssse3", codec::Ssse3Kernels},
                                         VectorTable{"avx2", codec::Avx2Kernels},
                                         VectorTable{"avx512", codec::Avx512Kernels}),
                         [](const auto& table) { return std::string(table.param.name); });

TEST_P(KernelsAgree, AlphabetChecks) {
    struct Check {
        const char* what;
        std::string alphabet;
        bool (*Kernels::*kernel)(const unsigned char*, size_t);
    } checks[] = {{"uu", kUuChars, &Kernels::uuAllValid},
                  {"base64", std::string(codec::kBase64Alphabet), &Kernels::base64AllValid},
                  {"binhex", std::string(codec::kBinHexAlphabet), &Kernels::binHexAllValid}};
    for (const Check& c : checks) {
        SCOPED_TRACE(c.what);
        size_t valid = 0, invalid = 0;
        for (size_t n : Lengths())
            for (int trial = 0; trial < 6; ++trial) {
                Bytes b = Mostly(rng, n, c.alphabet, trial < 2 ? 0 : trial < 5 ? 0 : 8);
                if (n && trial >= 2 && trial < 5) b[rng() % n] = static_cast<unsigned char>(rng());
                bool expected = (ref.*c.kernel)(b.data(), n);
                ASSERT_EQ(expected, (vec->*c.kernel)(b.data(), n)) << n << " trial " << trial;
                ++(expected ? valid : invalid);
            }
        EXPECT_GT(valid, 400u);
        EXPECT_GT(invalid, 400u);
    }
}

TEST_P(KernelsAgree, UuGroups) {
    for (size_t groups = 0; groups < 400; groups += groups < 70 ? 1 : 37) {
        for (bool anyByte : {false, true}) {
            Bytes in =
                anyByte ? Mostly(rng, groups * 4, "", 1) : Mostly(rng, groups * 4, kUuChars, 0);
            std::vector<uint8_t> a(groups * 3 + 4), b(groups * 3 + 4);
            ref.uuDecodeGroups(in.data(), groups, a.data());
            vec->uuDecodeGroups(in.data(), groups, b.data());
            ASSERT_TRUE(std::equal(a.begin(), a.end() - 4, b.begin())) << groups;
        }
    }
}

// Runs of lines of one shape, some with a fault at a random place (a foreign byte, or a line
// end moved), cut short at a random place.
std::string LineRun(std::mt19937& rng, size_t lines, std::string_view lead,
                    std::string_view alphabet, size_t length, bool crlf) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) {
        std::string line(lead);
        for (size_t k = 0; k < length; ++k)
            line += alphabet[rng() % alphabet.size()];
        line += crlf ? "\r\n" : "\n";
        if (rng() % 6 == 0) {
            size_t at = rng() % line.size();
            line[at] = "\n\r= -:\x80M"[rng() % 8];
            if (rng() % 2) line[at] = static_cast<char>(rng());
        }
        text += line;
    }
    return text;
}

TEST_P(KernelsAgree, FullLines) {
    size_t full = 0, stopped = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        bool crlf = trial % 2;
        size_t lines = rng() % 40;
        int kind = trial / 2 % 4;  // uu, Base64, BinHex, xx
        bool uu = kind == 0 || kind == 3;
        size_t length = uu ? 60 : kind == 2 ? 64 : 16 + rng() % 90;
        size_t stride = length + (uu ? 1 : 0) + (crlf ? 2 : 1);
        std::string alphabet = kind == 0   ? kUuChars
                               : kind == 1 ? std::string(codec::kBase64Alphabet)
                               : kind == 2 ? std::string(codec::kBinHexAlphabet)
                                           : std::string(codec::kXxAlphabet);
        std::string text = LineRun(rng, lines,
                                   kind == 0   ? "M"
                                   : kind == 3 ? "h"
                                               : "",
                                   alphabet, length, crlf);
        size_t cut = rng() % 3 == 0 ? rng() % (stride + 1) : 0;
        Bytes in(text.begin(), text.end() - static_cast<long>(std::min(cut, text.size())));
        SCOPED_TRACE(testing::Message() << "kind " << kind << " length " << length << " stride "
                                        << stride << " lines " << lines << " avail " << in.size());
        size_t a = 0, b = 0;
        if (uu) {
            size_t maxLines = rng() % 4 == 0 ? rng() % 45 : SIZE_MAX;
            size_t room = std::min(maxLines, lines) * 45 + 4;
            std::vector<uint8_t> outA(room), outB(room);
            bool decode = rng() % 4 != 0;
            auto run = kind == 0 ? ref.uuFullLines : ref.xxFullLines;
            auto fast = kind == 0 ? vec->uuFullLines : vec->xxFullLines;
            a = run(in.data(), in.size(), stride, maxLines, decode ? outA.data() : nullptr);
            b = fast(in.data(), in.size(), stride, maxLines, decode ? outB.data() : nullptr);
            ASSERT_EQ(a, b);
            EXPECT_TRUE(
                std::equal(outA.begin(), outA.begin() + static_cast<long>(a * 45), outB.begin()));
            // What the scalar kernel decodes is what the classifier and line decoder make of
            // each line.
            const codec::SixBitTable& table = kind == 0 ? codec::kUuTable : codec::kXxTable;
            for (size_t k = 0; decode && k < a; ++k) {
                std::string_view line(reinterpret_cast<const char*>(in.data()) + k * stride, 61);
                ASSERT_TRUE(codec::IsFullUuLine(table, line)) << k;
                uint8_t want[45 + 4];
                codec::DecodeUuLine(table, line, 45, want);
                ASSERT_TRUE(std::equal(want, want + 45, outA.begin() + static_cast<long>(k * 45)));
            }
        } else if (kind == 1) {
            size_t maxLines = rng() % 4 == 0 ? rng() % 45 : SIZE_MAX;
            size_t per = length / 4 * 3;
            std::vector<uint8_t> outA(std::min(maxLines, lines) * per + 8), outB(outA.size());
            bool decode = length % 4 == 0 && rng() % 4 != 0;
            a = ref.base64FullLines(in.data(), in.size(), stride, length, maxLines,
                                    decode ? outA.data() : nullptr);
            b = vec->base64FullLines(in.data(), in.size(), stride, length, maxLines,
                                     decode ? outB.data() : nullptr);
            ASSERT_EQ(a, b);
            EXPECT_TRUE(
                std::equal(outA.begin(), outA.begin() + static_cast<long>(a * per), outB.begin()));
            // What the scalar kernel decodes is what the streaming decoder makes of each line.
            for (size_t k = 0; decode && k < a; ++k) {
                codec::Base64Decoder decoder;
                std::vector<uint8_t> want(per + 8);
                ASSERT_EQ(per, decoder.Decode(reinterpret_cast<const char*>(in.data()) + k * stride,
                                              length, want.data()));
                ASSERT_TRUE(std::equal(want.begin(), want.begin() + static_cast<long>(per),
                                       outA.begin() + static_cast<long>(k * per)));
            }
        } else {
            a = ref.binHexFullLines(in.data(), in.size(), stride);
            b = vec->binHexFullLines(in.data(), in.size(), stride);
        }
        ASSERT_EQ(a, b);
        ++(a == lines ? full : stopped);
    }
    EXPECT_GT(full, 100u);
    EXPECT_GT(stopped, 500u);
}

TEST_P(KernelsAgree, Base64Blocks) {
    std::string alphabet = std::string(codec::kBase64Alphabet);
    for (size_t n : Lengths())
        for (int trial = 0; trial < 4; ++trial) {
            SCOPED_TRACE(testing::Message() << n << " trial " << trial);
            Bytes in = Mostly(rng, n, alphabet, trial == 0 ? 0 : 60);
            if (n && trial == 3) in[rng() % n] = "\n\r=\t"[rng() % 4];
            std::vector<uint8_t> a(n / 16 * 12 + 4), b(n / 16 * 12 + 4);
            size_t used = ref.base64DecodeBlocks(in.data(), n, a.data());
            ASSERT_EQ(used, vec->base64DecodeBlocks(in.data(), n, b.data()));
            ASSERT_EQ(used % 16, 0u);
            EXPECT_TRUE(
                std::equal(a.begin(), a.begin() + static_cast<long>(used / 16 * 12), b.begin()));
            if (trial == 0) {
                EXPECT_EQ(n / 16 * 16, used);
            }

            Bytes raw = Mostly(rng, n, "", 1);
            std::string ca(n / 12 * 16, '?'), cb(n / 12 * 16, '?');
            size_t encoded = ref.base64EncodeBlocks(raw.data(), n, ca.data());
            ASSERT_EQ(encoded, vec->base64EncodeBlocks(raw.data(), n, cb.data()));
            ASSERT_EQ(ca, cb);
            EXPECT_EQ(n < 16 ? 0 : (n - 4) / 12 * 12, encoded);
        }
}

// Whole lines for each alphabet and line length, with and without a length character; the
// reference's lines are what sharutils and coreutils write (see the encode tests).
TEST_P(KernelsAgree, SixBitLines) {
    for (std::string_view alphabet :
         {codec::kUuAlphabet, codec::kXxAlphabet, codec::kBase64Alphabet})
        for (size_t bytes :
             {size_t{45}, size_t{57}, size_t{48}, size_t{18}, size_t{27}, size_t{99}})
            for (size_t lines : {size_t{0}, size_t{1}, size_t{2}, size_t{37}}) {
                SCOPED_TRACE(testing::Message() << alphabet[1] << " " << bytes << " " << lines);
                Bytes raw = Mostly(rng, lines * bytes, "", 1);
                char lead = bytes == 57 || bytes >= 64 ? '\0' : alphabet[bytes];
                size_t each = bytes / 3 * 4 + 1 + (lead != 0);
                // Room sized exactly, so that a write past it is seen.
                std::vector<char> a(lines * each, '?'), b(lines * each, '?');
                ASSERT_EQ(lines * each, ref.sixBitEncodeLines(raw.data(), lines, bytes,
                                                              alphabet.data(), lead, a.data()));
                ASSERT_EQ(lines * each, vec->sixBitEncodeLines(raw.data(), lines, bytes,
                                                               alphabet.data(), lead, b.data()));
                EXPECT_EQ(a, b);
                for (size_t l = 0; l < lines; ++l) {
                    EXPECT_EQ('\n', a[l * each + each - 1]);
                    if (lead) {
                        EXPECT_EQ(lead, a[l * each]);
                    }
                }
            }
}

TEST_P(KernelsAgree, BinHexBlocks) {
    std::string alphabet = std::string(codec::kBinHexAlphabet);
    for (size_t n : Lengths())
        for (int trial = 0; trial < 5; ++trial) {
            SCOPED_TRACE(testing::Message() << n << " trial " << trial);
            // Lines of 64 at some skew, LF or CRLF, now and then a foreign byte or a ':'.
            Bytes in = Mostly(rng, n, alphabet, trial < 2 ? 0 : 90);
            size_t skew = rng() % 64;
            for (size_t at = skew; at < n; at += 64 + 1 + trial % 2) {
                in[at] = trial % 2 ? '\r' : '\n';
                if (trial % 2 && at + 1 < n) in[at + 1] = '\n';
            }
            if (n && trial == 4) in[rng() % n] = ':';
            std::vector<uint8_t> a(n / 16 * 12 + 4), b(n / 16 * 12 + 4);
            size_t wa = 99, wb = 77;
            size_t used = ref.binHexDecodeBlocks(in.data(), n, a.data(), wa);
            ASSERT_EQ(used, vec->binHexDecodeBlocks(in.data(), n, b.data(), wb));
            ASSERT_EQ(wa, wb);
            EXPECT_TRUE(std::equal(a.begin(), a.begin() + static_cast<long>(wa), b.begin()));
        }
}

// yEnc text with many escapes, line ends, escapes before a line end, "==" and escapes across
// block edges; called again from where each call stopped, as the decoder does.
TEST_P(KernelsAgree, YencBlocks) {
    size_t consumedTotal = 0;
    for (size_t n : Lengths())
        for (int trial = 0; trial < 6; ++trial) {
            SCOPED_TRACE(testing::Message() << n << " trial " << trial);
            Bytes in(n);
            unsigned eqRate = trial < 3 ? 4 : 12;
            for (size_t i = 0; i < n; ++i) {
                unsigned r = static_cast<unsigned>(rng() % 64);
                in[i] = r < 64 / eqRate                         ? '='
                        : r < 64 / eqRate + (trial % 3 ? 3 : 0) ? "\r\n"[rng() % 2]
                                                                : static_cast<unsigned char>(rng());
                if (trial == 5 && in[i] == '=' && i + 1 < n)
                    in[++i] = static_cast<unsigned char>(rng() | 0x40);
            }
            bool escA = trial % 2, escB = escA;
            std::vector<uint8_t> a(n + 16), b(n + 16);
            for (size_t at = 0; at < n;) {
                size_t wa = 99, wb = 77;
                size_t used = ref.yencDecodeBlocks(in.data() + at, n - at, a.data(), escA, wa);
                ASSERT_EQ(used, vec->yencDecodeBlocks(in.data() + at, n - at, b.data(), escB, wb))
                    << "at " << at;
                ASSERT_EQ(escA, escB);
                ASSERT_EQ(wa, wb);
                ASSERT_TRUE(std::equal(a.begin(), a.begin() + static_cast<long>(wa), b.begin()));
                consumedTotal += used;
                // On past the first byte where they stopped, with the escape it leaves.
                at += used;
                if (at < n) escA = escB = in[at++] == '=';
            }
        }
    EXPECT_GT(consumedTotal, 100000u);
}

// Runs of yEnc output up to the first byte to escape (one in 64 or one in 512 of them), from
// every start.
TEST_P(KernelsAgree, YencEncodeRuns) {
    const unsigned char escaped[] = {0xD6, 0xE0, 0xE3, 0x13};  // + 42: NUL, LF, CR, '='
    size_t runs = 0;
    for (size_t n : Lengths())
        for (unsigned rate : {64u, 512u}) {
            SCOPED_TRACE(testing::Message() << n << " rate " << rate);
            Bytes in(n);
            for (size_t i = 0; i < n; ++i)
                in[i] = rng() % rate == 0 ? escaped[rng() % 4] : static_cast<unsigned char>(rng());
            std::vector<char> a(n), b(n);
            for (size_t at = 0; at < n; ++at) {
                size_t run = ref.yencEncodeRun(in.data() + at, n - at, a.data());
                ASSERT_EQ(run, vec->yencEncodeRun(in.data() + at, n - at, b.data())) << at;
                ASSERT_TRUE(std::equal(a.begin(), a.begin() + static_cast<long>(run), b.begin()));
                ASSERT_TRUE(run == n - at || codec::YencAlwaysEscaped(
                                                 static_cast<unsigned char>(in[at + run] + 42)));
                runs += run;
            }
        }
    EXPECT_GT(runs, 100000u);
}

TEST_P(KernelsAgree, MarkedLineStarts) {
    size_t found = 0;
    for (size_t n : Lengths())
        for (int trial = 0; trial < 5; ++trial) {
            Bytes in = Mostly(rng, n, "abcdefghijklmnopqrstuvwxyz0123456789", 0);
            unsigned lineRate = trial < 2 ? 8 : 60;
            for (size_t i = 0; i < n; ++i)
                if (rng() % lineRate == 0) {
                    in[i] = '\n';
                    if (i + 1 < n && rng() % 5 == 0) in[i + 1] = "=- \t\r\n"[rng() % 6];
                }
            for (size_t start : {size_t{0}, n / 3}) {
                size_t at = ref.findMarkedLineStart(in.data() + start, n - start);
                ASSERT_EQ(at, vec->findMarkedLineStart(in.data() + start, n - start))
                    << n << " trial " << trial;
                found += at < n - start;
            }
        }
    EXPECT_GT(found, 300u);
}

TEST_P(KernelsAgree, Crcs) {
    // Nothing, from an empty buffer (whose data() may be null), changes nothing.
    for (const Kernels* k : {&ref, vec}) {
        EXPECT_EQ(0x12345678u, k->crc32(0x12345678u, nullptr, 0)) << k->name;
        EXPECT_EQ(0x1234u, k->crc16(0x1234u, nullptr, 0)) << k->name;
    }
    Bytes data = Mostly(rng, 70000, "", 1);
    for (size_t n : Lengths())
        for (size_t start : {size_t{0}, size_t{1}, size_t{7}, size_t{13}}) {
            if (start + n > data.size()) continue;
            auto seed = static_cast<uint32_t>(rng());
            ASSERT_EQ(ref.crc32(seed, data.data() + start, n),
                      vec->crc32(seed, data.data() + start, n))
                << n << " at " << start;
            ASSERT_EQ(ref.crc16(static_cast<uint16_t>(seed), data.data() + start, n),
                      vec->crc16(static_cast<uint16_t>(seed), data.data() + start, n))
                << n << " at " << start;
        }
}

// The decoders on top of the kernels: the same bytes and the same state with either table.

class Collect : public codec::ByteSink {
  public:
    uint8_t* Reserve(size_t need) override {
        bytes.resize(used + need);
        return bytes.data() + used;
    }
    void Advance(size_t n) override {
        used += n;
        bytes.resize(used);
    }
    std::vector<uint8_t> bytes;
    size_t used = 0;
};

std::string Base64Text(const Bytes& raw, size_t perLine, bool crlf) {
    const char* a = codec::kBase64Alphabet.data();
    std::string text;
    for (size_t i = 0; i < raw.size(); i += 3) {
        uint32_t v = uint32_t{raw[i]} << 16;
        if (i + 1 < raw.size()) v |= uint32_t{raw[i + 1]} << 8;
        if (i + 2 < raw.size()) v |= raw[i + 2];
        text += a[v >> 18];
        text += a[v >> 12 & 63];
        text += i + 1 < raw.size() ? a[v >> 6 & 63] : '=';
        text += i + 2 < raw.size() ? a[v & 63] : '=';
        if ((i / 3 + 1) % (perLine / 4) == 0) text += crlf ? "\r\n" : "\n";
    }
    return text;
}

// Decodes text fed in random pieces, with the given table active.
template <class Decode>
std::vector<uint8_t> InPieces(std::mt19937 rng, const std::string& text, Decode decode) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at < text.size();) {
        size_t n = std::min<size_t>(text.size() - at, 1 + rng() % (rng() % 2 ? 40 : 3000));
        size_t fill = out.size();
        out.resize(fill + n + 16);
        out.resize(fill + decode(text.data() + at, n, out.data() + fill));
        at += n;
    }
    return out;
}

TEST_P(KernelsAgree, Base64Decoder) {
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        Bytes raw = Mostly(rng, rng() % 5000, "", 1);
        std::string text = Base64Text(raw, 4 * (1 + rng() % 20), trial % 2);
        bool clean = trial % 3 == 0;
        if (!clean)
            for (int k = 0; k < 5 && !text.empty(); ++k)
                text[rng() % text.size()] = "!.* \t"[rng() % 5];
        auto run = [&](const Kernels& k, uint64_t& skipped) {
            UsingKernels use(k);
            codec::Base64Decoder d;
            auto out =
                InPieces(std::mt19937(static_cast<unsigned>(trial)), text,
                         [&](const char* p, size_t n, uint8_t* o) { return d.Decode(p, n, o); });
            uint8_t tail[4];
            out.insert(out.end(), tail, tail + d.Finish(tail));
            skipped = d.skipped();
            return out;
        };
        uint64_t skippedA = 0, skippedB = 0;
        auto a = run(ref, skippedA), b = run(*vec, skippedB);
        ASSERT_EQ(a, b);
        EXPECT_EQ(skippedA, skippedB);
        if (clean) {
            EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.end()), a);
        }
    }
}

TEST_P(KernelsAgree, YencDecoder) {
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        Bytes raw = Mostly(rng, rng() % 6000, "", 1);
        // Critical bytes escaped, now and then one more, lines of 128 and now and then an
        // escape split by a line end.
        std::string text;
        size_t column = 0;
        for (unsigned char byte : raw) {
            auto c = static_cast<unsigned char>(byte + 42);
            // An escaped character is never a line end or an '=' itself.
            auto escaped = static_cast<unsigned char>(c + 64);
            bool escape = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                          (rng() % 16 == 0 && escaped != '\n' && escaped != '\r' && escaped != '=');
            if (escape) {
                text += '=';
                if (rng() % 20 == 0) text += "\r\n";
                c = escaped;
            }
            text += static_cast<char>(c);
            if (++column >= 128) {
                text += trial % 2 ? "\r\n" : "\n";
                column = 0;
            }
        }
        auto run = [&](const Kernels& k) {
            UsingKernels use(k);
            codec::YencDecoder d;
            return InPieces(std::mt19937(static_cast<unsigned>(trial)), text,
                            [&](const char* p, size_t n, uint8_t* o) { return d.Decode(p, n, o); });
        };
        auto a = run(ref);
        ASSERT_EQ(a, run(*vec));
        EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.end()), a);
    }
}

uint16_t BitwiseCrc16(const std::vector<uint8_t>& b) {
    uint16_t crc = 0;
    for (uint8_t byte : b) {
        crc = static_cast<uint16_t>(crc ^ byte << 8);
        for (int k = 0; k < 8; ++k)
            crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return crc;
}

// A BinHex 4.0 stream after its opening ':': header, data fork, empty resource fork, each with
// its CRC, run-length coded, in lines of 64.
std::string BinHexText(const Bytes& data, bool crlf) {
    std::vector<uint8_t> stream;
    auto field = [&](std::vector<uint8_t> bytes) {
        uint16_t crc = BitwiseCrc16(bytes);
        bytes.push_back(static_cast<uint8_t>(crc >> 8));
        bytes.push_back(static_cast<uint8_t>(crc));
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    };
    auto n = static_cast<uint32_t>(data.size());
    field({4,
           'f',
           '.',
           'b',
           'n',
           0,
           'B',
           'I',
           'N',
           'A',
           'c',
           'o',
           'd',
           'e',
           0,
           0,
           static_cast<uint8_t>(n >> 24),
           static_cast<uint8_t>(n >> 16),
           static_cast<uint8_t>(n >> 8),
           static_cast<uint8_t>(n),
           0,
           0,
           0,
           0});
    field(std::vector<uint8_t>(data.begin(), data.end()));
    field({});
    std::vector<uint8_t> rle;
    for (size_t i = 0; i < stream.size();) {
        size_t run = 1;
        while (i + run < stream.size() && stream[i + run] == stream[i] && run < 255)
            ++run;
        rle.push_back(stream[i]);
        if (stream[i] == 0x90) rle.push_back(0);
        if (run >= 3) {
            rle.push_back(0x90);
            rle.push_back(static_cast<uint8_t>(run));
        } else {
            run = 1;
        }
        i += run;
    }
    std::string text;
    uint32_t bits = 0;
    int have = 0;
    size_t column = 0;
    auto put = [&](char c) {
        text += c;
        if (++column == 64) {
            text += crlf ? "\r\n" : "\n";
            column = 0;
        }
    };
    for (uint8_t b : rle) {
        bits = bits << 8 | b;
        for (have += 8; have >= 6; have -= 6)
            put(codec::kBinHexAlphabet[bits >> (have - 6) & 63]);
    }
    if (have) put(codec::kBinHexAlphabet[bits << (6 - have) & 63]);
    return text + ":";
}

TEST_P(KernelsAgree, BinHexDecoder) {
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        Bytes data = Mostly(rng, rng() % 20000, "aaaaab\x90", trial % 2 ? 4 : 1);
        std::string text = BinHexText(data, trial % 4 >= 2);
        bool clean = trial % 3 != 0;
        if (!clean)
            for (int k = 0; k < 3; ++k)
                text[rng() % (text.size() - 1)] = "! \x80\n"[rng() % 4];
        auto run = [&](const Kernels& k, codec::BinHexCheck& check) {
            UsingKernels use(k);
            codec::BinHexDecoder d;
            Collect sink;
            std::mt19937 pieces(static_cast<unsigned>(trial));
            for (size_t at = 0; at < text.size();) {
                size_t n = std::min<size_t>(text.size() - at, 1 + pieces() % 2000);
                d.Feed(text.data() + at, n, &sink);
                at += n;
            }
            d.Flush(&sink);
            check = d.Check();
            return sink.bytes;
        };
        codec::BinHexCheck ca, cb;
        auto a = run(ref, ca), b = run(*vec, cb);
        ASSERT_EQ(a, b);
        EXPECT_EQ(std::tie(ca.headerDone, ca.complete, ca.headerOk, ca.dataOk, ca.resourceOk),
                  std::tie(cb.headerDone, cb.complete, cb.headerOk, cb.dataOk, cb.resourceOk));
        if (clean) {
            EXPECT_TRUE(ca.complete && ca.headerOk && ca.dataOk && ca.resourceOk);
            EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), a);
        }
    }
}

TEST_P(KernelsAgree, UuLines) {
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        std::string text = LineRun(rng, 1 + rng() % 60, "M", kUuChars, 60, trial % 2);
        // Lines of every length, cut and stripped.
        for (int k = 0; k < 20; ++k) {
            std::string line(1, kUuChars[1 + rng() % 45]);
            size_t chars = rng() % 64;
            for (size_t i = 0; i < chars; ++i)
                line += kUuChars[rng() % kUuChars.size()];
            text += line + "\n";
        }
        const size_t stride = trial % 2 ? 63 : 62;
        auto run = [&](const Kernels& k) {
            UsingKernels use(k);
            std::string out = std::to_string(codec::RunOfFullLines(codec::kUuTable, text, stride));
            for (size_t at = 0; at < text.size();) {
                size_t lf = text.find('\n', at);
                std::string_view line(text.data() + at, lf - at);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                codec::UuLine u = codec::ClassifyUuLine(codec::kUuTable, line, true);
                out +=
                    " " + std::to_string(static_cast<int>(u.kind)) + "/" + std::to_string(u.bytes);
                if (u.kind == codec::LineKind::kData) {
                    std::vector<uint8_t> bytes(static_cast<size_t>(u.bytes) + codec::kUuSlack);
                    codec::DecodeUuLine(codec::kUuTable, line, u.bytes, bytes.data());
                    out.append(bytes.begin(), bytes.begin() + u.bytes);
                }
                at = lf + 1;
            }
            return out;
        };
        ASSERT_EQ(run(ref), run(*vec));
    }
}

// The switches.

const Kernels* BestVectorTable() {
    for (auto get : {codec::Avx512Kernels, codec::Avx2Kernels, codec::Ssse3Kernels})
        if (const Kernels* table = get()) return table;
    return nullptr;
}

// Also run by TheEnvironmentChoosesTheDefault in a child process with TAMSEL_SCALAR set.
TEST(KernelSwitch, DefaultFollowsTheEnvironment) {
    const char* setting = std::getenv("TAMSEL_SCALAR");
    const Kernels& chosen = codec::DefaultKernels();
    std::cout << "default kernels: " << chosen.name << "\n";
    EXPECT_EQ(&codec::ChooseKernels(setting), &chosen);
    if (setting && std::strcmp(setting, "1") == 0) {
        EXPECT_EQ(&codec::ScalarKernels(), &chosen);
    }
    EXPECT_EQ(&codec::ScalarKernels(), &codec::ChooseKernels("1"));
    EXPECT_EQ(&codec::ScalarKernels(), &codec::ChooseKernels("yes"));
#if defined(__x86_64__)
    // The widest vector table wherever the processor has one, unless forced off; each wider
    // table only where the one below it is.
    EXPECT_EQ(__builtin_cpu_supports("ssse3") != 0, codec::Ssse3Kernels() != nullptr);
    EXPECT_EQ(
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && codec::Ssse3Kernels(),
        codec::Avx2Kernels() != nullptr);
    if (codec::Avx512Kernels()) {
        EXPECT_TRUE(codec::Avx2Kernels());
        EXPECT_TRUE(__builtin_cpu_supports("avx512vbmi2"));
    }
    if (const Kernels* vector = BestVectorTable()) {
        EXPECT_EQ(vector, &codec::ChooseKernels(nullptr));
        EXPECT_EQ(vector, &codec::ChooseKernels(""));
        EXPECT_EQ(vector, &codec::ChooseKernels("0"));
        if (!setting) {
            EXPECT_EQ(vector, &chosen);
        }
    }
#endif
}

TEST(KernelSwitch, TheEnvironmentChoosesTheDefault) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    auto child = [&](const std::string& env) {
        return test::ShellOutput(env + " " + test::Q(self) +
                                 " --gtest_filter=KernelSwitch.DefaultFollowsTheEnvironment 2>&1");
    };
    std::string forced = child("TAMSEL_SCALAR=1");
    EXPECT_NE(std::string::npos, forced.find("default kernels: scalar")) << forced;
    EXPECT_NE(std::string::npos, forced.find("[  PASSED  ] 1 test.")) << forced;
    std::string plain = child("env -u TAMSEL_SCALAR");
    EXPECT_NE(std::string::npos, plain.find("[  PASSED  ] 1 test.")) << plain;
    if (const Kernels* vector = BestVectorTable()) {
        EXPECT_NE(std::string::npos, plain.find(std::string("default kernels: ") + vector->name))
            << plain;
    }
}

// Every free function goes through the active table's own entry: a table of probes answers
// each with a value of its own.
TEST(KernelSwitch, TheFreeFunctionsGoThroughTheActiveTable) {
    Kernels probe = codec::ScalarKernels();
    probe.name = "probe";
    probe.uuAllValid = [](const unsigned char*, size_t n) { return n == 1; };
    probe.uuDecodeGroups = [](const unsigned char*, size_t, uint8_t* out) { out[0] = 0xA5; };
    probe.uuFullLines = [](const unsigned char*, size_t, size_t, size_t, uint8_t*) {
        return size_t{3};
    };
    probe.base64AllValid = [](const unsigned char*, size_t n) { return n == 2; };
    probe.base64FullLines = [](const unsigned char*, size_t, size_t, size_t, size_t, uint8_t*) {
        return size_t{4};
    };
    probe.base64DecodeBlocks = [](const unsigned char*, size_t, uint8_t*) { return size_t{5}; };
    probe.base64EncodeBlocks = [](const unsigned char*, size_t, char*) { return size_t{6}; };
    probe.sixBitEncodeLines = [](const unsigned char*, size_t, size_t, const char*, char, char*) {
        return size_t{13};
    };
    probe.binHexAllValid = [](const unsigned char*, size_t n) { return n == 3; };
    probe.binHexFullLines = [](const unsigned char*, size_t, size_t) { return size_t{7}; };
    probe.binHexDecodeBlocks = [](const unsigned char*, size_t, uint8_t*, size_t& w) {
        w = 1;
        return size_t{8};
    };
    probe.yencDecodeBlocks = [](const unsigned char*, size_t, uint8_t*, bool& e, size_t& w) {
        e = true;
        w = 2;
        return size_t{9};
    };
    probe.findMarkedLineStart = [](const unsigned char*, size_t) { return size_t{10}; };
    probe.crc16 = [](uint16_t, const uint8_t*, size_t) { return uint16_t{11}; };
    probe.crc32 = [](uint32_t, const uint8_t*, size_t) { return uint32_t{12}; };

    const unsigned char in[4] = {};
    uint8_t out[8] = {};
    char chars[8];
    size_t w = 0;
    bool escape = false;
    {
        UsingKernels use(probe);
        EXPECT_STREQ("probe", codec::ActiveKernels().name);
        EXPECT_TRUE(codec::UuAllValid(in, 1));
        codec::UuDecodeGroups(in, 0, out);
        EXPECT_EQ(0xA5, out[0]);
        EXPECT_EQ(3u, codec::UuFullLines(in, 0, 62, 1, nullptr));
        EXPECT_TRUE(codec::Base64AllValid(in, 2));
        EXPECT_EQ(4u, codec::Base64FullLines(in, 0, 17, 16));
        EXPECT_EQ(5u, codec::Base64DecodeBlocks(in, 0, out));
        EXPECT_EQ(6u, codec::Base64EncodeBlocks(in, 0, chars));
        EXPECT_EQ(13u, codec::SixBitEncodeLines(in, 0, 45, "", 'M', chars));
        EXPECT_TRUE(codec::BinHexAllValid(in, 3));
        EXPECT_EQ(7u, codec::BinHexFullLines(in, 0, 65));
        EXPECT_EQ(8u, codec::BinHexDecodeBlocks(in, 0, out, w));
        EXPECT_EQ(1u, w);
        EXPECT_EQ(9u, codec::YencDecodeBlocks(in, 0, out, escape, w));
        EXPECT_TRUE(escape);
        EXPECT_EQ(2u, w);
        EXPECT_EQ(10u, codec::FindMarkedLineStart(in, 0));
        EXPECT_EQ(uint16_t{11}, codec::Crc16(0, in, 0));
        EXPECT_EQ(12u, codec::Crc32(0, in, 0));
        // And so does the library above them.
        EXPECT_EQ(3u, codec::RunOfFullLines(codec::kUuTable, "", 62));
    }
    EXPECT_EQ(&codec::DefaultKernels(), &codec::ActiveKernels());
    codec::ForceScalarKernels(true);
    EXPECT_EQ(&codec::ScalarKernels(), &codec::ActiveKernels());
    codec::ForceScalarKernels(false);
    EXPECT_EQ(&codec::DefaultKernels(), &codec::ActiveKernels());
}

}  // namespace
