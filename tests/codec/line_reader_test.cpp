// The line reader: line ends of any kind, offsets, overlong lines in pieces, and the
// transform of dot-stuffed inputs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "io/line_reader.h"
#include "support/test_support.h"

namespace {

struct Got {
    std::string text;
    uint64_t offset, next;
    bool overlong;
};

std::vector<Got> ReadAll(const std::string& content, uint64_t start = 0,
                         uint64_t end = UINT64_MAX) {
    test::TempDir dir;
    test::WriteFile(dir / "f", content);
    int fd = open((dir / "f").c_str(), O_RDONLY);
    std::vector<char> buffer;
    codec::LineReader reader(buffer);
    codec::FdInput input(fd);
    reader.Reset(input, start, end);
    std::vector<Got> got;
    codec::Line line;
    while (reader.Next(line))
        got.push_back({std::string(line.text), line.offset, line.next, line.overlong});
    close(fd);
    return got;
}

TEST(LineReader, SplitsLfAndCrlfAndALastLineWithoutEnd) {
    auto got = ReadAll("a\r\nbb\n\nccc");
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ("a", got[0].text);
    EXPECT_EQ(0u, got[0].offset);
    EXPECT_EQ(3u, got[0].next);
    EXPECT_EQ("bb", got[1].text);
    EXPECT_EQ(3u, got[1].offset);
    EXPECT_EQ("", got[2].text);
    EXPECT_EQ("ccc", got[3].text);
    EXPECT_EQ(10u, got[3].next);
}

TEST(LineReader, ReadsOnlyTheRangeAskedFor) {
    auto got = ReadAll("one\ntwo\nthree\n", 4, 9);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ("two", got[0].text);
    EXPECT_EQ("t", got[1].text);
}

TEST(LineReader, HandsOutOverlongLinesInPiecesAcrossBufferRefills) {
    const size_t max = codec::LineReader::kMaxLine;
    std::string big = test::RandomBytes(3 * max + 123, 5);
    for (char& c : big)
        if (c == '\n' || c == '\r') c = 'x';
    // Enough short lines first that the long one straddles a buffer refill.
    std::string head;
    while (head.size() < codec::LineReader::kBufferSize - max / 2)
        head += "short line\n";
    auto got = ReadAll(head + big + "\nafter\n");
    std::string joined;
    size_t pieces = 0;
    for (const Got& g : got) {
        if (!g.overlong) continue;
        EXPECT_LE(g.text.size(), max);
        joined += g.text;
        ++pieces;
    }
    EXPECT_EQ(4u, pieces);
    EXPECT_EQ(big, joined);
    EXPECT_EQ("after", got.back().text);
    EXPECT_FALSE(got.back().overlong);
}

// A quoted input reads as the text it carries, line by line, in bulk through Pending(), and in
// blocks, with the offsets of the input: a dot-stuffed one (an article as a news server sends
// it) and an mbox whose writer quoted its "From " lines (mboxrd).
class Quoted : public ::testing::TestWithParam<codec::Quoting> {
  protected:
    bool Dots() const { return GetParam() == codec::Quoting::kDotStuffed; }
    // What the writer puts before a line: RFC 3977, 3.1.1, or mboxrd's ">".
    std::string Quote(const std::string& line) const {
        if (Dots()) return line[0] == '.' ? "." : "";
        size_t q = std::min(line.find_first_not_of('>'), line.size());
        return line.compare(q, 5, "From ") == 0 && q < codec::kMaxFromQuotes ? ">" : "";
    }
    std::string Marked(std::mt19937& rng, int i) const {
        std::string mark = Dots() ? "." : ">";
        switch (rng() % 8) {
            case 0:
                return Dots() ? "." : "From x@example.org " + std::to_string(i);
            case 1:
                return mark + mark + (Dots() ? "" : "From ") + std::to_string(i);
            case 2:
                return mark + std::string(rng() % 70, 'd');
            case 3:
                return Dots() ? "x" : std::string(1 + rng() % 63, '>') + "From y";
            default:
                return std::string(1 + rng() % 60, static_cast<char>('A' + rng() % 26));
        }
    }
    void Add(const std::string& line) {
        lines.push_back(line);
        article += line + "\r\n";
        captured += Quote(line) + line + "\r\n";
    }
    void SetUp() override {
        // Lines of every kind that matters, enough of them to need several buffer refills,
        // and a quoted one that a block of the block reader ends in.
        std::mt19937 rng(11);
        for (int i = 0; i < 60000; ++i) {
            size_t cut = codec::LineReader::kBufferSize - 3;
            if (captured.size() < cut && captured.size() + 200 > cut) {
                Add(std::string(cut - captured.size() - 2, 'f'));
                Add(Dots() ? ".cut" : ">From cut");
            }
            Add(Marked(rng, i));
        }
        if (Dots()) captured += ".\r\n";
        test::WriteFile(dir / "capture", captured);
        fd = open((dir / "capture").c_str(), O_RDONLY);
        input = std::make_unique<codec::FdInput>(fd);
        input->transform.quoting = GetParam();
    }
    void TearDown() override { close(fd); }

    std::vector<std::string> lines;
    std::string article, captured;
    test::TempDir dir;
    int fd = -1;
    std::unique_ptr<codec::FdInput> input;
};

TEST_P(Quoted, LinesAreTheTextsAndTheLoneDotEndsIt) {
    std::vector<char> buffer;
    codec::LineReader reader(buffer);
    reader.Reset(*input, 0, UINT64_MAX);
    codec::Line line;
    uint64_t offset = 0;
    for (const std::string& want : lines) {
        ASSERT_TRUE(reader.Next(line));
        ASSERT_EQ(want, line.text);
        EXPECT_FALSE(line.articleEnd);
        EXPECT_EQ(offset, line.offset);
        offset += want.size() + 2 + Quote(want).size();
        EXPECT_EQ(offset, line.next);
    }
    if (Dots()) {
        ASSERT_TRUE(reader.Next(line));
        EXPECT_TRUE(line.articleEnd);
    }
    EXPECT_FALSE(reader.Next(line));

    // The same bytes read without the transform are the input's own lines.
    input->transform = codec::Transform{};
    reader.Reset(*input, 0, UINT64_MAX);
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(Quote(lines[0]) + lines[0], line.text);
}

TEST_P(Quoted, BulkReadsStopBeforeEveryQuotedLine) {
    std::vector<char> buffer;
    codec::LineReader reader(buffer);
    reader.Reset(*input, 0, UINT64_MAX);
    std::mt19937 rng(12);
    std::vector<std::string> got;
    codec::Line line;
    size_t bulk = 0;
    while (reader.Next(line)) {
        if (line.articleEnd) break;
        got.emplace_back(line.text);
        // Take some of the whole lines pending, as a format's bulk path would.
        std::string_view pending = reader.Pending();
        size_t take = rng() % 6, used = 0;
        for (size_t k = 0; k < take; ++k) {
            size_t nl = pending.find('\n', used);
            if (nl == std::string_view::npos) break;
            std::string text(pending.substr(used, nl - 1 - used));  // without CRLF
            ASSERT_FALSE(Dots() ? text[0] == '.' : codec::IsQuotedFromLine(text)) << text;
            got.push_back(text);
            used = nl + 1;
            ++bulk;
        }
        reader.Consume(used);
    }
    EXPECT_GT(bulk, lines.size() / 3);
    EXPECT_TRUE(got == lines);
}

TEST_P(Quoted, BlocksAreTheTextsBytes) {
    std::vector<char> buffer;
    std::string got;
    size_t end = captured.size() - (Dots() ? 3 : 0);
    ASSERT_EQ(0, codec::ReadBlocks(*input, 0, end, buffer, nullptr,
                                   [&](const char* data, size_t n) { got.append(data, n); }));
    ASSERT_GT(captured.size(), 2 * codec::LineReader::kBufferSize);  // blocks end mid-line
    EXPECT_TRUE(got == article);
}

INSTANTIATE_TEST_SUITE_P(Transports, Quoted,
                         ::testing::Values(codec::Quoting::kDotStuffed, codec::Quoting::kMboxFrom));

}  // namespace
