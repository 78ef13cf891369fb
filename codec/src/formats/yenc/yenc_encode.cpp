// yEnc data lines; see yenc_encode.h. The middle of a line goes eight bytes at a time: a word
// whose bytes need no escape (tested all at once) is written as it is.
#include "formats/yenc/yenc_encode.h"

#include <cstring>

namespace codec {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Non-zero when some byte of v is zero.
constexpr uint64_t HasZero(uint64_t v) {
    return (v - kOnes) & ~v & kHighs;
}

// Every byte plus 42, modulo 256 (no carry between bytes).
constexpr uint64_t Add42(uint64_t v) {
    return ((v & ~kHighs) + 42 * kOnes) ^ (v & kHighs);
}

bool Critical(uint8_t c) {
    return c == 0 || c == '\n' || c == '\r' || c == '=';
}

bool Blank(uint8_t c) {
    return c == '\t' || c == ' ';
}

}  // namespace

size_t EncodeYencLine(const uint8_t* in, size_t size, char* out, size_t& consumed) {
    size_t i = 0, o = 0;
    auto put = [&](uint8_t c, bool escape) {
        if (escape) {
            out[o++] = '=';
            c = static_cast<uint8_t>(c + 64);
        }
        out[o++] = static_cast<char>(c);
    };
    if (size > 0) {
        uint8_t c = static_cast<uint8_t>(in[i++] + 42);
        put(c, Critical(c) || Blank(c) || c == '.');
    }
    // Whole words while a word of escapes would still leave the line short and at least one
    // more byte follows: the last character of a line is written below, where blanks are
    // escaped too.
    while (o + 16 < kYencLine && i + 8 < size) {
        uint64_t v;
        std::memcpy(&v, in + i, 8);
        uint64_t c = Add42(v);
        if (!(HasZero(c) | HasZero(c ^ ('\n' * kOnes)) | HasZero(c ^ ('\r' * kOnes)) |
              HasZero(c ^ ('=' * kOnes)))) {
            std::memcpy(out + o, &c, 8);
            o += 8;
            i += 8;
            continue;
        }
        for (size_t k = 0; k < 8; ++k) {
            uint8_t b = static_cast<uint8_t>(in[i++] + 42);
            put(b, Critical(b));
        }
    }
    while (o < kYencLine && i < size) {
        uint8_t c = static_cast<uint8_t>(in[i++] + 42);
        bool last = o + 1 >= kYencLine || i == size;
        put(c, Critical(c) || (last && Blank(c)));
    }
    consumed = i;
    return o;
}

}  // namespace codec
