// Header fields, RFC 2047 encoded words and RFC 2231 parameters.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/charset.h"
#include "message/headers.h"
#include "support/test_support.h"

namespace {

using codec::DecodeEncodedWords;
using codec::ParseMimeField;

#define FFFD "\xEF\xBF\xBD"

struct Row {
    const char* in;
    const char* out;
};

// The words were made with Python's email.header.Header(text, charset).encode(), or as
// base64 of text.encode(charset) where that picks another charset (Shift_JIS, Big5); the
// UTF-8 is text.encode().
const Row kCharsetRows[] = {
    {"=?koi8-r?b?8NLJ18XU?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
    {"=?shift_jis?B?k/qWe4zqLnR4dA==?=", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"},
    {"=?SHIFT_JIS?B?k/qWew==?=", "\xE6\x97\xA5\xE6\x9C\xAC"},
    {"=?x-sjis?B?k/qWew==?=", "\xE6\x97\xA5\xE6\x9C\xAC"},
    {"=?gbk?b?1tDOxMP7?=", "\xE4\xB8\xAD\xE6\x96\x87\xE5\x90\x8D"},
    {"=?gb2312?B?iNI=?=", "\xE5\xA0\x83"},  // in GBK only, as mail labelled gb2312 often is
    {"=?euc-kr?b?x9Gxub7u?=", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
    {"=?ks_c_5601-1987?B?x9Gxub7u?=", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
    {"=?windows-1251?b?1ODp6w==?=", "\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB"},
    {"=?iso-8859-2?q?=A3=F3d=BC?=",
     "\xC5\x81\xC3\xB3"
     "d\xC5\xBA"},
    {"=?iso-2022-jp?b?GyRCJDMkcyRLJEEkTxsoQg==?=",
     "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF"},
    {"=?big5?B?pKSk5Q==?=", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"=?iso-8859-7?b?xevr3OTh?=", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1"},
    {"=?UTF8?Q?=C3=A4?=", "\xC3\xA4"},
};

TEST(EncodedWords, DecodeToUtf8) {
    const Row rows[] = {
        {"plain text", "plain text"},
        {"=?utf-8?B?w6R0c2No?=", "\xC3\xA4tsch"},
        {"=?ISO-8859-1?Q?Gr=FC=DFe_aus?= Bonn",
         "Gr\xC3\xBC\xC3\x9F"
         "e aus Bonn"},
        // Blanks between two encoded words vanish (RFC 2047, 6.2), others stay.
        {"=?utf-8?Q?a?= =?utf-8?Q?b?= c", "ab c"},
        {"=?windows-1252?Q?=80?=", "\xE2\x82\xAC"},
        // Language suffix (RFC 2231, 5).
        {"=?us-ascii*en?Q?x?=", "x"},
        // Broken words stay as they are.
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=?utf-8?Q?unterminated", "=?utf-8?Q?unterminated"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.out, DecodeEncodedWords(row.in)) << row.in;
}

TEST(EncodedWords, ConvertEveryCharsetIconvKnows) {
    for (const Row& row : kCharsetRows)
        EXPECT_EQ(row.out, DecodeEncodedWords(row.in)) << row.in;
}

// Each thread keeps descriptors of its own, fewer than there are charsets in the table: every
// round opens some again.
TEST(EncodedWords, ConvertOnSeveralThreadsAtOnce) {
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int& count : wrong)
        threads.emplace_back([&count] {
            for (int round = 0; round < 50; ++round)
                for (const Row& row : kCharsetRows)
                    count += DecodeEncodedWords(row.in) != row.out;
        });
    for (std::thread& t : threads)
        t.join();
    for (int count : wrong)
        EXPECT_EQ(0, count);
}

TEST(EncodedWords, JoinAdjacentWordsOfOneCharsetBeforeConverting) {
    const Row rows[] = {
        // UTF-8 a, C3 | A4, b in two B words.
        {"=?utf-8?B?YcM=?= =?utf-8?B?pGI=?=",
         "a\xC3\xA4"
         "b"},
        {"=?UTF-8?Q?=C3?=\t =?utf-8?Q?=A4?=", "\xC3\xA4"},
        {"=?utf-8?Q?=C3?==?utf-8?Q?=A4?=", "\xC3\xA4"},
        // Shift_JIS 82 | A0 (U+3042) in two Q words.
        {"=?shift_jis?Q?x=82?= =?shift_jis?Q?=A0y?=", "x\xE3\x81\x82y"},
        // Words in other charsets are converted each on its own.
        {"=?iso-8859-1?Q?=E4?= =?koi8-r?Q?=F0?=", "\xC3\xA4\xD0\x9F"},
        {"=?utf-8?Q?=C3?= =?iso-8859-1?Q?=A4?=", FFFD "\xC2\xA4"},
        // Text between the words ends the run.
        {"=?utf-8?Q?=C3?= x =?utf-8?Q?=A4?=", FFFD " x " FFFD},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.out, DecodeEncodedWords(row.in)) << row.in;
}

TEST(EncodedWords, BadBytesAndControlsBecomeReplacementCharacters) {
    const Row rows[] = {
        {"=?utf-8?Q?a=FFb?=", "a" FFFD "b"},
        {"=?utf-8?Q?a=ED=A0=80b?=", "a" FFFD "b"},  // a surrogate
        {"=?utf-8?Q?a=C0=80b?=", "a" FFFD "b"},     // overlong
        {"=?utf-8?Q?ab=E2=82?=", "ab" FFFD},        // cut at the end: one for the run
        {"=?shift_jis?Q?=82=A0=82?=", "\xE3\x81\x82" FFFD},
        {"=?shift_jis?Q?a=FFb?=", "a" FFFD "b"},
        {"=?euc-kr?Q?=B0=A1=FF=B0=A1?=", "\xEA\xB0\x80" FFFD "\xEA\xB0\x80"},
        {"=?windows-1252?Q?a=81b?=", "a" FFFD "b"},  // undefined there
        // Unknown charsets: UTF-8 when it is, Latin-1 otherwise.
        {"=?x-unknown?Q?=C3=A4?=", "\xC3\xA4"},
        {"=?x-unknown?Q?=E4?=", "\xC3\xA4"},
        {"=?us-ascii?Q?=E4?=", "\xC3\xA4"},
        {"=?koi8-r//TRANSLIT?Q?=F0?=", "\xC3\xB0"},  // no charset name
        // No control character comes out of a word.
        {"=?utf-8?Q?a=0Ab?=", "a" FFFD "b"},
        {"=?utf-8?Q?a=00b=09c?=", "a" FFFD "b" FFFD "c"},
        {"=?utf-8?Q?a=01b?=", "a" FFFD "b"},
        {"=?utf-8?Q?a=7Fb?=", "a" FFFD "b"},
        {"=?utf-8?Q?a=C2=85b?=", "a" FFFD "b"},
        {"=?iso-8859-1?Q?a=85b?=", "a" FFFD "b"},
        {"=?x-unknown?Q?a=9Fb?=", "a" FFFD "b"},
        {"=?us-ascii?Q?a=0Db?=", "a" FFFD "b"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.out, DecodeEncodedWords(row.in)) << row.in;
}

// Whatever the bytes, the text is UTF-8 (as iconv reads it) without control characters.
TEST(ToUtf8, AnyBytesGiveCleanUtf8) {
    for (const char* charset : {"utf-8", "shift_jis", "iso-2022-jp", "gbk", "euc-kr", "big5",
                                "koi8-r", "windows-1252", "x-unknown", ""}) {
        std::string all;
        for (uint32_t seed = 1; seed <= 20; ++seed)
            all += codec::ToUtf8(test::RandomBytes(300, seed), charset);
        EXPECT_EQ(all, test::Filtered(all, "iconv -f UTF-8 -t UTF-8")) << charset;
        for (size_t i = 0; i < all.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(all[i]);
            bool c1 = c == 0xC2 && i + 1 < all.size() && (all[i + 1] & 0xE0) == 0x80;
            ASSERT_FALSE(c < 0x20 || c == 0x7F || c1) << charset << " at " << i;
        }
    }
}

TEST(MimeField, ParsesValueAndParameters) {
    codec::MimeField f = ParseMimeField("Multipart/Mixed; boundary=\"a b;c\"; charset=utf-8");
    EXPECT_EQ("multipart/mixed", f.value);
    EXPECT_EQ("a b;c", f.Param("boundary"));
    EXPECT_EQ("utf-8", f.Param("charset"));
    EXPECT_FALSE(f.HasParam("name"));
}

TEST(MimeField, JoinsRfc2231ContinuationsInNumberOrder) {
    codec::MimeField f = ParseMimeField(
        "attachment; filename*1=\"-two\"; filename*0*=iso-8859-1'de'%E4one; filename*2*=%21");
    EXPECT_EQ("\xC3\xA4one-two!", f.Param("filename"));
}

TEST(MimeField, ConvertsRfc2231ValuesJoinedAcrossSections) {
    const Row rows[] = {
        {"attachment; filename*0*=shift_jis''%82%A0; filename*1*=%82%A2",
         "\xE3\x81\x82\xE3\x81\x84"},
        // Cut inside a character.
        {"attachment; filename*0*=shift_jis''%82; filename*1*=%A0%82%A2.txt",
         "\xE3\x81\x82\xE3\x81\x84.txt"},
        {"attachment; filename*0*=utf-8''%C3; filename*1*=%A4.txt", "\xC3\xA4.txt"},
        {"attachment; filename*=KOI8-R'ru'%F0%D2%C9%D7%C5%D4.txt",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt"},
        {"attachment; filename*=utf-8''a%0Ab%FF.txt", "a" FFFD "b" FFFD ".txt"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.out, ParseMimeField(row.in).Param("filename")) << row.in;
}

TEST(MimeField, PrefersTheRfc2231FormOverThePlainOne) {
    codec::MimeField f =
        ParseMimeField("attachment; filename=\"fallback.txt\"; filename*=UTF-8''%E2%82%AC.txt");
    EXPECT_EQ("\xE2\x82\xAC.txt", f.Param("filename"));
}

TEST(MimeField, SurvivesMalformedInput) {
    EXPECT_EQ("", ParseMimeField("; ; =; name").Param("name"));
    EXPECT_EQ("x", ParseMimeField("a/b; name=\"x").Param("name"));  // unterminated quote
    EXPECT_EQ("", ParseMimeField("a/b; name*99999999999=x").Param("name"));
}

TEST(HeaderLine, NeedsANameOfTwoOrMoreCharacters) {
    std::string_view name, value;
    ASSERT_TRUE(codec::ParseHeaderLine("Subject:  hello", name, value));
    EXPECT_EQ("Subject", name);
    EXPECT_EQ("hello", value);
    EXPECT_FALSE(codec::ParseHeaderLine("M:1234", name, value));  // one letter: uu data
    EXPECT_FALSE(codec::ParseHeaderLine("not a header: x", name, value));
}

TEST(TransferEncoding, IsReadAsItsToken) {
    struct TokenRow {
        const char* value;
        const char* token;
    } rows[] = {
        {"base64", "base64"},
        {"  BASE64 ", "base64"},
        {"base64 (MIME encoded)", "base64"},
        {"(by the gateway) Quoted-Printable", "quoted-printable"},
        {"base64;", "base64"},
        {"\"base64\"", "base64"},
        {"7bit (nested (comment) \\) here)", "7bit"},
        {"", ""},
    };
    for (const TokenRow& row : rows)
        EXPECT_EQ(row.token, codec::TransferEncodingToken(row.value)) << row.value;
}

}  // namespace
