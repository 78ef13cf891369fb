// See base64_text.h.
#include "formats/base64/base64_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/base64/base64.h"

namespace codec {

namespace {

class Base64TextInput : public Input {
  public:
    explicit Base64TextInput(std::unique_ptr<Input> encoded) : m_encoded(std::move(encoded)) {}

    ssize_t ReadAt(char* buffer, size_t size, uint64_t offset) override {
        if (offset < m_start) Restart();
        size_t done = 0;
        while (done < size) {
            uint64_t at = offset + done;
            if (at < m_start + m_decoded.size()) {
                auto from = static_cast<size_t>(at - m_start);
                size_t n = std::min(size - done, m_decoded.size() - from);
                std::memcpy(buffer + done, m_decoded.data() + from, n);
                done += n;
            } else if (m_end) {
                break;
            } else if (!Next()) {
                return done ? static_cast<ssize_t>(done) : -1;
            }
        }
        return static_cast<ssize_t>(done);
    }

  private:
    static constexpr size_t kBlock = 64 * 1024;

    void Restart() {
        m_decoder = Base64Decoder();
        m_read = m_start = 0;
        m_decoded.clear();
        m_end = false;
    }
    // Decodes the next block in place of the one held; false on a read error.
    bool Next() {
        m_block.resize(kBlock);
        ssize_t n = m_encoded->ReadAt(m_block.data(), kBlock, m_read);
        if (n < 0) return false;
        m_start += m_decoded.size();
        m_decoded.resize(kBlock / 4 * 3 + 8);
        auto* out = reinterpret_cast<uint8_t*>(m_decoded.data());
        size_t got = n == 0 ? m_decoder.Finish(out)
                            : m_decoder.Decode(m_block.data(), static_cast<size_t>(n), out);
        m_decoded.resize(got);
        m_read += static_cast<uint64_t>(n);
        m_end = n == 0 || m_decoder.finished();
        return true;
    }

    std::unique_ptr<Input> m_encoded;
    Base64Decoder m_decoder;
    std::vector<char> m_block, m_decoded;
    uint64_t m_read = 0;   // encoded bytes decoded so far
    uint64_t m_start = 0;  // where the decoded block held starts
    bool m_end = false;
};

}  // namespace

std::unique_ptr<Input> NewBase64TextInput(std::unique_ptr<Input> encoded) {
    return std::make_unique<Base64TextInput>(std::move(encoded));
}

}  // namespace codec
