// The line reader: line ends of any kind, offsets, and overlong lines in pieces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
