// The decode workflow without a window: the session loads, checks and decodes through the
// library in order, tells its host of each pass, and refuses every command that comes while
// a pass runs (here from the library's own progress callback, inside the pass).
#include <gtest/gtest.h>

#include <QDir>
#include <functional>
#include <vector>

#include "decode/DecodeSession.h"
#include "res/resource.h"
#include "support/ScriptedPresenter.h"
#include "support/test_support.h"

namespace {

using test::Qs;

struct Host : CDecodeSession::Host {
    bool InitLibrary(codec::CodecLibrary& library) override {
        events.push_back("init");
        if (library.Initialize() != codec::kOk) return false;
        library.SetBusyCallback(
            this,
            [](void* self, const codec::Progress*) {
                auto* host = static_cast<Host*>(self);
                if (host->duringPass) host->duringPass();
                return 0;
            },
            1);
        return true;
    }
    void PassBegins() override { events.push_back("begins"); }
    void PassEnds() override { events.push_back("ends"); }
    void Say(int id) override { said.push_back(id); }
    void ScanDropped() override { events.push_back("dropped"); }
    void ProgressEnds() override {}

    std::vector<std::string> events;
    std::vector<int> said;
    std::function<void()> duringPass;
};

class DecodeSession : public ::testing::Test {
  protected:
    QString Encoded(const std::string& file, const std::string& name, const std::string& data) {
        test::WriteFile(dir / (file + ".raw"), data);
        EXPECT_EQ(0, test::Shell("cd " + test::Q(dir.path()) + " && uuencode " + file + ".raw " +
                                 name + " > " + file + " && rm " + file + ".raw"));
        return Qs(dir / file);
    }
    test::TempDir dir;
    CTamselDoc doc;
    codec::CodecLibrary library;
    Host host;
    CDecodeSession session{doc, library, host};
};

TEST_F(DecodeSession, ChecksAndDecodesInOrderAndTellsItsHostOfEachPass) {
    std::string a = test::RandomBytes(3000, 1), b = test::RandomBytes(5000, 2);
    ASSERT_TRUE(
        session.ReplaceInputs({Encoded("z.uue", "b.bin", b), Encoded("Y.uue", "a.bin", a)}));
    EXPECT_EQ(doc.m_inputFiles, (QStringList{Qs(dir / "Y.uue"), Qs(dir / "z.uue")}));

    std::vector<std::string> rows;
    auto row = [&](const codec::FileRecord& r, int index, bool ok) {
        rows.push_back(std::to_string(index) + r.name + (ok ? "+" : "-"));
    };
    ASSERT_TRUE(session.Check(row));
    EXPECT_EQ(rows, (std::vector<std::string>{"0a.bin+", "1b.bin+"}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"begins", "init", "ends"}));
    EXPECT_TRUE(session.Loaded());

    rows.clear();
    test::TempDir out;
    ASSERT_TRUE(session.Decode({Qs(out.path()) + "/", false, true}, row));
    EXPECT_EQ(rows, (std::vector<std::string>{"0a.bin+", "1b.bin+"}));
    EXPECT_TRUE(test::ReadFile(out / "a.bin") == a);
    EXPECT_TRUE(test::ReadFile(out / "b.bin") == b);
    EXPECT_EQ(host.events.size(), 5u) << "the scan was used again: one more pass, no load";
    EXPECT_TRUE(host.said.empty());

    ASSERT_TRUE(session.RemoveInput(0));
    EXPECT_EQ(host.events.back(), "dropped");
    EXPECT_FALSE(session.Loaded());
    EXPECT_EQ(doc.m_inputFiles, QStringList{Qs(dir / "z.uue")});
}

TEST_F(DecodeSession, EveryCommandDuringAPassIsRefusedAndChangesNothing) {
    std::string data = test::RandomBytes(200000, 3);
    QString input = Encoded("big.uue", "big.bin", data);
    ASSERT_TRUE(session.ReplaceInputs({input}));
    int tried = 0;
    host.duringPass = [&] {
        ++tried;
        EXPECT_TRUE(session.Busy());
        EXPECT_FALSE(session.ReplaceInputs({"/elsewhere/x.uue"}));
        EXPECT_FALSE(session.RemoveInput(0));
        EXPECT_FALSE(session.RemoveAllInputs());
        EXPECT_FALSE(session.Load());
        EXPECT_FALSE(session.Check([](const codec::FileRecord&, int, bool) {}));
        EXPECT_FALSE(session.Decode({}, [](const codec::FileRecord&, int, bool) {}));
        EXPECT_FALSE(session.Rename(0, "other.bin"));
    };
    int rows = 0;
    test::TempDir out;
    ASSERT_TRUE(session.Decode({Qs(out.path()) + "/", false, true},
                               [&](const codec::FileRecord&, int, bool ok) { rows += ok; }));
    EXPECT_GT(tried, 0) << "the library never reported progress";
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(doc.m_inputFiles, QStringList{input});
    EXPECT_TRUE(test::ReadFile(out / "big.bin") == data);
    EXPECT_FALSE(session.Busy());
}

TEST_F(DecodeSession, AnInputThatCannotBeReadDropsTheScanAndSaysWhy) {
    ASSERT_TRUE(session.ReplaceInputs({Qs(dir / "gone.uue")}));
    EXPECT_FALSE(session.Check([](const codec::FileRecord&, int, bool) { FAIL(); }));
    EXPECT_EQ(host.said, std::vector<int>{IDS_IO_ERROR});
    EXPECT_FALSE(session.Loaded());

    CTamselDoc empty;
    CDecodeSession none(empty, library, host);
    EXPECT_FALSE(none.RemoveAllInputs());
    EXPECT_EQ(host.said.back(), IDS_NO_FILES);
}

}  // namespace
