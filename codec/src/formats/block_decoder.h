// Decoding a span as blocks, for the formats whose decoders skip line ends themselves (Base64,
// yEnc): the span is read in slices, each decoded straight into the sink's room for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/byte_sink.h"
#include "formats/part.h"
#include "io/line_reader.h"

namespace codec {

// room(n): the most bytes n characters decode to; decode(data, n, out): the bytes written.
// Returns what ReadBlocks returns.
template <typename Room, typename Decode>
int DecodeBlocks(Input& input, const PartInfo& part, ByteSink& sink,
                 const LineReader::FillHook& hook, std::vector<char>& readBuffer, Room room,
                 Decode decode) {
    constexpr size_t kSlice = 64 * 1024;
    return ReadBlocks(input, part.begin, part.end, readBuffer, hook,
                      [&](const char* data, size_t size) {
                          while (size > 0) {
                              size_t n = size < kSlice ? size : kSlice;
                              uint8_t* o = sink.Reserve(room(n));
                              sink.Advance(decode(data, n, o));
                              data += n;
                              size -= n;
                          }
                      });
}

}  // namespace codec
