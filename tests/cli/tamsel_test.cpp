// tamsel run in-process with its output captured, plus the real binary for signals and pipes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "cli/run_tamsel.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::Result;
using test::RunTamsel;
using test::TempDir;
using test::WriteFile;

// tamsel with `input` on its standard input: a pipe, written by a thread as it is read.
Result RunWithInput(std::vector<std::string> args, const std::string& input) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, "", "no pipe"};
    std::thread writer([&] {
        signal(SIGPIPE, SIG_IGN);
        for (size_t at = 0; at < input.size();) {
            ssize_t n =
                write(fds[1], input.data() + at, std::min<size_t>(65536, input.size() - at));
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        close(fds[1]);
    });
    Result r = RunTamsel(std::move(args), nullptr, fds[0]);
    close(fds[0]);  // what was not read goes nowhere
    writer.join();
    return r;
}

class Tamsel : public ::testing::Test {
  protected:
    void SetUp() override {
        data = test::RandomBytes(10000, 21);
        WriteFile(dir / "orig", data);
        WriteFile(dir / "good.uue",
                  test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig good.bin"));
        std::string text = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig part.bin");
        auto pieces = test::SplitLines(text, 80);
        ASSERT_GE(pieces.size(), 3u);
        WriteFile(dir / "part1.txt", "Subject: part.bin (1/3)\n\n" + pieces[0]);
        WriteFile(dir / "part3.txt", "Subject: part.bin (3/3)\n\n" + pieces[2]);
        WriteFile(dir / "plain.txt", "nothing encoded here\n");
        test::Shell("mkdir " + Q(dir / "out"));
    }
    // Starts the real binary on input, interrupts it once it holds its output open, and
    // checks what it left.
    void InterruptDecodeOf(const std::string& input);
    TempDir dir;
    std::string data;
};

TEST_F(Tamsel, CheckPrintsOneJsonObjectPerRecord) {
    Result r =
        RunTamsel({"check", "--json", dir / "good.uue", dir / "part1.txt", dir / "part3.txt"});
    EXPECT_EQ(tamsel::kExitNotAllReady, r.status) << r.err;
    EXPECT_NE(std::string::npos,
              r.out.find("{\"index\":0,\"name\":\"good.bin\",\"size\":10000,\"encoding\":\"uu\","
                         "\"flags\":[\"ready\"],\"missing_parts\":[]}"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("{\"index\":1,\"name\":\"part.bin\",\"size\":"))
        << r.out;
    EXPECT_NE(
        std::string::npos,
        r.out.find("\"encoding\":\"uu\",\"flags\":[\"missing-parts\"],\"missing_parts\":[2]}"))
        << r.out;
    EXPECT_EQ('[', r.out.front());
    EXPECT_EQ("]\n", r.out.substr(r.out.size() - 2));
    EXPECT_NE(std::string::npos, r.err.find("note: Loaded 'good.uue'"));
}

TEST_F(Tamsel, CheckTableShowsTheProblemTexts) {
    Result r = RunTamsel({"check", dir / "part1.txt", dir / "part3.txt"});
    EXPECT_EQ(tamsel::kExitNotAllReady, r.status);
    EXPECT_NE(std::string::npos, r.out.find("part.bin")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("There are missing parts.")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("   - Missing Part#: 2")) << r.out;
}

TEST_F(Tamsel, ExitStatusesFollowTheOutcome) {
    EXPECT_EQ(0, RunTamsel({"check", dir / "good.uue"}).status);
    EXPECT_EQ(codec::kNoData, RunTamsel({"check", dir / "plain.txt"}).status);
    EXPECT_EQ(codec::kIoError, RunTamsel({"check", dir / "nope", dir / "good.uue"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"check", "--bogus", "x"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"decode", "--json", "x"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"frobnicate"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"decode", "-d"}).status);
}

TEST_F(Tamsel, DecodeWritesReadyFilesAndSkipsTheRest) {
    Result r = RunTamsel(
        {"decode", "-d", dir / "out", dir / "good.uue", dir / "part1.txt", dir / "part3.txt"});
    EXPECT_EQ(tamsel::kExitNotAllReady, r.status) << r.err;
    EXPECT_EQ(data, ReadFile(dir / "out/good.bin"));
    EXPECT_EQ(std::vector<std::string>{"good.bin"}, dir.List("out"));
    EXPECT_NE(std::string::npos, r.err.find("skipped 'part.bin'"));
    // Ignoring errors decodes the incomplete file too, gaps and all.
    r = RunTamsel(
        {"decode", "--ignore-errors", "-d", dir / "out", dir / "part1.txt", dir / "part3.txt"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ((std::vector<std::string>{"good.bin", "part.bin"}), dir.List("out"));
}

TEST_F(Tamsel, DecodeRespectsOverwrite) {
    WriteFile(dir / "out/good.bin", "mine");
    Result r = RunTamsel({"decode", "-d", dir / "out", dir / "good.uue"});
    EXPECT_EQ(codec::kTargetExists, r.status);
    EXPECT_EQ("mine", ReadFile(dir / "out/good.bin"));
    r = RunTamsel({"decode", "--overwrite", "-d", dir / "out", dir / "good.uue"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(data, ReadFile(dir / "out/good.bin"));
}

TEST_F(Tamsel, ACancelRequestStopsWithNineAndWritesNothing) {
    volatile std::sig_atomic_t cancel = 1;
    Result r = RunTamsel({"decode", "-d", dir / "out", dir / "good.uue"}, &cancel);
    EXPECT_EQ(codec::kCanceled, r.status);
    EXPECT_TRUE(dir.List("out").empty());
}

// Writes `head`, then `line` 4096 * blocks times, then `tail`: large inputs quick to make.
void WriteLarge(const std::string& path, const std::string& head, const std::string& line,
                int blocks, const std::string& tail) {
    std::string block;
    for (int i = 0; i < 4096; ++i)
        block += line;
    WriteFile(path, head);
    FILE* f = fopen(path.c_str(), "a");
    for (int i = 0; i < blocks; ++i)
        fwrite(block.data(), 1, block.size(), f);
    fputs(tail.c_str(), f);
    fclose(f);
}

// The real binary: SIGINT while it writes a large file ends it with 9 and no partial file,
// for a file it decodes after the load (uuencode) and one it decodes during the load (yEnc
// posted whole).
TEST_F(Tamsel, InterruptDuringDecodeLeavesNoPartialFile) {
    // About 90 MiB each: uuencoded zeros, and zeros in yEnc ('*' is 0 + 42).
    WriteLarge(dir / "huge.uue", "begin 644 huge.bin\n", "M" + std::string(60, '`') + "\n", 360,
               "`\nend\n");
    std::string size = std::to_string(180 * 4096 * 128);
    WriteLarge(dir / "huge.yenc", "=ybegin line=128 size=" + size + " name=huge.bin\n",
               std::string(128, '*') + "\n", 180, "=yend size=" + size + "\n");
    for (const char* input : {"huge.uue", "huge.yenc"}) {
        SCOPED_TRACE(input);
        InterruptDecodeOf(dir / input);
    }
}

void Tamsel::InterruptDecodeOf(const std::string& input) {
    WriteFile(dir / "out/huge.bin", "existing");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        freopen("/dev/null", "w", stderr);
        freopen("/dev/null", "w", stdout);
        execl(TAMSEL_BINARY, "tamsel", "decode", "--overwrite", "-d", (dir / "out").c_str(),
              input.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the process holds its output file open (a named temporary, or an unnamed
    // one in the output directory): the decode is under way.
    std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
    bool started = false;
    for (int i = 0; i < 600000 && !started; ++i) {
        for (int fd = 3; fd < 64 && !started; ++fd) {
            char target[4096];
            ssize_t n = readlink((fds + std::to_string(fd)).c_str(), target, sizeof target - 1);
            if (n > 0) {
                target[n] = '\0';
                started = std::string(target).rfind(dir / "out/", 0) == 0;
            }
        }
        if (!started) usleep(100);
    }
    ASSERT_TRUE(started);
    // Held still while the signal is sent, so the interrupt lands early in the decode however
    // fast the machine and the build are.
    int status = 0;
    kill(pid, SIGSTOP);
    waitpid(pid, &status, WUNTRACED);
    kill(pid, SIGINT);
    kill(pid, SIGCONT);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(codec::kCanceled, WEXITSTATUS(status));
    EXPECT_EQ(std::vector<std::string>{"huge.bin"}, dir.List("out"));
    EXPECT_EQ("existing", ReadFile(dir / "out/huge.bin"));
}

TEST_F(Tamsel, EncodeWritesOutputOrPartsNamedAfterItAndDecodesBack) {
    Result r = RunTamsel({"encode", "-t", "xx", "-l", "50", dir / "orig", dir / "out/set.xxe"});
    EXPECT_EQ(0, r.status) << r.err;
    std::vector<std::string> parts = dir.List("out");
    ASSERT_EQ(5u, parts.size());  // 10000 bytes: 223 lines of 45 bytes
    EXPECT_EQ("set.001.xxe", parts[0]);
    std::vector<std::string> args = {"decode", "-d", dir.path()};
    for (const std::string& p : parts)
        args.push_back(dir / ("out/" + p));
    std::string decoded = dir / "orig";
    test::Shell("mv " + Q(decoded) + " " + Q(dir / "orig.saved"));
    r = RunTamsel(args);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(data, ReadFile(decoded));
    // One file, Base64, in the current directory's place given by -d.
    r = RunTamsel({"encode", "-t", "b64", "-d", dir / "out", dir / "orig", "whole.b64"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos,
              ReadFile(dir / "out/whole.b64").find("Content-Transfer-Encoding: base64"));
    r = RunTamsel({"encode", "-t", "b64", "-d", dir / "out", dir / "orig", "whole.b64"});
    EXPECT_EQ(codec::kTargetExists, r.status);
}

TEST_F(Tamsel, EncodeUsageErrors) {
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"encode", dir / "orig"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"encode", "-t", "rot13", dir / "orig", "x"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"encode", "-l", "many", dir / "orig", "x"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"encode", "-l", "-5", dir / "orig", "x"}).status);
    EXPECT_EQ(codec::kIoError, RunTamsel({"encode", dir / "nope", dir / "out/x.uue"}).status);
}

TEST_F(Tamsel, CheckNamesEveryEncodingInJson) {
    std::vector<std::string> args = {"check", "--json"};
    for (const char* f : {"fox.uue", "fox.mim", "fox.hqx", "fox.yenc", "fox-qp.eml"})
        args.push_back(std::string(TAMSEL_TEST_DATA) + "/" + f);
    Result r = RunTamsel(args);
    EXPECT_EQ(0, r.status) << r.err;
    for (const char* encoding : {"\"uu\"", "\"base64\"", "\"binhex\"", "\"yenc\"", "\"qp\""})
        EXPECT_NE(std::string::npos, r.out.find(std::string("\"encoding\":") + encoding))
            << encoding << "\n"
            << r.out;
}

// Standard input is one input wherever "-" stands among the files, and the input when no file
// is given; it is read as it comes, in memory while small and past that in an unnamed file in
// the output directory (decode) or $TMPDIR (check), which leaves nothing behind.
TEST_F(Tamsel, StandardInputIsOneInputReadAsItComes) {
    std::string text = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig part.bin");
    std::string second = "Subject: part.bin (2/3)\n\n" + test::SplitLines(text, 80)[1];
    Result r = RunWithInput({"check", dir / "part1.txt", "-", dir / "part3.txt"}, second);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("ready     uu             10000  part.bin")) << r.out;
    EXPECT_NE(std::string::npos, r.err.find("Loaded 'stdin': 1 part(s) found")) << r.err;

    // Past the memory it is kept in: 6 MB, decoded from standard input given as no file.
    std::string big = test::RandomBytes(6000000, 4);
    WriteFile(dir / "big.bin", big);
    std::string encoded = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode big.bin big.bin");
    r = RunWithInput({"decode", "-d", dir / "out"}, encoded);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("big.bin\n", r.out);
    EXPECT_TRUE(big == ReadFile(dir / "out/big.bin"));
    EXPECT_EQ(std::vector<std::string>{"big.bin"}, dir.List("out"));

    // Where it cannot be kept it is not read, and says why; a small one needs no file.
    setenv("TMPDIR", (dir / "nowhere").c_str(), 1);
    r = RunWithInput({"check", "-"}, encoded);
    Result small = RunWithInput({"check", "-"}, second);
    unsetenv("TMPDIR");
    EXPECT_EQ(codec::kIoError, r.status) << r.err;
    EXPECT_NE(std::string::npos,
              r.err.find("'stdin' is kept past its first 4 MiB in a temporary file in '" +
                         dir / "nowhere" + "', and that file cannot be made or written"))
        << r.err;
    EXPECT_EQ(tamsel::kExitNotAllReady, small.status) << small.err;

    // A stream that ends inside the file: not ready, and said so.
    r = RunWithInput({"decode", "-d", dir / "out", "--overwrite"}, encoded.substr(0, 3000000));
    EXPECT_EQ(tamsel::kExitNotAllReady, r.status);
    EXPECT_NE(std::string::npos, r.err.find("skipped 'big.bin'\n    No \"end\" line")) << r.err;
}

// An mbox on standard input, kept in a file past its first MiBs: a dozen uuencoded files,
// decoded two at a time from what was kept, and a message mpack split into pieces, read
// again joined from it.
TEST_F(Tamsel, AStreamOfManyFilesAndPiecesIsDecodedFromWhatItKept) {
    std::string mbox, from = "From poster@example.org Tue Dec  8 12:00:00 2026\n";
    std::vector<std::string> names;
    for (int k = 0; k < 12; ++k) {
        std::string name = "f" + std::to_string(k) + ".bin";
        WriteFile(dir / name, test::RandomBytes(400000, static_cast<uint32_t>(k + 100)));
        mbox += from + "Subject: " + name + "\n\n" +
                test::ShellOutput("cd " + Q(dir.path()) + " && uuencode " + name + " " + name) +
                "\n";
        names.push_back(name);
    }
    WriteFile(dir / "pieces.bin", test::RandomBytes(300000, 7));
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) +
                             " && mpack -s pieces -m 60000 -o piece pieces.bin >/dev/null"));
    for (const std::string& f : dir.List())
        if (f.rfind("piece.", 0) == 0) mbox += from + ReadFile(dir / f) + "\n";
    names.push_back("pieces.bin");
    ASSERT_GT(mbox.size(), 6u << 20);
    Result r = RunWithInput({"decode", "-d", dir / "out", "-"}, mbox);
    EXPECT_EQ(0, r.status) << r.err;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, dir.List("out"));
    for (const std::string& name : names)
        EXPECT_TRUE(ReadFile(dir / name) == ReadFile(dir / ("out/" + name))) << name;
}

TEST_F(Tamsel, StandardInputUsageErrors) {
    // Twice, or a terminal's (nothing is waited for when no file is given).
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"check", "-", "-"}).status);
    Result r = RunTamsel({"check"}, nullptr, 0, true);
    EXPECT_EQ(tamsel::kExitUsage, r.status);
    EXPECT_NE(std::string::npos, r.err.find("standard input is a terminal")) << r.err;
}

// The real binary: in a pipe from a shell, and from a named pipe, which is read only as
// standard input.
TEST_F(Tamsel, ReadsPipesFromTheShell) {
    std::string tamsel = Q(TAMSEL_BINARY);
    std::string d = Q(dir.path());
    EXPECT_EQ(0, test::Shell("cd " + d + " && sh -c 'uuencode orig piped.bin | " + tamsel +
                             " decode -d out 2>/dev/null'"));
    EXPECT_TRUE(data == ReadFile(dir / "out/piped.bin"));
    ASSERT_EQ(0, test::Shell("mkfifo " + Q(dir / "fifo")));
    std::string said = test::ShellOutput(tamsel + " check " + Q(dir / "fifo") + " 2>&1; echo $?");
    EXPECT_NE(std::string::npos, said.find("it is a named pipe; give it as standard input"))
        << said;
    EXPECT_EQ("1\n", said.substr(said.size() - 2));
    said = test::ShellOutput("cd " + d + " && (cat good.uue > fifo &) && " + tamsel +
                             " check - < fifo 2>/dev/null; echo $?");
    EXPECT_NE(std::string::npos, said.find("ready     uu             10000  good.bin\n0\n"))
        << said;
}

// SIGINT while tamsel waits for standard input to go on: it stops at once with 9, and leaves
// nothing.
TEST_F(Tamsel, InterruptWhileWaitingForStandardInput) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fds[0], 0);
        close(fds[1]);
        freopen("/dev/null", "w", stderr);
        freopen("/dev/null", "w", stdout);
        execl(TAMSEL_BINARY, "tamsel", "decode", "-d", (dir / "out").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[0]);
    std::string head = ReadFile(dir / "good.uue").substr(0, 2000);
    ASSERT_EQ(static_cast<ssize_t>(head.size()), write(fds[1], head.data(), head.size()));
    // Until it waits in read(2) for more ("S", sleeping, in /proc's stat).
    std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    for (int i = 0; i < 1000 && ReadFile(stat).find(") S ") == std::string::npos; ++i)
        usleep(10000);
    usleep(200000);
    kill(pid, SIGINT);
    int status = 0;
    for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(10000);
    close(fds[1]);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        // Still waiting: only closing the pipe ended it.
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "tamsel went on waiting for its input after SIGINT";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(codec::kCanceled, WEXITSTATUS(status));
    EXPECT_TRUE(dir.List("out").empty());
}

TEST_F(Tamsel, VersionAndHelpForEveryCommand) {
    Result r = RunTamsel({"--version"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string("tamsel ") + TAMSEL_VERSION + "\n", r.out);
    r = RunTamsel({"help"});
    EXPECT_EQ(0, r.status);
    for (const char* c : {"check", "decode", "encode"}) {
        SCOPED_TRACE(c);
        EXPECT_NE(std::string::npos, r.out.find(std::string("  tamsel ") + c + " [")) << r.out;
        Result help = RunTamsel({"help", c});
        EXPECT_EQ(0, help.status);
        EXPECT_EQ(0u, help.out.rfind(std::string("usage: tamsel ") + c + " ", 0)) << help.out;
        EXPECT_NE(std::string::npos, help.out.find("Exit status:")) << help.out;
        for (const char* flag : {"-h", "--help"}) {
            Result again = RunTamsel({c, flag});
            EXPECT_EQ(0, again.status);
            EXPECT_EQ(help.out, again.out);
        }
    }
    EXPECT_NE(std::string::npos, RunTamsel({"help", "encode"}).out.find("yenc (yEnc 1.3)"));
    EXPECT_NE(std::string::npos, RunTamsel({"help", "check"}).out.find("-r, --recursive"));
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"help", "frobnicate"}).status);
}

}  // namespace
