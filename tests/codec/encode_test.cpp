// Encoding: every encoding whole and in parts, decoded back by this library and by the peers
// (uudecode, munpack, python3-yenc), targets that exist, cancels and unreadable inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class Encode : public ::testing::Test {
  protected:
    // Encodes dir/in.bin into dir/out/<output>; returns the library's result.
    int Run(int type, const std::string& output, long lines, test::Library& t) {
        t.OutputTo(dir / "out");
        return t.lib.EncodeToFile(nullptr, (dir / "in.bin").c_str(), type, nullptr, output.c_str(),
                                  lines);
    }
    std::vector<std::string> Written() const { return dir.List("out"); }

    // Loads every written file, in shuffled order, and decodes the one record found.
    std::string DecodeBack() {
        std::vector<std::string> files = Written();
        std::shuffle(files.begin(), files.end(), rng);
        test::Library t;
        for (const std::string& f : files)
            EXPECT_EQ(0, t.Load(dir / ("out/" + f)));
        EXPECT_EQ(1u, t.Records().size()) << t.AllMessages();
        if (t.Records().size() != 1) return "<no single record>";
        const codec::FileRecord* r = t.Records()[0];
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        test::Shell("rm -rf " + Q(dir / "back") + " && mkdir " + Q(dir / "back"));
        t.OutputTo(dir / "back");
        EXPECT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        return ReadFile(dir / ("back/" + std::string(r->name ? r->name : "?")));
    }

    void SetUp() override { test::Shell("mkdir " + Q(dir / "out")); }
    void Clear() { test::Shell("rm -f " + Q(dir / "out") + "/* " + Q(dir / "out") + "/.??*"); }

    TempDir dir;
    std::mt19937 rng{5};
};

TEST_F(Encode, EveryEncodingWholeAndInPartsDecodesBack) {
    struct Kind {
        int type;
        const char* name;
    } kinds[] = {{codec::kEncodeUu, "uu"},
                 {codec::kEncodeXx, "xx"},
                 {codec::kEncodeBase64, "b64"},
                 {codec::kEncodeYenc, "yenc"}};
    for (size_t size : {0, 1, 44, 45, 46, 3000000}) {
        std::string data = test::RandomBytes(size, static_cast<uint32_t>(size));
        WriteFile(dir / "in.bin", data);
        for (const Kind& kind : kinds) {
            for (long lines : {0L, 100000L, 7000L, 10L}) {
                if (size == 3000000 && lines == 10) continue;  // thousands of files: see below
                SCOPED_TRACE(std::string(kind.name) + " size " + std::to_string(size) + " lines " +
                             std::to_string(lines));
                Clear();
                test::Library t;
                ASSERT_EQ(0, Run(kind.type, "out.txt", lines, t)) << t.AllMessages();
                EXPECT_EQ(data, DecodeBack());
                // Every part but the last holds its lines of data (Base64: of the document, so
                // the first holds the header too), full ones, and no more.
                std::vector<std::string> parts = Written();
                for (size_t k = 0;
                     lines > 0 && kind.type != codec::kEncodeYenc && k + 1 < parts.size(); ++k) {
                    bool b64 = kind.type == codec::kEncodeBase64;
                    if (b64 && k == 0) continue;
                    size_t full = 0;
                    for (const std::string& l :
                         test::SplitLines(ReadFile(dir / ("out/" + parts[k])), 1))
                        full += l.size() == (b64 ? 77u : 62u);
                    EXPECT_EQ(static_cast<size_t>(lines), full) << parts[k];
                }
            }
        }
    }
}

TEST_F(Encode, WholeFilesFollowTheFormatsAndThePeersReadThem) {
    std::string data = test::RandomBytes(100000, 1);
    WriteFile(dir / "in.bin", data);
    test::Library t;
    ASSERT_EQ(0, Run(codec::kEncodeUu, "in.uue", 0, t));
    std::string text = ReadFile(dir / "out/in.uue");
    EXPECT_EQ(0u, text.find("begin 644 in.bin\n"));
    EXPECT_EQ(61u, text.find('\n', 17) - 17);  // 45 bytes a line
    EXPECT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && uudecode -o peer.bin out/in.uue"));
    EXPECT_EQ(data, ReadFile(dir / "peer.bin"));

    ASSERT_EQ(0, Run(codec::kEncodeBase64, "in.b64", 0, t));
    text = ReadFile(dir / "out/in.b64");
    EXPECT_NE(std::string::npos, text.find("Content-Disposition: attachment; filename=\"in.bin\""));
    size_t body = text.find("\n\n") + 2;
    EXPECT_EQ(76u, text.find('\n', body) - body);
    // The body is what coreutils writes, line for line.
    EXPECT_EQ(test::ShellOutput("base64 -w 76 " + Q(dir / "in.bin")), text.substr(body));
    test::Shell("mkdir " + Q(dir / "mp"));
    EXPECT_EQ(0, test::Shell("cd " + Q(dir / "mp") + " && TMPDIR=" + Q(dir / "mp") +
                             " munpack -q ../out/in.b64 >/dev/null"));
    EXPECT_EQ(data, ReadFile(dir / "mp/in.bin"));
}

TEST_F(Encode, Base64PartsAreMessagePartialThatMunpackJoinsInAnyOrder) {
    std::string data = test::RandomBytes(60000, 2);
    WriteFile(dir / "in.bin", data);
    test::Library t;
    t.lib.SetOption(codec::kOptEncodedExt, 0, "msg");
    ASSERT_EQ(0, Run(codec::kEncodeBase64, "mail.txt", 200, t));
    std::vector<std::string> parts = Written();
    ASSERT_EQ(6u, parts.size());
    EXPECT_EQ("mail.001.msg", parts[0]);
    std::shuffle(parts.begin(), parts.end(), rng);
    std::string mp = dir / "mp";
    test::Shell("mkdir " + Q(mp) + " " + Q(mp + "/tmp"));
    for (const std::string& p : parts) {
        // munpack 1.6 leaves a file "CT" behind between the pieces of one message.
        test::Shell("cd " + Q(mp) + " && TMPDIR=" + Q(mp + "/tmp") + " munpack -q " +
                    Q(dir / ("out/" + p)) + " >/dev/null 2>&1; rm -f " + Q(mp) +
                    "/tmp/m-prts-*/*/CT");
    }
    EXPECT_EQ(data, ReadFile(mp + "/in.bin"));
}

// The bytes yEnc must escape wherever they fall (their value plus 42 is NUL, LF, CR or '='),
// and those it must escape at a line's start or end (TAB, space, '.'), in runs and among
// random bytes.
std::string YencHostile(size_t size, uint32_t seed) {
    std::string data = test::RandomBytes(size, seed);
    const unsigned char traps[] = {0xD6, 0xE0, 0xE3, 0x13, 0xDF, 0xF6, 0x04};
    std::mt19937 rng(seed);
    for (size_t i = 0; i < size; ++i) {
        if (rng() % 3 == 0) data[i] = static_cast<char>(traps[rng() % sizeof traps]);
        if (i > size / 2 && i < size / 2 + 4000) data[i] = static_cast<char>(traps[i / 500 % 7]);
    }
    return data;
}

// Every data line of a yEnc file, between its =ybegin (or =ypart) line and its =yend line.
std::vector<std::string> YencDataLines(const std::string& file) {
    std::vector<std::string> lines;
    bool in = false;
    size_t at = 0;
    while (at < file.size()) {
        size_t end = file.find('\n', at);
        std::string line = file.substr(at, end - at);
        at = end == std::string::npos ? file.size() : end + 1;
        if (line.rfind("=ybegin ", 0) == 0 || line.rfind("=ypart ", 0) == 0) {
            in = true;
        } else if (line.rfind("=yend ", 0) == 0) {
            in = false;
        } else if (in) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST_F(Encode, YencLinesKeepToTheirLengthAndEscapeWhatATransportWouldBreak) {
    std::string data = YencHostile(200000, 3);
    WriteFile(dir / "in.bin", data);
    test::Library t;
    ASSERT_EQ(0, Run(codec::kEncodeYenc, "in.yenc", 0, t)) << t.AllMessages();
    std::string file = ReadFile(dir / "out/in.yenc");
    EXPECT_EQ(0u, file.rfind("=ybegin line=128 size=200000 name=in.bin\n", 0))
        << file.substr(0, 80);
    EXPECT_NE(std::string::npos,
              file.find("\n=yend size=200000 crc32=" + test::Hex(test::Crc(data)) + "\n"));
    std::vector<std::string> lines = YencDataLines(file);
    ASSERT_GT(lines.size(), 1500u);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        SCOPED_TRACE("line " + std::to_string(i));
        ASSERT_FALSE(l.empty());
        // 128 characters, or 129 when the last is escaped; only the last line is shorter.
        EXPECT_LE(l.size(), 129u);
        if (i + 1 < lines.size()) {
            EXPECT_GE(l.size(), 128u);
        }
        EXPECT_EQ(std::string::npos, l.find_first_of(std::string("\0\r", 2)));
        EXPECT_EQ(std::string::npos, std::string("\t .").find(l.front()));
        EXPECT_EQ(std::string::npos, std::string("\t ").find(l.back()));
        if (l.size() == 129) {
            EXPECT_EQ('=', l[127]);
        }
    }
    EXPECT_EQ(data, DecodeBack());
}

// python3-yenc, the peer, decodes every part's data lines to the bytes of the range its
// =ypart line gives, with the pcrc32 and size its =yend line gives, and the parts together
// to the file with its crc32.
TEST_F(Encode, YencPartsDecodeWithThePeerToTheirRangesAndChecksums) {
    std::string data = YencHostile(700000, 8);
    WriteFile(dir / "in.bin", data);
    test::Library t;
    ASSERT_EQ(0, Run(codec::kEncodeYenc, "set.yenc", 1000, t)) << t.AllMessages();
    ASSERT_EQ((std::vector<std::string>{"set.001.uue", "set.002.uue", "set.003.uue", "set.004.uue",
                                        "set.005.uue", "set.006.uue"}),
              Written());  // 128000 bytes a part
    std::string first = ReadFile(dir / "out/set.001.uue");
    EXPECT_EQ(0u, first.rfind("Subject: \"in.bin\" yEnc (1/6)\n\n"
                              "=ybegin part=1 total=6 line=128 size=700000 name=in.bin\n"
                              "=ypart begin=1 end=128000\n",
                              0))
        << first.substr(0, 200);
    const char* script = R"(
import re, sys, yenc, zlib
whole = b''
for path in sys.argv[2:]:
    lines = open(path, 'rb').read().split(b'\n')
    begin = next(i for i, l in enumerate(lines) if l.startswith(b'=ypart '))
    end = next(i for i, l in enumerate(lines) if l.startswith(b'=yend '))
    r = dict(re.findall(rb'(\w+)=(\S+)', lines[begin]))
    e = dict(re.findall(rb'(\w+)=(\S+)', lines[end]))
    d = yenc.Decoder()
    d.feed(b'\n'.join(lines[begin + 1:end]) + b'\n')
    part = d.getDecoded()
    assert len(whole) + 1 == int(r[b'begin']) and len(whole) + len(part) == int(r[b'end']), path
    assert int(e[b'size']) == len(part) and int(e[b'pcrc32'], 16) == zlib.crc32(part), path
    assert int(e[b'pcrc32'], 16) == int(d.getCrc32(), 16), path
    whole += part
    last = e
assert int(last[b'crc32'], 16) == zlib.crc32(whole)
open(sys.argv[1], 'wb').write(whole)
)";
    std::string args = Q(dir / "peer.bin");
    for (const std::string& f : Written())
        args += " " + Q(dir / ("out/" + f));
    ASSERT_EQ(0, test::RunPython(dir, script, args));
    EXPECT_TRUE(data == ReadFile(dir / "peer.bin"));
    EXPECT_EQ(data, DecodeBack());
}

TEST_F(Encode, PartNamesGetMoreDigitsPastNineHundredNinetyNine) {
    WriteFile(dir / "in.bin", test::RandomBytes(45 * 1200, 3));
    test::Library t;
    ASSERT_EQ(0, Run(codec::kEncodeUu, "many", 1, t));
    std::vector<std::string> parts = Written();
    ASSERT_EQ(1200u, parts.size());
    EXPECT_EQ("many.0001.uue", parts.front());
    EXPECT_EQ("many.1200.uue", parts.back());
    EXPECT_EQ(0u, ReadFile(dir / "out/many.0002.uue").find("Subject: in.bin (2/1200)\n\n"));
}

TEST_F(Encode, AnExistingTargetStopsTheJobBeforeAnythingIsWritten) {
    WriteFile(dir / "in.bin", test::RandomBytes(10000, 4));
    WriteFile(dir / "out/p.003.uue", "mine");
    test::Library t;
    EXPECT_EQ(codec::kTargetExists, Run(codec::kEncodeUu, "p.uue", 40, t));
    EXPECT_EQ(std::vector<std::string>{"p.003.uue"}, Written());
    EXPECT_EQ("mine", ReadFile(dir / "out/p.003.uue"));
    t.lib.SetOption(codec::kOptOverwrite, 1, nullptr);
    EXPECT_EQ(0, Run(codec::kEncodeUu, "p.uue", 40, t));
    EXPECT_EQ(6u, Written().size());
}

TEST_F(Encode, CancelInAnyPartLeavesNothing) {
    WriteFile(dir / "in.bin", test::RandomBytes(200000, 5));
    struct Seen {
        int calls = 0, cancelAtPart = 0, maxPart = 0, badParts = 0;
    } seen;
    seen.cancelAtPart = 3;
    test::Library t;
    t.lib.SetBusyCallback(
        &seen,
        [](void* o, const codec::Progress* p) {
            auto* s = static_cast<Seen*>(o);
            ++s->calls;
            s->badParts += p->action != codec::kActionEncoding || p->parts != 5 || p->part < 1;
            s->maxPart = std::max(s->maxPart, p->part);
            return p->part >= s->cancelAtPart ? 1 : 0;
        },
        0);
    EXPECT_EQ(codec::kCanceled, Run(codec::kEncodeXx, "c.xxe", 900, t));
    EXPECT_EQ(3, seen.maxPart);
    EXPECT_EQ(0, seen.badParts);
    EXPECT_TRUE(Written().empty());
}

TEST_F(Encode, UnreadableInputsAndUnusableOutputsAreIoErrors) {
    test::Library t;
    EXPECT_EQ(codec::kIoError, Run(codec::kEncodeUu, "x.uue", 0, t));  // no in.bin yet
    EXPECT_NE(std::string::npos, t.AllMessages().find("No such file or directory"));
    WriteFile(dir / "in.bin", "abc");
    EXPECT_EQ(codec::kIoError, Run(codec::kEncodeUu, "../x.uue", 0, t));
    t.OutputTo(dir / "missing");
    EXPECT_EQ(codec::kIoError, t.lib.EncodeToFile(nullptr, (dir / "in.bin").c_str(),
                                                  codec::kEncodeUu, nullptr, "x.uue", 0));
    EXPECT_NE(std::string::npos, t.AllMessages().find("missing"));
    EXPECT_EQ(codec::kInternalError, Run(7, "x.uue", 0, t));
    EXPECT_TRUE(Written().empty());
}

}  // namespace
