// yEnc: single and multi-part postings from an encoder written here from the yEnc 1.3
// description, checksums verified, escapes anywhere, and mixed encodings in one CRLF spool.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "formats/yenc/yenc.h"
#include "simd/simd.h"
#include "support/test_support.h"

namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

using test::Crc;
using test::Hex;
using Encoder = test::YencEncoder;

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

// total= is optional: the parts' ranges and the part that reaches the file's size say where
// the set ends. Some encoders write the whole file's CRC on every part: it is compared only
// once the set is whole. Until then the set is missing parts, never a checksum error.
TEST_F(Yenc, SetsWithoutTotalsOrWithTheFileCrcOnEveryPart) {
    std::string data = test::RandomBytes(50000, 12);
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant == 0 ? "no total=" : "crc32= on every part");
        Encoder e;
        e.writeTotal = variant != 0;
        e.everyPartFileCrc = variant != 0;
        std::string name = "set" + std::to_string(variant) + ".bin";
        test::Library t;
        for (size_t k : {1, 2, 4}) {
            std::string file = dir / (name + "." + std::to_string(k));
            // No numbering in the Subject either: only the yEnc lines say what the part is.
            WriteFile(file, Article("a file for you", e.Part(data, name, k, 4)));
            ASSERT_EQ(0, t.Load(file));
        }
        const codec::FileRecord* r = t.Named(name);
        ASSERT_NE(nullptr, r) << t.AllMessages();
        EXPECT_EQ(codec::kStateMissingParts, r->state) << t.AllMessages();
        EXPECT_EQ(3, r->missingParts[0]);
        EXPECT_EQ(std::string::npos, t.AllMessages().find("warning")) << t.AllMessages();
        // Without the last part, nothing says the set ends at part 2.
        test::Library head;
        for (size_t k : {1, 2})
            ASSERT_EQ(0, head.Load(dir / (name + "." + std::to_string(k))));
        ASSERT_NE(nullptr, head.Named(name));
        EXPECT_EQ(0u, head.Named(name)->state & codec::kStateReady);
        EXPECT_EQ(0u, head.Named(name)->state & codec::kStateChecksum);
        std::string file = dir / (name + ".3");
        WriteFile(file, Article("a file for you", e.Part(data, name, 3, 4)));
        ASSERT_EQ(0, t.Load(file));
        ExpectDecodes(t, name, data);
    }
}

// Articles whose parts lost their =yend lines, one after another in a file: the next
// article's header is never data, =ypart places each part, and the result is that of the
// same articles saved one to a file.
TEST_F(Yenc, PartsWithoutTheirEndLinesInOneFile) {
    Encoder e;
    std::string data = test::RandomBytes(30000, 13);
    std::string all;
    test::Library each;
    for (size_t k = 1; k <= 3; ++k) {
        std::string part = e.Part(data, "noend.bin", k, 3);
        part.resize(part.rfind("=yend"));
        std::string article = Article(Subject("noend.bin", k, 3), part);
        WriteFile(dir / ("a" + std::to_string(k)), article);
        ASSERT_EQ(0, each.Load(dir / ("a" + std::to_string(k))));
        all += article;
    }
    WriteFile(dir / "all", all);
    test::Library one;
    ASSERT_EQ(0, one.Load(dir / "all"));
    for (test::Library* t : {&each, &one}) {
        ASSERT_EQ(1u, t->Records().size()) << t->AllMessages();
        const codec::FileRecord* r = t->Records()[0];
        EXPECT_EQ(codec::kStateNoEnd, r->state) << t->AllMessages();
        EXPECT_EQ(static_cast<int32_t>(data.size()), r->size);
        EXPECT_EQ(std::string::npos, t->AllMessages().find("warning")) << t->AllMessages();
        t->lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
        std::string out = dir / ("out" + std::to_string(++m_outputs));
        test::Shell("mkdir " + test::Q(out));
        t->OutputTo(out);
        ASSERT_EQ(0, t->lib.DecodeFile(r, nullptr)) << t->AllMessages();
        EXPECT_TRUE(ReadFile(out + "/noend.bin") == data);
    }
}

// A part found twice, once damaged: the copy whose CRC matches is used, whichever came first,
// and a note says so.
TEST_F(Yenc, TheCopyWhoseCrcMatchesIsUsed) {
    Encoder e;
    std::string data = test::RandomBytes(30000, 14);
    std::string good = e.Part(data, "rep.bin", 2, 3);
    std::string bad = good;
    size_t at = bad.find("\r\n", bad.find("=ypart")) + 100;
    bad[at] = bad[at] == 'x' ? 'y' : 'x';
    for (bool damagedFirst : {true, false}) {
        SCOPED_TRACE(damagedFirst ? "damaged copy first" : "intact copy first");
        test::Library t;
        std::vector<std::string> bodies = {e.Part(data, "rep.bin", 1, 3), damagedFirst ? bad : good,
                                           damagedFirst ? good : bad,
                                           e.Part(data, "rep.bin", 3, 3)};
        for (size_t k = 0; k < bodies.size(); ++k) {
            std::string file = dir / ("r" + std::to_string(k));
            WriteFile(file, Article("repost", bodies[k]));
            ASSERT_EQ(0, t.Load(file));
        }
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        EXPECT_NE(std::string::npos,
                  t.AllMessages().find(damagedFirst ? "its checksum matches where the first copy's"
                                                    : "the first copy is kept"))
            << t.AllMessages();
        ExpectDecodes(t, "rep.bin", data);
    }
    // A single-part file posted twice, the first copy damaged, decoded during the load: what
    // the load kept of the damaged copy goes.
    std::string big = test::RandomBytes((1 << 20) + 500, 15);
    std::string single = e.Single(big, "one.bin");
    std::string broken = single;
    broken[single.find("\r\n") + 300] ^= 1;
    WriteFile(dir / "s1", broken);
    WriteFile(dir / "s2", single);
    test::Library t;
    t.lib.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    test::Shell("mkdir " + test::Q(dir / "kept"));
    t.OutputTo(dir / "kept");
    ASSERT_EQ(0, t.Load(dir / "s1"));
    ASSERT_EQ(0, t.Load(dir / "s2"));
    EXPECT_EQ(1, test::OpenFilesIn(dir / "kept"));
    ExpectDecodes(t, "one.bin", big);
}

// Two single-part files of one name: told apart by the size and CRC-32 their encoder wrote.
TEST_F(Yenc, FilesOfOneNameAreToldApartByWhatTheEncoderWrote) {
    Encoder e;
    std::string a = test::RandomBytes(20000, 16), b = test::RandomBytes(20000, 17);
    WriteFile(dir / "y1", e.Single(a, "pic.jpg"));
    WriteFile(dir / "y2", e.Single(b, "pic.jpg"));
    WriteFile(dir / "y3", e.Single(a, "pic.jpg"));
    test::Library t;
    for (const char* f : {"y1", "y2", "y3"})
        ASSERT_EQ(0, t.Load(dir / f));
    ASSERT_EQ(2u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "pic.jpg", a);
    ExpectDecodes(t, "pic (2).jpg", b);
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

// Data lines are taken in bulk between lines that mean more than data: a MIME boundary right
// after the data, a blank line before a new article, a line of blanks that is data, and an
// unknown keyword line. Every file must come out as the line-by-line reading gives it.
TEST_F(Yenc, BulkDataStopsWhereALineMeansMore) {
    Encoder e;
    std::string a = test::RandomBytes(200000, 21), b = test::RandomBytes(3000, 22),
                c = test::RandomBytes(150000, 23);
    WriteFile(dir / "b", b);
    std::string b64 = test::ShellOutput("base64 " + test::Q(dir / "b"));
    // yEnc in a text part of a multipart message, the boundary straight after the trailer.
    std::string mime =
        "From: x@example.org\r\nSubject: a\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"--=y-and-dashes\"\r\n\r\n"
        "----=y-and-dashes\r\nContent-Type: text/plain\r\n\r\n" +
        e.Single(a, "a.bin") +
        "----=y-and-dashes\r\nContent-Type: application/octet-stream; name=b.bin\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        b64 + "----=y-and-dashes--\r\n";
    // A posting whose trailer was lost, then a blank line and the next article.
    std::string cut = e.Single(c, "c.bin");
    cut = cut.substr(0, cut.find("=yend"));
    std::string u = test::RandomBytes(2000, 24);
    WriteFile(dir / "u", u);
    std::string uu = test::ShellOutput("cd " + test::Q(dir.path()) + " && uuencode u u.bin");
    std::string spool = mime + "\r\n" + Article("c.bin", cut) + "\r\n" + Article("u.bin", uu);
    WriteFile(dir / "spool", spool);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "spool"));
    ASSERT_EQ(4u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "a.bin", a);
    ExpectDecodes(t, "b.bin", b, codec::Encoding::kBase64);
    ExpectDecodes(t, "u.bin", u, codec::Encoding::kUu);
    ASSERT_NE(nullptr, t.Named("c.bin"));
    EXPECT_EQ(codec::kStateNoEnd, t.Named("c.bin")->state);

    // A line of blanks that is data (0xF6 bytes left unescaped) and a keyword line the format
    // does not know, deep inside a long run of data lines, in a file large enough to be decoded
    // during the load when asked: the scan that checks the CRC, the decode and the load that
    // decodes read them alike, as data.
    std::string d = test::RandomBytes(1200000, 25);
    std::string lines = e.Lines(d);
    size_t mid = lines.find("\r\n", lines.size() / 2) + 2;
    std::string doctored = lines.substr(0, mid) + std::string(40, ' ') +
                           "\r\n=yfuture keyword\r\n" + lines.substr(mid);
    std::vector<uint8_t> buf(doctored.size() + 16);
    codec::YencDecoder decoder;
    std::string expected(reinterpret_cast<const char*>(buf.data()),
                         decoder.Decode(doctored.data(), doctored.size(), buf.data()));
    ASSERT_NE(std::string::npos, expected.find(std::string(40, '\xF6')));
    std::string size = std::to_string(expected.size());
    WriteFile(dir / "d.yenc", "=ybegin line=128 size=" + size + " name=d.bin\r\n" + doctored +
                                  "=yend size=" + size + " crc32=" + Hex(Crc(expected)) + "\r\n");
    for (int during : {0, 1}) {
        SCOPED_TRACE(during);
        test::Library each;
        std::string out = test::OutputForDuringLoad(each, dir, during);
        ASSERT_EQ(0, each.Load(dir / "d.yenc"));
        EXPECT_EQ(during, test::OpenFilesIn(out));  // the load's unnamed output
        const codec::FileRecord* r = each.Named("d.bin");
        ASSERT_NE(nullptr, r) << each.AllMessages();
        ASSERT_EQ(codec::kStateReady, r->state) << each.AllMessages();
        ASSERT_EQ(0, each.lib.DecodeFile(r, nullptr)) << each.AllMessages();
        EXPECT_TRUE(ReadFile(out + "/d.bin") == expected);
    }
}

// With decode-during-load on, large single-part files are written (unnamed) into the output
// directory by the load; DecodeFile puts them in place under the record's name as it is then,
// a bad CRC still needs decode-with-errors, and a changed output directory, CleanUp or a
// limit on how many are kept at once fall back to decoding.
TEST_F(Yenc, LargeFilesAreDecodedDuringTheLoadWhenAsked) {
    Encoder e;
    std::string out = dir / "out";
    test::Shell("mkdir " + test::Q(out));
    std::vector<std::string> data;
    test::Library t;
    t.OutputTo(out);
    t.lib.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    for (uint32_t k = 0; k < 7; ++k) {
        data.push_back(test::RandomBytes((1 << 20) + 1000 * k, 30 + k));
        std::string text = e.Single(data[k], "f" + std::to_string(k) + ".bin");
        if (k == 1) {  // one byte changed: the CRC no longer fits
            size_t at = text.find("\r\n") + 500;
            text[at] = text[at] == 'a' ? 'b' : 'a';
        }
        WriteFile(dir / ("f" + std::to_string(k) + ".yenc"), text);
        ASSERT_EQ(0, t.Load(dir / ("f" + std::to_string(k) + ".yenc")));
    }
    EXPECT_EQ(4, test::OpenFilesIn(out));  // at most four at once
    EXPECT_TRUE(dir.List("out").empty());
    const codec::FileRecord* bad = t.Named("f1.bin");
    ASSERT_NE(nullptr, bad);
    EXPECT_EQ(codec::kStateChecksum, bad->state);
    EXPECT_EQ(codec::kNoData, t.lib.DecodeFile(bad, nullptr));
    ASSERT_EQ(0, t.lib.RenameFile(t.Named("f0.bin"), "renamed.bin"));
    for (uint32_t k = 0; k < 7; ++k) {
        if (k == 1) continue;
        std::string name = k == 0 ? "renamed.bin" : "f" + std::to_string(k) + ".bin";
        ASSERT_EQ(0, t.lib.DecodeFile(t.Named(name), nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(out + "/" + name) == data[k]) << name;
    }
    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    ASSERT_EQ(0, t.lib.DecodeFile(bad, nullptr));
    EXPECT_EQ(data[1].size(), ReadFile(out + "/f1.bin").size());
    EXPECT_EQ(0, test::OpenFilesIn(out));

    // Loaded for one directory, decoded into another.
    std::string other = dir / "other";
    test::Shell("mkdir " + test::Q(other));
    test::Library moved;
    moved.OutputTo(out);
    moved.lib.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    ASSERT_EQ(0, moved.Load(dir / "f2.yenc"));
    EXPECT_EQ(1, test::OpenFilesIn(out));
    moved.OutputTo(other);
    ASSERT_EQ(0, moved.lib.DecodeFile(moved.Named("f2.bin"), nullptr));
    EXPECT_TRUE(ReadFile(other + "/f2.bin") == data[2]);
    EXPECT_EQ(0, test::OpenFilesIn(out));

    // Dropped unused; a repeat keeps nothing.
    ASSERT_EQ(0, moved.Load(dir / "f3.yenc"));
    ASSERT_EQ(0, moved.Load(dir / "f3.yenc"));
    EXPECT_EQ(1, test::OpenFilesIn(other));
    moved.lib.CleanUp();
    EXPECT_EQ(0, test::OpenFilesIn(other));
    EXPECT_EQ((std::vector<std::string>{"f2.bin"}), dir.List("other"));

    // Data before a =ypart line is not the file's: what the load had written is given up.
    std::string size = std::to_string(data[4].size());
    WriteFile(dir / "restart.yenc",
              "=ybegin line=128 size=" + size + " name=r.bin\r\n" +
                  e.Lines(test::RandomBytes(5000, 40)) + "=ypart begin=1 end=" + size + "\r\n" +
                  e.Lines(data[4]) + "=yend size=" + size + " crc32=" + Hex(Crc(data[4])) + "\r\n");
    ASSERT_EQ(0, moved.Load(dir / "restart.yenc"));
    EXPECT_EQ(0, test::OpenFilesIn(other));
    ASSERT_EQ(0, moved.lib.DecodeFile(moved.Named("r.bin"), nullptr)) << moved.AllMessages();
    EXPECT_TRUE(ReadFile(other + "/r.bin") == data[4]);
}

// What the load decoded is not put in place when the input has changed since: it would not
// be what the input holds now.
TEST_F(Yenc, DataTheLoadDecodedIsNotUsedOnceTheInputChanged) {
    Encoder e;
    std::string out = dir / "out";
    test::Shell("mkdir " + test::Q(out));
    std::string data = test::RandomBytes((1 << 20) + 77, 50);
    std::string path = dir / "big.yenc";
    WriteFile(path, e.Single(data, "big.bin"));
    test::Library t;
    t.OutputTo(out);
    t.lib.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    ASSERT_EQ(0, t.Load(path));
    EXPECT_EQ(1, test::OpenFilesIn(out));  // kept
    WriteFile(dir / "new", e.Single(test::RandomBytes(data.size(), 51), "big.bin"));
    ASSERT_EQ(0, std::rename((dir / "new").c_str(), path.c_str()));
    EXPECT_EQ(codec::kIoError, t.lib.DecodeFile(t.Named("big.bin"), nullptr));
    EXPECT_NE(std::string::npos, t.AllMessages().find("has changed since it was loaded"))
        << t.AllMessages();
    EXPECT_TRUE(dir.List("out").empty());
    EXPECT_EQ(0, test::OpenFilesIn(out));
}

TEST(YencDecoder, MarkedLineStartsAreFoundWhereverTheyFall) {
    std::mt19937 rng(3);
    const std::string alphabet = "ab=-\r\n \t\n\n";
    for (int round = 0; round < 2000; ++round) {
        std::string text(std::uniform_int_distribution<size_t>(0, 80)(rng), 'x');
        for (char& c : text)
            c = rng() % 4 ? 'x' : alphabet[rng() % alphabet.size()];
        size_t expected = text.size();
        for (size_t i = 1; i < text.size(); ++i)
            if (text[i - 1] == '\n' &&
                std::string_view("=- \t\r\n").find(text[i]) != std::string_view::npos) {
                expected = i;
                break;
            }
        ASSERT_EQ(expected, codec::FindMarkedLineStart(
                                reinterpret_cast<const unsigned char*>(text.data()), text.size()))
            << round;
    }
}

// The block decoder against the plain reading of the rules, on text crowded with '=', CR and
// LF (escapes doubled, before line ends, at block and slice edges), cut at random places.
TEST(YencDecoder, BlocksDecodeAsByteByByteAcrossAnySlicing) {
    auto reference = [](const std::string& text) {
        std::string out;
        bool escape = false;
        for (char ch : text) {
            if (ch == '\r' || ch == '\n') continue;
            if (escape) {
                out += static_cast<char>(ch - 64 - 42);
                escape = false;
            } else if (ch == '=') {
                escape = true;
            } else {
                out += static_cast<char>(ch - 42);
            }
        }
        return out;
    };
    std::mt19937 rng(11);
    const std::string specials = "==\r\n";
    for (int round = 0; round < 400; ++round) {
        std::string text(std::uniform_int_distribution<size_t>(0, 300)(rng), 'x');
        int density = std::uniform_int_distribution<int>(0, 40)(rng);
        for (char& c : text) {
            c = static_cast<char>(rng());
            if (static_cast<int>(rng() % 100) < density) c = specials[rng() % specials.size()];
        }
        std::vector<uint8_t> out(text.size() + 16);
        codec::YencDecoder decoder;
        size_t written = 0;
        for (size_t at = 0; at < text.size();) {
            size_t n =
                std::min(text.size() - at, std::uniform_int_distribution<size_t>(1, 70)(rng));
            written += decoder.Decode(text.data() + at, n, out.data() + written);
            at += n;
        }
        ASSERT_EQ(reference(text), std::string(out.begin(), out.begin() + written))
            << "round " << round;
    }
}

TEST(YencDecoder, Crc32MatchesZlibForEveryLengthAndStart) {
    std::mt19937 rng(5);
    std::vector<uint8_t> data(1 << 20);
    for (uint8_t& b : data)
        b = static_cast<uint8_t>(rng());
    for (size_t n = 0; n < 300; ++n) {
        size_t start = rng() % 64;
        auto seed = static_cast<uint32_t>(rng());
        ASSERT_EQ(crc32_z(seed, data.data() + start, n), codec::Crc32(seed, data.data() + start, n))
            << n;
    }
    EXPECT_EQ(crc32_z(0, data.data(), data.size()), codec::Crc32(0, data.data(), data.size()));
    // Continuing from a CRC equals one call over both pieces.
    uint32_t part = codec::Crc32(0, data.data(), 1000);
    EXPECT_EQ(crc32_z(0, data.data(), 5000), codec::Crc32(part, data.data() + 1000, 4000));
}

}  // namespace
