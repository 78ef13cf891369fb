// Inside the kernels: the reference functions, which the vector kernels call for inputs too
// short for a vector and for tails, and the vector tables before dispatch.cpp checks the
// processor. The rest of the library goes through simd.h.
#pragma once

#include "simd/simd.h"

namespace codec {

namespace scalar {

// Whether the line of `length` characters at p ends as its stride says: "\n" right after them
// (stride length + 1) or "\r\n" (stride length + 2).
inline bool EndsLine(const unsigned char* p, size_t length, size_t stride) {
    return p[stride - 1] == '\n' && (stride == length + 1 || p[length] == '\r');
}

// A byte that makes a line start worth a closer look (see findMarkedLineStart).
inline bool MarksLine(unsigned char c) {
    return c == '=' || c == '-' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t YencEncodeRun(const unsigned char* p, size_t n, char* out);
bool UuAllValid(const unsigned char* p, size_t n);
void UuDecodeGroups(const unsigned char* p, size_t groups, uint8_t* out);
bool Base64AllValid(const unsigned char* p, size_t n);
bool BinHexAllValid(const unsigned char* p, size_t n);
uint16_t Crc16(uint16_t crc, const uint8_t* p, size_t n);
uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n);

}  // namespace scalar

namespace detail {

extern const Kernels kScalarTable;
#if defined(__x86_64__) || defined(__i386__)
// Needs SSSE3 and PCLMUL; dispatch.cpp swaps in the reference CRCs where PCLMUL is missing.
extern const Kernels kSsse3Table;
// What the AVX2 table and the AVX-512 one change in the table below them (avx2.cpp).
void UseAvx2Kernels(Kernels& table);
void UseAvx512Kernels(Kernels& table);
#endif

}  // namespace detail

}  // namespace codec
