// Every kernel of every vector table the processor has against the reference on the same input, and
// the decoders built on them with either table active: whatever the contract says must be equal
// (counts, bytes written, carried state) is, or the run aborts.
//
// The first two input bytes choose the parameters (line ends, limits, carried escape, piece
// size); the rest is used as it is and, for the line kernels, mapped onto each alphabet in
// lines of the right length, where the top few byte values break the shape.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_sink.h"
#include "base/tables.h"
#include "formats/base64/base64.h"
#include "formats/binhex/binhex.h"
#include "formats/uu/uu.h"
#include "formats/yenc/yenc.h"
#include "simd/simd.h"

namespace {

using codec::Kernels;
using Bytes = std::vector<unsigned char>;

void Require(bool ok) {
    if (!ok) abort();
}

bool Same(const uint8_t* a, const uint8_t* b, size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

// Lines of `length` characters of an alphabet after `lead`, each ended by LF or CRLF. The top
// byte values break the shape: 0xF8 to 0xFD put a foreign character (or a bare LF or CR) in
// place of one of the alphabet, 0xFE cuts the line short and 0xFF ends it with the other line
// end (at the end of a full line: a full line with the wrong line end). `cut` leaves the last
// byte off.
Bytes Lines(const unsigned char* p, size_t n, std::string_view lead, std::string_view alphabet,
            size_t length, bool crlf, bool cut) {
    static constexpr char kFaults[] = "=:- \n\r";
    Bytes text;
    auto end = [&](bool other) {
        if (crlf != other) text.push_back('\r');
        text.push_back('\n');
    };
    size_t column = 0;
    for (size_t i = 0; i < n; ++i) {
        if (column == 0) text.insert(text.end(), lead.begin(), lead.end());
        if (p[i] >= 0xFE || column == length) {
            end(p[i] == 0xFF);
            column = 0;
            if (p[i] >= 0xFE) continue;
            text.insert(text.end(), lead.begin(), lead.end());
        }
        text.push_back(static_cast<unsigned char>(p[i] >= 0xF8 ? kFaults[p[i] - 0xF8]
                                                               : alphabet[p[i] % alphabet.size()]));
        ++column;
    }
    if (column) end(false);
    if (cut && !text.empty()) text.pop_back();
    return text;
}

void CompareKernels(const Kernels& ref, const Kernels& vec, const unsigned char* p, size_t n,
                    uint8_t a, uint8_t b) {
    Require(ref.uuAllValid(p, n) == vec.uuAllValid(p, n));
    Require(ref.base64AllValid(p, n) == vec.base64AllValid(p, n));
    Require(ref.binHexAllValid(p, n) == vec.binHexAllValid(p, n));
    Require(ref.findMarkedLineStart(p, n) == vec.findMarkedLineStart(p, n));
    uint32_t seed = uint32_t{a} << 24 | uint32_t{b} << 8 | a;
    Require(ref.crc32(seed, p, n) == vec.crc32(seed, p, n));
    Require(ref.crc16(static_cast<uint16_t>(seed), p, n) ==
            vec.crc16(static_cast<uint16_t>(seed), p, n));

    {
        size_t groups = n / 4;
        std::vector<uint8_t> x(groups * 3 + 4), y(groups * 3 + 4);
        ref.uuDecodeGroups(p, groups, x.data());
        vec.uuDecodeGroups(p, groups, y.data());
        Require(Same(x.data(), y.data(), groups * 3));
    }
    {
        std::vector<uint8_t> x(n / 16 * 12 + 4), y(n / 16 * 12 + 4);
        size_t used = ref.base64DecodeBlocks(p, n, x.data());
        Require(used == vec.base64DecodeBlocks(p, n, y.data()) && used % 16 == 0);
        Require(Same(x.data(), y.data(), used / 16 * 12));
        size_t wx = 0, wy = 1;
        used = ref.binHexDecodeBlocks(p, n, x.data(), wx);
        Require(used == vec.binHexDecodeBlocks(p, n, y.data(), wy) && wx == wy);
        Require(Same(x.data(), y.data(), wx));
    }
    {
        std::string x(n / 12 * 16, '\0'), y(n / 12 * 16, '\0');
        size_t done = ref.base64EncodeBlocks(p, n, x.data());
        Require(done == vec.base64EncodeBlocks(p, n, y.data()) && x == y);
        // Whole lines of 45 (uu, xx) or 57 (Base64) bytes, and of a length the input picks
        // (18 to 99 bytes, with a length character where one exists), into room sized exactly.
        for (const char* alphabet : {codec::kUuAlphabet.data(), codec::kXxAlphabet.data(),
                                     codec::kBase64Alphabet.data()}) {
            bool base64 = alphabet == codec::kBase64Alphabet.data();
            for (size_t bytes : {size_t{base64 ? 57u : 45u}, size_t{18u + 3u * (a % 28u)}}) {
                char lead = base64 || bytes >= 64 ? '\0' : alphabet[bytes];
                size_t lines = n / bytes;
                std::vector<char> lx(lines * (bytes / 3 * 4 + 1 + (lead != 0))), ly(lx.size());
                size_t wrote = ref.sixBitEncodeLines(p, lines, bytes, alphabet, lead, lx.data());
                Require(wrote == lx.size() &&
                        wrote ==
                            vec.sixBitEncodeLines(p, lines, bytes, alphabet, lead, ly.data()) &&
                        lx == ly);
            }
        }
    }
    {
        // From the start, then on from wherever each call stopped, as the decoder does.
        std::vector<uint8_t> x(n + 16), y(n + 16);
        bool ex = a & 1, ey = ex;
        for (size_t at = 0; at < n;) {
            size_t wx = 0, wy = 1;
            size_t used = ref.yencDecodeBlocks(p + at, n - at, x.data(), ex, wx);
            Require(used == vec.yencDecodeBlocks(p + at, n - at, y.data(), ey, wy));
            Require(ex == ey && wx == wy && Same(x.data(), y.data(), wx));
            at += used;
            if (at < n) ex = ey = p[at++] == '=';
        }
    }

    bool crlf = a & 2;
    {
        std::string uu;
        for (int c = 0x20; c <= 0x60; ++c)
            uu += static_cast<char>(c);
        Bytes text = Lines(p, n, "M", uu, 60, crlf, a & 16);
        size_t maxLines = a & 4 ? b : SIZE_MAX;
        size_t room = std::min(maxLines, text.size() / 62) * 45 + 4;
        std::vector<uint8_t> x(room), y(room);
        bool decode = a & 8;
        size_t stride = crlf ? 63 : 62;
        size_t lines = ref.uuFullLines(text.data(), text.size(), stride, maxLines,
                                       decode ? x.data() : nullptr);
        Require(lines == vec.uuFullLines(text.data(), text.size(), stride, maxLines,
                                         decode ? y.data() : nullptr));
        Require(!decode || Same(x.data(), y.data(), lines * 45));
    }
    {
        size_t length = 16 + b % 100;
        Bytes text = Lines(p, n, "", codec::kBase64Alphabet, length, crlf, a & 16);
        size_t stride = length + (crlf ? 2 : 1);
        size_t maxLines = a & 4 ? b : SIZE_MAX;
        bool decode = a & 8 && length % 4 == 0;
        size_t per = length / 4 * 3;
        std::vector<uint8_t> u(std::min(maxLines, text.size() / stride) * per + 8), v(u.size());
        size_t lines = ref.base64FullLines(text.data(), text.size(), stride, length, maxLines,
                                           decode ? u.data() : nullptr);
        Require(lines == vec.base64FullLines(text.data(), text.size(), stride, length, maxLines,
                                             decode ? v.data() : nullptr));
        Require(!decode || Same(u.data(), v.data(), lines * per));
        text = Lines(p, n, "", codec::kBinHexAlphabet, 64, crlf, a & 16);
        Require(ref.binHexFullLines(text.data(), text.size(), crlf ? 66 : 65) ==
                vec.binHexFullLines(text.data(), text.size(), crlf ? 66 : 65));
        // The block decoder over real line ends.
        std::vector<uint8_t> x(text.size() / 16 * 12 + 4), y(text.size() / 16 * 12 + 4);
        size_t wx = 0, wy = 1;
        size_t used = ref.binHexDecodeBlocks(text.data(), text.size(), x.data(), wx);
        Require(used == vec.binHexDecodeBlocks(text.data(), text.size(), y.data(), wy));
        Require(wx == wy && Same(x.data(), y.data(), wx));
    }
}

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

// What the decoders make of the text, fed in pieces of `piece` bytes, as one string.
std::string Decoders(const Kernels& k, std::string_view text, size_t piece) {
    codec::UseKernels(&k);
    std::string out;
    std::vector<uint8_t> buffer(piece + 16);
    codec::Base64Decoder base64;
    codec::YencDecoder yenc;
    codec::BinHexDecoder binhex;
    Collect sink;
    std::string b64, y;
    for (size_t at = 0; at < text.size(); at += piece) {
        std::string_view s = text.substr(at, piece);
        size_t got = base64.Decode(s.data(), s.size(), buffer.data());
        b64.append(buffer.begin(), buffer.begin() + static_cast<long>(got));
        got = yenc.Decode(s.data(), s.size(), buffer.data());
        y.append(buffer.begin(), buffer.begin() + static_cast<long>(got));
        binhex.Feed(s.data(), s.size(), &sink);
    }
    size_t got = base64.Finish(buffer.data());
    b64.append(buffer.begin(), buffer.begin() + static_cast<long>(got));
    binhex.Flush(&sink);
    codec::BinHexCheck c = binhex.Check();
    out += b64 + '|' + std::to_string(base64.skipped()) + '|' + y + '|';
    out.append(sink.bytes.begin(), sink.bytes.end());
    out += std::to_string(c.headerDone) + std::to_string(c.complete) + std::to_string(c.headerOk) +
           std::to_string(c.dataOk) + std::to_string(c.resourceOk);

    // uuencode line by line, and the runs of full lines.
    for (size_t at = 0; at < text.size();) {
        size_t lf = text.find('\n', at);
        size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(at, end - at);
        out += std::to_string(codec::RunOfFullLines(codec::kUuTable, text.substr(at), 62));
        out += std::to_string(codec::RunOfFullLines(codec::kUuTable, text.substr(at), 63));
        codec::UuLine u = codec::ClassifyUuLine(codec::kUuTable, line, true);
        out += std::to_string(static_cast<int>(u.kind));
        if (u.kind == codec::LineKind::kData) {
            std::vector<uint8_t> bytes(static_cast<size_t>(u.bytes) + codec::kUuSlack);
            codec::DecodeUuLine(codec::kUuTable, line, u.bytes, bytes.data());
            out.append(bytes.begin(), bytes.begin() + u.bytes);
        }
        out += codec::IsBinHexText(line) ? 'h' : '.';
        at = end + 1;
    }
    codec::UseKernels(nullptr);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint8_t a = data[0], b = data[1];
    // A copy of exactly the input's size, so that reading past it is caught.
    Bytes in(data + 2, data + size);
    std::string_view text(reinterpret_cast<const char*>(in.data()), in.size());
    size_t piece = 1 + b * 8u;
    std::string want = Decoders(codec::ScalarKernels(), text, piece);
    for (auto get : {codec::Ssse3Kernels, codec::Avx2Kernels, codec::Avx512Kernels}) {
        const Kernels* vec = get();
        if (!vec) continue;
        CompareKernels(codec::ScalarKernels(), *vec, in.data(), in.size(), a, b);
        Require(Decoders(*vec, text, piece) == want);
    }
    return 0;
}
