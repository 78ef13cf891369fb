// BinHex 4.0 against macutils binhex: run-length coding, the three CRCs, resource forks and
// postings in several parts.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/binhex/binhex.h"
#include "simd/simd.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Data that exercises the run-length code: runs of every length around the 255 limit, the
// marker byte 0x90 alone and in runs, and noise.
std::string Runny(size_t noise) {
    std::string d = test::RandomBytes(noise, 1);
    for (size_t run : {2, 3, 254, 255, 256, 1000})
        d += std::string(run, 'A') + "z";
    d += "\x90x\x90\x90\x90y";
    d += std::string(700, '\x90');
    d += std::string(5000, '\0');
    return d;
}

class BinHex : public ::testing::Test {
  protected:
    // Hexifies `data` under `name` with macutils (data fork only).
    std::string Hexify(const std::string& name, const std::string& data, const char* flags = "-d") {
        WriteFile(dir / name, data);
        std::string text =
            test::ShellOutput("cd " + Q(dir.path()) + " && binhex " + flags + " " + Q(name));
        test::Shell("rm -f " + Q(dir / name));
        return text;
    }
    TempDir dir;
};

TEST_F(BinHex, RoundTripsMacutilsOutput) {
    struct Row {
        const char* name;
        std::string data;
    } rows[] = {
        {"empty.txt", ""},
        {"one.bin", "x"},
        {"text.txt", "hello world\n"},
        {"runny.bin", Runny(3000)},
        {"noise.bin", test::RandomBytes(100000, 2)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = Hexify(row.name, row.data);
        ASSERT_NE(std::string::npos, text.find("(This file must be converted"));
        WriteFile(dir / "in.hqx", "Subject: a Mac file\n\n" + text);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / "in.hqx"));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        const codec::FileRecord* r = t.Records()[0];
        EXPECT_EQ(codec::Encoding::kBinHex, r->encoding);
        EXPECT_STREQ(row.name, r->name);
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        EXPECT_EQ(static_cast<int32_t>(row.data.size()), r->size);
        test::Shell("mkdir -p " + Q(dir / "out"));
        t.OutputTo(dir / "out");
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_EQ(row.data, ReadFile(dir / ("out/" + std::string(row.name))));
    }
}

// As classic Mac OS saved it, every line ending in a lone CR; and as a mail carries it, a MIME
// part of type application/mac-binhex40: the data fork under the BinHex name either way, as
// hexbin decodes it.
TEST_F(BinHex, MacLineEndsAndMimePartsAreBinHex) {
    std::string data = test::RandomBytes(30000, 31);
    std::string text = Hexify("mac.bin", data);
    std::string cr = text;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    std::string mime =
        "From: a@example.org\nSubject: a Mac file\nMIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\n\n--b1\nContent-Type: text/plain\n\n"
        "Here it is.\n--b1\nContent-Type: application/mac-binhex40; name=\"mac.hqx\"\n"
        "Content-Transfer-Encoding: 7bit\n\n" +
        text + "\n--b1--\n";
    test::Shell("mkdir -p " + Q(dir / "out"));
    for (const auto& [file, content] :
         std::vector<std::pair<std::string, std::string>>{{"cr.hqx", cr}, {"mail.eml", mime}}) {
        SCOPED_TRACE(file);
        WriteFile(dir / file, content);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / file));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        const codec::FileRecord* r = t.Records()[0];
        EXPECT_EQ(codec::Encoding::kBinHex, r->encoding);
        EXPECT_STREQ("mac.bin", r->name);
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        EXPECT_EQ(static_cast<int32_t>(data.size()), r->size);
        t.OutputTo(dir / "out");
        test::Shell("rm -f " + Q(dir / "out/mac.bin"));
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(data == ReadFile(dir / "out/mac.bin"));
    }
    // hexbin agrees on the CR file.
    test::Shell("mkdir -p " + Q(dir / "peer"));
    ASSERT_EQ(0, test::Shell("cd " + Q(dir / "peer") + " && hexbin -d ../cr.hqx 2>/dev/null"));
    EXPECT_TRUE(data == ReadFile(dir / "peer/mac.bin.data") ||
                data == ReadFile(dir / "peer/mac.bin"));
}

// The same BinHex file twice, the first copy damaged: the intact one is used.
TEST_F(BinHex, TheCopyWhoseCrcsMatchIsUsed) {
    std::string data = test::RandomBytes(20000, 32);
    std::string text = Hexify("twice.bin", data);
    std::string bad = text;
    size_t at = bad.find('\n', bad.find(':') + 200) + 10;
    bad[at] = bad[at] == 'A' ? 'B' : 'A';
    WriteFile(dir / "a.hqx", "Subject: twice\n\n" + bad);
    WriteFile(dir / "b.hqx", "Subject: twice\n\n" + text);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "a.hqx"));
    EXPECT_EQ(codec::kStateChecksum, t.Records()[0]->state & codec::kStateChecksum);
    ASSERT_EQ(0, t.Load(dir / "b.hqx"));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    EXPECT_NE(std::string::npos, t.AllMessages().find("this copy is used")) << t.AllMessages();
    test::Shell("mkdir -p " + Q(dir / "out"));
    t.OutputTo(dir / "out");
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
    EXPECT_TRUE(data == ReadFile(dir / "out/twice.bin"));
}

TEST_F(BinHex, ADamagedDataForkIsNamedInTheWarningAndNeedsDecodeWithErrors) {
    std::string data = test::RandomBytes(20000, 3);
    std::string text = Hexify("crc.bin", data);
    // One character in the middle of the data becomes another character of the alphabet.
    size_t at = text.size() / 2;
    while (text[at] == '\n' || text[at] == ':')
        ++at;
    text[at] = text[at] == 'A' ? 'B' : 'A';
    WriteFile(dir / "crc.hqx", text);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "crc.hqx"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(codec::kStateChecksum, t.Records()[0]->state);
    EXPECT_NE(std::string::npos, t.AllMessages().find("'crc.bin': the CRC of the BinHex data fork"))
        << t.AllMessages();
    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    EXPECT_TRUE(t.Records()[0]->state & codec::kStateReady);
}

// A cut mark and a signature between data lines are not data: the check passes over them, and
// so does the decode.
TEST_F(BinHex, LinesThatAreNotDataAreSkippedByTheDecodeAsByTheCheck) {
    std::string data = test::RandomBytes(30000, 5);
    std::string text = Hexify("cut.bin", data);
    size_t at = text.find('\n', text.size() / 2) + 1;
    text.insert(at, "--- cut here ---\n-- Bob\n");
    WriteFile(dir / "cut.hqx", text);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "cut.hqx"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    t.OutputTo(dir.path());
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
    EXPECT_TRUE(data == ReadFile(dir / "cut.bin"));
}

TEST_F(BinHex, CrlfLinesAreTakenInBulkAndChecked) {
    std::string data = test::RandomBytes(150000, 4);
    std::string lf = Hexify("crlf.bin", data), crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(dir / "crlf.hqx", crlf);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "crlf.hqx"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    t.OutputTo(dir.path());
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_EQ(data, ReadFile(dir / "crlf.bin"));

    // The bulk sweep stops at exactly the lines the line-by-line scan treats otherwise.
    const size_t first = crlf.find("\r\n", crlf.find(":") + 1) + 2;  // after the opening line
    const auto* p = reinterpret_cast<const unsigned char*>(crlf.data() + first);
    size_t lines = codec::BinHexFullLines(p, crlf.size() - first, 66);
    ASSERT_GT(lines, 100u);
    for (auto [at, c] :
         {std::pair<size_t, char>{0, ':'}, {31, ' '}, {63, '\x90'}, {64, '\n'}, {65, 'x'}}) {
        SCOPED_TRACE(at);
        std::string bad = crlf;
        bad[first + 50 * 66 + at] = c;
        EXPECT_EQ(codec::BinHexFullLines(reinterpret_cast<const unsigned char*>(bad.data() + first),
                                         bad.size() - first, 66),
                  50u);
    }
}

// The CRC-16 against the bit-by-bit definition, for lengths around the folding's, and the
// block decoder passing over line ends as the character-by-character reading does.
TEST(BinHexKernels, FoldedCrcAndBlocksAcrossLineEndsMatchThePlainReading) {
    auto crc16 = [](uint16_t crc, const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            crc = static_cast<uint16_t>(crc ^ p[i] << 8);
            for (int k = 0; k < 8; ++k)
                crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
        }
        return crc;
    };
    std::string data = test::RandomBytes(4096, 8);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t n = 0; n < 600; n += n < 80 ? 1 : 7) {
        size_t start = n % 13;
        auto seed = static_cast<uint16_t>(n * 2654435761u);
        EXPECT_EQ(crc16(seed, bytes + start, n), codec::Crc16(seed, bytes + start, n)) << n;
    }

    std::string line;
    const std::string alphabet =
        "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
    for (size_t i = 0; i < 64; ++i)
        line += alphabet[(i * 7) % 64];
    // Line ends at a block's start and in its middle (after the first line's ':' took a
    // character, they fall there in every later line).
    for (size_t skew : {0, 1, 3}) {
        SCOPED_TRACE(skew);
        std::string first = line.substr(skew);
        std::string joined = first + line + line, text = first + "\n" + line + "\r\n" + line + ":";
        std::vector<uint8_t> a(200), b(200);
        size_t wa = 0, wb = 0;
        size_t used = codec::BinHexDecodeBlocks(reinterpret_cast<const unsigned char*>(text.data()),
                                                text.size(), a.data(), wa);
        ASSERT_GT(used, 0u);
        size_t usedJoined = codec::BinHexDecodeBlocks(
            reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), b.data(), wb);
        ASSERT_EQ(joined.size() / 16 * 12, wb);
        ASSERT_EQ(wb, wa);
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + static_cast<long>(wa), b.begin()));
        // What is left is the same characters, the line ends aside.
        std::string rest = text.substr(used), restJoined = joined.substr(usedJoined) + ":";
        rest.erase(std::remove(rest.begin(), rest.end(), '\n'), rest.end());
        rest.erase(std::remove(rest.begin(), rest.end(), '\r'), rest.end());
        EXPECT_EQ(restJoined, rest);
    }
}

// Decode-during-load: the data fork of a large file, run-length coded, is written by the load
// once the header has told its size; a small one is only checked. Both decode alike.
TEST_F(BinHex, ALargeFileIsDecodedDuringTheLoadWhenAsked) {
    std::string big = std::string(3000, '\0') + Runny(1 << 20), small = Runny(5000);
    WriteFile(dir / "big.hqx", Hexify("big.bin", big));
    WriteFile(dir / "small.hqx", Hexify("small.bin", small));
    test::Shell("mkdir " + Q(dir / "out"));
    test::Library t;
    t.OutputTo(dir / "out");
    t.lib.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    ASSERT_EQ(0, t.Load(dir / "big.hqx"));
    ASSERT_EQ(0, t.Load(dir / "small.hqx"));
    EXPECT_EQ(1, test::OpenFilesIn(dir / "out"));
    EXPECT_TRUE(dir.List("out").empty());
    for (const auto& [name, data] : {std::pair{"big.bin", &big}, std::pair{"small.bin", &small}}) {
        const codec::FileRecord* r = t.Named(name);
        ASSERT_NE(nullptr, r) << t.AllMessages();
        ASSERT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(*data == ReadFile(dir / ("out/" + std::string(name)))) << name;
    }
    EXPECT_EQ(0, test::OpenFilesIn(dir / "out"));
}

// Each article of the posting ends with its poster's signature, whose "-- " is made of BinHex
// characters.
TEST_F(BinHex, AssemblesAPostingInShuffledPartsAndNotesAResourceFork) {
    std::string data = Runny(60000);
    std::string text = Hexify("parts.bin", data);
    auto pieces = test::SplitLines(text, 400);
    ASSERT_GE(pieces.size(), 3u);
    test::Library t;
    std::vector<size_t> order;
    for (size_t i = pieces.size(); i-- > 0;)
        order.push_back(i);
    for (size_t i : order) {
        std::string file = dir / ("p" + std::to_string(i));
        WriteFile(file, "Subject: parts.bin (" + std::to_string(i + 1) + "/" +
                            std::to_string(pieces.size()) + ")\n\n" + pieces[i] +
                            "-- \nPoster Name   |  poster@example.org\n");
        ASSERT_EQ(0, t.Load(file));
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    const codec::FileRecord* r = t.Records()[0];
    EXPECT_STREQ("parts.bin", r->name);
    ASSERT_EQ(codec::kStateReady, r->state) << t.AllMessages();
    t.OutputTo(dir.path());
    ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr));
    EXPECT_EQ(data, ReadFile(dir / "parts.bin"));

    // A file with a resource fork only is not an empty file: it has no data, and says why.
    std::string rsrc = Hexify("fork.rsrc", test::RandomBytes(500, 4), "-r");
    WriteFile(dir / "fork.hqx", rsrc);
    test::Library f;
    ASSERT_EQ(0, f.Load(dir / "fork.hqx"));
    ASSERT_EQ(1u, f.Records().size());
    EXPECT_NE(std::string::npos, f.AllMessages().find("has only a resource fork, of 500 bytes"))
        << f.AllMessages();
    EXPECT_EQ(codec::kStateNoData,
              f.Records()[0]->state & (codec::kStateNoData | codec::kStateReady));
    f.OutputTo(dir.path());
    EXPECT_NE(0, f.lib.DecodeFile(f.Records()[0], nullptr));
    EXPECT_FALSE(test::Exists(dir / "fork.rsrc"));
}

}  // namespace
