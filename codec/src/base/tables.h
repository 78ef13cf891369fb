// Decode tables of the 6-bit alphabets, built at compile time: one array of 256 entries per
// alphabet giving the 6-bit value of a character, or kInvalid.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace codec {

inline constexpr int8_t kInvalid = -1;
using SixBitTable = std::array<int8_t, 256>;

constexpr SixBitTable MakeTable(std::string_view alphabet) {
    SixBitTable t{};
    for (auto& v : t)
        v = kInvalid;
    for (size_t i = 0; i < alphabet.size(); ++i)
        t[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return t;
}

constexpr SixBitTable MakeUuTable() {
    SixBitTable t{};
    for (auto& v : t)
        v = kInvalid;
    for (int c = 0x20; c < 0x60; ++c)
        t[static_cast<size_t>(c)] = static_cast<int8_t>(c - 0x20);
    t['`'] = 0;  // the grave accent stands for zero, so that lines never end in blanks
    return t;
}

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr std::string_view kXxAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr std::string_view kUuAlphabet =
    "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
inline constexpr std::string_view kBinHexAlphabet =
    "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";

inline constexpr SixBitTable kUuTable = MakeUuTable();
inline constexpr SixBitTable kXxTable = MakeTable(kXxAlphabet);
inline constexpr SixBitTable kBase64Table = MakeTable(kBase64Alphabet);
inline constexpr SixBitTable kBinHexTable = MakeTable(kBinHexAlphabet);

}  // namespace codec
