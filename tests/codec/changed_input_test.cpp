// An input that is no longer the file that was loaded (rewritten, replaced, cut, grown) is
// not decoded from: its parts would be other bytes than the scan saw. The record fails with a
// warning naming the input, and nothing is written, whichever way the input was read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr const char* kChanged = "has changed since it was loaded";

// Sets a file's modification time a few seconds past what it was, as a later write would.
void Later(const std::string& path) {
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec += 5;
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

std::string UuEncoded(const std::string& data, const std::string& name) {
    return test::Filtered(data, "uuencode " + name);
}

class ChangedInput : public ::testing::Test {
  protected:
    void SetUp() override { test::Shell("mkdir " + Q(dir / "out")); }

    // Loads path, applies change to it, and expects the decode of the record `name` to fail
    // with the warning and to leave the output directory empty.
    void ExpectRefused(const std::string& path, const std::string& name,
                       const std::function<void()>& change) {
        test::Library t;
        ASSERT_EQ(0, t.Load(path));
        t.OutputTo(dir / "out");
        const codec::FileRecord* r = t.Named(name);
        ASSERT_NE(nullptr, r) << t.AllMessages();
        ASSERT_EQ(codec::kStateReady, r->state);
        change();
        EXPECT_EQ(codec::kIoError, t.lib.DecodeFile(r, nullptr));
        EXPECT_NE(std::string::npos, t.AllMessages().find(kChanged)) << t.AllMessages();
        EXPECT_NE(std::string::npos, t.AllMessages().find(Q(path))) << t.AllMessages();
        EXPECT_TRUE(dir.List("out").empty());
    }

    TempDir dir;
};

TEST_F(ChangedInput, ARewrittenReplacedCutOrGrownFileIsNotDecodedFrom) {
    std::string data = test::RandomBytes(20000, 7);
    std::string text = UuEncoded(data, "a.bin");
    std::string path = dir / "a.uue";
    std::string other = UuEncoded(test::RandomBytes(20000, 8), "a.bin");
    ASSERT_EQ(text.size(), other.size());

    struct Row {
        const char* what;
        std::function<void()> change;
    } rows[] = {
        {"rewritten in place, same size",
         [&] {
             WriteFile(path, other);
             Later(path);
         }},
        {"replaced by another file",
         [&] {
             WriteFile(dir / "new", text);
             ASSERT_EQ(0, std::rename((dir / "new").c_str(), path.c_str()));
         }},
        {"cut", [&] { ASSERT_EQ(0, truncate(path.c_str(), 100)); }},
        {"grown", [&] { WriteFile(path, text + "more\n"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(path, text);
        ExpectRefused(path, "a.bin", row.change);
    }

    // Left as it was, it decodes.
    WriteFile(path, text);
    test::Library t;
    ASSERT_EQ(0, t.Load(path));
    t.OutputTo(dir / "out");
    ASSERT_EQ(0, t.lib.DecodeFile(t.Named("a.bin"), nullptr)) << t.AllMessages();
    EXPECT_TRUE(ReadFile(dir / "out/a.bin") == data);
}

// The first parts are decoded before the changed one is reached: they must not be left as a
// file either.
TEST_F(ChangedInput, ALaterPartOfARecordChangedLeavesNoFile) {
    std::string text = UuEncoded(test::RandomBytes(30000, 9), "parts.bin");
    std::vector<std::string> lines = test::SplitLines(text, 150);
    ASSERT_GE(lines.size(), 3u);
    std::vector<std::string> paths;
    test::Library t;
    for (size_t k = 0; k < lines.size(); ++k) {
        paths.push_back(dir / ("p" + std::to_string(k + 1)));
        WriteFile(paths.back(), "Subject: parts.bin (" + std::to_string(k + 1) + "/" +
                                    std::to_string(lines.size()) + ")\n\n" + lines[k]);
        ASSERT_EQ(0, t.Load(paths.back()));
    }
    t.OutputTo(dir / "out");
    const codec::FileRecord* r = t.Named("parts.bin");
    ASSERT_NE(nullptr, r) << t.AllMessages();
    ASSERT_EQ(codec::kStateReady, r->state) << t.AllMessages();
    Later(paths.back());
    EXPECT_EQ(codec::kIoError, t.lib.DecodeFile(r, nullptr));
    EXPECT_NE(std::string::npos, t.AllMessages().find(kChanged)) << t.AllMessages();
    EXPECT_TRUE(dir.List("out").empty());
}

// Many small files are read ahead on another thread and decoded on two: the file that changed
// fails, the others are decoded.
TEST_F(ChangedInput, ReadAheadAndBatchedDecodesCheckTheirInputsToo) {
    std::vector<std::string> paths, data;
    for (int k = 0; k < 16; ++k) {
        data.push_back(test::RandomBytes(3000 + 100 * k, 20 + k));
        std::string name = "f" + std::to_string(k) + ".bin";
        paths.push_back(dir / (name + ".uue"));
        WriteFile(paths.back(), UuEncoded(data.back(), name));
    }
    test::Library t;
    std::vector<int> loaded, decoded;
    ASSERT_EQ(0, t.LoadAll(paths, loaded));
    ASSERT_EQ(std::vector<int>(16, 0), loaded);
    t.OutputTo(dir / "out");
    WriteFile(paths[3], ReadFile(paths[3]) + "\n");
    Later(paths[11]);
    ASSERT_EQ(0, t.DecodeAll(t.Records(), decoded));
    for (int k = 0; k < 16; ++k) {
        std::string name = "f" + std::to_string(k) + ".bin";
        SCOPED_TRACE(name);
        bool changed = k == 3 || k == 11;
        EXPECT_EQ(changed ? codec::kIoError : codec::kOk, decoded[k]);
        EXPECT_EQ(!changed, test::Exists(dir / ("out/" + name)));
        if (!changed) {
            EXPECT_TRUE(ReadFile(dir / ("out/" + name)) == data[k]);
        }
    }
    EXPECT_NE(std::string::npos, t.AllMessages().find(Q(paths[3]) + ": it " + kChanged))
        << t.AllMessages();
}

// A message/partial message is read from its pieces' files: one that changed fails the
// record.
TEST_F(ChangedInput, APieceOfAMessagePartialThatChangedFailsTheRecord) {
    WriteFile(dir / "doc.pdf", test::RandomBytes(30000, 5));
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) +
                             " && mpack -s doc -m 9000 -o piece doc.pdf >/dev/null"));
    std::vector<std::string> pieces;
    for (const std::string& f : dir.List())
        if (f.rfind("piece.", 0) == 0) pieces.push_back(dir / f);
    ASSERT_GE(pieces.size(), 3u);
    test::Library t;
    for (const std::string& p : pieces)
        ASSERT_EQ(0, t.Load(p));
    t.OutputTo(dir / "out");
    const codec::FileRecord* r = t.Named("doc.pdf");
    ASSERT_NE(nullptr, r) << t.AllMessages();
    ASSERT_EQ(codec::kStateReady, r->state);
    Later(pieces[1]);
    EXPECT_EQ(codec::kIoError, t.lib.DecodeFile(r, nullptr));
    EXPECT_NE(std::string::npos, t.AllMessages().find(kChanged)) << t.AllMessages();
    EXPECT_TRUE(dir.List("out").empty());
}

}  // namespace
