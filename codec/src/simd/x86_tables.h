// What the x86 kernels share across vector widths: the byte tables they look up with pshufb
// (a 256- or 512-bit lookup repeats them in each 128-bit lane), and the 128-bit CRC-32 fold.
#pragma once

#include <emmintrin.h>
#include <wmmintrin.h>

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

// One 128-bit block x folded forward onto `next`: each 64-bit lane times the constant in the
// same lane of k. For the reflected CRC-32 the high-order half is the lower lane, times
// x^(D+63) mod P, and the low-order half times x^(D-1) mod P, where D is how far ahead `next`
// lies (the constants bit-reflected; the product of two reflected values comes out one bit
// short, hence the -1).
__attribute__((target("pclmul"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// The CRC-32 constants of a fold, as Fold takes them: the lower lane's and the upper's, each in
// the high 32 bits of its half.
inline __m128i FoldBy(uint32_t lower, uint32_t upper) {
    return _mm_set_epi64x(static_cast<long long>(uint64_t{upper} << 32),
                          static_cast<long long>(uint64_t{lower} << 32));
}

}  // namespace codec::x86
