// yEnc data lines; see yenc_encode.h. The middle of a line goes through the vector kernel,
// which writes runs of bytes that need no escape sixteen at a time.
#include "formats/yenc/yenc_encode.h"

#include <algorithm>

#include "simd/simd.h"

namespace codec {

namespace {

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
        put(c, YencAlwaysEscaped(c) || Blank(c) || c == '.');
    }
    // The middle of the line in runs that need no escape, each ended by one that does: all
    // but its last character, and never the last byte (both written below, where blanks are
    // escaped too).
    while (o + 1 < kYencLine && i + 1 < size) {
        size_t avail = std::min(kYencLine - 1 - o, size - 1 - i);
        size_t run = YencEncodeRun(in + i, avail, out + o);
        i += run;
        o += run;
        if (run == avail) break;
        put(static_cast<uint8_t>(in[i++] + 42), true);
    }
    while (o < kYencLine && i < size) {
        uint8_t c = static_cast<uint8_t>(in[i++] + 42);
        bool last = o + 1 >= kYencLine || i == size;
        put(c, YencAlwaysEscaped(c) || (last && Blank(c)));
    }
    consumed = i;
    return o;
}

}  // namespace codec
