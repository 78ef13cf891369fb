// Articles as a news server sends them (RFC 3977): a status line, CRLF line ends, a "." put
// before every line that begins with one, a lone "." after each article. They decode to the
// bytes of the same articles saved by a newsreader, and only an input that shows it is such a
// capture has its dots undone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Lines of text (LF or CRLF) as CRLF lines.
std::string Crlf(const std::string& text) {
    std::string out;
    for (const std::string& line : test::SplitLines(text, 1)) {
        std::string_view l = line;
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.remove_suffix(1);
        out += std::string(l) + "\r\n";
    }
    return out;
}

// What a server sends for an article: `code` 220 (the whole article) or 222 (its body).
std::string Sent(const std::string& article, int number, int code = 220) {
    std::string out = std::to_string(code) + " " + std::to_string(number) + " <" +
                      std::to_string(number) + "@news.example> article\r\n";
    for (const std::string& line : test::SplitLines(Crlf(article), 1))
        out += (line[0] == '.' ? "." : "") + line;
    return out + ".\r\n";
}

std::string Article(const std::string& subject, const std::string& body, int number) {
    return "Path: news.example!poster\nFrom: poster@example.org\nNewsgroups: alt.binaries.test\n"
           "Subject: " +
           subject + "\nMessage-ID: <" + std::to_string(number) + "@news.example>\n\n" + body;
}

bool HasLineStartingWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0 || text.find("\n" + prefix) != std::string::npos;
}

class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        // uuencode: 14 bytes on the last line, whose length character is ".".
        uuData = test::RandomBytes(45 * 40 + 14, 1);
        std::string uu = test::Filtered(uuData, "uuencode u.bin");
        EXPECT_TRUE(HasLineStartingWith(uu, "."));
        xxData = test::RandomBytes(3000, 2);
        b64Data = test::RandomBytes(5000, 3);
        std::string b64 =
            "MIME-Version: 1.0\nContent-Type: application/octet-stream; name=b.bin\n"
            "Content-Transfer-Encoding: base64\n\n" +
            test::Filtered(b64Data, "base64 -w 76");
        yData = test::RandomBytes(200000, 4);
        test::YencEncoder y;
        y.escapeDots = false;  // as many encoders write it
        std::string yenc = y.Single(yData, "y.bin");
        EXPECT_TRUE(HasLineStartingWith(yenc, "."));
        std::string b64Article =
            "Path: news.example!poster\nFrom: poster@example.org\nSubject: b.bin\n" + b64;
        articles = {Article("u.bin", uu, 1), Article("x.bin", test::XxEncode(xxData, "x.bin"), 2),
                    b64Article, Article("y.bin", yenc, 4)};
    }

    // Loads path and expects the four files with their bytes.
    void ExpectFour(const std::string& path) {
        test::Library t;
        ASSERT_EQ(0, t.Load(path));
        std::string out = dir / ("out-" + std::to_string(++outputs));
        test::Shell("mkdir " + Q(out));
        t.OutputTo(out);
        ASSERT_EQ(4u, t.Records().size()) << t.AllMessages();
        for (const auto& [name, data] : std::vector<std::pair<std::string, std::string>>{
                 {"u.bin", uuData}, {"x.bin", xxData}, {"b.bin", b64Data}, {"y.bin", yData}}) {
            SCOPED_TRACE(name);
            const codec::FileRecord* r = t.Named(name);
            ASSERT_NE(nullptr, r) << t.AllMessages();
            EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
            EXPECT_EQ(static_cast<int32_t>(data.size()), r->size);
            ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
            EXPECT_TRUE(ReadFile(out + "/" + name) == data);
        }
        EXPECT_EQ(std::string::npos, t.AllMessages().find("not valid data")) << t.AllMessages();
    }

    std::string uuData, xxData, b64Data, yData;
    std::vector<std::string> articles;
    TempDir dir;
    int outputs = 0;
};

TEST_F(Capture, SeveralArticlesInOneCaptureDecodeAsWhenSaved) {
    std::string saved, sent;
    for (size_t k = 0; k < articles.size(); ++k) {
        saved += "From poster@example.org Sat Dec  5 10:00:00 2026\n" + articles[k] + "\n";
        sent += Sent(articles[k], static_cast<int>(k + 1));
    }
    WriteFile(dir / "saved.mbox", saved);
    WriteFile(dir / "capture.txt", sent);
    ExpectFour(dir / "saved.mbox");
    ExpectFour(dir / "capture.txt");
}

TEST_F(Capture, BodiesSentWithoutTheirHeaders) {
    std::string sent;
    // The uu and yEnc bodies alone (222), the others whole (220).
    sent += Sent(articles[0].substr(articles[0].find("\n\n") + 2), 1, 222);
    sent += Sent(articles[1], 2) + Sent(articles[2], 3);
    sent += Sent(articles[3].substr(articles[3].find("\n\n") + 2), 4, 222);
    WriteFile(dir / "bodies.txt", sent);
    ExpectFour(dir / "bodies.txt");
}

// A line of data that really begins with ".." in a saved article keeps both dots; in a
// capture it arrives as "..." and decodes the same.
TEST_F(Capture, OnlyACaptureHasItsDotsUndone) {
    // The last line carries 14 bytes (".") and its first sextet is 14 (".") too.
    std::string data =
        test::RandomBytes(45 * 3, 5) + std::string(1, '\x38') + test::RandomBytes(13, 6);
    std::string uu = test::Filtered(data, "uuencode d.bin");
    ASSERT_TRUE(HasLineStartingWith(uu, ".."));
    WriteFile(dir / "saved.txt", Article("d.bin", uu, 9));
    WriteFile(dir / "capture.txt", Sent(Article("d.bin", uu, 9), 9));
    ASSERT_TRUE(HasLineStartingWith(ReadFile(dir / "capture.txt"), "..."));
    for (const char* name : {"saved.txt", "capture.txt"}) {
        SCOPED_TRACE(name);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / name));
        std::string out = dir / (std::string("out-") + name);
        test::Shell("mkdir " + Q(out));
        t.OutputTo(out);
        ASSERT_NE(nullptr, t.Named("d.bin")) << t.AllMessages();
        ASSERT_EQ(0, t.lib.DecodeFile(t.Named("d.bin"), nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(out + "/d.bin") == data);
        // uudecode agrees on the saved one.
        if (std::string(name) == "saved.txt") {
            EXPECT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && uudecode -o peer.bin saved.txt"));
            EXPECT_TRUE(ReadFile(dir / "peer.bin") == data);
        }
    }
}

}  // namespace
