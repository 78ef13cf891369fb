// Safe names and atomic output: nothing outside the output directory, no partial file after
// a failure or cancel, an existing file untouched unless overwrite is on.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#include "io/output_file.h"
#include "library/safe_name.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(SafeBaseName, KeepsOnlyAHarmlessBaseName) {
    struct Row {
        std::string in, out;
    } rows[] = {
        {"plain.txt", "plain.txt"},
        {"../x", "x"},
        {"../../etc/passwd", "passwd"},
        {"/etc/shadow", "shadow"},
        {"C:\\dl\\a.zip", "a.zip"},
        {"D:b.zip", "b.zip"},
        {"a\x01"
         "b\x7f"
         "c\td",
         "abcd"},
        {std::string("nul\0here", 8), "nulhere"},
        {"..", ""},
        {".", ""},
        {"dir/", ""},
        {"  spaced  ", "spaced"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.out, codec::SafeBaseName(row.in)) << row.in;
}

TEST(SafeBaseName, CutsLongNamesToNameMaxKeepingTheExtensionAndUtf8) {
    std::string longName = std::string(150, 'a') + std::string(50, '\xC3') + ".tar.gz";
    for (size_t i = 150; i < 200; ++i)
        longName[i] = i % 2 ? '\xA4' : '\xC3';
    longName = std::string(100, 'b') + longName;  // 357 bytes
    std::string safe = codec::SafeBaseName(longName);
    EXPECT_LE(safe.size(), 255u);
    EXPECT_EQ(".gz", safe.substr(safe.size() - 3));
    size_t cut = safe.size() - 3;
    EXPECT_NE('\xC3', safe[cut - 1]) << "a UTF-8 sequence was cut in two";
}

// The output file itself, both ways it can make its temporary.
TEST(OutputFile, CommitsAtomicallyWithAnUnnamedOrANamedTemporary) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        TempDir dir;
        int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(dirFd, 0);
        std::vector<uint8_t> buffer;
        auto write = [&](const std::string& name, const std::string& data, bool overwrite) {
            codec::OutputFile out(buffer, unnamed);
            EXPECT_EQ(0, out.Create(dirFd, name));
            out.Write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
            return out.Commit(overwrite, 0640);
        };
        EXPECT_EQ(0, write("a", "first", false));
        EXPECT_EQ("first", ReadFile(dir / "a"));
        struct stat st;
        ASSERT_EQ(0, stat((dir / "a").c_str(), &st));
        EXPECT_EQ(0640u, st.st_mode & 0777);  // made private, given its mode at the end
        {
            // Made with its final mode, even one that forbids writing.
            codec::OutputFile out(buffer, unnamed);
            ASSERT_EQ(0, out.Create(dirFd, "ro", 0444));
            out.Write(reinterpret_cast<const uint8_t*>("ro"), 2);
            EXPECT_EQ(0, out.Commit(false, 0444));
            ASSERT_EQ(0, stat((dir / "ro").c_str(), &st));
            EXPECT_EQ(0444u, st.st_mode & 0777);
            EXPECT_EQ("ro", ReadFile(dir / "ro"));
            unlink((dir / "ro").c_str());
        }
        EXPECT_EQ(EEXIST, write("a", "second", false));
        EXPECT_EQ("first", ReadFile(dir / "a"));
        EXPECT_EQ(0, write("a", "third", true));
        EXPECT_EQ("third", ReadFile(dir / "a"));
        // A symlink is replaced, its target untouched; a directory is not replaced.
        WriteFile(dir / "victim", "safe");
        ASSERT_EQ(0, symlink((dir / "victim").c_str(), (dir / "l").c_str()));
        EXPECT_EQ(0, write("l", "over", true));
        EXPECT_EQ("safe", ReadFile(dir / "victim"));
        EXPECT_EQ("over", ReadFile(dir / "l"));
        ASSERT_EQ(0, mkdir((dir / "d").c_str(), 0755));
        EXPECT_NE(0, write("d", "x", true));
        {
            // Abandoned: nothing stays behind.
            codec::OutputFile out(buffer, unnamed);
            ASSERT_EQ(0, out.Create(dirFd, "gone"));
            out.Write(reinterpret_cast<const uint8_t*>("abc"), 3);
        }
        EXPECT_EQ((std::vector<std::string>{"a", "d", "l", "victim"}), dir.List());
        close(dirFd);
    }
}

// Past a megabyte the writes go to a thread of their own: the same bytes in the same order, a
// write error still reported by Commit with nothing left behind, an abandoned file gone.
TEST(OutputFile, ALargeFileWrittenInTheBackgroundEndsTheSame) {
    TempDir dir;
    int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    std::string data = test::RandomBytes(5 << 20, 12);
    std::vector<uint8_t> buffer;
    auto fill = [&](codec::OutputFile& out, size_t upTo) {
        for (size_t at = 0; at < upTo;) {
            size_t n = std::min<size_t>(upTo - at, 1000 + at % 7000);
            std::memcpy(out.Reserve(n), data.data() + at, n);
            out.Advance(n);
            at += n;
        }
    };
    {
        codec::OutputFile out(buffer);
        ASSERT_EQ(0, out.Create(dirFd, "big"));
        fill(out, data.size());
        // A large write in one piece between buffered ones keeps its place.
        out.Write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        EXPECT_EQ(2 * data.size(), out.written());
        ASSERT_EQ(0, out.Commit(false, 0644));
    }
    EXPECT_TRUE(ReadFile(dir / "big") == data + data);
    {
        codec::OutputFile out(buffer);
        ASSERT_EQ(0, out.Create(dirFd, "abandoned"));
        fill(out, 3 << 20);
    }
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {2 << 20, 2 << 20};
        setrlimit(RLIMIT_FSIZE, &lim);
        codec::OutputFile out(buffer);
        if (out.Create(dirFd, "limited") != 0) _exit(2);
        fill(out, data.size());
        _exit(out.Failed() && out.Commit(false, 0644) == EFBIG ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(std::vector<std::string>{"big"}, dir.List());
    close(dirFd);
}

class Output : public ::testing::Test {
  protected:
    void SetUp() override {
        data = test::RandomBytes(20000, 11);
        WriteFile(dir / "orig", data);
        test::Shell("mkdir " + Q(dir / "out"));
    }
    // Encodes `data` under the given begin-line name into in.uue and loads it.
    void Load(test::Library& t, const std::string& name) {
        std::string text = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig x");
        text.replace(text.find(" x\n"), 3, " " + name + "\n");
        WriteFile(dir / "in.uue", text);
        ASSERT_EQ(0, t.Load(dir / "in.uue"));
        t.OutputTo(dir / "out");
    }
    std::vector<std::string> Out() const { return dir.List("out"); }

    TempDir dir;
    std::string data;
};

TEST_F(Output, HostileNamesStayInsideTheOutputDirectory) {
    std::string longName(300, 'n');
    struct Row {
        std::string name, written;
    } rows[] = {
        {"../escape.txt", "escape.txt"},
        {"../../../../../../tmp/abs.txt", "abs.txt"},
        {"/etc/cron.d/evil", "evil"},
        {"bell\x07"
         "name",
         "bellname"},
        {longName, std::string(255, 'n')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.written);
        test::Library t;
        Load(t, row.name);
        ASSERT_EQ(1u, t.Records().size());
        EXPECT_EQ(row.written, t.Records()[0]->name);
        ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
        EXPECT_EQ(std::vector<std::string>{row.written}, Out());
        EXPECT_EQ(data, ReadFile(dir / ("out/" + row.written)));
        test::Shell("rm -f " + Q(dir / "out") + "/*");
    }
    EXPECT_EQ((std::vector<std::string>{"in.uue", "orig", "out"}), dir.List());
}

TEST_F(Output, WithOverwriteOffAnExistingTargetIsUntouched) {
    WriteFile(dir / "out/keep.bin", "precious");
    test::Library t;
    Load(t, "keep.bin");
    t.lib.SetOption(codec::kOptOverwrite, 0, nullptr);
    EXPECT_EQ(codec::kTargetExists, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_EQ("precious", ReadFile(dir / "out/keep.bin"));
    EXPECT_EQ(std::vector<std::string>{"keep.bin"}, Out());
    EXPECT_NE(std::string::npos, t.AllMessages().find("already exists"));
    // The record is not marked failed: nothing went wrong but the user's choice.
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state);
}

TEST_F(Output, ASymlinkTargetIsReplacedNeverWrittenThrough) {
    WriteFile(dir / "victim", "do not touch");
    ASSERT_EQ(0, symlink((dir / "victim").c_str(), (dir / "out/link.bin").c_str()));
    test::Library t;
    Load(t, "link.bin");
    t.lib.SetOption(codec::kOptOverwrite, 0, nullptr);
    EXPECT_EQ(codec::kTargetExists, t.lib.DecodeFile(t.Records()[0], nullptr));
    t.lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_EQ("do not touch", ReadFile(dir / "victim"));
    EXPECT_EQ(data, ReadFile(dir / "out/link.bin"));
    struct stat st;
    ASSERT_EQ(0, lstat((dir / "out/link.bin").c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(Output, CancelDuringDecodeLeavesNoPartialFileAndTheOldOneIntact) {
    WriteFile(dir / "out/c.bin", "old");
    test::Library t;
    Load(t, "c.bin");
    t.lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    int calls = 0;
    t.lib.SetBusyCallback(
        &calls,
        [](void* o, const codec::Progress* p) {
            return p->action == codec::kActionDecoding && ++*static_cast<int*>(o) >= 1 ? 1 : 0;
        },
        0);
    EXPECT_EQ(codec::kCanceled, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_EQ(1, calls);
    EXPECT_EQ(std::vector<std::string>{"c.bin"}, Out());
    EXPECT_EQ("old", ReadFile(dir / "out/c.bin"));
}

TEST_F(Output, CancelDuringLoadReturnsCanceled) {
    test::Library t;
    t.lib.SetBusyCallback(
        nullptr, [](void*, const codec::Progress*) { return 1; }, 0);
    WriteFile(dir / "in.uue", test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig x"));
    EXPECT_EQ(codec::kCanceled, t.Load(dir / "in.uue"));
}

TEST_F(Output, AMissingOutputDirectoryIsAnIoErrorThatNamesIt) {
    test::Library t;
    Load(t, "m.bin");
    t.OutputTo(dir / "does/not/exist");
    EXPECT_EQ(codec::kIoError, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_NE(std::string::npos, t.AllMessages().find("does/not/exist")) << t.AllMessages();
    EXPECT_EQ(codec::kStateReady | codec::kStateFailed, t.Records()[0]->state);
}

TEST_F(Output, AnInputGoneBeforeTheDecodeIsAnIoErrorNamingThePart) {
    test::Library t;
    Load(t, "gone.bin");
    ASSERT_EQ(0, unlink((dir / "in.uue").c_str()));
    EXPECT_EQ(codec::kIoError, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_NE(std::string::npos, t.AllMessages().find("Cannot read part 1 of 'gone.bin' from"))
        << t.AllMessages();
    EXPECT_TRUE(t.Records()[0]->state & codec::kStateFailed);
    EXPECT_TRUE(Out().empty());
}

TEST_F(Output, AWriteErrorLeavesNothingBehind) {
    test::Library t;
    Load(t, "big.bin");
    // The child runs the decode under a file size limit of 4 KiB: the write fails half way.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        int rc = t.lib.DecodeFile(t.Records()[0], nullptr);
        bool named = t.AllMessages().find("big.bin") != std::string::npos;
        _exit(rc == codec::kIoError && named ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_TRUE(Out().empty());
}

TEST_F(Output, ReportsProgressForEveryPartAtMostOncePerInterval) {
    test::Library t;
    Load(t, "p.bin");
    struct Seen {
        int calls = 0, scans = 0, decodes = 0, badPercent = 0;
    } seen;
    auto record = [](void* o, const codec::Progress* p) {
        auto* s = static_cast<Seen*>(o);
        ++s->calls;
        s->scans += p->action == codec::kActionScanning;
        s->decodes += p->action == codec::kActionDecoding;
        s->badPercent += p->percent < 0 || p->percent > 100 || p->part < 1 || p->part > p->parts;
        return 0;
    };
    t.lib.SetBusyCallback(&seen, record, 0);
    ASSERT_EQ(0, t.Load(dir / "in.uue"));  // the same file again: a repeat, ignored
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_GE(seen.scans, 1);
    EXPECT_GE(seen.decodes, 1);
    EXPECT_EQ(0, seen.badPercent);
    // A long interval: one call, then silence for the rest of the interval.
    Seen once;
    t.lib.SetBusyCallback(&once, record, 1000L * 3600);
    ASSERT_EQ(0, t.Load(dir / "in.uue"));
    test::Shell("rm -f " + Q(dir / "out/p.bin"));
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr));
    EXPECT_EQ(1, once.calls);
}

}  // namespace
