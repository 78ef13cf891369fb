// yEnc: single and multi-part postings from an encoder written here from the yEnc 1.3
// description, checksums verified, escapes anywhere, and mixed encodings in one CRLF spool.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "support/test_support.h"
#include "yenc.h"

namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

uint32_t Crc(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

std::string Hex(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

struct Encoder {
    size_t line = 128;
    bool danglingEscapes = false;  // put an escape's '=' at the end of a line, its byte next

    // The data lines of `data`: every byte plus 42, NUL, LF, CR and '=' escaped (and TAB or
    // blank at a line's start or end, '.' at its start), lines of about `line` characters.
    std::string Lines(const std::string& data) const {
        std::string out, cur;
        for (size_t i = 0; i < data.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(data[i] + 42);
            bool first = cur.empty();
            bool last = cur.size() + 1 >= line || i + 1 == data.size();
            bool critical = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                            ((first || last) && (c == '\t' || c == ' ')) || (first && c == '.');
            if (critical) {
                cur += '=';
                if (danglingEscapes && cur.size() + 1 >= line) {
                    out += cur + "\r\n";
                    cur.clear();
                }
                cur += static_cast<char>(c + 64);
            } else {
                cur += static_cast<char>(c);
            }
            if (cur.size() >= line) {
                out += cur + "\r\n";
                cur.clear();
            }
        }
        if (!cur.empty()) out += cur + "\r\n";
        return out;
    }

    std::string Single(const std::string& data, const std::string& name) const {
        return "=ybegin line=" + std::to_string(line) + " size=" + std::to_string(data.size()) +
               " name=" + name + "\r\n" + Lines(data) +
               "=yend size=" + std::to_string(data.size()) + " crc32=" + Hex(Crc(data)) + "\r\n";
    }

    // Part k (1-based) of n of data, as the body of an article.
    std::string Part(const std::string& data, const std::string& name, size_t k, size_t n) const {
        size_t per = (data.size() + n - 1) / n;
        size_t begin = (k - 1) * per, end = std::min(data.size(), k * per);
        std::string piece = data.substr(begin, end - begin);
        std::string text = "=ybegin part=" + std::to_string(k) + " total=" + std::to_string(n) +
                           " line=" + std::to_string(line) +
                           " size=" + std::to_string(data.size()) + " name=" + name +
                           "\r\n=ypart begin=" + std::to_string(begin + 1) +
                           " end=" + std::to_string(end) + "\r\n" + Lines(piece) +
                           "=yend size=" + std::to_string(piece.size()) +
                           " part=" + std::to_string(k) + " pcrc32=" + Hex(Crc(piece));
        if (k == n) text += " crc32=" + Hex(Crc(data));
        return text + "\r\n";
    }
};

std::string Article(const std::string& subject, const std::string& body) {
    return "From: poster@example.org\r\nNewsgroups: alt.binaries.test\r\nSubject: " + subject +
           "\r\n\r\n" + body;
}

std::string Subject(const std::string& name, size_t k, size_t n) {
    return "\"" + name + "\" yEnc (" + std::to_string(k) + "/" + std::to_string(n) + ")";
}

class Yenc : public ::testing::Test {
  protected:
    void ExpectDecodes(test::Library& t, const std::string& name, const std::string& data,
                       codec::Encoding encoding = codec::Encoding::kYenc) {
        const codec::FileRecord* r = t.Named(name);
        ASSERT_NE(nullptr, r) << t.AllMessages();
        EXPECT_EQ(encoding, r->encoding);
        ASSERT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        EXPECT_EQ(static_cast<int32_t>(data.size()), r->size);
        std::string out = dir / ("out" + std::to_string(++m_outputs));
        test::Shell("mkdir " + test::Q(out));
        t.OutputTo(out);
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_EQ(data, ReadFile(out + "/" + name));
    }
    TempDir dir;
    int m_outputs = 0;
};

TEST_F(Yenc, DecodesSinglePartsOfAnySizeAndLineLength) {
    for (size_t line : {128, 997, 200000}) {
        for (size_t size : {0, 1, 127, 128, 129, 70000}) {
            SCOPED_TRACE("line " + std::to_string(line) + " size " + std::to_string(size));
            Encoder e;
            e.line = line;
            std::string data = test::RandomBytes(size, static_cast<uint32_t>(size + line));
            std::string name = "s" + std::to_string(size) + "-" + std::to_string(line) + ".bin";
            WriteFile(dir / "in.yenc", Article("single", e.Single(data, name)));
            test::Library t;
            ASSERT_EQ(0, t.Load(dir / "in.yenc"));
            ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
            ExpectDecodes(t, name, data);
        }
    }
}

TEST_F(Yenc, EscapesSplitAcrossLineEndsStillDecode) {
    Encoder e;
    e.line = 16;
    e.danglingEscapes = true;
    // Bytes that all need escaping once 42 is added: '=' - 42, NUL - 42, CR - 42, LF - 42.
    std::string data;
    for (int i = 0; i < 300; ++i)
        data += static_cast<char>("\x13\xd6\xe3\xe0"[i % 4]);
    std::string text = e.Single(data, "esc.bin");
    ASSERT_NE(std::string::npos, text.find("=\r\n")) << "no escape at a line end";
    WriteFile(dir / "esc.yenc", text);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "esc.yenc"));
    ExpectDecodes(t, "esc.bin", data);
}

TEST_F(Yenc, AssemblesShuffledPartsAndChecksTheWholeFileCrc) {
    Encoder e;
    std::string data = test::RandomBytes(250000, 3);
    std::vector<size_t> order = {3, 1, 5, 2, 4};
    test::Library t;
    for (size_t k : order) {
        std::string file = dir / ("p" + std::to_string(k));
        WriteFile(file, Article(Subject("multi.bin", k, 5), e.Part(data, "multi.bin", k, 5)));
        ASSERT_EQ(0, t.Load(file));
        if (k == 3) {
            EXPECT_EQ(0u, t.Records()[0]->state & codec::kStateChecksum);
        }
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "multi.bin", data);
}

TEST_F(Yenc, ABadCrcIsReportedAndNeedsDecodeWithErrors) {
    Encoder e;
    std::string data = test::RandomBytes(30000, 4);
    test::Library t;
    for (size_t k = 1; k <= 3; ++k) {
        std::string body = e.Part(data, "bad.bin", k, 3);
        if (k == 2) {
            // One data byte changed: the part's CRC no longer fits.
            size_t at = body.find("\r\n", body.find("=ypart")) + 10;
            body[at] = body[at] == 'a' ? 'b' : 'a';
        }
        std::string file = dir / ("b" + std::to_string(k));
        WriteFile(file, Article(Subject("bad.bin", k, 3), body));
        ASSERT_EQ(0, t.Load(file));
    }
    const codec::FileRecord* r = t.Named("bad.bin");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(codec::kStateChecksum, r->state);
    EXPECT_NE(std::string::npos, t.AllMessages().find("'bad.bin' part 2: the CRC-32"))
        << t.AllMessages();
    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    EXPECT_EQ(codec::kStateChecksum | codec::kStateReady, r->state);
    t.OutputTo(dir.path());
    ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr));
    EXPECT_EQ(data.size(), ReadFile(dir / "bad.bin").size());
}

TEST_F(Yenc, AWrongTrailerSizeOrCrcOnASinglePartIsCaught) {
    Encoder e;
    std::string data = test::RandomBytes(5000, 5);
    std::string text = e.Single(data, "lie.bin");
    std::string crc = Hex(Crc(data));
    text.replace(text.find(crc), 8, "00000000");
    WriteFile(dir / "lie.yenc", text);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "lie.yenc"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(codec::kStateChecksum, t.Records()[0]->state);
}

TEST_F(Yenc, ReportsMissingPartsByNumber) {
    Encoder e;
    std::string data = test::RandomBytes(40000, 6);
    test::Library t;
    for (size_t k : {1, 4}) {
        std::string file = dir / ("m" + std::to_string(k));
        WriteFile(file, Article(Subject("gap.bin", k, 4), e.Part(data, "gap.bin", k, 4)));
        ASSERT_EQ(0, t.Load(file));
    }
    const codec::FileRecord* r = t.Named("gap.bin");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(codec::kStateMissingParts, r->state);
    EXPECT_EQ(2, r->missingParts[0]);
    EXPECT_EQ(3, r->missingParts[1]);
    EXPECT_EQ(0, r->missingParts[2]);
}

TEST_F(Yenc, MixedEncodingsInOneCrlfSpool) {
    Encoder e;
    std::string y = test::RandomBytes(9000, 7), u = test::RandomBytes(7000, 8),
                b = test::RandomBytes(5000, 9);
    WriteFile(dir / "u", u);
    WriteFile(dir / "b", b);
    std::string uu = test::ShellOutput("cd " + test::Q(dir.path()) + " && uuencode u u.bin");
    std::string b64 = test::ShellOutput("base64 " + test::Q(dir / "b"));
    auto crlf = [](std::string s) {
        std::string out;
        for (char c : s)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    std::string spool =
        "From a@example.org Mon Dec  7 10:00:00 2026\r\n" + Article("y.bin", e.Single(y, "y.bin")) +
        "\r\nFrom a@example.org Mon Dec  7 10:00:01 2026\r\n" + Article("u.bin", crlf(uu)) +
        "\r\nFrom a@example.org Mon Dec  7 10:00:02 2026\r\n" +
        crlf(
            "Subject: b\nMIME-Version: 1.0\nContent-Type: application/octet-stream; "
            "name=b.bin\nContent-Transfer-Encoding: base64\n\n" +
            b64);
    WriteFile(dir / "spool", spool);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "spool"));
    ASSERT_EQ(3u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "y.bin", y);
    ExpectDecodes(t, "u.bin", u, codec::Encoding::kUu);
    ExpectDecodes(t, "b.bin", b, codec::Encoding::kBase64);
}

TEST(YencLines, ParseKeywordsAndNamesWithBlanks) {
    codec::YencBegin b;
    ASSERT_TRUE(
        codec::ParseYbegin("=ybegin part=2 total=9 line=128 size=123456 name=my file.bin ", b));
    EXPECT_EQ(2, b.part);
    EXPECT_EQ(9, b.total);
    EXPECT_EQ(123456, b.size);
    EXPECT_EQ("my file.bin", b.name);
    codec::YencEnd e;
    ASSERT_TRUE(codec::ParseYend("=yend size=100 part=2 pcrc32=DEADbeef crc32=zz", e));
    EXPECT_TRUE(e.hasPartCrc);
    EXPECT_EQ(0xDEADBEEFu, e.partCrc);
    EXPECT_FALSE(e.hasCrc);
    EXPECT_FALSE(codec::ParseYend("=yendless", e));
}

TEST_F(Yenc, ALineOfBlanksIsData) {
    // Four bytes 0xF6 encode as four blanks; an encoder that does not escape them writes a line
    // that looks empty.
    std::string data(4, '\xF6');
    WriteFile(dir / "blank.yenc",
              "=ybegin line=128 size=4 name=blank.bin\n    \n=yend size=4 crc32=" + Hex(Crc(data)) +
                  "\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "blank.yenc"));
    ExpectDecodes(t, "blank.bin", data);
}

}  // namespace
