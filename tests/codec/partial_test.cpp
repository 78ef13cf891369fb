// message/partial (RFC 2046, 5.2.2) as mpack splits a message: pieces in any order, in many
// files or one spool, a placeholder that lists missing pieces until the message is whole.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class Partial : public ::testing::Test {
  protected:
    // Splits a message carrying `name` into pieces of at most `size` bytes with mpack.
    std::vector<std::string> Split(const std::string& name, const std::string& data, int size) {
        WriteFile(dir / name, data);
        EXPECT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && mpack -s 'big file' -m " +
                                 std::to_string(size) + " -o piece " + Q(name) + " >/dev/null"));
        std::vector<std::string> pieces;
        for (const std::string& f : dir.List())
            if (f.rfind("piece.", 0) == 0) pieces.push_back(dir / f);
        return pieces;
    }
    TempDir dir;
};

TEST_F(Partial, PiecesInAnyOrderMakeTheMessageWhoseAttachmentIsTheRecord) {
    std::string data = test::RandomBytes(40000, 1);
    std::vector<std::string> pieces = Split("photo.jpg", data, 8000);
    ASSERT_GE(pieces.size(), 5u);
    std::mt19937 rng(3);
    std::shuffle(pieces.begin(), pieces.end(), rng);
    test::Library t;
    for (size_t i = 0; i < pieces.size(); ++i) {
        ASSERT_EQ(0, t.Load(pieces[i]));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        if (i + 1 < pieces.size()) {
            // Until the last piece comes, one record stands for the message and lists what is
            // missing; it is never ready, not even with "decode with errors".
            const codec::FileRecord* r = t.Records()[0];
            EXPECT_TRUE(r->state & codec::kStateMissingParts);
            EXPECT_FALSE(r->state & codec::kStateReady);
            size_t missing = 0;
            for (const int32_t* m = r->missingParts; *m; ++m)
                ++missing;
            EXPECT_EQ(pieces.size() - i - 1, missing);
        }
    }
    const codec::FileRecord* r = t.Records()[0];
    EXPECT_STREQ("photo.jpg", r->name);
    EXPECT_EQ(codec::Encoding::kBase64, r->encoding);
    ASSERT_EQ(codec::kStateReady, r->state) << t.AllMessages();
    test::Shell("mkdir " + Q(dir / "out"));
    t.OutputTo(dir / "out");
    ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
    EXPECT_EQ(data, ReadFile(dir / "out/photo.jpg"));
}

TEST_F(Partial, PiecesInOneSpoolAndARepeatedPiece) {
    std::string data = test::RandomBytes(20000, 2);
    std::vector<std::string> pieces = Split("doc.pdf", data, 6000);
    ASSERT_GE(pieces.size(), 3u);
    std::string spool;
    std::vector<size_t> order;
    for (size_t i = pieces.size(); i-- > 0;)
        order.push_back(i);
    order.push_back(1);  // piece 2 once more
    for (size_t i : order)
        spool += "From mpack@example.org Mon Dec  7 10:00:00 2026\n" + ReadFile(pieces[i]) + "\n";
    WriteFile(dir / "spool", spool);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "spool"));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_NE(std::string::npos, t.AllMessages().find("was found again"));
    ASSERT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    t.OutputTo(dir.path());
    test::Shell("rm " + Q(dir / "doc.pdf"));
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_EQ(data, ReadFile(dir / "doc.pdf"));
}

TEST_F(Partial, AMessageInMorePiecesThanDescriptorsStillJoins) {
    std::string data = test::RandomBytes(60000, 3);
    std::vector<std::string> pieces = Split("many.bin", data, 2000);
    ASSERT_GE(pieces.size(), 30u);
    test::Shell("mkdir " + Q(dir / "out"));
    // In a child limited to 16 descriptors: the pieces are read one file at a time.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit lim = {16, 16};
        setrlimit(RLIMIT_NOFILE, &lim);
        test::Library t;
        for (const std::string& p : pieces)
            if (t.Load(p) != 0) _exit(2);
        if (t.Records().size() != 1 || t.Records()[0]->state != codec::kStateReady) _exit(3);
        t.OutputTo(dir / "out");
        _exit(t.lib.DecodeFile(t.Records()[0], nullptr) == 0 ? 0 : 4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(data, ReadFile(dir / "out/many.bin"));
}

// With a piece missing, the message is listed under the name its first piece gives, with the
// missing pieces, as missing parts (the pieces there have data); it is never ready, not even
// with "decode with errors", and never decoded.
TEST_F(Partial, AMessageWithAPieceMissingIsNamedByItsFirstPiece) {
    std::string data = test::RandomBytes(40000, 9);
    std::vector<std::string> pieces = Split("report.pdf", data, 9000);
    ASSERT_GE(pieces.size(), 4u);
    test::Library t;
    for (size_t k = 0; k < pieces.size(); ++k) {
        if (k != 2) {
            ASSERT_EQ(0, t.Load(pieces[k]));
        }
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    const codec::FileRecord* r = t.Records()[0];
    ASSERT_NE(nullptr, r->name);
    EXPECT_STREQ("report.pdf", r->name);
    EXPECT_EQ(codec::kStateMissingParts, r->state);
    EXPECT_EQ(3, r->missingParts[0]);
    EXPECT_EQ(0, r->missingParts[1]);
    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    EXPECT_EQ(0u, t.Records()[0]->state & codec::kStateReady);
    test::Shell("mkdir " + Q(dir / "out"));
    t.OutputTo(dir / "out");
    EXPECT_NE(0, t.lib.DecodeFile(r, nullptr));
    EXPECT_TRUE(dir.List("out").empty());
    // The missing piece comes: the message is whole, its file ready under the same name.
    ASSERT_EQ(0, t.Load(pieces[2]));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_STREQ("report.pdf", t.Records()[0]->name);
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
    EXPECT_TRUE(ReadFile(dir / "out/report.pdf") == data);
}

}  // namespace
