// The kernels of the hot loops, one table of them per instruction set: the plain reference
// (scalar.cpp), SSSE3 with PCLMUL (ssse3.cpp, x86 only), and AVX2 and AVX-512 (avx2.cpp), each
// made from the one below it. dispatch.cpp picks the table once,
// from the processor's features and the environment: TAMSEL_SCALAR=1 forces the reference.
// Every table keeps the same contract, so the answers never depend on which one runs; the
// calls go through a function pointer once per line or block, never per byte.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace codec {

struct Kernels {
    const char* name;

    // True when every byte is in 0x20..0x60 (the uuencode alphabet).
    bool (*uuAllValid)(const unsigned char* p, size_t n);

    // Decodes whole uuencode groups of four characters, each as (c - 0x20) & 0x3F. Reads
    // p[0 .. 4*groups), writes 3*groups bytes to out, which needs four bytes of slack.
    void (*uuDecodeGroups)(const unsigned char* p, size_t groups, uint8_t* out);

    // Full uuencode lines: "M", 60 alphabet characters, then "\n" (stride 62) or "\r\n"
    // (stride 63). Counts how many follow one another from p (reading at most avail bytes,
    // taking at most maxLines) and, when out is given, decodes them: 45 bytes a line, with four
    // bytes of slack written past the last.
    size_t (*uuFullLines)(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                          uint8_t* out);

    // uuFullLines for xxencode: "h", 60 characters of its alphabet, then the line end.
    size_t (*xxFullLines)(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                          uint8_t* out);

    // True when every byte is a Base64 alphabet character ('=' is not).
    bool (*base64AllValid)(const unsigned char* p, size_t n);

    // Base64 lines of exactly `length` alphabet characters (no padding), each followed by "\n"
    // (stride length + 1) or "\r\n" (stride length + 2): how many follow one another from p
    // (reading at most avail bytes, taking at most maxLines) and, when out is given (length then
    // a multiple of four), decodes them: length / 4 * 3 bytes a line, with eight bytes of slack
    // written past the last. length is at least 16.
    size_t (*base64FullLines)(const unsigned char* p, size_t avail, size_t stride, size_t length,
                              size_t maxLines, uint8_t* out);

    // Decodes Base64 in blocks of 16 characters while every character of a block is in the
    // alphabet. Reads at most n bytes, writes 12 bytes per block plus four bytes of slack.
    // Returns the number of characters consumed (a multiple of 16).
    size_t (*base64DecodeBlocks)(const unsigned char* p, size_t n, uint8_t* out);

    // Encodes blocks of twelve bytes as 16 Base64 characters while at least 16 input bytes are
    // readable. Returns the number of input bytes encoded (a multiple of 12).
    size_t (*base64EncodeBlocks)(const unsigned char* p, size_t n, char* out);

    // Encodes `lines` whole lines of `bytes` input bytes each (a multiple of three, at least
    // 16: 45 for uuencode and xxencode, 57 for Base64), each as `lead` (unless '\0'), then
    // bytes / 3 * 4 characters of the 64-character alphabet, then "\n". Reads lines * bytes
    // bytes; returns the characters written.
    size_t (*sixBitEncodeLines)(const unsigned char* p, size_t lines, size_t bytes,
                                const char* alphabet, char lead, char* out);

    // True when every byte is a BinHex 4.0 alphabet character.
    bool (*binHexAllValid)(const unsigned char* p, size_t n);

    // BinHex 4.0 data lines of 64 alphabet characters, each followed by "\n" (stride 65) or
    // "\r\n" (stride 66): how many follow one another from p, reading at most avail bytes.
    size_t (*binHexFullLines)(const unsigned char* p, size_t avail, size_t stride);

    // Decodes BinHex 4.0 characters in blocks of sixteen alphabet characters, CR and LF passed
    // over (a block is sixteen characters without them), while every other character of a
    // block is in the alphabet and at least sixteen remain among the n bytes. Returns the
    // characters consumed; `written` the bytes (12 per block), with four bytes of slack.
    size_t (*binHexDecodeBlocks)(const unsigned char* p, size_t n, uint8_t* out, size_t& written);

    // yEnc data in blocks of 16 characters: '=' escapes the next character (which may come in
    // the next block; `escape` carries that), CR and LF are dropped, everything else is the
    // byte plus 42. Stops before a block that needs the byte-by-byte decoder (an escape before
    // a line end or before another '=') and where fewer than 16 characters are left. Writes
    // what it decodes to out, which needs room for n + 16 bytes (those past what it reports in
    // `written` are slack), and returns the characters it consumed, a multiple of 16.
    size_t (*yencDecodeBlocks)(const unsigned char* p, size_t n, uint8_t* out, bool& escape,
                               size_t& written);

    // yEnc encoding: writes p[i] + 42 to out[i] while that needs no escape (see
    // YencAlwaysEscaped), reading at most n bytes. Returns how many it wrote so; out may be
    // written past them, never past n.
    size_t (*yencEncodeRun)(const unsigned char* p, size_t n, char* out);

    // The first line start in (0, n) (a byte right after an LF) that holds '=', '-', a blank,
    // TAB, CR or LF, or n when there is none: where text taken in bulk may need a closer look.
    size_t (*findMarkedLineStart)(const unsigned char* p, size_t n);

    // CRC-16/XMODEM (BinHex) of n bytes, continuing from crc.
    uint16_t (*crc16)(uint16_t crc, const uint8_t* p, size_t n);

    // CRC-32 (ISO-HDLC, as zlib's crc32) of n bytes, continuing from crc.
    uint32_t (*crc32)(uint32_t crc, const uint8_t* p, size_t n);
};

// A yEnc output byte escaped wherever it falls: NUL, LF, CR and '=' itself.
inline bool YencAlwaysEscaped(unsigned char c) {
    return c == 0 || c == '\n' || c == '\r' || c == '=';
}

// The plain reference, complete on every processor.
const Kernels& ScalarKernels();

// The SSSE3 table (its CRCs by carry-less multiplication where the processor has PCLMUL), or
// null where the processor or the build has no SSSE3.
const Kernels* Ssse3Kernels();
// The SSSE3 table with the kernels that gain from 256-bit vectors replaced (AVX2, BMI), and
// that with those that gain from 512-bit ones (AVX-512 BW, VBMI, VBMI2 and VPCLMULQDQ); null where
// the processor lacks any of them.
const Kernels* Avx2Kernels();
const Kernels* Avx512Kernels();

// The table to use when nothing is forced: the best vector table the processor has, or the
// reference when TAMSEL_SCALAR is set to anything but "" or "0" (read once, at first use).
const Kernels& DefaultKernels();
// The choice DefaultKernels makes for a given value of TAMSEL_SCALAR (null: not set).
const Kernels& ChooseKernels(const char* scalarSetting);

// Makes `table` the active one for every later call (null: back to DefaultKernels). For
// tests and tools; not meant to be changed while other threads decode.
void UseKernels(const Kernels* table);
// Forces the reference (on) or goes back to DefaultKernels (off).
void ForceScalarKernels(bool on);

namespace detail {
extern std::atomic<const Kernels*> activeKernels;
}

// The table the free functions below go through.
inline const Kernels& ActiveKernels() {
    const Kernels* k = detail::activeKernels.load(std::memory_order_acquire);
    return k ? *k : DefaultKernels();
}

inline bool UuAllValid(const unsigned char* p, size_t n) {
    return ActiveKernels().uuAllValid(p, n);
}
inline void UuDecodeGroups(const unsigned char* p, size_t groups, uint8_t* out) {
    ActiveKernels().uuDecodeGroups(p, groups, out);
}
inline size_t UuFullLines(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                          uint8_t* out) {
    return ActiveKernels().uuFullLines(p, avail, stride, maxLines, out);
}
inline size_t XxFullLines(const unsigned char* p, size_t avail, size_t stride, size_t maxLines,
                          uint8_t* out) {
    return ActiveKernels().xxFullLines(p, avail, stride, maxLines, out);
}
inline bool Base64AllValid(const unsigned char* p, size_t n) {
    return ActiveKernels().base64AllValid(p, n);
}
inline size_t Base64FullLines(const unsigned char* p, size_t avail, size_t stride, size_t length,
                              size_t maxLines = SIZE_MAX, uint8_t* out = nullptr) {
    return ActiveKernels().base64FullLines(p, avail, stride, length, maxLines, out);
}
inline size_t Base64DecodeBlocks(const unsigned char* p, size_t n, uint8_t* out) {
    return ActiveKernels().base64DecodeBlocks(p, n, out);
}
inline size_t Base64EncodeBlocks(const unsigned char* p, size_t n, char* out) {
    return ActiveKernels().base64EncodeBlocks(p, n, out);
}
inline size_t SixBitEncodeLines(const unsigned char* p, size_t lines, size_t bytes,
                                const char* alphabet, char lead, char* out) {
    return ActiveKernels().sixBitEncodeLines(p, lines, bytes, alphabet, lead, out);
}
inline bool BinHexAllValid(const unsigned char* p, size_t n) {
    return ActiveKernels().binHexAllValid(p, n);
}
inline size_t BinHexFullLines(const unsigned char* p, size_t avail, size_t stride) {
    return ActiveKernels().binHexFullLines(p, avail, stride);
}
inline size_t BinHexDecodeBlocks(const unsigned char* p, size_t n, uint8_t* out, size_t& written) {
    return ActiveKernels().binHexDecodeBlocks(p, n, out, written);
}
inline size_t YencDecodeBlocks(const unsigned char* p, size_t n, uint8_t* out, bool& escape,
                               size_t& written) {
    return ActiveKernels().yencDecodeBlocks(p, n, out, escape, written);
}
inline size_t YencEncodeRun(const unsigned char* p, size_t n, char* out) {
    return ActiveKernels().yencEncodeRun(p, n, out);
}
inline size_t FindMarkedLineStart(const unsigned char* p, size_t n) {
    return ActiveKernels().findMarkedLineStart(p, n);
}
inline uint16_t Crc16(uint16_t crc, const uint8_t* p, size_t n) {
    return ActiveKernels().crc16(crc, p, n);
}
inline uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n) {
    return ActiveKernels().crc32(crc, p, n);
}

}  // namespace codec
