// The formats as one set: every encoding has its reader and its decoder, runs of lines are
// taken in bulk only over LF and CRLF breaks, and every format reads the same bytes whatever
// the line ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "formats/format.h"
#include "io/line_reader.h"
#include "support/test_support.h"

#ifndef TAMSEL_TEST_DATA
#define TAMSEL_TEST_DATA "tests/data"
#endif

namespace {

using codec::Encoding;

const Encoding kAll[] = {Encoding::kUu,     Encoding::kXx,   Encoding::kBase64,
                         Encoding::kBinHex, Encoding::kYenc, Encoding::kQuotedPrintable,
                         Encoding::kPlain};

TEST(Formats, EveryEncodingHasAReaderAndADecoder) {
    codec::FormatSet formats;
    for (Encoding e : kAll) {
        SCOPED_TRACE(codec::EncodingName(e));
        EXPECT_NE(nullptr, codec::NewSpanDecoder(e, true));
        formats.For(e);  // a missing reader would be a null reference here
    }
    // One reader per family: uu and xx share one, the keyword formats have their own.
    EXPECT_EQ(&formats.For(Encoding::kUu), &formats.For(Encoding::kXx));
    EXPECT_NE(&formats.For(Encoding::kUu), &formats.For(Encoding::kYenc));
    EXPECT_NE(&formats.For(Encoding::kBase64), &formats.For(Encoding::kBinHex));
}

TEST(Transport, StridesOnlyOverLfAndCrlfBreaks) {
    test::TempDir dir;
    const size_t max = codec::LineReader::kMaxLine;
    test::WriteFile(dir / "f", "abc\nde\r\n" + std::string(max + 10, 'x') + "\nlast");
    int fd = open((dir / "f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    codec::FdInput input(fd);
    std::vector<char> buffer;
    codec::LineReader reader(buffer);
    reader.Reset(input, 0, UINT64_MAX);
    std::vector<size_t> strides;
    codec::Line line;
    while (reader.Next(line))
        strides.push_back(line.Stride());
    close(fd);
    // "abc\n", "de\r\n", the two pieces of the overlong line, the last line without a break.
    EXPECT_EQ((std::vector<size_t>{4, 4, 0, 0, 0}), strides);
}

// Each fixture, made by a peer tool, with every line end made LF, CRLF and CR (classic Mac OS
// text), and with a UTF-8 byte order mark before it: the same files come out.
TEST(Formats, LineEndsAndAByteOrderMarkDoNotChangeWhatIsDecoded) {
    for (const char* fixture : {"fox.uue", "fox-base64.uue", "fox.mim", "fox.hqx", "fox.yenc",
                                "fox-qp.eml", "spool.mbox", "partial.mbox"}) {
        SCOPED_TRACE(fixture);
        std::string original = test::ReadFile(std::string(TAMSEL_TEST_DATA) + "/" + fixture);
        std::string lf, crlf, cr;
        for (char c : original) {
            if (c == '\r') continue;
            if (c == '\n') crlf += '\r';
            crlf += c;
            lf += c;
            cr += c == '\n' ? '\r' : c;
        }
        std::vector<std::vector<std::pair<std::string, std::string>>> outputs;
        for (const std::string& text : {lf, crlf, cr, "\xEF\xBB\xBF" + lf}) {
            test::TempDir dir;
            test::WriteFile(dir / "in", text);
            test::TempDir out;
            test::Library lib;
            lib.OutputTo(out.path());
            ASSERT_EQ(codec::kOk, lib.Load(dir / "in"));
            auto records = lib.Records();
            ASSERT_FALSE(records.empty());
            for (const codec::FileRecord* r : records) {
                EXPECT_TRUE(r->state & codec::kStateReady) << r->state;
                EXPECT_EQ(codec::kOk, lib.lib.DecodeFile(r, nullptr)) << lib.AllMessages();
            }
            std::vector<std::pair<std::string, std::string>> files;
            for (const std::string& name : out.List())
                files.emplace_back(name, test::ReadFile(out / name));
            outputs.push_back(files);
        }
        ASSERT_FALSE(outputs[0].empty());
        EXPECT_EQ(outputs[0], outputs[1]);
        EXPECT_EQ(outputs[0], outputs[2]);
        EXPECT_EQ(outputs[0], outputs[3]);
    }
}

}  // namespace
