// Bad input of every kind gives a result and a message, never a crash or a hang.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test::Q;
using test::TempDir;
using test::WriteFile;

TEST(BadInput, UnreadableInputsAreIoErrorsWithTheReason) {
    TempDir dir;
    test::Library t;
    EXPECT_EQ(codec::kIoError, t.Load(dir / "missing.uue"));
    EXPECT_NE(std::string::npos, t.AllMessages().find("No such file or directory"));
    EXPECT_EQ(codec::kIoError, t.Load(dir.path()));
    EXPECT_NE(std::string::npos, t.AllMessages().find("directory"));
    EXPECT_EQ(codec::kIoError, t.lib.LoadFile(nullptr, nullptr, 0));
    EXPECT_EQ(codec::kIoError, t.Load("/dev/null"));  // not a regular file
    EXPECT_TRUE(t.Records().empty());
}

// A FIFO named as an input is refused at once, not waited on for a writer: alone, among many
// files (read ahead on another thread), and when it takes an input's place before the decode.
TEST(BadInput, AFifoIsRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0600));
    test::Library t;
    EXPECT_EQ(codec::kIoError, t.Load(dir / "fifo"));
    EXPECT_NE(std::string::npos, t.AllMessages().find("not a regular file"));

    std::vector<std::string> paths;
    for (int k = 0; k < 12; ++k) {
        std::string name = "f" + std::to_string(k);
        WriteFile(dir / name, test::Filtered(test::RandomBytes(900, 64 + k), "uuencode " + name));
        paths.push_back(dir / (k == 6 ? "fifo" : name));
    }
    std::vector<int> results;
    test::Library many;
    EXPECT_EQ(codec::kOk, many.LoadAll(paths, results));
    EXPECT_EQ(codec::kIoError, results[6]);
    EXPECT_EQ(11u, many.Records().size());

    // f0 becomes a FIFO after the load: its decode fails, naming the input.
    ASSERT_EQ(0, unlink((dir / "f0").c_str()));
    ASSERT_EQ(0, mkfifo((dir / "f0").c_str(), 0600));
    ASSERT_EQ(0, mkdir((dir / "out").c_str(), 0700));
    many.OutputTo(dir / "out");
    EXPECT_EQ(codec::kIoError, many.lib.DecodeFile(many.Named("f0"), nullptr));
    EXPECT_NE(std::string::npos, many.AllMessages().find("Cannot read part")) << many.AllMessages();
    EXPECT_TRUE(dir.List("out").empty());
}

TEST(BadInput, FilesWithoutDataLoadAndSaySo) {
    TempDir dir;
    std::string noise = test::RandomBytes(3 << 20, 1);
    std::string longLine(1 << 20, 'M');  // one 1 MiB line of the uu alphabet
    std::string manyLongLines;
    for (int i = 0; i < 5; ++i)
        manyLongLines += std::string(200000, 'A') + "\n";
    struct Row {
        const char* name;
        std::string content;
    } rows[] = {
        {"empty", ""},
        {"noise", noise},
        {"long-line", longLine},
        {"long-lines", manyLongLines},
        {"text", "Dear all,\n\nplease find nothing attached.\n"},
        {"nul", std::string(1000, '\0')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(dir / row.name, row.content);
        test::Library t;
        EXPECT_EQ(0, t.Load(dir / row.name));
        EXPECT_NE(std::string::npos, t.AllMessages().find("no encoded data")) << t.AllMessages();
    }
}

TEST(BadInput, TruncatedAndMangledEncodingsGiveStatesNotCrashes) {
    TempDir dir;
    struct Row {
        const char* name;
        std::string content;
        uint32_t state;
    } rows[] = {
        // A begin line and nothing else.
        {"begin-only", "begin 644 a.bin\n", codec::kStateNoEnd | codec::kStateNoData},
        // Data cut off before the end.
        {"no-end", "begin 644 b.bin\nM" + std::string(60, 'A') + "\n", codec::kStateNoEnd},
        // An empty file: begin, terminator, end.
        {"empty-file", "begin 644 c.bin\n`\nend\n", codec::kStateReady},
        // A begin line with a huge mode and a name of blanks.
        {"bad-mode", "begin 77777777 \n#86)C\n`\nend\n", codec::kStateNoEnd | codec::kStateNoData},
        // MIME headers promising Base64 and a multipart that never closes.
        {"mime-cut",
         "Content-Type: multipart/mixed; boundary=x\n\n--x\nContent-Type: a/b; "
         "name=d.bin\nContent-Transfer-Encoding: base64\n\nQUJD\n",
         codec::kStateNoEnd},
        // A header block that never ends.
        {"headers-only",
         "Subject: x (1/2)\nContent-Type: application/zip; name=e.zip\n"
         "Content-Transfer-Encoding: base64\n",
         codec::kStateNoData},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(dir / row.name, row.content);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / row.name));
        auto records = t.Records();
        if (std::string(row.name) == "bad-mode") {
            // "begin 77777777" is no begin line; the data lines alone make an orphan part.
            ASSERT_EQ(1u, records.size());
            EXPECT_TRUE(records[0]->state & codec::kStateNoBegin);
            continue;
        }
        ASSERT_EQ(1u, records.size()) << t.AllMessages();
        EXPECT_EQ(row.state, records[0]->state & ~codec::kStateMissingParts);
        t.OutputTo(dir.path());
        t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
        int rc = t.lib.DecodeFile(records[0], nullptr);
        if (records[0]->state & codec::kStateNoData)
            EXPECT_EQ(codec::kNoData, rc);
        else
            EXPECT_EQ(0, rc);
    }
}

TEST(BadInput, RecordsFromAnotherLibraryAreRefused) {
    test::Library a, b;
    TempDir dir;
    WriteFile(dir / "x.uue", "begin 644 x\n#86)C\n`\nend\n");
    ASSERT_EQ(0, a.Load(dir / "x.uue"));
    EXPECT_EQ(codec::kInternalError, b.lib.DecodeFile(a.Records()[0], nullptr));
    EXPECT_EQ(codec::kInternalError, b.lib.RenameFile(a.Records()[0], "y"));
    EXPECT_EQ(codec::kInternalError, a.lib.DecodeFile(nullptr, nullptr));
    EXPECT_EQ(codec::kInternalError, a.lib.RenameFile(a.Records()[0], "../"));
    EXPECT_EQ(nullptr, a.lib.GetFileListItem(-1));
    EXPECT_EQ(nullptr, a.lib.GetFileListItem(1));
}

TEST(BadInput, CleanUpDropsEverythingAndTheLibraryIsReusable) {
    TempDir dir;
    WriteFile(dir / "x.uue", "begin 644 x\n#86)C\n`\nend\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "x.uue"));
    t.lib.CleanUp();
    EXPECT_EQ(nullptr, t.lib.GetFileListItem(0));
    ASSERT_EQ(0, t.Load(dir / "x.uue"));
    EXPECT_EQ(1u, t.Records().size());
}

// Data under a name that cannot be used is still a file: listed under a name of its own, with
// a note, ready and decodable (and renamable) like any other.
TEST(BadInput, DataWithAnUnusableNameGetsANameOfItsOwn) {
    TempDir dir;
    std::string data = test::RandomBytes(3000, 70);
    std::vector<std::string> names = {"..", ".", "///", "a/..", ""};
    test::Library t;
    for (size_t k = 0; k < names.size(); ++k) {
        std::string uu = test::Filtered(data, "uuencode x");
        uu.replace(0, uu.find('\n'), "begin 644 " + names[k]);
        WriteFile(dir / ("in" + std::to_string(k)), uu);
        ASSERT_EQ(0, t.Load(dir / ("in" + std::to_string(k))));
    }
    // A MIME attachment without a file name: named for its type.
    WriteFile(dir / "mime",
              "MIME-Version: 1.0\nContent-Type: application/octet-stream\n"
              "Content-Transfer-Encoding: base64\n\n" +
                  test::Filtered(data, "base64"));
    ASSERT_EQ(0, t.Load(dir / "mime"));
    ASSERT_EQ(names.size() + 1, t.Records().size()) << t.AllMessages();
    EXPECT_NE(std::string::npos,
              t.AllMessages().find("'..', which cannot be a file name, is listed as 'unnamed-1'"))
        << t.AllMessages();
    EXPECT_NE(std::string::npos, t.AllMessages().find("A file without a name is listed as"));
    ASSERT_EQ(0, mkdir((dir / "out").c_str(), 0700));
    t.OutputTo(dir / "out");
    for (size_t k = 0; k < t.Records().size(); ++k) {
        const codec::FileRecord* r = t.Records()[k];
        std::string want = k < names.size() ? "unnamed-" + std::to_string(k + 1) : "part-1.bin";
        ASSERT_NE(nullptr, r->name);
        EXPECT_EQ(want, r->name);
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(test::ReadFile(dir / ("out/" + want)) == data);
    }
    ASSERT_EQ(0, t.lib.RenameFile(t.Records()[0], "kept.bin"));
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_TRUE(test::ReadFile(dir / "out/kept.bin") == data);
}

}  // namespace
