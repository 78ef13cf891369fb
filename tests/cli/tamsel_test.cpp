// tamsel run in-process with its output captured, plus the real binary for signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "support/test_support.h"
#include "tamsel.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Result {
    int status;
    std::string out, err;
};

Result RunTamsel(std::vector<std::string> args,
                 const volatile std::sig_atomic_t* cancel = nullptr) {
    std::ostringstream out, err;
    tamsel::Context context{out, err, false, cancel};
    int status = tamsel::Run(args, context);
    return {status, out.str(), err.str()};
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
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"check"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"check", "--bogus", "x"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"decode", "--json", "x"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"frobnicate"}).status);
    EXPECT_EQ(tamsel::kExitUsage, RunTamsel({"decode", "-d"}).status);
    Result help = RunTamsel({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("tamsel decode [-d DIR]"));
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

}  // namespace
