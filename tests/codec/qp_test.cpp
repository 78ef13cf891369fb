// Quoted-printable and unencoded MIME attachments, against Python's email package.
#include <gtest/gtest.h>

#include "formats/qp/qp.h"
#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Qp(std::string_view line, bool lineEnd) {
    std::string out(line.size() + 1, '\0');
    out.resize(codec::DecodeQpLine(line, lineEnd, reinterpret_cast<uint8_t*>(out.data())));
    return out;
}

TEST(QpLine, DecodesEscapesSoftBreaksAndDropsPadding) {
    EXPECT_EQ("a=b\n", Qp("a=3Db", true));
    EXPECT_EQ("caf\xC3\xA9\n", Qp("caf=C3=a9", true));
    EXPECT_EQ("joined", Qp("joined=", true));     // soft line break
    EXPECT_EQ("pad\n", Qp("pad  \t", true));      // trailing blanks are padding
    EXPECT_EQ("soft", Qp("soft=  ", true));       // ... also after a soft break
    EXPECT_EQ("=G1 =\t", Qp("=G1 =\t=", false));  // malformed escapes stay
    EXPECT_EQ("last", Qp("last", false));         // no line break of its own
}

// A mail made by Python's email package with a 7bit text attachment, a quoted-printable one
// and, for good measure, a Base64 one.
TEST(MimeAttachments, QuotedPrintableAndUnencodedAttachmentsDecodeToTheOriginal) {
    TempDir dir;
    std::string notes = "first line\nsecond line\n\nlast line without newline";
    std::string qp = "caf\xC3\xA9 = fee\nlong " + std::string(200, 'x') + " line\ntrailing  \n";
    std::string bin = test::RandomBytes(3000, 1);
    WriteFile(dir / "notes.txt", notes);
    WriteFile(dir / "qp.txt", qp);
    WriteFile(dir / "bin", bin);
    std::string script =
        "import sys\n"
        "from email.message import EmailMessage\n"
        "d = sys.argv[1]\n"
        "m = EmailMessage()\n"
        "m['Subject'] = 'attachments'\n"
        "m['From'] = 'a@example.org'\n"
        "m.set_content('Hello,\\nsee the attachments.\\n')\n"
        "m.add_attachment(open(d + '/notes.txt', 'rb').read(), maintype='text', "
        "subtype='plain', filename='notes.txt', cte='7bit')\n"
        "m.add_attachment(open(d + '/qp.txt', 'rb').read(), maintype='text', "
        "subtype='plain', filename='qp.txt', cte='quoted-printable')\n"
        "m.add_attachment(open(d + '/bin', 'rb').read(), maintype='application', "
        "subtype='octet-stream', filename='data.bin')\n"
        "open(d + '/mail.eml', 'wb').write(bytes(m))\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path())));
    ASSERT_NE(std::string::npos, ReadFile(dir / "mail.eml").find("quoted-printable"));
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail.eml"));
    ASSERT_EQ(3u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(codec::Encoding::kPlain, t.Records()[0]->encoding);
    EXPECT_EQ(codec::Encoding::kQuotedPrintable, t.Records()[1]->encoding);
    // The sizes listed are the sizes written, quoted-printable's too.
    EXPECT_EQ(static_cast<int32_t>(notes.size()), t.Records()[0]->size);
    EXPECT_EQ(static_cast<int32_t>(qp.size()), t.Records()[1]->size);
    EXPECT_EQ(static_cast<int32_t>(bin.size()), t.Records()[2]->size);
    test::Shell("mkdir " + Q(dir / "out"));
    t.OutputTo(dir / "out");
    for (const codec::FileRecord* r : t.Records()) {
        EXPECT_EQ(codec::kStateReady, r->state) << r->name;
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << r->name;
    }
    EXPECT_EQ(notes, ReadFile(dir / "out/notes.txt"));
    EXPECT_EQ(qp, ReadFile(dir / "out/qp.txt"));
    EXPECT_EQ(bin, ReadFile(dir / "out/data.bin"));
}

TEST(MimeAttachments, BodiesWithoutANameAreNotFiles) {
    TempDir dir;
    WriteFile(dir / "m.eml",
              "Subject: plain\nContent-Type: text/plain\nContent-Transfer-Encoding: "
              "quoted-printable\n\nJust a mail=2C nothing attached.\n");
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "m.eml"));
    EXPECT_TRUE(t.Records().empty());
}

}  // namespace
