// Base64: the streaming decoder against coreutils base64, and MIME bodies in every nesting.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

#include "formats/base64/base64.h"
#include "simd/simd.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string DecodeInBlocks(const std::string& text, std::mt19937& rng) {
    codec::Base64Decoder d;
    std::string out(text.size() / 4 * 3 + 16, '\0');
    auto* o = reinterpret_cast<uint8_t*>(out.data());
    size_t n = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t len = std::min<size_t>(text.size() - pos, 1 + rng() % 97);
        n += d.Decode(text.data() + pos, len, o + n);
        pos += len;
    }
    n += d.Finish(o + n);
    out.resize(n);
    return out;
}

TEST(Base64Decoder, MatchesCoreutilsForAnyLengthAndAnySplit) {
    TempDir dir;
    std::mt19937 rng(42);
    for (size_t size : {0, 1, 2, 3, 4, 56, 57, 58, 1000, 65537}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::string data = test::RandomBytes(size, static_cast<uint32_t>(size) + 1);
        WriteFile(dir / "d", data);
        std::string text = test::ShellOutput("base64 " + Q(dir / "d"));
        EXPECT_EQ(data, DecodeInBlocks(text, rng));
        // CRLF line ends and stray blanks change nothing.
        std::string crlf;
        for (char c : text)
            crlf += c == '\n' ? std::string(" \r\n") : std::string(1, c);
        EXPECT_EQ(data, DecodeInBlocks(crlf, rng));
    }
}

TEST(Base64Decoder, StopsAtPaddingAndCountsForeignCharacters) {
    codec::Base64Decoder d;
    std::string text = "YW*Jj\nZA==ignored";
    uint8_t out[32];
    size_t n = d.Decode(text.data(), text.size(), out);
    EXPECT_EQ("abcd", std::string(reinterpret_cast<char*>(out), n));
    EXPECT_TRUE(d.finished());
    EXPECT_EQ(1u, d.skipped());
}

TEST(Base64Line, NeedsWholeQuadsAndPaddingOnlyAtTheEnd) {
    EXPECT_TRUE(codec::IsBase64Line("QUJDRA=="));
    EXPECT_TRUE(codec::IsBase64Line("QUJD"));
    EXPECT_FALSE(codec::IsBase64Line("QUJDR"));
    EXPECT_FALSE(codec::IsBase64Line("QU=D"));
    EXPECT_FALSE(codec::IsBase64Line("QU D"));
}

TEST(MimeDecode, ReadsMpackOutput) {
    TempDir dir;
    std::string data = test::RandomBytes(30000, 5);
    WriteFile(dir / "photo.jpg", data);
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) +
                             " && mpack -s 'holiday' -o msg.eml photo.jpg >/dev/null"));
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "msg.eml"));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    const codec::FileRecord* r = t.Records()[0];
    EXPECT_STREQ("photo.jpg", r->name);
    EXPECT_EQ(codec::kStateReady, r->state);
    EXPECT_EQ(codec::Encoding::kBase64, r->encoding);
    EXPECT_NEAR(30000, r->size, 4);
    test::Shell("mkdir " + Q(dir / "out"));
    t.OutputTo(dir / "out");
    ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr));
    EXPECT_EQ(data, ReadFile(dir / "out/photo.jpg"));
}

// A mail with nested multiparts, names in RFC 2231 and RFC 2047 form, a text body in Base64
// without a name (not a file) and an inner message/rfc822.
TEST(MimeDecode, FindsAttachmentsInNestedMultipartsWithEncodedNames) {
    TempDir dir;
    std::string a = test::RandomBytes(1000, 1), b = test::RandomBytes(2000, 2),
                c = test::RandomBytes(300, 3);
    WriteFile(dir / "a", a);
    WriteFile(dir / "b", b);
    WriteFile(dir / "c", c);
    auto b64 = [&](const char* f) { return test::ShellOutput("base64 " + Q(dir / f)); };
    std::string mail =
        "From: someone@example.org\n"
        "Subject: =?UTF-8?Q?Fotos_f=C3=BCr_dich?=\n"
        "MIME-Version: 1.0\n"
        "Content-Type: multipart/mixed;\n"
        "  boundary=\"outer\"\n"
        "\n"
        "This is a multi-part message.\n"
        "--outer\n"
        "Content-Type: multipart/alternative; boundary=inner\n"
        "\n"
        "--inner\n"
        "Content-Type: text/plain; charset=utf-8\n"
        "Content-Transfer-Encoding: base64\n"
        "\n" +
        test::ShellOutput("printf 'Hallo' | base64") +
        "--inner--\n"
        "--outer\n"
        "Content-Type: application/octet-stream\n"
        "Content-Transfer-Encoding: base64\n"
        "Content-Disposition: attachment;\n"
        " filename*0*=UTF-8''%C3%A4rger;\n"
        " filename*1=\".bin\"\n"
        "\n" +
        b64("a") +
        "\n"
        "--outer\n"
        "Content-Type: image/png; name=\"=?ISO-8859-1?B?vGJlcg==?=.png\"\n"
        "Content-Transfer-Encoding: BASE64\n"
        "\n" +
        b64("b") +
        "--outer\n"
        "Content-Type: message/rfc822\n"
        "\n"
        "Subject: inner (1/9)\n"
        "Content-Type: application/pdf; name=doc.pdf\n"
        "Content-Transfer-Encoding: base64\n"
        "\n" +
        b64("c") +
        "--outer--\n"
        "epilogue\n";
    WriteFile(dir / "mail.eml", mail);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail.eml"));
    auto records = t.Records();
    ASSERT_EQ(3u, records.size()) << t.AllMessages();
    EXPECT_STREQ("\xC3\xA4rger.bin", records[0]->name);
    EXPECT_STREQ(
        "\xC2\xBC"
        "ber.png",
        records[1]->name);
    EXPECT_STREQ("doc.pdf", records[2]->name);
    test::Shell("mkdir " + Q(dir / "out"));
    t.OutputTo(dir / "out");
    for (const codec::FileRecord* r : records) {
        EXPECT_EQ(codec::kStateReady, r->state) << r->name;
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << r->name;
    }
    EXPECT_EQ(a, ReadFile(dir / "out/\xC3\xA4rger.bin"));
    EXPECT_EQ(b, ReadFile(dir / "out/\xC2\xBC"
                                "ber.png"));
    EXPECT_EQ(c, ReadFile(dir / "out/doc.pdf"));
}

// Some encoders pad and go on (each chunk of a stream encoded on its own): the data ends at the
// first padding, for the decoder as for Python's email package, and the size listed is the
// size written.
TEST(MimeDecode, DataEndsAtThePadding) {
    TempDir dir;
    std::string first = test::RandomBytes(100, 21), second = test::RandomBytes(200, 22);
    WriteFile(dir / "mail",
              "MIME-Version: 1.0\nContent-Type: application/octet-stream; name=p.bin\n"
              "Content-Transfer-Encoding: base64\n\n" +
                  test::Filtered(first, "base64") + test::Filtered(second, "base64"));
    std::string peer = test::ShellOutput(
        "/usr/bin/python3 -c 'import email,sys; m=email.message_from_binary_file(sys.stdin.buffer);"
        " sys.stdout.buffer.write(m.get_payload(decode=True))' < " +
        Q(dir / "mail"));
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(100, t.Records()[0]->size);
    ASSERT_EQ(0, mkdir((dir / "out").c_str(), 0700));
    t.OutputTo(dir / "out");
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
    EXPECT_TRUE(ReadFile(dir / "out/p.bin") == first);
    EXPECT_TRUE(peer == first) << peer.size();
}

// The transfer encoding is read as its token, whatever is around it.
TEST(MimeDecode, TransferEncodingsWithCommentsQuotesAndCase) {
    TempDir dir;
    std::string data = test::RandomBytes(3000, 23);
    std::string body = test::Filtered(data, "base64");
    std::string mail = "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n";
    const char* values[] = {"base64 (MIME encoded)", "BASE64;", "\"Base64\""};
    for (size_t k = 0; k < 3; ++k)
        mail += "--b\nContent-Type: application/octet-stream; name=f" + std::to_string(k) +
                ".bin\nContent-Transfer-Encoding: " + values[k] + "\n\n" + body;
    WriteFile(dir / "mail", mail + "--b--\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail"));
    ASSERT_EQ(3u, t.Records().size()) << t.AllMessages();
    ASSERT_EQ(0, mkdir((dir / "out").c_str(), 0700));
    t.OutputTo(dir / "out");
    for (const codec::FileRecord* r : t.Records()) {
        EXPECT_EQ(codec::Encoding::kBase64, r->encoding) << r->name;
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / ("out/" + std::string(r->name))) == data) << r->name;
    }
}

// The parts of a multipart/digest are messages unless they say otherwise (RFC 2046, 5.1.5):
// what they carry is found, as Python's email package finds it.
TEST(MimeDecode, ThePartsOfADigestAreMessages) {
    TempDir dir;
    std::string script =
        "import sys\nfrom email.message import EmailMessage\n"
        "out = b'From: list@example.org\\nSubject: digest\\nMIME-Version: 1.0\\n'\n"
        "out += b'Content-Type: multipart/digest; boundary=\"d\"\\n\\n'\n"
        "for k in range(3):\n"
        "    m = EmailMessage()\n"
        "    m['Subject'] = 'mail %d' % k\n"
        "    m.set_content('text\\n')\n"
        "    m.add_attachment(bytes([k]) * 2000 + bytes(range(256)), maintype='application',\n"
        "                     subtype='octet-stream', filename='d%d.bin' % k)\n"
        "    out += b'--d\\n\\n' + bytes(m) + b'\\n'\n"
        "out += b'--d--\\n'\n"
        "open(sys.argv[1], 'wb').write(out)\n"
        "import email, email.policy\n"
        "msg = email.message_from_bytes(out, policy=email.policy.default)\n"
        "for part in msg.walk():\n"
        "    if part.get_filename():\n"
        "        open(sys.argv[2] + '/' + part.get_filename(), "
        "'wb').write(part.get_payload(decode=True))\n";
    ASSERT_EQ(0, mkdir((dir / "peer").c_str(), 0700));
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir / "digest") + " " + Q(dir / "peer")));
    ASSERT_EQ(3u, dir.List("peer").size());
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "digest"));
    ASSERT_EQ(3u, t.Records().size()) << t.AllMessages();
    ASSERT_EQ(0, mkdir((dir / "out").c_str(), 0700));
    t.OutputTo(dir / "out");
    for (const codec::FileRecord* r : t.Records()) {
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / ("out/" + std::string(r->name))) ==
                    ReadFile(dir / ("peer/" + std::string(r->name))))
            << r->name;
    }
}

TEST(MimeDecode, AnAttachmentCutShortHasNoEnd) {
    TempDir dir;
    std::string body = test::ShellOutput("head -c 3000 /dev/zero | base64");
    WriteFile(dir / "cut.eml",
              "Subject: cut\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
              "Content-Type: application/zip; name=a.zip\nContent-Transfer-Encoding: base64\n\n" +
                  body.substr(0, 1000) + "\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "cut.eml"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(codec::kStateNoEnd, t.Records()[0]->state);
}

// Runs of whole alphabet lines are taken in bulk by the scan; a line that differs in any way
// (a foreign character, padding, another length, a missing CR) ends the run there.
TEST(Base64FullLines, CountLinesOfExactlyTheGivenLengthAndLineEnd) {
    std::string bytes = test::RandomBytes(5700, 61);
    std::string data = test::Filtered(bytes, "base64 -w 76");
    ASSERT_EQ(data.size(), 100u * 77);
    for (bool crlf : {false, true}) {
        SCOPED_TRACE(crlf ? "CRLF" : "LF");
        std::string text;
        for (size_t i = 0; i < data.size(); i += 77)
            text += data.substr(i, 76) + (crlf ? "\r\n" : "\n");
        const size_t stride = crlf ? 78 : 77;
        // Counted, and counted while decoded: the same lines, and the bytes they carry.
        auto lines = [&](const std::string& t) {
            const auto* p = reinterpret_cast<const unsigned char*>(t.data());
            size_t n = codec::Base64FullLines(p, t.size(), stride, 76);
            std::vector<uint8_t> out(100 * 57 + 8);
            EXPECT_EQ(n, codec::Base64FullLines(p, t.size(), stride, 76, 100, out.data()));
            EXPECT_TRUE(std::string(out.begin(), out.begin() + static_cast<ptrdiff_t>(n * 57)) ==
                        bytes.substr(0, n * 57));
            return n;
        };
        EXPECT_EQ(lines(text), 100u);
        struct Fault {
            size_t at;
            char c;
        } faults[] = {{0, '-'}, {15, '='}, {40, ' '}, {75, '.'}, {76, crlf ? 'x' : ' '}};
        for (const Fault& f : faults) {
            SCOPED_TRACE(f.at);
            std::string bad = text;
            bad[7 * stride + f.at] = f.c;
            EXPECT_EQ(lines(bad), 7u);
        }
        EXPECT_EQ(lines(text.substr(0, text.size() - 1)), 99u) << "the last line cut short";
    }
}

TEST(MimeDecode, LongBodiesInLfAndCrlfDecodeWhole) {
    TempDir dir;
    std::string data = test::RandomBytes(300000, 23);
    WriteFile(dir / "data.bin", data);
    std::string body = test::ShellOutput("base64 -w 76 " + Q(dir / "data.bin"));
    for (bool crlf : {false, true}) {
        SCOPED_TRACE(crlf ? "CRLF" : "LF");
        std::string message =
            "Subject: long\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
            "Content-Type: application/octet-stream; name=long.bin\n"
            "Content-Transfer-Encoding: base64\n\n" +
            body + "--b--\n";
        if (crlf) {
            std::string converted;
            for (char c : message)
                converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
            message = converted;
        }
        WriteFile(dir / "long.eml", message);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / "long.eml"));
        ASSERT_EQ(1u, t.Records().size());
        const codec::FileRecord* record = t.Records()[0];
        EXPECT_EQ(codec::kStateReady, record->state);
        EXPECT_NEAR(record->size, 300000, 3);
        TempDir out;
        t.OutputTo(out.path());
        ASSERT_EQ(0, t.lib.DecodeFile(record));
        EXPECT_EQ(ReadFile(out / "long.bin"), data);
    }
}

// A file of nothing but Base64 (what coreutils base64 writes, or an attachment's body saved on
// its own) is a file, named after the input without its .b64, .base64 or .txt ending. Text
// that only begins with a word of the alphabet is not.
TEST(BareBase64, IsFoundAndNamedAfterTheInput) {
    TempDir dir;
    struct Row {
        const char* input;
        const char* name;
        size_t size;
        const char* wrap;
    } rows[] = {
        {"photo.jpg.b64", "photo.jpg", 5000, "-w 76"},
        {"archive.tar.BASE64", "archive.tar", 57 * 40, "-w 76"},  // whole lines, no padding
        {"notes.txt", "notes", 700, "-w 64"},
        {"blob", "blob", 90, "-w 0"},  // one line
    };
    ASSERT_EQ(0, mkdir((dir / "out").c_str(), 0700));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        std::string data = test::RandomBytes(row.size, static_cast<uint32_t>(row.size));
        WriteFile(dir / row.input, test::Filtered(data, std::string("base64 ") + row.wrap) +
                                       (std::string(row.wrap) == "-w 0" ? "\n" : ""));
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / row.input));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        const codec::FileRecord* r = t.Records()[0];
        ASSERT_NE(nullptr, r->name);
        EXPECT_STREQ(row.name, r->name);
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        EXPECT_EQ(static_cast<int32_t>(data.size()), r->size);
        t.OutputTo(dir / "out");
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / ("out/" + std::string(row.name))) == data);
    }
    // Padding ends the data (the decoder stops there): a line after it is not of the file, in
    // the size listed as in the file written.
    std::string padded = test::Filtered(test::RandomBytes(44, 9), "base64");
    WriteFile(dir / "doubled.b64", padded + padded);
    {
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / "doubled.b64"));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        EXPECT_EQ(44, t.Records()[0]->size);
        t.OutputTo(dir / "out");
        ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / "out/doubled") == test::RandomBytes(44, 9));
    }
    WriteFile(dir / "letter.txt", "Test\nDear all, this is prose and not data at all.\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "letter.txt"));
    EXPECT_TRUE(t.Records().empty());
}

}  // namespace

// A large MIME body is decoded while it is loaded when asked; what the load writes is what a
// decode writes, whatever stands between its lines, or it is not used.
TEST(MimeDecode, WhatTheLoadDecodesIsWhatADecodeWrites) {
    TempDir dir;
    std::string data = test::RandomBytes((5 << 18) + 2, 43);  // 1.25 MiB, padded
    WriteFile(dir / "data.bin", data);
    std::string body = test::ShellOutput("base64 -w 76 " + Q(dir / "data.bin"));
    size_t mid = body.find('\n', body.size() / 2) + 1;
    std::string twice = body + test::Filtered("more", "base64");
    std::string stray = body.substr(0, mid) + "\n*** ***\n\n" + body.substr(mid);
    std::string early = body.substr(0, mid - 5) + "=" + body.substr(mid - 5);
    auto crlf = [](const std::string& s) {
        std::string out;
        for (char c : s)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    struct Case {
        const char* name;
        std::string body;
        bool kept;  // by the load
    };
    const Case cases[] = {
        {"lf", body, true},
        {"crlf", crlf(body), true},
        {"padding ends the data", twice, true},
        {"a stray line", stray, true},
        {"padding inside a line", early, false},  // its count goes on past where decoding stops
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "mail",
                  "MIME-Version: 1.0\nContent-Type: application/octet-stream; "
                  "name=big.bin\nContent-Transfer-Encoding: base64\n\n" +
                      c.body);
        std::string decoded[2];
        for (int during : {0, 1}) {
            SCOPED_TRACE(during);
            test::Library t;
            std::string out = test::OutputForDuringLoad(t, dir, during);
            ASSERT_EQ(0, t.Load(dir / "mail"));
            EXPECT_EQ(during && c.kept ? 1 : 0, test::OpenFilesIn(out));
            ASSERT_EQ(1u, t.Records().size());
            ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
            decoded[during] = ReadFile(out + "/big.bin");
        }
        EXPECT_TRUE(decoded[0] == decoded[1]);
        if (c.kept) {
            EXPECT_TRUE(decoded[1] == data);
        }
    }
}
