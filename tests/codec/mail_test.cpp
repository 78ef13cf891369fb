// Mail as clients and archives keep it: every kind of mailbox, prose that looks like framing,
// header blocks of any size. The attachments found and their bytes are those Python's email
// package finds in the same mails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test::Q;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kMailboxes = std::string(TAMSEL_TEST_DATA) + "/../support/mailboxes.py";

// Loads the inputs, expects exactly the files in dir/peer, ready, and decodes them to the same
// bytes. mboxo: a writer that quotes only "From " lines leaves one that began with ">From " as
// it was, so both read back as "From ". A 7bit text (notes*, single*) is written with the line ends
// it was stored with.
void ExpectPeerFiles(const TempDir& dir, const std::vector<std::string>& inputs,
                     const std::string& kind, bool mboxo, const std::string& lineEnd = "\n") {
    SCOPED_TRACE(kind);
    test::Library t;
    std::vector<int> results;
    ASSERT_EQ(0, t.LoadAll(inputs, results)) << t.AllMessages();
    std::vector<std::string> peer = dir.List("peer");
    ASSERT_EQ(peer.size(), t.Records().size()) << t.AllMessages();
    std::string out = dir / ("out-" + kind);
    ASSERT_EQ(0, test::Shell("mkdir " + Q(out)));
    t.OutputTo(out);
    for (const std::string& name : peer) {
        SCOPED_TRACE(name);
        const codec::FileRecord* r = t.Named(name);
        ASSERT_NE(nullptr, r) << t.AllMessages();
        EXPECT_EQ(codec::kStateReady, r->state) << t.AllMessages();
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        std::string want = ReadFile(dir / ("peer/" + name));
        for (size_t at; mboxo && (at = want.find("\n>From ")) != std::string::npos;)
            want.erase(at + 1, 1);
        for (size_t at = 0; (name.rfind("notes", 0) == 0 || name.rfind("single", 0) == 0) &&
                            lineEnd != "\n" && (at = want.find('\n', at)) != std::string::npos;
             at += lineEnd.size())
            want.replace(at, 1, lineEnd);
        EXPECT_TRUE(ReadFile(out + "/" + name) == want) << ReadFile(out + "/" + name);
    }
}

// Loads input and expects one file, ready, named `name`, that decodes to data.
void ExpectOneFile(const TempDir& dir, const std::string& input, const std::string& name,
                   const std::string& data) {
    SCOPED_TRACE(input);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / input));
    ASSERT_EQ(1u, t.Records().size()) << t.AllMessages();
    EXPECT_EQ(name, t.Records()[0]->name);
    EXPECT_EQ(codec::kStateReady, t.Records()[0]->state) << t.AllMessages();
    std::string out = dir / ("out-" + input);
    ASSERT_EQ(0, test::Shell("mkdir " + Q(out)));
    t.OutputTo(out);
    ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[0], nullptr)) << t.AllMessages();
    EXPECT_TRUE(ReadFile(out + "/" + name) == data);
}

// The same three mails (a text with prose "From " lines, a binary, a named 7bit text and a
// quoted-printable text holding blank lines, "From " lines and "Subject: " lines) in every
// kind of mailbox.
TEST(Mailboxes, EveryKindGivesTheFilesOfThePlainMbox) {
    TempDir dir;
    ASSERT_EQ(0, test::Shell("/usr/bin/python3 " + Q(kMailboxes) + " " + Q(dir.path()) + " 7"));
    ASSERT_EQ(10u, dir.List("peer").size());
    for (std::string kind : {"mbox", "bom.mbox", "mmdf"})
        ExpectPeerFiles(dir, {dir / kind}, kind, true);
    ExpectPeerFiles(dir, {dir / "cr.mbox"}, "cr.mbox", true, "\r");
    ExpectPeerFiles(dir, {dir / "crlf.mbox"}, "crlf.mbox", true, "\r\n");
    ExpectPeerFiles(dir, {dir / "mboxrd"}, "mboxrd", false);
    ExpectPeerFiles(dir, {dir / "babyl"}, "babyl", false);
    // A folder of single mails, without any "From " framing.
    for (std::string folder : {"maildir/new", "mh"}) {
        std::vector<std::string> files;
        for (const std::string& f : dir.List(folder))
            if (f[0] != '.') files.push_back(dir / (folder + "/" + f));
        ASSERT_EQ(4u, files.size()) << folder;
        ExpectPeerFiles(dir, files, folder.substr(0, 2), false);
    }
    // munpack, the other peer, finds the same files in the single mails.
    ASSERT_EQ(0, test::Shell("mkdir " + Q(dir / "munpack")));
    for (const std::string& f : dir.List("mh"))
        ASSERT_EQ(0, test::Shell("munpack -q -f -C " + Q(dir / "munpack") + " " +
                                 Q(dir / ("mh/" + f)) + " >/dev/null"));
    for (const std::string& name : dir.List("peer"))
        EXPECT_TRUE(ReadFile(dir / ("munpack/" + name)) == ReadFile(dir / ("peer/" + name)))
            << name;
}

// A header block ends at its blank line only, however long its lines are and however many
// there are.
TEST(Mailboxes, HeaderLinesOfAnyLengthAndNumber) {
    TempDir dir;
    std::string data = test::RandomBytes(5000, 31);
    std::string to = "To: ";
    for (int k = 0; to.size() < 100000; ++k)
        to += "reader" + std::to_string(k) + "@example.org, ";
    std::string dkim = "DKIM-Signature: v=1; a=rsa-sha256; b=" +
                       test::Filtered(test::RandomBytes(90000, 32), "base64 -w 0");
    std::string many;
    for (int k = 0; k < 20000; ++k)
        many += "X-Trace-" + std::to_string(k) + ": hop " + std::to_string(k) + "\n";
    std::string attachment =
        "Content-Type: application/octet-stream; name=long.bin\n"
        "Content-Transfer-Encoding: base64\n\n" +
        test::Filtered(data, "base64");
    // The long lines before, between and after the MIME fields of the message.
    WriteFile(dir / "long.eml", "From: a@example.org\n" + to + "\n" + dkim + "\n" + many +
                                    "MIME-Version: 1.0\n" + dkim + "\n" + attachment);
    // And in a part's header.
    WriteFile(dir / "part.eml",
              "From: a@example.org\nMIME-Version: 1.0\nContent-Type: multipart/mixed; "
              "boundary=b\n\n--b\n" +
                  to + "\n" + attachment + "--b--\n");
    for (const char* name : {"long.eml", "part.eml"})
        ExpectOneFile(dir, name, "long.bin", data);
}

}  // namespace

// Attachments without a name are files named from what the part says; a mail's own text is
// not. The bytes are those Python's email package decodes.
TEST(Mailboxes, AttachmentsWithoutANameAreNamedFromTheirPart) {
    TempDir dir;
    std::string script =
        "import sys, random\nfrom email.message import EmailMessage\n"
        "r = random.Random(5)\n"
        "data = lambda n: bytes(r.randrange(256) for _ in range(n))\n"
        "m = EmailMessage()\nm['Subject'] = 'pictures'\n"
        "m.set_content('plain words\\n')\n"
        "m.add_alternative('<p>words <img src=\"cid:logo@example.org\"></p>\\n', subtype='html')\n"
        "html = m.get_payload()[1]\n"
        "html.add_related(data(3000), 'image', 'png', cid='<logo@example.org>')\n"
        "html.add_related(data(2000), 'image', 'jpeg', cid='<image001.jpg@01D2A1B2.C3D4E5F0>')\n"
        "html.add_related(data(1000), 'image', 'gif', "
        "cid='<part1.06090408.01060107@example.com>')\n"
        "m.add_attachment(data(4000), 'application', 'pdf')\n"
        "m.add_attachment(data(500), 'audio', 'mpeg')\n"
        "m.add_attachment('BEGIN:VCALENDAR\\nEND:VCALENDAR\\n'.encode(), 'text', 'calendar', "
        "cte='base64')\n"
        "m.add_attachment('other words\\n'.encode(), 'text', 'plain', cte='base64')\n"
        "for p in m.walk():\n"
        "    del p['Content-Disposition']\n"
        "    if p.get_content_type() == 'application/pdf':\n"
        "        p['Content-Description'] = 'Quarterly report'\n"
        "    if p.get_content_type() == 'audio/mpeg':\n"
        "        p['Content-Description'] = 'a/b: not a name'\n"
        "open(sys.argv[1] + '/mail', 'wb').write(bytes(m))\n"
        "k = 0\n"
        "for p in m.walk():\n"
        "    if p.get_content_maintype() != 'multipart' and p.get_content_type() not in "
        "('text/plain', 'text/html'):\n"
        "        k += 1\n"
        "        open(sys.argv[1] + '/peer%d' % k, 'wb').write(p.get_payload(decode=True))\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path())));
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail"));
    std::vector<std::string> names;
    for (const codec::FileRecord* r : t.Records())
        names.push_back(r->name);
    // N of part-N counts every part as a walk through the mail meets it: the alternative (1),
    // its text (2), the related (3), its html (4), three images, the pdf, the audio, ...
    EXPECT_EQ((std::vector<std::string>{"logo.png", "image001.jpg", "part-7.gif",
                                        "Quarterly report.pdf", "part-9.mp3", "part-10.ics"}),
              names)
        << t.AllMessages();
    ASSERT_EQ(6u, t.Records().size());
    ASSERT_EQ(0, test::Shell("mkdir " + Q(dir / "out")));
    t.OutputTo(dir / "out");
    ASSERT_EQ(0, t.lib.RenameFile(t.Records()[0], "renamed.png"));
    for (size_t k = 0; k < names.size(); ++k) {
        const codec::FileRecord* r = t.Records()[k];
        EXPECT_EQ(codec::kStateReady, r->state) << r->name;
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / ("out/" + std::string(r->name))) ==
                    ReadFile(dir / ("peer" + std::to_string(k + 1))))
            << r->name;
    }
    EXPECT_TRUE(test::Exists(dir / "out/renamed.png"));
}

// Some mailbox writers put the next "From " line right after the last line of a body, with no
// blank line between. Python's mailbox parts messages there too; each message's attachments
// are found under its own header, with the bytes Python's email package decodes.
TEST(Mailboxes, AFromLineRightAfterTheLastLineOfABody) {
    TempDir dir;
    std::string pic = test::RandomBytes(3000, 51);
    auto mime = [](const std::string& name, const std::string& data, const std::string& end) {
        return "From: b@example.org\nSubject: " + name +
               "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
               "Content-Type: application/octet-stream; name=" +
               name + "\nContent-Transfer-Encoding: base64\n\n" + test::Filtered(data, "base64") +
               "--b--\n" + end;
    };
    std::string a = test::RandomBytes(2000, 52), c = test::RandomBytes(1000, 53);
    WriteFile(dir / "mbox",
              "From a@example.org Mon Dec  7 10:00:00 2026\nFrom: a@example.org\n"
              "Subject: pic\n\n" +
                  test::Filtered(pic, "uuencode pic.bin") +
                  "From b@example.org Mon Dec  7 10:01:00 2026\n" + mime("a.bin", a, "") +
                  "From c@example.org Mon Dec  7 10:02:00 2026\n" + mime("c.bin", c, "\n"));
    std::string script =
        "import sys, mailbox\n"
        "box = mailbox.mbox(sys.argv[1] + '/mbox')\n"
        "print(len(box))\n"
        "for m in box:\n"
        "    for p in m.walk():\n"
        "        if p.get_filename():\n"
        "            open(sys.argv[1] + '/peer-' + p.get_filename(), 'wb').write("
        "p.get_payload(decode=True))\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path()) + " > " + Q(dir / "count")));
    ASSERT_EQ("3\n", ReadFile(dir / "count"));
    ASSERT_TRUE(ReadFile(dir / "peer-a.bin") == a && ReadFile(dir / "peer-c.bin") == c);
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mbox"));
    std::vector<std::string> names;
    for (const codec::FileRecord* r : t.Records())
        names.push_back(r->name);
    ASSERT_EQ((std::vector<std::string>{"pic.bin", "a.bin", "c.bin"}), names) << t.AllMessages();
    ASSERT_EQ(0, test::Shell("mkdir " + Q(dir / "out")));
    t.OutputTo(dir / "out");
    for (const codec::FileRecord* r : t.Records()) {
        EXPECT_EQ(codec::kStateReady, r->state) << r->name;
        ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
    }
    EXPECT_TRUE(ReadFile(dir / "out/pic.bin") == pic);
    EXPECT_TRUE(ReadFile(dir / "out/a.bin") == ReadFile(dir / "peer-a.bin"));
    EXPECT_TRUE(ReadFile(dir / "out/c.bin") == ReadFile(dir / "peer-c.bin"));
}

// What a MIME reader never shows is not a file when it only looks like one; uuencode pasted
// into HTML is read as the page shows it.
TEST(Mailboxes, PreamblesAndHtml) {
    TempDir dir;
    std::string data = test::RandomBytes(4000, 41);
    std::string uu = test::Filtered(data, "uuencode pic.bin");
    // The HTML form of the uuencoded text, made by Python: escaped, a <br> after each line.
    WriteFile(dir / "uu", uu);
    std::string html = test::ShellOutput(
        "/usr/bin/python3 -c 'import html,sys; t=open(sys.argv[1]).read().splitlines();"
        " print(\"<html><body><div>\" + \"<br>\\n\".join(html.escape(l) for l in t) +"
        " \"<br></div></body></html>\")' " +
        Q(dir / "uu"));
    ASSERT_NE(std::string::npos, html.find("&lt;"));
    ASSERT_NE(std::string::npos, html.find("&amp;"));
    std::string attached = test::RandomBytes(900, 42);
    std::string attachment = test::Filtered(attached, "base64");
    std::string head = "From: a@example.org\nMIME-Version: 1.0\nContent-Type: multipart/mixed; ";
    WriteFile(dir / "preamble.eml",
              head +
                  "boundary=b\n\nTo read this, begin 644 with your MIME reader.\nbegin 644 "
                  "notes.txt\n\n--b\nContent-Type: application/octet-stream; name=a.bin\n"
                  "Content-Transfer-Encoding: base64\n\n" +
                  attachment + "--b--\nbegin 600 epilogue.txt\nend of the mail\n");
    WriteFile(dir / "html.eml",
              head + "boundary=b\n\n--b\nContent-Type: text/html\n\n" + html + "--b--\n");
    // The same file as plain text and as HTML: one file.
    WriteFile(dir / "alternative.eml",
              head +
                  "boundary=b\n\n--b\nContent-Type: multipart/alternative; boundary=c\n\n"
                  "--c\nContent-Type: text/plain\n\n" +
                  uu + "--c\nContent-Type: text/html\n\n" + html + "--c--\n--b--\n");
    ExpectOneFile(dir, "preamble.eml", "a.bin", attached);
    ExpectOneFile(dir, "html.eml", "pic.bin", data);
    ExpectOneFile(dir, "alternative.eml", "pic.bin", data);
}

// File names in the charsets mail uses, as RFC 2047 words and RFC 2231 values, come out as the
// names Python's email package reads; the data of each is its own.
TEST(Mailboxes, FileNamesInEveryCharset) {
    TempDir dir;
    std::string script =
        "import sys\nfrom email.message import EmailMessage\nfrom email.header import Header\n"
        "import email, email.policy\n"
        "names = [('koi8-r', '\\u041e\\u0442\\u0447\\u0435\\u0442.txt'),\n"
        "         ('shift_jis', '\\u65e5\\u672c\\u8a9e\\u306e\\u540d\\u524d.bin'),\n"
        "         ('gbk', '\\u4e2d\\u6587\\u6587\\u4ef6.zip'),\n"
        "         ('euc-kr', '\\ud55c\\uad6d\\uc5b4.doc'),\n"
        "         ('windows-1251', '\\u0424\\u0430\\u0439\\u043b.pdf'),\n"
        "         ('iso-8859-2', '\\u017b\\u00f3\\u0142w.png'),\n"
        "         ('iso-2022-jp', '\\u30c6\\u30b9\\u30c8.dat')]\n"
        "m = EmailMessage()\nm['Subject'] = 'names'\nm.set_content('x')\n"
        "for k, (cs, name) in enumerate(names):\n"
        "    m.add_attachment(bytes([k]) * 100, 'application', 'octet-stream')\n"
        "    p = m.get_payload()[-1]\n"
        "    if k % 2:\n"
        "        p.set_param('filename', (cs, '', name), header='Content-Disposition')\n"
        "    else:\n"
        "        p.replace_header('Content-Disposition', 'attachment; filename=\"%s\"' %\n"
        "                         Header(name, cs, maxlinelen=10000).encode())\n"
        "raw = bytes(m)\nopen(sys.argv[1] + '/mail', 'wb').write(raw)\n"
        "back = email.message_from_bytes(raw, policy=email.policy.default)\n"
        "with open(sys.argv[1] + '/names', 'w', encoding='utf-8') as f:\n"
        "    for p in back.iter_attachments():\n"
        "        f.write(p.get_filename() + '\\n')\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path())));
    std::vector<std::string> peer = test::SplitLines(ReadFile(dir / "names"), 1);
    ASSERT_EQ(7u, peer.size());
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail"));
    ASSERT_EQ(7u, t.Records().size()) << t.AllMessages();
    ASSERT_EQ(0, test::Shell("mkdir " + Q(dir / "out")));
    t.OutputTo(dir / "out");
    for (size_t k = 0; k < peer.size(); ++k) {
        std::string want = peer[k].substr(0, peer[k].size() - 1);
        EXPECT_EQ(want, t.Records()[k]->name);
        ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[k], nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / ("out/" + want)) == std::string(100, static_cast<char>(k)));
    }
}

// The size listed before decoding is the size decode writes: quoted-printable with soft breaks,
// long lines and trailing blanks, Base64 of odd line lengths, in LF and CRLF mail.
TEST(Mailboxes, ListedSizesAreTheDecodedSizes) {
    TempDir dir;
    std::string script =
        "import sys, random\nfrom email.message import EmailMessage\n"
        "r = random.Random(9)\n"
        "text = ''.join(r.choice('abc def=\\t\\u00e9\\n') for _ in range(30000))\n"
        "m = EmailMessage()\nm['Subject'] = 'sizes'\nm.set_content('x')\n"
        "m.add_attachment(text, subtype='plain', cte='quoted-printable', filename='q.txt')\n"
        "m.add_attachment(text.encode(), 'application', 'x-q', cte='quoted-printable',\n"
        "                 filename='q.bin')\n"
        "m.add_attachment(bytes(r.randrange(256) for _ in range(12347)), 'application', 'x',\n"
        "                 filename='b.bin')\n"
        "raw = bytes(m)\nopen(sys.argv[1] + '/lf.eml', 'wb').write(raw)\n"
        "open(sys.argv[1] + '/crlf.eml', 'wb').write(raw.replace(b'\\n', b'\\r\\n'))\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path())));
    // A Base64 body of lines of 60, 76 and 17 characters, and one of padded chunks.
    std::string data = test::RandomBytes(5000, 51);
    std::string b64 = test::Filtered(data, "base64 -w 0");
    std::string odd;
    for (size_t at = 0, k = 0; at < b64.size(); ++k) {
        size_t n = k % 3 == 0 ? 60 : k % 3 == 1 ? 76 : 17;
        odd += b64.substr(at, n) + "\n";
        at += n;
    }
    WriteFile(dir / "odd.eml",
              "MIME-Version: 1.0\nContent-Type: application/x; name=odd.bin\n"
              "Content-Transfer-Encoding: base64\n\n" +
                  odd);
    for (const char* input : {"lf.eml", "crlf.eml", "odd.eml"}) {
        SCOPED_TRACE(input);
        test::Library t;
        ASSERT_EQ(0, t.Load(dir / input));
        ASSERT_FALSE(t.Records().empty());
        std::string out = dir / (std::string("out-") + input);
        ASSERT_EQ(0, test::Shell("mkdir " + Q(out)));
        t.OutputTo(out);
        for (const codec::FileRecord* r : t.Records()) {
            ASSERT_EQ(0, t.lib.DecodeFile(r, nullptr)) << t.AllMessages();
            EXPECT_EQ(static_cast<size_t>(r->size), ReadFile(out + "/" + r->name).size())
                << r->name;
        }
    }
}

// One mail as a file of its own and as the only message of an mbox, an MMDF mailbox and a Babyl
// file: the same files, states and bytes, whatever its body ends with.
TEST(Mailboxes, TheContainerDoesNotMatter) {
    TempDir dir;
    std::string head =
        "From: a@example.org\nMIME-Version: 1.0\nContent-Type: text/plain; name=t.txt\n";
    const std::string mails[] = {
        head + "\nline one\n\nlast line\n",  // a named text
        head + "\nends in a blank line\n\n",
        head + "\n",  // a named, empty body
        head,         // no body at all: the header ends with the input
        head + "Content-Transfer-Encoding: base64\n\n" + test::Filtered("abcdef", "base64"),
    };
    for (const std::string& mail : mails) {
        SCOPED_TRACE(mail);
        const std::pair<std::string, std::string> inputs[] = {
            {"eml", mail},
            {"mbox", "From a@example.org Tue Dec  8 07:35:53 2026\n" + mail + "\n"},
            {"mmdf", "\x01\x01\x01\x01\n" + mail + "\n\x01\x01\x01\x01\n"},
            {"babyl",
             "BABYL OPTIONS: -*- rmail -*-\nVersion: 5\nLabels:\n\x1f\x0c\n0, unseen,,\n"
             "*** EOOH ***\n" +
                 mail + "\n\x1f"}};
        std::string first;
        for (const auto& [kind, text] : inputs) {
            WriteFile(dir / kind, text);
            test::Library t;
            ASSERT_EQ(0, t.Load(dir / kind));
            std::string got;
            std::string out = dir / "out";
            test::Shell("rm -rf " + Q(out) + "; mkdir " + Q(out));
            t.OutputTo(out);
            for (const codec::FileRecord* r : t.Records()) {
                int rc = t.lib.DecodeFile(r, nullptr);
                got += std::string(r->name) + " " + std::to_string(r->state) + " " +
                       std::to_string(rc) + " [" + ReadFile(out + "/" + r->name) + "]\n";
            }
            if (kind == "eml") first = got;
            EXPECT_EQ(first, got) << kind;
        }
    }
}

// A raw 8-bit name is listed and written as the same UTF-8 name: read in the charset its text
// declares, else in windows-1252 (the expected names are iconv's).
TEST(Mailboxes, RawEightBitNamesBecomeOneUtf8Name) {
    TempDir dir;
    std::string data = test::RandomBytes(500, 61);
    std::string uu = test::Filtered(data, "uuencode x");
    auto begin = [&](const std::string& name) {
        return "begin 644 " + name + uu.substr(uu.find('\n'));
    };
    auto iconv = [](const std::string& bytes, const std::string& from) {
        return test::Filtered(bytes, "iconv -f " + from + " -t UTF-8");
    };
    std::string mime =
        "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
        "--b\nContent-Type: application/octet-stream; charset=koi8-r; "
        "name=\"\xF4\xC5\xD3\xD4.bin\"\nContent-Transfer-Encoding: base64\n\n" +
        test::Filtered(data, "base64") +
        "--b\nContent-Type: application/octet-stream; name=\"C:\\Users\\me\\report.doc\"\n"
        "Content-Transfer-Encoding: base64\n\n" +
        test::Filtered(data, "base64") + "--b\nContent-Type: text/plain; charset=iso-8859-2\n\n" +
        begin("\xBF\xF3\xB3w.txt") + "--b--\n";
    WriteFile(dir / "mail", mime);
    WriteFile(dir / "plain.txt", begin("caf\xE9 \x80.txt"));
    test::Library t;
    ASSERT_EQ(0, t.Load(dir / "mail"));
    ASSERT_EQ(0, t.Load(dir / "plain.txt"));
    std::vector<std::string> want = {iconv("\xF4\xC5\xD3\xD4.bin", "KOI8-R"), "report.doc",
                                     iconv("\xBF\xF3\xB3w.txt", "ISO-8859-2"),
                                     iconv("caf\xE9 \x80.txt", "WINDOWS-1252")};
    ASSERT_EQ(want.size(), t.Records().size()) << t.AllMessages();
    ASSERT_EQ(0, test::Shell("mkdir " + Q(dir / "out")));
    t.OutputTo(dir / "out");
    for (size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(want[k], t.Records()[k]->name);
        ASSERT_EQ(0, t.lib.DecodeFile(t.Records()[k], nullptr)) << t.AllMessages();
        EXPECT_TRUE(ReadFile(dir / ("out/" + want[k])) == data) << want[k];
    }
    EXPECT_EQ(want.size(), dir.List("out").size());
}

// A Mac mail's multipart/appledouble: the header part is the file's metadata, the data fork is
// the file, under the name both carry.
TEST(Mailboxes, AppleDoubleWritesTheDataFork) {
    TempDir dir;
    std::string script =
        "import sys, random\nfrom email.mime.multipart import MIMEMultipart\n"
        "from email.mime.application import MIMEApplication\nfrom email.mime.text import "
        "MIMEText\n"
        "r = random.Random(3)\n"
        "doc = bytes(r.randrange(256) for _ in range(7000))\n"
        "head = b'\\x00\\x05\\x16\\x07' + bytes(r.randrange(256) for _ in range(300))\n"
        "outer = MIMEMultipart('mixed')\nouter['Subject'] = 'the report'\n"
        "outer.attach(MIMEText('Here it is.\\n'))\n"
        "double = MIMEMultipart('appledouble')\n"
        "double.attach(MIMEApplication(head, 'applefile', name='report.pdf'))\n"
        "double.attach(MIMEApplication(doc, 'pdf', name='report.pdf'))\n"
        "outer.attach(double)\n"
        "open(sys.argv[1] + '/mail', 'wb').write(bytes(outer))\n"
        "open(sys.argv[1] + '/peer', 'wb').write(double.get_payload()[1].get_payload("
        "decode=True))\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path())));
    ExpectOneFile(dir, "mail", "report.pdf", ReadFile(dir / "peer"));
}

// Encoded data in a mail's own text sent as quoted-printable (a gateway re-encoded it: "=" as
// "=3D", long lines broken softly) or as Base64 is decoded before it is scanned: the bytes are
// those of the file, as uudecode finds them in the text Python's email package decodes. yEnc
// and BinHex in Base64 text alike.
TEST(Mailboxes, EncodedTextInsideQuotedPrintableOrBase64) {
    TempDir dir;
    std::string data = test::RandomBytes(6000, 71);
    WriteFile(dir / "uu", test::Filtered(data, "uuencode pic.bin"));
    WriteFile(dir / "yenc", test::YencEncoder().Single(data, "pic.bin"));
    WriteFile(dir / "pic.bin", data);
    WriteFile(dir / "hqx", test::ShellOutput("cd " + Q(dir.path()) + " && binhex -d pic.bin"));
    std::string script =
        "import sys, html, email.policy\nfrom email.message import EmailMessage\n"
        "d = sys.argv[1]\nuu = open(d + '/uu').read()\n"
        "def save(name, body, subtype='plain', cte='base64', charset='utf-8'):\n"
        "    # A gateway that breaks lines at 40 characters.\n"
        "    m = EmailMessage(policy=email.policy.default.clone(max_line_length=40))\n"
        "    m['Subject'] = 'a picture'\n"
        "    m.set_content(body, subtype=subtype, cte=cte, charset=charset)\n"
        "    open(d + '/' + name, 'wb').write(bytes(m))\n"
        "    return m\n"
        "page = '<p>' + '<br>\\n'.join(html.escape(l) for l in uu.splitlines()) + '</p>\\n'\n"
        "for cte in ('quoted-printable', 'base64'):\n"
        "    m = save('plain-' + cte, 'Here it is:\\n\\n' + uu + '\\nBye.\\n', cte=cte)\n"
        "    save('html-' + cte, page, subtype='html', cte=cte)\n"
        "open(d + '/peer.txt', 'wb').write(m.get_payload(decode=True))\n"
        "yenc = open(d + '/yenc', encoding='latin-1').read()\n"
        "save('yenc-base64', 'The file:\\n' + yenc, charset='iso-8859-1')\n"
        "save('hqx-base64', open(d + '/hqx').read())\n";
    ASSERT_EQ(0, test::RunPython(dir, script, Q(dir.path())));
    ASSERT_NE(std::string::npos, ReadFile(dir / "plain-quoted-printable").find("=3D"));
    ASSERT_NE(std::string::npos, ReadFile(dir / "plain-quoted-printable").find("=\n"));
    ASSERT_EQ(std::string::npos, ReadFile(dir / "plain-base64").find("begin 644"));
    ASSERT_EQ(0, test::Shell("cd " + Q(dir.path()) + " && mkdir peer && cd peer && uudecode " +
                             Q(dir / "peer.txt")));
    ASSERT_TRUE(ReadFile(dir / "peer/pic.bin") == data);
    for (const char* input : {"plain-quoted-printable", "html-quoted-printable", "plain-base64",
                              "html-base64", "yenc-base64", "hqx-base64"})
        ExpectOneFile(dir, input, "pic.bin", data);
}
