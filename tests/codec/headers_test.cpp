// Header fields, RFC 2047 encoded words and RFC 2231 parameters.
#include <gtest/gtest.h>

#include "message/headers.h"

namespace {

using codec::DecodeEncodedWords;
using codec::ParseMimeField;

TEST(EncodedWords, DecodeToUtf8) {
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
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
    struct Row {
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
    for (const Row& row : rows)
        EXPECT_EQ(row.token, codec::TransferEncodingToken(row.value)) << row.value;
}

}  // namespace
