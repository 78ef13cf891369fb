// uuencode, xxencode and begin-base64: single files end to end, against sharutils uuencode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/tables.h"
#include "formats/uu/uu.h"
#include "simd/simd.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

using test::XxEncode;

// Decodes every record of `input` into dir with the library; returns the first result.
int DecodeAll(test::Library& t, const std::string& dir) {
    t.OutputTo(dir);
    for (const codec::FileRecord* r : t.Records()) {
        int rc = t.lib.DecodeFile(r, nullptr);
        if (rc != 0) return rc;
    }
    return 0;
}

TEST(UuDecode, RoundTripsWithSharutilsAtEveryLineBoundary) {
    for (size_t size : {0, 1, 2, 3, 44, 45, 46, 90, 1000, 100000}) {
        SCOPED_TRACE("size " + std::to_string(size));
        TempDir dir;
        std::string data = test::RandomBytes(size, static_cast<uint32_t>(size));
        WriteFile(dir / "orig.bin", data);
        ASSERT_EQ(0,
                  test::Shell("cd " + Q(dir.path()) + " && uuencode orig.bin file.bin > in.uue"));
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / "in.uue"));
        ASSERT_EQ(1u, t.Records().size());
        const codec::FileRecord* r = t.Records()[0];
        EXPECT_STREQ("file.bin", r->name);
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        EXPECT_EQ(static_cast<int32_t>(size), r->size);
        EXPECT_EQ(codec::Encoding::kUu, r->encoding);
        ASSERT_EQ(0, DecodeAll(t, dir.path()));
        EXPECT_EQ(data, ReadFile(dir / "file.bin"));
        // The same with CRLF line ends.
        ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) +
                                 " && sed 's/$/\\r/;s/file.bin/crlf.bin/' in.uue > crlf.uue"));
        test::Library c;
        ASSERT_EQ(0, c.Load(dir / "crlf.uue"));
        ASSERT_EQ(1u, c.Records().size());
        EXPECT_EQ(static_cast<int32_t>(size), c.Records()[0]->size);
        ASSERT_EQ(0, DecodeAll(c, dir.path()));
        EXPECT_EQ(data, ReadFile(dir / "crlf.bin"));
    }
}

TEST(UuDecode, AppliesTheBeginLineModeMaskedByUmask) {
    TempDir dir;
    WriteFile(dir / "x.uue", "begin 4755 setuid.sh\n#86)C\n`\nend\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "x.uue"));
    ASSERT_EQ(0, DecodeAll(t, dir.path()));
    EXPECT_EQ("abc", ReadFile(dir / "setuid.sh"));
    struct stat st;
    ASSERT_EQ(0, stat((dir / "setuid.sh").c_str(), &st));
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(0755u & ~mask, st.st_mode & 07777u);  // never setuid, setgid or sticky
}

TEST(UuDecode, ReadsBeginBase64FromSharutils) {
    TempDir dir;
    std::string data = test::RandomBytes(5000, 7);
    WriteFile(dir / "orig.bin", data);
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && uuencode -m orig.bin b64.bin > in.uue"));
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "in.uue"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_EQ(codec::Encoding::kBase64, t.Records()[0]->encoding);
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state);
    ASSERT_EQ(0, DecodeAll(t, dir.path()));
    EXPECT_EQ(data, ReadFile(dir / "b64.bin"));
}

// Zeros encoded as blanks (as old encoders wrote them), which mail and news systems then strip
// from the ends of lines: a line's length character still says how many bytes it carries, and
// what is missing is zero, in the size the scan gives and in the file written.
TEST(UuDecode, LinesThatLostTheirTrailingBlanksCarryWhatTheirLengthSays) {
    TempDir dir;
    std::string zeros45(45, '\0');
    struct Row {
        const char* what;
        std::string data;
    } rows[] = {
        {"six zeros ending every line", ""},
        {"whole lines of zeros",
         test::RandomBytes(100, 1) + zeros45 + zeros45 + test::RandomBytes(90, 2) + zeros45},
        {"most of a line zeros",
         test::RandomBytes(15, 3) + std::string(30, '\0') + test::RandomBytes(45, 4)},
        {"a last line ending in zeros", test::RandomBytes(450, 5) + "ab" + std::string(20, '\0')},
        {"one short line of zeros after text", "xyz" + std::string(30, '\0')},
        {"nothing but zeros", std::string(1000, '\0')},
        {"an empty file", ""},
    };
    for (int i = 0; i < 40; ++i)
        rows[0].data += test::RandomBytes(39, static_cast<uint32_t>(10 + i)) + std::string(6, '\0');
    for (const Row& row : rows) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (crlf ? ", CRLF" : ", LF"));
            WriteFile(dir / "orig.bin", row.data);
            // Every "`" (zero) of the data lines as a blank, then the blanks at line ends gone.
            ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) +
                                     " && uuencode orig.bin z.bin | sed -e '2,$s/`/ /g' "
                                     "-e 's/ *$//'" +
                                     (crlf ? " -e 's/$/\\r/'" : "") + " > in.uue"));
            test::Library t;
            ASSERT_EQ(0, t.Load(dir / "in.uue"));
            ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
            EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
            EXPECT_EQ(static_cast<int32_t>(row.data.size()), t.Records()[0]->size);
            EXPECT_EQ(std::string::npos, t.AllMessages().find("not valid data")) << t.AllMessages();
            test::Shell("rm -f " + Q(dir / "z.bin"));
            ASSERT_EQ(0, DecodeAll(t, dir.path()));
            EXPECT_TRUE(row.data == ReadFile(dir / "z.bin"));
        }
    }
}

// Loads the two articles of a posting (each a file) and expects one ready record of name that
// decodes to data.
void ExpectTwoArticlesDecode(const TempDir& dir, const std::string& first,
                             const std::string& second, const std::string& name,
                             const std::string& data) {
    WriteFile(dir / "p1", first);
    WriteFile(dir / "p2", second);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "p1"));
    ASSERT_EQ(0, t.Load(dir / "p2"));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    EXPECT_EQ(static_cast<int32_t>(data.size()), t.Records()[0]->size);
    ASSERT_EQ(0, DecodeAll(t, dir.path()));
    EXPECT_TRUE(data == ReadFile(dir / name));
}

// A posting whose last article holds only its last line, cut short, the terminator (stripped
// to nothing) and "end".
TEST(UuDecode, ThePostingsLastPartMayHoldOnlyAShortLine) {
    TempDir dir;
    std::string data = test::RandomBytes(45 * 30 + 5, 8) + std::string(20, '\0');
    std::string uu = test::Filtered(data, "uuencode l.bin | sed -e '2,$s/`/ /g' -e 's/ *$//'");
    std::vector<std::string> lines = test::SplitLines(uu, 1);
    ASSERT_EQ(34u, lines.size());  // begin, 31 data lines, terminator, end
    ASSERT_EQ("\n", lines[32]);
    std::string first = "Subject: l.bin (1/2)\n\n", second = "Subject: l.bin (2/2)\n\n";
    for (size_t k = 0; k < lines.size(); ++k)
        (k < 31 ? first : second) += lines[k];
    ExpectTwoArticlesDecode(dir, first, second, "l.bin", data);
}

// A cut mark after the data is shaped like a short line of uuencode ("-" says 13 bytes), but
// data never ends there: it is not counted.
TEST(UuDecode, ACutMarkAfterTheDataIsNotAStrippedLine) {
    TempDir dir;
    std::string data = test::RandomBytes(45 * 20, 7);
    std::string uu = test::Filtered(data, "uuencode c.bin");
    std::vector<std::string> halves = test::SplitLines(uu, 12);
    ASSERT_GE(halves.size(), 2u);
    std::string first = "Subject: c.bin (1/2)\n\n" + halves[0] + "-------------\n\n-- \nsig\n";
    std::string second = "Subject: c.bin (2/2)\n\n";
    for (size_t k = 1; k < halves.size(); ++k)
        second += halves[k];
    ExpectTwoArticlesDecode(dir, first, second, "c.bin", data);
}

// Short lines of one length in a row: each counts once the next has been read, and the span
// the decoder reads goes through that next one, so that the decoder counts it too.
TEST(UuDecode, AShortLineDecidedByAnotherIsDecodedAsTheScanCountedIt) {
    TempDir dir;
    WriteFile(dir / "in",
              "begin 644 s.bin\n=-\n=\"============8290423406088701560==\n"
              "Content-Transfer-EnS=J@!A\\*N\\`\nbegin 644 t.bin\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "in"));
    const codec::FileRecord* r = t.Named("s.bin");
    ASSERT_NE(nullptr, r) << t.AllMessages();
    EXPECT_EQ(29, r->size);
    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    t.OutputTo(dir.path());
    ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
    EXPECT_EQ(29u, ReadFile(dir / "s.bin").size());
}

TEST(UuLine, ClassifiesByLengthCharacterAndAlphabet) {
    using codec::ClassifyUuLine;
    using codec::LineKind;
    struct Row {
        const char* line;
        bool lenient;
        LineKind kind;
        int bytes;
    } rows[] = {
        {"#86)C", false, LineKind::kData, 3},    // "abc"
        {"#86)C ", false, LineKind::kData, 3},   // one check character
        {"#86)", false, LineKind::kNotData, 0},  // too short for three bytes
        {"#86)", true, LineKind::kShort, 3},     // blanks stripped, or not data at all
        {"#86)", false, LineKind::kNotData, 0},  // ... which only a strict reader says
        {"M86)C", true, LineKind::kData, 45},    // a full line is data however short
        {"`", false, LineKind::kZero, 0},        // the terminator
        {"", false, LineKind::kNotData, 0},
        {"#8a)C", false, LineKind::kNotData, 0},  // lower case is not uuencode
        {"end", true, LineKind::kNotData, 0},
        {"Hello there", false, LineKind::kNotData, 0},
    };
    std::string full = "M" + std::string(60, '!');
    std::string stripped = full.substr(0, 52);  // eight trailing blanks gone
    EXPECT_EQ(LineKind::kNotData, ClassifyUuLine(codec::kUuTable, stripped, false).kind);
    EXPECT_EQ(LineKind::kData, ClassifyUuLine(codec::kUuTable, stripped, true).kind);
    EXPECT_TRUE(codec::IsFullUuLine(codec::kUuTable, full));
    EXPECT_FALSE(codec::IsFullUuLine(codec::kXxTable, full));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        codec::UuLine u = ClassifyUuLine(codec::kUuTable, row.line, row.lenient);
        EXPECT_EQ(row.kind, u.kind);
        if (u.kind == LineKind::kData || u.kind == LineKind::kShort) {
            EXPECT_EQ(row.bytes, u.bytes);
        }
    }
}

TEST(UuDecode, ReportsDamagedLinesAndSkipsThem) {
    TempDir dir;
    std::string data = test::RandomBytes(450, 3);
    WriteFile(dir / "orig.bin", data);
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && uuencode orig.bin d.bin > good.uue"));
    std::string text = ReadFile(dir / "good.uue");
    // Line 4 (the third data line) gets a character no uuencoder writes.
    size_t line = 0, pos = 0;
    while (line < 3)
        pos = text.find('\n', pos) + 1, ++line;
    text[pos + 10] = 'q';
    WriteFile(dir / "bad.uue", text);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "bad.uue"));
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_NE(std::string::npos, t.AllMessages().find("not valid data")) << t.AllMessages();
    ASSERT_EQ(0, DecodeAll(t, dir.path()));
    std::string out = ReadFile(dir / "d.bin");
    EXPECT_EQ(data.substr(0, 90) + data.substr(135), out);
}

// Full lines are checked and decoded in one vector sweep; it must stop exactly where the line
// by line classifier would, and decode the same bytes.
std::string FullUuLines(const std::string& data, bool crlf, bool graveForZero) {
    std::string out;
    for (size_t pos = 0; pos + 45 <= data.size(); pos += 45) {
        out += 'M';
        for (size_t i = 0; i < 45; i += 3) {
            const auto* b = reinterpret_cast<const unsigned char*>(data.data() + pos + i);
            const unsigned b0 = b[0], b1 = b[1], b2 = b[2];
            const unsigned v[4] = {b0 >> 2, (b0 & 3) << 4 | b1 >> 4, (b1 & 15) << 2 | b2 >> 6,
                                   b2 & 63};
            for (unsigned x : v)
                out += static_cast<char>(x == 0 && graveForZero ? '`' : 0x20 + x);
        }
        out += crlf ? "\r\n" : "\n";
    }
    return out;
}

TEST(UuFullLines, StopAtTheFirstLineTheClassifierWouldRefuseAndDecodeTheSameBytes) {
    std::string data = test::RandomBytes(45 * 40, 17);
    data.replace(45 * 3, 45, 45, '\0');  // a line of zeros: every character a '`' or a blank
    for (bool crlf : {false, true}) {
        for (bool grave : {false, true}) {
            SCOPED_TRACE(std::string(crlf ? "CRLF" : "LF") + (grave ? ", '`'" : ", blank"));
            const std::string text = FullUuLines(data, crlf, grave);
            const size_t stride = crlf ? 63 : 62;
            const auto* p = reinterpret_cast<const unsigned char*>(text.data());
            std::vector<uint8_t> out(40 * 45 + codec::kUuSlack);
            size_t n = codec::UuFullLines(p, text.size(), stride, 1000, out.data());
            ASSERT_EQ(n, 40u);
            EXPECT_EQ(std::string(out.begin(), out.begin() + 45 * 40), data);
            EXPECT_EQ(codec::UuFullLines(p, text.size(), stride, 7, nullptr), 7u);
            EXPECT_EQ(codec::UuFullLines(p, text.size() - 1, stride, 1000, nullptr), 39u)
                << "the last line cut short";

            // One fault on line 5, at every place a line can go wrong.
            struct Fault {
                size_t at;
                char c;
                const char* what;
            } faults[] = {{0, 'L', "length character"},
                          {1, 'a', "first character"},
                          {16, '\x1f', "end of the first load"},
                          {17, '~', "second load"},
                          {40, '\x7f', "third load"},
                          {47, 'b', "overlap of the last two"},
                          {60, 'c', "last character"},
                          {stride - 1, 'x', "line end"}};
            for (const Fault& f : faults) {
                SCOPED_TRACE(f.what);
                std::string bad = text;
                bad[5 * stride + f.at] = f.c;
                const auto* q = reinterpret_cast<const unsigned char*>(bad.data());
                EXPECT_EQ(codec::UuFullLines(q, bad.size(), stride, 1000, out.data()), 5u);
                std::string_view line(bad.data() + 5 * stride, 61);
                EXPECT_FALSE(codec::IsFullUuLine(codec::kUuTable, line) &&
                             bad[5 * stride + stride - 1] == '\n' &&
                             (stride == 62 || bad[5 * stride + 61] == '\r'))
                    << "the classifier takes what the sweep refused";
            }
            if (crlf) {
                std::string lf = text;
                lf[2 * stride + 61] = ' ';  // a blank where the CR belongs
                EXPECT_EQ(codec::UuFullLines(reinterpret_cast<const unsigned char*>(lf.data()),
                                             lf.size(), stride, 1000, nullptr),
                          2u);
            }
        }
    }
}

}  // namespace

// A large file posted whole is decoded while it is loaded when asked; what the load writes is
// what a decode writes, however the lines are mangled, and for whatever follows it.
TEST(UuDecode, WhatTheLoadDecodesIsWhatADecodeWrites) {
    TempDir dir;
    std::string data = test::RandomBytes((3 << 19) + 7, 41);  // 1.5 MiB and a short last line
    WriteFile(dir / "orig.bin", data);
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && uuencode orig.bin big.bin > lf.uue"));
    std::string lf = ReadFile(dir / "lf.uue");
    // Every other line, and the line before the last, with its trailing blanks lost (sharutils
    // writes '`' for zero: made blanks first); blank lines, a cut mark and a damaged line
    // inside; then a second file after the first without its "end".
    std::string mangled;
    size_t pos = lf.find('\n') + 1, n = 0;
    mangled = lf.substr(0, pos);
    while (pos < lf.size()) {
        size_t next = lf.find('\n', pos) + 1;
        std::string line = lf.substr(pos, next - pos - 1);
        if (++n % 2 == 0 && line.size() > 1 && line != "end") {
            for (size_t i = 1; i < line.size(); ++i)
                if (line[i] == '`') line[i] = ' ';
            while (line.size() > 1 && line.back() == ' ')
                line.pop_back();
        }
        if (n == 5000) mangled += "\n\n--- cut here ---\n";
        if (n == 9000) line[20] = 'q';
        mangled += line + "\n";
        pos = next;
    }
    std::string expectedMangled = data.substr(0, 8999 * 45) + data.substr(9000 * 45);
    std::string small = test::RandomBytes(1000, 42);
    WriteFile(dir / "small.bin", small);
    std::string second = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode small.bin s.bin");
    std::string noEnd = lf.substr(0, lf.rfind("end")) + second;
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"lf", lf, data},
        {"crlf", crlf, data},
        {"xx", test::XxEncode(data, "big.bin"), data},
        {"mangled", mangled, expectedMangled},
        {"no end", noEnd, data},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / "in", c.text);
        for (int during : {0, 1}) {
            SCOPED_TRACE(during);
            test::Library t;
            std::string out = test::OutputForDuringLoad(t, dir, during);
            t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
            ASSERT_EQ(0, t.Load(dir / "in"));
            EXPECT_EQ(during, test::OpenFilesIn(out));  // the load's unnamed output
            for (const codec::FileRecord* r : t.Records())
                ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
            EXPECT_TRUE(ReadFile(out + "/big.bin") == c.expected);
            if (c.text == noEnd) {
                EXPECT_EQ(small, ReadFile(out + "/s.bin"));
            }
        }
    }
}

// A posting in parts whose articles come in order is decoded while it is loaded too, from one
// spool or from one input per article; parts out of order, repeated or damaged give the same
// file as a decode after the load.
TEST(UuDecode, APostingInPartsIsDecodedDuringTheLoadWhenItsPartsComeInOrder) {
    TempDir dir;
    std::string data = test::RandomBytes(3 << 19, 44);
    std::string uu = test::Filtered(data, "uuencode big.bin");
    std::vector<std::string> pieces = test::SplitLines(uu, 9000);
    ASSERT_EQ(4u, pieces.size());
    auto article = [&](size_t k) {
        return "From a@example.org Tue Dec  8 10:00:00 2026\nSubject: big.bin (" +
               std::to_string(k + 1) + "/4)\n\n" + pieces[k] + "\n";
    };
    std::string damaged = pieces[2];
    damaged[damaged.find('\n', 1000) + 7] = 'q';
    struct Case {
        const char* name;
        std::vector<size_t> order;
        bool files;  // one input per article, else one spool
        bool kept;   // by the load, to the end
    };
    const Case cases[] = {
        {"spool", {0, 1, 2, 3}, false, true},         {"files", {0, 1, 2, 3}, true, true},
        {"out of order", {0, 2, 1, 3}, false, false}, {"a part again", {0, 1, 1, 2, 3}, true, true},
        {"damaged", {0, 1, 4, 3}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> inputs;
        std::string spool;
        for (size_t k : c.order) {
            std::string text = k == 4 ? article(2) : article(k);
            if (k == 4) text.replace(text.find(pieces[2]), pieces[2].size(), damaged);
            inputs.push_back(dir / ("a" + std::to_string(inputs.size())));
            WriteFile(inputs.back(), text);
            spool += text;
        }
        if (!c.files) {
            inputs = {dir / "spool"};
            WriteFile(inputs[0], spool);
        }
        std::string decoded[2];
        for (int during : {0, 1}) {
            SCOPED_TRACE(during);
            test::Library t;
            std::string out = test::OutputForDuringLoad(t, dir, during);
            t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
            std::vector<int> results;
            ASSERT_EQ(0, t.LoadAll(inputs, results));
            ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
            // Data the load kept is put in place: nothing is read to decode it.
            int reads = 0;
            t.lib.SetBusyCallback(
                &reads,
                [](void* o, const codec::Progress* p) {
                    *static_cast<int*>(o) += p->action == codec::kActionDecoding;
                    return 0;
                },
                0);
            ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
            EXPECT_EQ(during && c.kept, reads == 0);
            decoded[during] = ReadFile(out + "/big.bin");
            EXPECT_EQ(0, test::OpenFilesIn(out));
        }
        EXPECT_TRUE(decoded[0] == decoded[1]);
        if (c.name != std::string("damaged")) {
            EXPECT_TRUE(decoded[1] == data);
        }
    }
}
