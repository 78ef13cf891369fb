// The byte tables the x86 kernels look up with pshufb, the same for every vector width (a
// 256- or 512-bit lookup repeats them in each 128-bit lane).
#pragma once

#include <cstdint>

namespace codec::x86 {

// Bit classes of characters outside the Base64 alphabet, by low and by high nibble: a
// character is in the alphabet when its two entries share no bit.
alignas(16) inline constexpr int8_t kBase64ClassLo[16] = {
    0x0B, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x07, 0x15, 0x17, 0x17, 0x17, 0x15};
alignas(16) inline constexpr int8_t kBase64ClassHi[16] = {
    0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x08, 0x10, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
// What turns a Base64 character into its value, by high nibble; '/' (0x2F) is moved to slot 1
// by subtracting one from its nibble.
alignas(16) inline constexpr int8_t kBase64Roll[16] = {0, 16, 19, 4, -65, -65, -71, -71,
                                                       0, 0,  0,  0, 0,   0,   0,   0};
// Where the three bytes of each 32-bit lane go, in big-endian order, after two 6-bit values
// were merged into 12 bits and two of those into 24 (the last four bytes are zeroed).
alignas(16) inline constexpr int8_t kGather24[16] = {2, 1,  0,  6,  5,  4,  10, 9,
                                                     8, 14, 13, 12, -1, -1, -1, -1};

}  // namespace codec::x86
