// Directories as inputs: mail folders made by Python's mailbox, trees walked with -r (links,
// hidden entries, unreadable entries, a loop through a bind mount), and the order names take.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "cli/run_tamsel.h"
#include "inputs.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::Result;
using test::RunTamsel;
using test::TempDir;
using test::WriteFile;

TEST(NaturalOrder, NumbersGoByValueAndTheRestByByte) {
    std::vector<std::string> names = {"part10", "part2", "Part1", "part1", "a", "part02b",
                                      "part2a", "1",     "01",    "10",    "9"};
    std::sort(names.begin(), names.end(), tamsel::NaturalLess);
    EXPECT_EQ((std::vector<std::string>{"01", "1", "9", "10", "Part1", "a", "part1", "part2",
                                        "part2a", "part02b", "part10"}),
              names);
}

// How often the messages say an input of that name was loaded.
size_t TimesLoaded(const std::string& err, const std::string& name) {
    size_t n = 0;
    for (size_t at = 0; (at = err.find("Loaded '" + name + "'", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

class Folders : public ::testing::Test {
  protected:
    void SetUp() override {
        data = test::RandomBytes(12000, 9);
        WriteFile(dir / "orig", data);
        std::string text = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig walk.bin");
        pieces = test::SplitLines(text, 100);
        ASSERT_EQ(3u, pieces.size());
        for (size_t k = 0; k < 3; ++k)
            pieces[k] = "Subject: walk.bin (" + std::to_string(k + 1) + "/3)\n\n" + pieces[k];
        test::Shell("mkdir " + Q(dir / "out"));
    }
    TempDir dir;
    std::string data;
    std::vector<std::string> pieces;
};

// A posting in three mails, delivered out of order into a Maildir (one mail already seen, in
// cur/; a mail still being delivered in tmp/, which is not read) and into an MH folder: each
// folder is read whole without -r.
TEST_F(Folders, MaildirAndMhFoldersAreReadWithoutRecursion) {
    const char* script = R"(
import binascii, email.message, mailbox, random, sys
out, data = sys.argv[1], open(sys.argv[2], 'rb').read()
lines = ['begin 644 folder.bin']
lines += [binascii.b2a_uu(data[i:i + 45]).decode().rstrip('\n') for i in range(0, len(data), 45)]
lines += ['`', 'end']
mails = []
for k in range(3):
    m = email.message.EmailMessage()
    m['From'] = 'poster@example.org'
    m['Subject'] = 'folder.bin (%d/3)' % (k + 1)
    m.set_content('\n'.join(lines[k * 110:(k + 1) * 110]) + '\n')
    mails.append(m)
random.Random(4).shuffle(mails)
md = mailbox.Maildir(out + '/maildir', create=True)
for k, m in enumerate(mails):
    m = mailbox.MaildirMessage(m)
    if k == 1:
        m.set_subdir('cur')
        m.add_flag('S')
    md.add(m)
mh = mailbox.MH(out + '/mh', create=True)
for m in mails:
    mh.add(m)
)";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path()) + " " + Q(dir / "orig")));
    ASSERT_EQ(1u, dir.List("maildir/cur").size());
    WriteFile(dir / "maildir/tmp/1.delivering", "begin 644 tmp.bin\n`\nend\n");
    for (const char* folder : {"maildir", "mh"}) {
        SCOPED_TRACE(folder);
        std::string out = dir / (std::string("out-") + folder);
        test::Shell("mkdir " + Q(out));
        Result r = RunTamsel({"decode", "-d", out, dir / folder});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ("folder.bin\n", r.out) << r.err;
        EXPECT_TRUE(data == ReadFile(out + "/folder.bin"));
        EXPECT_EQ(std::string::npos, r.err.find("mh_sequences")) << r.err;
    }
    // Any other directory needs -r.
    Result r = RunTamsel({"check", dir / "out"});
    EXPECT_EQ(codec::kIoError, r.status);
    EXPECT_NE(std::string::npos,
              r.err.find("Cannot read '" + dir / "out" +
                         "': it is a directory; give -r (--recursive) to read the files in it"))
        << r.err;
}

// With -r a tree is read in name order: subdirectories too, hidden entries not, a link to a
// file inside it, never a link out of it or one to a directory; an entry that cannot be read
// is reported and the rest are read.
TEST_F(Folders, RecursionWalksTheTreeAndNeverLeavesIt) {
    std::string tree = dir / "tree";
    test::Shell("mkdir -p " + Q(tree + "/sub/deeper") + " " + Q(tree + "/.store"));
    WriteFile(tree + "/p1.txt", pieces[0]);
    WriteFile(tree + "/sub/deeper/p2.txt", pieces[1]);
    WriteFile(tree + "/.store/p3.txt", pieces[2]);
    WriteFile(tree + "/.hidden.uue",
              test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig hidden.bin"));
    WriteFile(dir / "outside.uue",
              test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig outside.bin"));
    ASSERT_EQ(0, test::Shell("cd " + Q(tree) +
                             " && ln -s .store/p3.txt link3 && ln -s ../outside.uue away"
                             " && ln -s sub again && ln -s nowhere broken"));

    Result r = RunTamsel({"check", "--json", "-r", tree});
    EXPECT_EQ(codec::kIoError, r.status) << r.err;  // the broken link
    EXPECT_NE(std::string::npos, r.err.find("Cannot read '" + tree + "/broken'")) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("\"name\":\"walk.bin\",\"size\":12000,"
                                            "\"encoding\":\"uu\",\"flags\":[\"ready\"]"))
        << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("hidden.bin")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("outside.bin")) << r.out;
    EXPECT_EQ(1u, TimesLoaded(r.err, "p2.txt")) << r.err;  // not again through "again"
    // Name order: "link3" before "p1.txt" before what "sub" holds.
    size_t link = r.err.find("Loaded 'link3'"), p1 = r.err.find("Loaded 'p1.txt'"),
           p2 = r.err.find("Loaded 'p2.txt'");
    EXPECT_TRUE(link < p1 && p1 < p2) << r.err;

    // Without -r it is refused; with it the ready file is decoded even though one entry failed.
    EXPECT_EQ(codec::kIoError, RunTamsel({"check", tree}).status);
    r = RunTamsel({"decode", "--recursive", "-d", dir / "out", tree});
    EXPECT_EQ(codec::kIoError, r.status);
    EXPECT_EQ("walk.bin\n", r.out);
    EXPECT_TRUE(data == ReadFile(dir / "out/walk.bin"));
}

// A directory that holds itself (a bind mount of an ancestor) is read once.
TEST_F(Folders, ALoopThroughABindMountIsReadOnce) {
    std::string tree = dir / "tree";
    test::Shell("mkdir -p " + Q(tree + "/sub/loop"));
    WriteFile(tree + "/p1.txt", pieces[0]);
    WriteFile(tree + "/sub/p2.txt", pieces[1]);
    WriteFile(tree + "/sub/p3.txt", pieces[2]);
    if (geteuid() != 0 ||
        test::Shell("mount --bind " + Q(tree) + " " + Q(tree + "/sub/loop") + " 2>/dev/null") != 0)
        GTEST_SKIP() << "making a bind mount needs root and a system that allows it";
    struct Unmount {
        std::string at;
        ~Unmount() { test::Shell("umount " + Q(at)); }
    } unmount{tree + "/sub/loop"};
    Result r = RunTamsel({"check", "-r", tree});
    EXPECT_EQ(codec::kIoError, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("Cannot read '" + tree + "/sub/loop': it is '" + tree +
                                            "' again (a loop); it is read once"))
        << r.err;
    EXPECT_EQ(1u, TimesLoaded(r.err, "p1.txt")) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("ready     uu             12000  walk.bin")) << r.out;
}

}  // namespace
