// Multi-part postings: parts in many files or one spool, in any order, missing, repeated,
// without headers, and the record states that follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Posting {
    std::string data;
    std::vector<std::string> bodies;  // the uuencoded text, split in parts
};

// uuencodes data under `name` with sharutils and splits the text into `parts` pieces.
Posting MakePosting(const TempDir& dir, const std::string& name, size_t size, size_t parts,
                    uint32_t seed) {
    Posting p;
    p.data = test::RandomBytes(size, seed);
    WriteFile(dir / "orig", p.data);
    std::string text = test::ShellOutput("cd " + Q(dir.path()) + " && uuencode orig " + Q(name));
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    p.bodies = test::SplitLines(text, (lines + parts - 1) / parts);
    return p;
}

std::string Article(const std::string& subject, const std::string& body, int n) {
    return "Path: news.example.org!not-for-mail\n"
           "From: poster@example.org\n"
           "Newsgroups: alt.binaries.test\n"
           "Subject: " +
           subject +
           "\n"
           "Message-ID: <part" +
           std::to_string(n) +
           "@example.org>\n"
           "\n"
           "Cut here ----------\n" +
           body + "----------\n";
}

std::string Numbered(const std::string& name, size_t k, size_t n) {
    return name + " (" + std::to_string(k) + "/" + std::to_string(n) + ")";
}

class Assembly : public ::testing::Test {
  protected:
    void ExpectDecodes(test::Library& t, const std::string& name, const std::string& data) {
        const codec::FileRecord* r = t.Named(name);
        ASSERT_NE(nullptr, r) << t.AllMessages();
        ASSERT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        EXPECT_EQ(static_cast<int32_t>(data.size()), r->size);
        std::string out = "out" + std::to_string(++m_outputs);
        test::Shell("mkdir -p " + Q(dir / out));
        t.OutputTo(dir / out);
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_EQ(data, ReadFile(dir / (out + "/" + name)));
        // Cut marks around the data are not reported as damage.
        EXPECT_EQ(std::string::npos, t.AllMessages().find("not valid data")) << t.AllMessages();
    }
    int m_outputs = 0;

    TempDir dir;
    std::mt19937 rng{7};
};

TEST_F(Assembly, JoinsShuffledPartsFromManyFilesBySubject) {
    Posting p = MakePosting(dir, "movie.avi", 50000, 7, 1);
    std::vector<size_t> order(p.bodies.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    test::Library t;
    for (size_t i : order) {
        std::string file = dir / ("part" + std::to_string(i) + ".txt");
        WriteFile(file, Article(Numbered("movie.avi", i + 1, 7), p.bodies[i], static_cast<int>(i)));
        ASSERT_EQ(0, t.Load(file));
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(7, t.Records()[0]->partCount);
    ExpectDecodes(t, "movie.avi", p.data);
}

TEST_F(Assembly, JoinsPartsOfAnMboxSpoolAndOfArticlesSavedOneAfterAnother) {
    Posting a = MakePosting(dir, "a.bin", 20000, 4, 2);
    Posting b = MakePosting(dir, "b.bin", 9000, 3, 3);
    std::string mbox, plain;
    std::vector<std::pair<char, size_t>> all;
    for (size_t i = 0; i < 4; ++i)
        all.emplace_back('a', i);
    for (size_t i = 0; i < 3; ++i)
        all.emplace_back('b', i);
    std::shuffle(all.begin(), all.end(), rng);
    for (auto [which, i] : all) {
        const Posting& p = which == 'a' ? a : b;
        std::string name = which == 'a' ? "a.bin" : "b.bin";
        std::string art = Article("Re: " + Numbered(name, i + 1, p.bodies.size()), p.bodies[i],
                                  static_cast<int>(i));
        mbox += "From poster@example.org Mon Dec  7 10:00:00 2026\n" + art + "\n";
        plain += art + "\n";
    }
    WriteFile(dir / "spool.mbox", mbox);
    WriteFile(dir / "spool.txt", plain);
    for (const char* spool : {"spool.mbox", "spool.txt"}) {
        SCOPED_TRACE(spool);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / spool));
        EXPECT_EQ(2u, t.Records().size()) << t.AllMessages();
        ExpectDecodes(t, "a.bin", a.data);
        ExpectDecodes(t, "b.bin", b.data);
    }
}

TEST_F(Assembly, ReportsMissingPartsInAscendingOrder) {
    Posting p = MakePosting(dir, "gaps.bin", 30000, 6, 4);
    test::Library t;
    for (size_t i : {5, 0, 2}) {  // parts 6, 1, 3 of 6
        std::string file = dir / ("p" + std::to_string(i));
        WriteFile(file, Article(Numbered("gaps.bin", i + 1, 6), p.bodies[i], static_cast<int>(i)));
        ASSERT_EQ(0, t.Load(file));
    }
    const codec::FileRecord* r = t.Named("gaps.bin");
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(codec::kStateMissingParts, r->state);
    std::vector<int32_t> missing;
    for (const int32_t* m = r->missingParts; *m; ++m)
        missing.push_back(*m);
    EXPECT_EQ((std::vector<int32_t>{2, 4, 5}), missing);
    // With "decode with errors" the state follows at once, and the parts there are decoded.
    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    EXPECT_EQ(codec::kStateMissingParts | codec::kStateReady, r->state);
    t.OutputTo(dir.path());
    ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr));
    EXPECT_NE(std::string::npos, t.AllMessages().find("parts missing"));
    t.lib.SetOption(codec::kOptDecodeWithErrors, 0, nullptr);
    EXPECT_EQ(codec::kStateMissingParts, r->state);
}

TEST_F(Assembly, KeepsTheFirstOfARepeatedPart) {
    Posting p = MakePosting(dir, "rep.bin", 10000, 3, 5);
    test::Library t;
    for (size_t i = 0; i < 3; ++i)
        WriteFile(dir / ("r" + std::to_string(i)),
                  Article(Numbered("rep.bin", i + 1, 3), p.bodies[i], static_cast<int>(i)));
    for (size_t i : {0, 1, 1, 2})
        ASSERT_EQ(0, t.Load(dir / ("r" + std::to_string(i))));
    EXPECT_NE(std::string::npos, t.AllMessages().find("Part 2 of 'rep.bin' was found again"));
    EXPECT_EQ(3, t.Named("rep.bin")->partCount);
    ExpectDecodes(t, "rep.bin", p.data);
}

TEST_F(Assembly, ContinuesHeaderlessChunksThatFollowAnUnfinishedPart) {
    // A file cut with split(1): no headers, no numbering, only order.
    Posting p = MakePosting(dir, "split.bin", 40000, 5, 6);
    test::Library t;
    for (size_t i = 0; i < p.bodies.size(); ++i) {
        std::string file = dir / ("x0" + std::to_string(i));
        WriteFile(file, p.bodies[i]);
        ASSERT_EQ(0, t.Load(file));
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "split.bin", p.data);
}

TEST_F(Assembly, LaterPartsSeenFirstTakeTheNameOfTheBeginPart) {
    Posting p = MakePosting(dir, "late.bin", 12000, 3, 8);
    test::Library t;
    for (size_t i : {2, 1, 0}) {
        std::string file = dir / ("l" + std::to_string(i));
        WriteFile(file, Article(Numbered("holiday pictures", i + 1, 3), p.bodies[i],
                                static_cast<int>(i)));
        ASSERT_EQ(0, t.Load(file));
        if (i == 2) {
            ASSERT_EQ(1u, t.Records().size());
            EXPECT_EQ(nullptr, t.Records()[0]->name);  // no name in the Subject either
            EXPECT_TRUE(t.Records()[0]->state & codec::kStateNoBegin);
        }
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "late.bin", p.data);
}

TEST_F(Assembly, AnOrphanPartHasNoBeginAndANamelessRecordGetsANameOfItsOwn) {
    Posting p = MakePosting(dir, "orphan.bin", 12000, 3, 9);
    WriteFile(dir / "middle", p.bodies[1]);
    WriteFile(dir / "noname.uue", "begin 644 ../\n#86)C\n`\nend\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "middle"));
    ASSERT_EQ(0, t.Load(dir / "noname.uue"));
    auto records = t.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(nullptr, records[0]->name);
    EXPECT_EQ(codec::kStateNoBegin | codec::kStateNoEnd, records[0]->state);
    // The orphan waits for its begin part without a name; the begin part with no usable name
    // is a file under one of its own.
    EXPECT_STREQ("unnamed-1", records[1]->name);
    EXPECT_EQ(codec::kStateReady, records[1]->state);
    ASSERT_EQ(0, t.lib.RenameFile(records[1], "abc.txt"));
    EXPECT_STREQ("abc.txt", records[1]->name);
    EXPECT_EQ(codec::kStateReady, records[1]->state);
    ExpectDecodes(t, "abc.txt", "abc");
}

TEST_F(Assembly, NamesARecordFromItsSubjectWhenTheDataHasNone) {
    // Parts 2 and 3 only, no begin line anywhere: the name comes from the Subject.
    Posting p = MakePosting(dir, "ignored", 12000, 3, 10);
    test::Library t;
    for (size_t i : {1, 2}) {
        std::string file = dir / ("s" + std::to_string(i));
        WriteFile(file, Article("\"report.pdf\" " + Numbered("", i + 1, 3), p.bodies[i],
                                static_cast<int>(i)));
        ASSERT_EQ(0, t.Load(file));
    }
    ASSERT_EQ(1u, t.Records().size());
    EXPECT_STREQ("report.pdf", t.Records()[0]->name);
    EXPECT_EQ(codec::kStateMissingParts | codec::kStateNoBegin, t.Records()[0]->state);
}

TEST_F(Assembly, AWholeFileAndAPostingInPartsUnderOneNameStayApart) {
    Posting whole = MakePosting(dir, "same.bin", 5000, 1, 12);
    Posting split = MakePosting(dir, "same.bin", 9000, 3, 13);
    WriteFile(dir / "whole.uue", whole.bodies[0]);
    std::string spool;
    for (size_t i = 0; i < 3; ++i)
        spool +=
            Article(Numbered("same.bin", i + 1, 3), split.bodies[i], static_cast<int>(i)) + "\n";
    WriteFile(dir / "spool", spool);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "whole.uue"));
    ASSERT_EQ(0, t.Load(dir / "spool"));
    ASSERT_EQ(2u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(5000, t.Records()[0]->size);
    EXPECT_EQ(9000, t.Records()[1]->size);
    EXPECT_EQ(codec::kStateReady, t.Records()[1]->state);
}

TEST_F(Assembly, ALastPartWithOnlyTheTerminatorAndEndCompletesThePosting) {
    // 45 bytes: one full line in part 1, nothing but "`" and "end" in part 2.
    Posting p = MakePosting(dir, "tiny.bin", 45, 1, 14);
    auto lines = test::SplitLines(p.bodies[0], 2);
    ASSERT_EQ(2u, lines.size());
    test::Library t;
    for (size_t i = 0; i < 2; ++i) {
        std::string file = dir / ("t" + std::to_string(i));
        WriteFile(file, Article(Numbered("tiny.bin", i + 1, 2), lines[i], static_cast<int>(i)));
        ASSERT_EQ(0, t.Load(file));
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "tiny.bin", p.data);
}

TEST_F(Assembly, APartOfOneFullLineIsFoundInANumberedArticle) {
    // Fuzzing found it: 95 bytes in parts of one line each; part 2 is a single full line.
    Posting p = MakePosting(dir, "lines.bin", 95, 1, 15);
    auto lines = test::SplitLines(p.bodies[0], 1);
    ASSERT_EQ(6u, lines.size());  // begin, 3 data lines, terminator, end
    std::vector<std::string> parts = {lines[0] + lines[1], lines[2],
                                      lines[3] + lines[4] + lines[5]};
    test::Library t;
    for (size_t i : {1, 0, 2}) {
        std::string file = dir / ("o" + std::to_string(i));
        WriteFile(file, Article(Numbered("lines.bin", i + 1, 3), parts[i], static_cast<int>(i)));
        ASSERT_EQ(0, t.Load(file));
    }
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    ExpectDecodes(t, "lines.bin", p.data);
}

// Two different files under one name are both listed, the second under a name of its own that
// the user sees before decoding; the same file again (other line ends, another mail) stays
// one record.
TEST_F(Assembly, DifferentFilesWithOneNameAreBothListed) {
    std::string a = test::RandomBytes(5000, 41), b = test::RandomBytes(5000, 42);
    auto mail = [&](const std::string& data, const std::string& file) {
        WriteFile(dir / "data", data);
        std::string script =
            "import sys\nfrom email.message import EmailMessage\nm = EmailMessage()\n"
            "m['Subject'] = 'picture'\nm.set_content('See it.\\n')\n"
            "m.add_attachment(open(sys.argv[1], 'rb').read(), maintype='image', "
            "subtype='png', filename='image001.png')\nopen(sys.argv[2], 'wb').write(bytes(m))\n";
        ASSERT_EQ(0, test::RunPython(dir, script, Q(dir / "data") + " " + Q(dir / file)));
    };
    mail(a, "m1.eml");
    mail(b, "m2.eml");
    mail(a, "m3.eml");  // the first picture again
    mail(b, "m4.eml");  // and the second
    std::string uuA = test::Filtered(a, "uuencode same.bin");
    std::string uuB = test::Filtered(b, "uuencode same.bin");
    std::string crlfA;
    for (char c : uuA)
        crlfA += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(dir / "blocks.txt", uuA + "\n" + uuB + "\n" + crlfA);
    test::Library t;
    for (const char* f : {"m1.eml", "m2.eml", "m3.eml", "m4.eml", "blocks.txt"})
        ASSERT_EQ(0, t.Load(dir / f));
    ASSERT_EQ(4u, t.Records().size()) << t.AllMessages();
    EXPECT_NE(std::string::npos,
              t.AllMessages().find("Another file named 'image001.png' was found; it is listed as "
                                   "'image001 (2).png'"))
        << t.AllMessages();
    EXPECT_NE(std::string::npos, t.AllMessages().find("found again")) << t.AllMessages();
    ExpectDecodes(t, "image001.png", a);
    ExpectDecodes(t, "image001 (2).png", b);
    ExpectDecodes(t, "same.bin", a);
    ExpectDecodes(t, "same (2).bin", b);
}

}  // namespace

// Two and three multi-part posts whose articles arrived interleaved, in many seeded orders, in
// one spool and one file per article: every file listed ready decodes to its post's bytes.
// Only evidence joins parts; the Subject's name is stronger than which article came before.
TEST_F(Assembly, InterleavedPostsInAnyArrivalOrderNeverMakeAWrongFile) {
    // The posts once, their orders many times.
    std::vector<std::vector<Posting>> sets;
    for (uint32_t s = 0; s < 8; ++s) {
        std::vector<Posting> posts;
        for (size_t k = 0; k < 2 + s % 2; ++k)
            posts.push_back(MakePosting(dir, "pic" + std::to_string(k) + ".jpg",
                                        3000 + 2000 * ((s + k) % 5), 2 + (s + k) % 4, 100 + s));
        sets.push_back(std::move(posts));
    }
    size_t ready = 0;
    for (uint32_t order = 0; order < 200; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const std::vector<Posting>& posts = sets[order % sets.size()];
        std::vector<std::string> articles;
        for (size_t k = 0; k < posts.size(); ++k)
            for (size_t i = 0; i < posts[k].bodies.size(); ++i)
                articles.push_back(Article(
                    Numbered("pic" + std::to_string(k) + ".jpg", i + 1, posts[k].bodies.size()),
                    posts[k].bodies[i], static_cast<int>(articles.size())));
        std::mt19937 shuffle(order);
        std::shuffle(articles.begin(), articles.end(), shuffle);
        std::string spool;
        std::vector<std::string> files;
        for (size_t i = 0; i < articles.size(); ++i) {
            spool += "From poster@example.org Tue Dec  8 07:35:53 2026\n" + articles[i] + "\n";
            files.push_back(dir / ("a" + std::to_string(i)));
            WriteFile(files.back(), articles[i]);
        }
        WriteFile(dir / "spool", spool);
        for (bool one : {true, false}) {
            test::Library t;
            std::vector<int> results;
            if (one)
                ASSERT_EQ(0, t.Load(dir / "spool"));
            else
                ASSERT_EQ(0, t.LoadAll(files, results));
            std::string out = dir / ("out-" + std::to_string(order) + (one ? "s" : "f"));
            ASSERT_EQ(0, test::Shell("mkdir " + Q(out)));
            t.OutputTo(out);
            for (const codec::FileRecord* r : t.Records()) {
                if (r->state != codec::kStateReady) continue;
                std::string name = r->name;
                ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
                ASSERT_TRUE(name.size() == 8 && name.rfind("pic", 0) == 0) << name;
                EXPECT_TRUE(ReadFile(out + "/" + name) == posts[name[3] - '0'].data)
                    << name << (one ? " from the spool" : " from the files") << "\n"
                    << t.AllMessages();
                ++ready;
            }
            test::Shell("rm -rf " + Q(out));
        }
    }
    // All parts are there: every post is found whole, whatever the order.
    EXPECT_EQ(ready, 2 * (100 * 2 + 100 * 3));
}

// The Subject numbers the parts wherever the article is: after the line rn and trn save before
// it, inside a digest, forwarded as a message/rfc822 part. Parts out of order find each other.
TEST_F(Assembly, SubjectsAfterASavedArticleLineAndInsideMessages) {
    Posting p = MakePosting(dir, "pic.jpg", 20000, 3, 9);
    std::vector<std::string> articles;
    for (size_t i = 0; i < 3; ++i)
        articles.push_back(
            Article(Numbered("pic.jpg", i + 1, 3), p.bodies[i], static_cast<int>(i)));
    const size_t order[] = {2, 0, 1};
    std::string saved, digest =
                           "From: list@example.org\nSubject: digest\nMIME-Version: 1.0\n"
                           "Content-Type: multipart/digest; boundary=d\n\n";
    std::vector<std::string> forwarded;
    for (size_t i : order) {
        saved += "Article " + std::to_string(100 + i) + " of alt.binaries.pictures:\n" +
                 articles[i] + "\n";
        digest += "--d\n\n" + articles[i] + "\n";
        forwarded.push_back(dir / ("fw" + std::to_string(i)));
        WriteFile(forwarded.back(),
                  "From: friend@example.org\nSubject: Fwd: a picture\nMIME-Version: 1.0\n"
                  "Content-Type: multipart/mixed; boundary=f\n\n--f\nContent-Type: text/plain\n\n"
                  "See below.\n--f\nContent-Type: message/rfc822\n\n" +
                      articles[i] + "\n--f--\n");
    }
    WriteFile(dir / "saved", saved);
    WriteFile(dir / "digest", digest + "--d--\n");
    for (const std::vector<std::string>& inputs :
         {std::vector<std::string>{dir / "saved"}, {dir / "digest"}, forwarded}) {
        SCOPED_TRACE(inputs[0]);
        test::Library t;
        std::vector<int> results;
        ASSERT_EQ(0, t.LoadAll(inputs, results));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        ExpectDecodes(t, "pic.jpg", p.data);
    }
}

// A post of which a few parts came, and the poster's repost of the same file in another number
// of parts: two sets, never mixed; the complete one is ready, in any arrival order.
TEST_F(Assembly, ARepostInAnotherNumberOfPartsIsASetOfItsOwn) {
    Posting first = MakePosting(dir, "pic.jpg", 30000, 5, 12);
    Posting repost = MakePosting(dir, "pic.jpg", 30000, 3, 12);
    ASSERT_EQ(first.data, repost.data);
    std::vector<std::string> articles;
    for (size_t i = 0; i < 2; ++i)  // parts 3 to 5 of the first post never came
        articles.push_back(
            Article(Numbered("pic.jpg", i + 1, 5), first.bodies[i], static_cast<int>(10 + i)));
    for (size_t i = 0; i < 3; ++i)
        articles.push_back(
            Article(Numbered("pic.jpg", i + 1, 3), repost.bodies[i], static_cast<int>(20 + i)));
    for (uint32_t order = 0; order < 20; ++order) {
        SCOPED_TRACE(order);
        std::vector<std::string> shuffled = articles;
        if (order > 0) std::shuffle(shuffled.begin(), shuffled.end(), rng);
        std::string spool;
        for (const std::string& a : shuffled)
            spool += "From poster@example.org Tue Dec  8 07:35:53 2026\n" + a + "\n";
        WriteFile(dir / "spool", spool);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / "spool"));
        ASSERT_EQ(2u, t.Records().size()) << t.AllMessages();
        // The complete set has the file's name, whichever came first; a note says so.
        const codec::FileRecord* whole = t.Named("pic.jpg");
        ASSERT_NE(nullptr, whole) << t.AllMessages();
        EXPECT_EQ(codec::kStateReady, whole->state) << t.AllMessages();
        ASSERT_NE(nullptr, t.Named("pic (2).jpg"));
        EXPECT_TRUE(t.Named("pic (2).jpg")->state & codec::kStateMissingParts);
        bool fiveFirst = t.AllMessages().find("found again in 3 parts") != std::string::npos;
        bool noted = t.AllMessages().find(
                         "'pic.jpg' is the posting in 3 parts, which is complete; "
                         "the one in 5 parts is listed as 'pic (2).jpg'") != std::string::npos;
        EXPECT_EQ(fiveFirst, noted) << t.AllMessages();
        ExpectDecodes(t, "pic.jpg", repost.data);
    }
}

// The last article of a post may hold "end" alone. It ends the file after a part whose data
// ended as a file's does (the terminator, or a last line not full, its terminator lost); after
// a part that stops at a full line, the rest of the data is not here, and the file is not ready.
TEST_F(Assembly, APartOfEndAloneEndsTheFileOnlyAfterTheDatasEnd) {
    Posting p = MakePosting(dir, "pic.bin", 10000, 1, 15);  // 222 full lines and one of 10 bytes
    std::vector<std::string> lines = test::SplitLines(p.bodies[0], 1);
    ASSERT_EQ("end\n", lines.back());
    auto text = [&](size_t from, size_t to) {
        std::string out;
        for (size_t i = from; i < to; ++i)
            out += lines[i];
        return out;
    };
    size_t n = lines.size();  // begin, 223 data lines, "`", "end"
    struct Row {
        const char* what;
        std::string first;
        bool ready;
    } rows[] = {
        {"the terminator ends part 1", text(0, n - 1), true},
        {"part 1 ends with the last line, its terminator lost", text(0, n - 2), true},
        {"part 1 stops at a full line", text(0, n - 10), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(dir / "e1", Article(Numbered("pic.bin", 1, 2), row.first, 1));
        WriteFile(dir / "e2", Article(Numbered("pic.bin", 2, 2), "end\n", 2));
        test::Library t;
        std::vector<int> results;
        ASSERT_EQ(0, t.LoadAll({dir / "e2", dir / "e1"}, results));
        ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
        if (row.ready)
            ExpectDecodes(t, "pic.bin", p.data);
        else
            EXPECT_EQ(0u, t.Records()[0]->state & codec::kStateReady);
    }
}

// A part whose uuencoded data ended as a file's does (its last line not full), with more data
// in a later part, was joined wrongly: the file is not ready, and the warning names the part.
TEST_F(Assembly, APartAfterTheEndOfTheDataIsAWrongJoin) {
    Posting small = MakePosting(dir, "a.bin", 1000, 1, 16);  // a file of its own in "(1/2)"
    Posting other = MakePosting(dir, "a.bin", 9000, 2, 17);
    std::string first = small.bodies[0].substr(0, small.bodies[0].rfind("end\n"));
    WriteFile(dir / "w1", Article(Numbered("a.bin", 1, 2), first, 1));
    WriteFile(dir / "w2", Article(Numbered("a.bin", 2, 2), other.bodies[1], 2));
    test::Library t;
    std::vector<int> results;
    ASSERT_EQ(0, t.LoadAll({dir / "w1", dir / "w2"}, results));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(0u, t.Records()[0]->state & codec::kStateReady) << t.AllMessages();
    EXPECT_NE(std::string::npos, t.AllMessages().find("the data of part 1 ends as a file's does"))
        << t.AllMessages();
}

// A file cut by size (split -b) into pieces that end inside lines: each piece goes on with the
// line the one before it was cut inside, in every encoding whose data goes on without headers,
// with LF or CRLF lines, loaded one by one or all at once.
TEST_F(Assembly, PiecesCutInsideLinesGoOnInTheNextPiece) {
    std::string data = test::RandomBytes(60000, 21);
    WriteFile(dir / "pay.bin", data);
    struct Case {
        const char* file;
        std::string text;
        const char* listed;  // bare Base64 is listed under the first piece's name
    };
    auto made = [&](const std::string& command) {
        return test::ShellOutput("cd " + Q(dir.path()) + " && " + command);
    };
    const std::vector<Case> cases = {
        {"uu", made("uuencode pay.bin pay.bin"), "pay.bin"},
        {"crlf", made("uuencode pay.bin pay.bin | sed 's/$/\\r/'"), "pay.bin"},
        {"xx", test::XxEncode(data, "pay.bin"), "pay.bin"},
        {"b64", made("base64 pay.bin"), "b64.aa"},
        {"begin64", made("uuencode -m pay.bin pay.bin"), "pay.bin"},
        {"hqx", made("binhex -d pay.bin"), "pay.bin"},
    };
    for (const Case& c : cases) {
        for (int cutAt : {7001, 20000}) {
            SCOPED_TRACE(std::string(c.file) + " cut every " + std::to_string(cutAt));
            std::string sub = std::string(c.file) + std::to_string(cutAt);
            std::string pieces = dir / sub;
            WriteFile(pieces + ".txt", c.text);
            ASSERT_EQ(0,
                      test::Shell("mkdir " + Q(pieces) + " && cd " + Q(pieces) + " && split -b " +
                                  std::to_string(cutAt) + " ../" + sub + ".txt " + c.file + "."));
            std::vector<std::string> paths;
            for (const std::string& name : dir.List(sub))
                paths.push_back(pieces + "/" + name);
            ASSERT_GT(paths.size(), 2u);
            test::Library t;
            if (cutAt == 7001) {
                std::vector<int> results;
                ASSERT_EQ(0, t.LoadAll(paths, results));
            } else {
                for (const std::string& path : paths)
                    ASSERT_EQ(0, t.Load(path));
            }
            ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
            ExpectDecodes(t, c.listed, data);
        }
    }
    // sharutils reads the pieces run together alike.
    EXPECT_EQ(data, test::ShellOutput("cat " + Q(dir / "uu7001") + "/* | uudecode -o /dev/stdout"));
}

// A piece that is not there (the next one does not finish the line cut) is a missing part; a
// piece followed by an article of its own joins nothing of it.
TEST_F(Assembly, APieceMissingAfterALineCutIsAMissingPart) {
    std::string data = test::RandomBytes(30000, 22);
    WriteFile(dir / "pay.bin", data);
    WriteFile(dir / "pay.uue",
              test::ShellOutput("cd " + Q(dir.path()) + " && uuencode pay.bin pay.bin"));
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && split -b 9000 pay.uue p."));
    Posting other = MakePosting(dir, "other.bin", 3000, 1, 23);
    WriteFile(dir / "q.article", Article("other.bin", other.bodies[0], 1));

    test::Library t;
    for (const char* piece : {"p.aa", "p.ab", "p.ad"})
        ASSERT_EQ(0, t.Load(dir / piece));
    ASSERT_EQ(0, t.Load(dir / "q.article"));
    const codec::FileRecord* r = t.Named("pay.bin");
    ASSERT_NE(nullptr, r) << t.AllMessages();
    EXPECT_EQ(codec::kStateMissingParts,
              r->state & (codec::kStateMissingParts | codec::kStateReady));
    EXPECT_EQ(3, r->missingParts[0]);
    EXPECT_EQ(0, r->missingParts[1]);
    ExpectDecodes(t, "other.bin", other.data);

    test::Library alone;  // the first piece, then the article: nothing goes on
    ASSERT_EQ(0, alone.Load(dir / "p.aa"));
    ASSERT_EQ(0, alone.Load(dir / "q.article"));
    ASSERT_NE(nullptr, alone.Named("pay.bin"));
    EXPECT_EQ(0u, alone.Named("pay.bin")->state & codec::kStateReady);
    ExpectDecodes(alone, "other.bin", other.data);
}

// Articles whose Subjects number nothing go on with each other only by the order they were
// given in: joined so, never ready unless decoding with errors, and the state says why.
TEST_F(Assembly, ArticlesWithoutANumberingAreJoinedButNotReady) {
    Posting p = MakePosting(dir, "pic.jpg", 20000, 2, 24);
    WriteFile(dir / "a1", Article("my picture", p.bodies[0], 1));
    WriteFile(dir / "a2", Article("Re: my picture", p.bodies[1], 2));
    test::Library t;
    std::vector<int> results;
    ASSERT_EQ(0, t.LoadAll({dir / "a1", dir / "a2"}, results));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(codec::kStateOrderUnknown, t.Records()[0]->state) << t.AllMessages();
    std::vector<std::string> said = codec::DescribeState(*t.Records()[0]);
    ASSERT_EQ(1u, said.size());
    EXPECT_NE(std::string::npos, said[0].find("order the files were given"));

    t.lib.SetOption(codec::kOptDecodeWithErrors, 1, nullptr);
    ASSERT_EQ(codec::kStateOrderUnknown | codec::kStateReady, t.Records()[0]->state);
    test::Shell("mkdir -p " + Q(dir / "forced"));
    t.OutputTo(dir / "forced");
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
    EXPECT_TRUE(ReadFile(dir / "forced/pic.jpg") == p.data);
}

// yEnc parts whose byte ranges do not meet (a part of another post of that name, split
// otherwise) are a wrong join: not ready, and the warning names the part.
TEST_F(Assembly, YencPartsWhoseRangesDoNotMeetAreAWrongJoin) {
    std::string ours = test::RandomBytes(30000, 25), theirs = test::RandomBytes(33000, 26);
    test::YencEncoder y;
    WriteFile(dir / "y1", Article(Numbered("a.bin", 1, 3), y.Part(ours, "a.bin", 1, 3), 1));
    WriteFile(dir / "y2", Article(Numbered("a.bin", 2, 3), y.Part(theirs, "a.bin", 2, 3), 2));
    // Without the whole file's CRC-32 (only each part's), which would catch it too.
    std::string last = y.Part(ours, "a.bin", 3, 3);
    size_t crc = last.find(" crc32=");
    ASSERT_NE(std::string::npos, crc);
    last.erase(crc, last.find('\r', crc) - crc);
    WriteFile(dir / "y3", Article(Numbered("a.bin", 3, 3), last, 3));
    test::Library t;
    std::vector<int> results;
    ASSERT_EQ(0, t.LoadAll({dir / "y1", dir / "y2", dir / "y3"}, results));
    for (const codec::FileRecord* r : t.Records())
        EXPECT_EQ(0u, r->state & codec::kStateReady) << r->name << "\n" << t.AllMessages();
    EXPECT_NE(std::string::npos,
              t.AllMessages().find("'a.bin' part 2 begins at byte 11001, but part 1 ends at "
                                   "byte 10000"))
        << t.AllMessages();
}
