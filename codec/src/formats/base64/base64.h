// Streaming Base64 decoder (RFC 2045): characters outside the alphabet (line endings, blanks,
// stray punctuation) are skipped, '=' padding ends the data, and input may arrive in blocks
// that split a quad anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace codec {

class Base64Decoder {
  public:
    // Decodes a block into out, which needs room for size / 4 * 3 + 8 bytes. Returns the
    // number of bytes written.
    size_t Decode(const char* data, size_t size, uint8_t* out);
    // Flushes a final partial quad (missing padding). Returns bytes written (0 to 2).
    size_t Finish(uint8_t* out);

    bool finished() const { return m_finished; }
    // Between quads, before padding: where whole lines may be decoded on their own.
    bool atQuad() const { return m_have == 0 && !m_finished; }
    uint64_t skipped() const { return m_skipped; }  // non-blank characters outside the alphabet

  private:
    uint32_t m_quad = 0;
    int m_have = 0;
    bool m_finished = false;  // padding seen
    uint64_t m_skipped = 0;
};

// True for a line made only of Base64 characters (optionally ending in '=' padding) whose
// length is a multiple of four: how a Base64 body without headers is recognised.
bool IsBase64Line(std::string_view line);

}  // namespace codec
