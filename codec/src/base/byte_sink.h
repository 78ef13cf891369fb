// Where decoded bytes go: the output file when decoding, a CRC counter or nothing when only
// checking. Writers ask for room, fill some of it and say how much.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Room for at least `need` bytes; the caller fills some and calls Advance.
    virtual uint8_t* Reserve(size_t need) = 0;
    virtual void Advance(size_t used) = 0;
};

// Takes bytes and forgets them.
class NullSink : public ByteSink {
  public:
    explicit NullSink(std::vector<uint8_t>& buffer) : m_buffer(buffer) {}
    uint8_t* Reserve(size_t need) override {
        if (m_buffer.size() < need) m_buffer.resize(need);
        return m_buffer.data();
    }
    void Advance(size_t) override {}

  protected:
    std::vector<uint8_t>& m_buffer;  // what Reserve hands out
};

}  // namespace codec
