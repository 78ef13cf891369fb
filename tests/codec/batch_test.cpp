// Decoding many records in one call (two threads): the same results, files, modes and messages
// as decoding them one by one; records of one name in the order given; a cancel that begins
// nothing more and leaves no partial file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr int kFiles = 24;

class Batch : public ::testing::Test {
  protected:
    void SetUp() override {
        test::Shell("mkdir " + Q(dir / "in"));
        for (int k = 0; k < kFiles; ++k) {
            // One large enough to be written by a thread of its own.
            size_t size = k == 5 ? (3u << 20) : 100 + 997u * static_cast<size_t>(k);
            data.push_back(test::RandomBytes(size, 100 + static_cast<uint32_t>(k)));
            std::string raw = dir / "raw";
            WriteFile(raw, data[k]);
            chmod(raw.c_str(), k == 7 ? 0444 : 0640);  // the begin line's mode
            std::string name = std::to_string(k) + ".bin";
            test::Shell("uuencode " + Q(raw) + " " + name + " > " +
                        Q(dir / ("in/" + name + ".uue")));
        }
        test::Shell("rm " + Q(dir / "raw"));
        // Not ready: no end line.
        WriteFile(dir / "in/cut.uue",
                  "begin 644 cut.bin\nM86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7I!0D-$149'2$E*2TQ-3D]0\n");
    }

    // Loads every input, and notes which data each record holds (-1: none). With shareName,
    // 6.bin is renamed 5.bin, the name of the large record loaded just before it.
    void Load(test::Library& t, const std::string& out, bool shareName = true) {
        for (const std::string& f : dir.List("in"))
            ASSERT_EQ(0, t.Load(dir / ("in/" + f)));
        source.clear();
        for (const codec::FileRecord* r : t.Records())
            source.push_back(std::string(r->name) == "cut.bin" ? -1 : std::stoi(r->name));
        if (shareName) {
            ASSERT_EQ(0, t.lib.RenameFile(t.Named("6.bin"), "5.bin"));
        }
        test::Shell("mkdir -p " + Q(out));
        t.OutputTo(out);
        t.messages.clear();
    }

    // The messages with the output directory's path taken out.
    static std::vector<std::string> Said(const test::Library& t, const std::string& out) {
        std::vector<std::string> said;
        for (const auto& [level, text] : t.messages) {
            std::string s = std::to_string(level) + " " + text;
            for (size_t at; (at = s.find(out)) != std::string::npos;)
                s.replace(at, out.size(), "OUT");
            said.push_back(s);
        }
        return said;
    }

    TempDir dir;
    std::vector<std::string> data;
    std::vector<int> source;  // of the records of the last load, in order
};

TEST_F(Batch, GivesTheResultsFilesAndMessagesOfDecodingOneByOne) {
    std::string outOne = dir / "one", outMany = dir / "many";
    test::Library one, many;
    Load(one, outOne);
    Load(many, outMany);
    // With overwrite off, a file already there stays.
    WriteFile(outOne + "/4.bin", "precious");
    WriteFile(outMany + "/4.bin", "precious");

    std::vector<int> expected;
    for (const codec::FileRecord* r : one.Records())
        expected.push_back(one.lib.DecodeFile(r, nullptr));
    std::vector<int> results;
    EXPECT_EQ(codec::kOk, many.DecodeAll(many.Records(), results));
    EXPECT_EQ(expected, results);
    EXPECT_EQ(Said(one, outOne), Said(many, outMany));

    // The first record of a name wins, the second finds it there, though it is much smaller.
    EXPECT_TRUE(ReadFile(outMany + "/5.bin") == data[5]);
    EXPECT_EQ("precious", ReadFile(outMany + "/4.bin"));
    EXPECT_EQ(std::count(results.begin(), results.end(), codec::kTargetExists), 2);
    EXPECT_EQ(std::count(results.begin(), results.end(), codec::kNoEnd), 1);  // cut.bin

    std::vector<std::string> names = dir.List("many");
    EXPECT_EQ(dir.List("one"), names);
    EXPECT_EQ(static_cast<size_t>(kFiles - 1), names.size());  // 6.bin is not there
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        struct stat a, b;
        ASSERT_EQ(0, stat((outOne + "/" + name).c_str(), &a));
        ASSERT_EQ(0, stat((outMany + "/" + name).c_str(), &b));
        EXPECT_EQ(a.st_mode, b.st_mode);
        EXPECT_TRUE(ReadFile(outOne + "/" + name) == ReadFile(outMany + "/" + name));
    }
    struct stat st;
    ASSERT_EQ(0, stat((outMany + "/7.bin").c_str(), &st));
    EXPECT_EQ(0444u, st.st_mode & 0777);
    EXPECT_EQ(0, test::OpenFilesIn(outMany));
}

TEST_F(Batch, ACancelBeginsNothingMoreAndLeavesNoPartialFile) {
    std::string out = dir / "out";
    test::Library t;
    Load(t, out, false);
    int calls = 0;
    t.lib.SetBusyCallback(
        &calls,
        [](void* o, const codec::Progress* p) {
            return p->action == codec::kActionDecoding && ++*static_cast<int*>(o) >= 6 ? 1 : 0;
        },
        0);
    std::vector<const codec::FileRecord*> records = t.Records();
    std::vector<int> results;
    EXPECT_EQ(codec::kCanceled, t.DecodeAll(records, results));
    size_t decoded = 0, canceled = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        std::string name = records[i]->name;
        SCOPED_TRACE(name);
        if (results[i] == codec::kOk) {
            ++decoded;
            EXPECT_TRUE(ReadFile(out + "/" + name) == data[static_cast<size_t>(source[i])]);
        } else if (results[i] == codec::kCanceled) {
            ++canceled;
            EXPECT_FALSE(test::Exists(out + "/" + name));
        } else {
            EXPECT_EQ(-1, source[i]);
        }
    }
    EXPECT_GE(decoded, 1u);
    EXPECT_GE(canceled, 1u);
    // Only whole files, under their names: no temporary, nothing for a canceled record.
    EXPECT_EQ(decoded, dir.List("out").size());
    size_t notes = 0;
    for (const auto& [level, text] : t.messages)
        notes += text.rfind("Decoded ", 0) == 0;
    EXPECT_EQ(decoded, notes);
}

TEST_F(Batch, AnOutputDirectoryThatCannotBeOpenedFailsEachRecordAsDecodeFileWould) {
    test::Library t;
    Load(t, dir / "out");
    t.OutputTo(dir / "not/there");
    std::vector<const codec::FileRecord*> records = t.Records();
    std::vector<int> results;
    EXPECT_EQ(codec::kOk, t.DecodeAll(records, results));
    size_t named = 0;
    for (const auto& [level, text] : t.messages)
        named += text.find("not/there") != std::string::npos;
    EXPECT_EQ(records.size() - 1, named);  // all but cut.bin, which is not ready
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(std::string(records[i]->name) == "cut.bin" ? codec::kNoEnd : codec::kIoError,
                  results[i]);
}

}  // namespace

namespace {

// What a library holds after loading, record by record.
std::string Holdings(const test::Library& t) {
    std::string s;
    for (const codec::FileRecord* r : t.Records()) {
        s += std::string(r->name ? r->name : "(none)") + " " + std::to_string(r->state) + " " +
             std::to_string(r->size) + " " + codec::EncodingName(r->encoding) + " missing";
        for (const int32_t* m = r->missingParts; m && *m; ++m)
            s += " " + std::to_string(*m);
        s += "\n";
    }
    return s;
}

}  // namespace

// Loading many files in one call reads small ones ahead on another thread: the records,
// results and messages are those of loading them one by one, whatever is in the list.
TEST(LoadFiles, GiveWhatLoadingOneByOneGives) {
    TempDir dir;
    std::vector<std::string> paths;
    auto add = [&](const std::string& name, const std::string& text) {
        WriteFile(dir / name, text);
        paths.push_back(dir / name);
    };
    // 150 small articles (more than two batches), every tenth in two pieces the second of
    // which has no header: it continues the part the file before left open.
    for (int k = 0; k < 150; ++k) {
        std::string raw = dir / "raw";
        WriteFile(raw, test::RandomBytes(300 + 50u * static_cast<size_t>(k), 500 + k));
        std::string text = test::ShellOutput("uuencode " + Q(raw) + " s" + std::to_string(k));
        std::string name = "a" + std::to_string(1000 + k);
        if (k % 10 == 3) {
            size_t cut = text.find('\n', text.size() / 2) + 1;
            add(name + ".1", "Subject: s" + std::to_string(k) + "\n\n" + text.substr(0, cut));
            add(name + ".2", text.substr(cut));
        } else {
            add(name, "Subject: s" + std::to_string(k) + "\n\n" + text);
        }
        if (k == 40) {
            // Larger than what is read ahead, missing, a directory, no name, empty.
            add("big", test::Filtered(test::RandomBytes(400000, 62), "uuencode big.bin"));
            paths.push_back(dir / "missing");
            paths.push_back(dir.path());
            paths.push_back("");
            add("empty", "");
        }
        if (k == 90) paths.push_back(paths[5]);  // the same file again
    }
    test::Library one, many;
    std::vector<int> expected;
    for (const std::string& p : paths)
        expected.push_back(one.lib.LoadFile(p.c_str()));
    std::vector<int> results;
    EXPECT_EQ(codec::kOk, many.LoadAll(paths, results));
    EXPECT_EQ(expected, results);
    EXPECT_EQ(3, std::count(results.begin(), results.end(), codec::kIoError));
    EXPECT_EQ(one.messages, many.messages);
    EXPECT_EQ(Holdings(one), Holdings(many));
    EXPECT_EQ(151u, many.Records().size());
    EXPECT_EQ(codec::kStateReady, many.Named("big.bin")->state);
    EXPECT_EQ(codec::kStateReady, many.Named("s13")->state);  // joined across two files
}

TEST(LoadFiles, ACancelLoadsNothingMore) {
    TempDir dir;
    std::vector<std::string> paths;
    std::string text = test::Filtered(test::RandomBytes(2000, 63), "uuencode x");
    for (int k = 0; k < 100; ++k) {
        std::string name = "f" + std::to_string(k);
        WriteFile(dir / name,
                  "Subject: " + name + "\n\n" +
                      std::string(text).replace(text.find(" x\n"), 3, " " + name + "\n"));
        paths.push_back(dir / name);
    }
    test::Library t;
    int calls = 0;
    t.lib.SetBusyCallback(
        &calls,
        [](void* o, const codec::Progress*) { return ++*static_cast<int*>(o) >= 30 ? 1 : 0; }, 0);
    std::vector<int> results;
    EXPECT_EQ(codec::kCanceled, t.LoadAll(paths, results));
    auto first = std::find(results.begin(), results.end(), codec::kCanceled);
    ASSERT_NE(results.end(), first);
    EXPECT_TRUE(std::all_of(results.begin(), first, [](int r) { return r == codec::kOk; }));
    EXPECT_TRUE(std::all_of(first, results.end(), [](int r) { return r == codec::kCanceled; }));
    EXPECT_EQ(static_cast<size_t>(first - results.begin()), t.Records().size());
    EXPECT_EQ(30, calls);
}

namespace {

// A yEnc article of data under name, escaping more than it must (allowed, and simple).
std::string YencArticle(const std::string& data, const std::string& name) {
    std::string lines, line;
    for (char ch : data) {
        auto c = static_cast<unsigned char>(static_cast<unsigned char>(ch) + 42);
        if (c == 0 || c == '\n' || c == '\r' || c == '=' || c == '\t' || c == ' ' || c == '.') {
            line += '=';
            c = static_cast<unsigned char>(c + 64);
        }
        line += static_cast<char>(c);
        if (line.size() >= 128) {
            lines += line + "\r\n";
            line.clear();
        }
    }
    if (!line.empty()) lines += line + "\r\n";
    char crc[16];
    snprintf(crc, sizeof crc, "%08lx",
             crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    std::string size = std::to_string(data.size());
    return "Subject: " + name + "\r\n\r\n=ybegin line=128 size=" + size + " name=" + name + "\r\n" +
           lines + "=yend size=" + size + " crc32=" + crc + "\r\n";
}

}  // namespace

// With decode-during-load on, what the load wrote of large files is put in place by the batch
// as by DecodeFile, next to small files decoded on two threads.
TEST(BatchDuringLoad, PutsInPlaceWhatTheLoadDecoded) {
    TempDir dir;
    std::string out = dir / "out";
    test::Shell("mkdir " + Q(out));
    test::Library t;
    t.OutputTo(out);
    t.lib.SetOption(codec::kOptDecodeDuringLoad, 1, nullptr);
    std::vector<std::string> data;
    for (uint32_t k = 0; k < 12; ++k) {
        data.push_back(test::RandomBytes(k % 5 == 1 ? (1u << 20) + k : 3000 + k, 700 + k));
        std::string name = "y" + std::to_string(k) + ".bin";
        WriteFile(dir / (name + ".txt"), YencArticle(data[k], name));
        ASSERT_EQ(0, t.Load(dir / (name + ".txt")));
    }
    EXPECT_EQ(3, test::OpenFilesIn(out));  // the large ones, 1, 6 and 11, written unnamed
    std::vector<const codec::FileRecord*> records = t.Records();
    std::vector<int> results;
    ASSERT_EQ(codec::kOk, t.DecodeAll(records, results)) << t.AllMessages();
    EXPECT_EQ(std::vector<int>(12, codec::kOk), results);
    for (uint32_t k = 0; k < 12; ++k)
        EXPECT_TRUE(ReadFile(out + "/y" + std::to_string(k) + ".bin") == data[k]) << k;
    EXPECT_EQ(0, test::OpenFilesIn(out));
    EXPECT_EQ(12u, dir.List("out").size());
}
