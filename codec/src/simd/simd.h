// Vector kernels for the hot loops, chosen at run time: SSE2 is always there on x86-64, SSSE3
// is checked once per call site through the CPU's feature bits. Every function has a plain
// fallback, so other processors and builds without these instructions work the same.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codec {

// True when every byte is in 0x20..0x60 (the uuencode alphabet).
bool UuAllValid(const unsigned char* p, size_t n);

// Decodes whole uuencode groups of four characters, four groups (16 characters) at a time, as
// far as the vector unit allows. Reads p[0 .. 4*groups), writes out[0 .. 3*groups + 4): out
// needs four bytes of slack. Returns the number of groups decoded (the caller does the rest).
size_t UuDecodeGroups(const unsigned char* p, size_t groups, uint8_t* out);

// Full uuencode lines: "M", 60 alphabet characters, then "\n" (stride 62) or "\r\n" (stride
// 63). Counts how many follow one another from p (reading at most avail bytes, taking at most
// maxLines) and, when out is given, decodes them: 45 bytes a line, with four bytes of slack
// written past the last. Validating and decoding in one sweep keeps a line in registers once.
// Returns kNoVector where the vector unit is missing; the caller then goes line by line.
inline constexpr size_t kNoVector = ~size_t{0};
size_t UuFullLines(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                   uint8_t* out);

// Base64 lines of exactly `length` alphabet characters (no padding), each followed by "\n"
// (stride length + 1) or "\r\n" (stride length + 2): how many follow one another from p,
// reading at most avail bytes. length is at least 16. kNoVector without the vector unit.
size_t Base64FullLines(const unsigned char* p, size_t avail, size_t stride, size_t length);

// BinHex 4.0 data lines of 64 alphabet characters, each followed by "\n" (stride 65) or
// "\r\n" (stride 66): how many follow one another from p. kNoVector without the vector unit.
size_t BinHexFullLines(const unsigned char* p, size_t avail, size_t stride);

// Decodes Base64 in blocks of 16 characters while every character of a block is in the
// alphabet. Reads at most n bytes, writes 12 bytes per block plus four bytes of slack. Returns
// the number of characters consumed (a multiple of 16).
size_t Base64DecodeBlocks(const unsigned char* p, size_t n, uint8_t* out);

// True when every byte is a Base64 alphabet character ('=' is not).
bool Base64AllValid(const unsigned char* p, size_t n);

// Decodes BinHex 4.0 characters in blocks of 16 while every character of a block is in the
// alphabet, as Base64DecodeBlocks does; CR and LF are passed over (a block is sixteen
// characters without them). Returns the characters consumed; `written` the bytes (12 per
// block).
size_t BinHexDecodeBlocks(const unsigned char* p, size_t n, uint8_t* out, size_t& written);

// Encodes whole groups of three bytes as Base64, twelve bytes (16 characters) at a time while
// at least 16 input bytes are readable. Returns the number of input bytes encoded (a
// multiple of 12); out receives 4 characters per 3 bytes.
size_t Base64EncodeBlocks(const unsigned char* p, size_t n, char* out);

// yEnc data in blocks of 16 characters: '=' escapes the next character (which may come in the
// next block; `escape` carries that), CR and LF are dropped, everything else is the byte plus
// 42. Stops before a block that needs the byte-by-byte decoder (an escape before a line end or
// before another '=') and where fewer than 16 characters are left. Writes what it decodes to
// out (16 bytes of slack past what it reports in `written`) and returns the characters it
// consumed, a multiple of 16; 0 without the vector unit.
size_t YencDecodeBlocks(const unsigned char* p, size_t n, uint8_t* out, bool& escape,
                        size_t& written);

// CRC-16/XMODEM (BinHex) by carry-less multiplication: folds the first n/16*16 bytes of p
// (n >= 64), continuing from crc, into 16 bytes whose CRC from zero is the CRC of those bytes.
// Returns how many bytes were folded, 0 where the processor cannot (nothing is written then).
size_t Crc16Fold(uint16_t crc, const uint8_t* p, size_t n, uint8_t folded[16]);

// The first line start in (0, n) (a byte right after an LF) that holds '=', '-', a blank, TAB,
// CR or LF, or n when there is none: where text taken in bulk may need a closer look.
size_t FindMarkedLineStart(const unsigned char* p, size_t n);

// CRC-32 (ISO-HDLC, as zlib's crc32) of n bytes, continuing from crc: folded 64 bytes at a
// time with carry-less multiplication where the processor has it.
uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n);

// True when every byte is a BinHex 4.0 alphabet character; `table` is that alphabet's decode
// table, used where the vector unit is not.
bool BinHexAllValid(const unsigned char* p, size_t n, const int8_t* table);

}  // namespace codec
