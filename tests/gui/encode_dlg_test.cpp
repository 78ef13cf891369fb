// The Encode dialog and its job, driven from the workspace's Encode Files command: validation,
// whole and split jobs decoded back, the coloured outcomes, Esc, and what the command does to
// the workspace around the dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/MainFrame.h"
#include "controls/ListBox.h"
#include "decode/TamselDoc.h"
#include "encode/EncodeDlg.h"
#include "log/InfoWnd.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/ScriptedPresenter.h"
#include "support/test_support.h"
#include "workspace/TamselView.h"

namespace {

using test::Qs;

class EncodeJob : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings().clear();
        frame = std::make_unique<CMainFrame>(&doc);
        view = frame->GetActiveView();
        view->OnInitialUpdate();
        frame->show();
    }
    void TearDown() override {
        frame->close();
        frame.reset();
        presenter.ExpectNoOtherBoxes();
    }

    // Opens the dialog with Encode Files and runs body in it; "Done" closes it afterwards.
    void InDialog(std::function<void()> body) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            dlg = qobject_cast<CEncodeDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            ran = true;
            body();
            Click(1031);
        });
        view->Command(ID_ENCODE_FILES)->trigger();
        EXPECT_TRUE(ran) << "the dialog did not come up";
        dlg = nullptr;
    }
    template <typename W = QWidget>
    W* Control(int id) const {
        W* widget = dlg->findChild<W*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    void Click(int id) { QTest::mouseClick(Control<QAbstractButton>(id), Qt::LeftButton); }
    void Type(int id, const QString& text) {
        auto* edit = Control<QLineEdit>(id);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    QString Info() const { return dlg->findChild<QLabel*>(ControlName(IDC_INFO))->text(); }
    // The records a fresh library finds in files, decoded into out; the first one's bytes.
    std::string DecodeBack(const std::vector<std::string>& files, const test::TempDir& out) {
        test::Library lib;
        for (const std::string& f : files)
            EXPECT_EQ(lib.Load(f), 0) << f;
        lib.OutputTo(out.path());
        std::vector<const codec::FileRecord*> records = lib.Records();
        EXPECT_EQ(records.size(), 1u);
        if (records.empty() || !records[0]->name) return {};
        EXPECT_EQ(lib.lib.DecodeFile(records[0]), 0);
        return test::ReadFile(out / records[0]->name);
    }

    test::ScriptedPresenter presenter;
    test::TempDir dir, elsewhere;
    test::CurrentDirectory current{elsewhere.path()};
    CTamselDoc doc;
    std::unique_ptr<CMainFrame> frame;
    CTamselView* view = nullptr;
    CEncodeDlg* dlg = nullptr;
};

TEST_F(EncodeJob, RefusesIncompleteInputWithItsMessages) {
    InDialog([&] {
        EXPECT_FALSE(Control(1029)->isEnabled());
        EXPECT_EQ(Control<QLineEdit>(1029)->text(), "1000");
        EXPECT_TRUE(Control<QCheckBox>(1028)->isChecked());
        EXPECT_TRUE(Control<QRadioButton>(1017)->isChecked());
        EXPECT_TRUE(Control<QCheckBox>(1034)->isChecked());

        QTest::keyClick(Control(1020), Qt::Key_Return);  // Enter in a field starts a job
        std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  "You need to have values in both the \"File to Encode\"\nedit "
                  "box and the \"Destination\" edit box.");
        EXPECT_EQ(boxes[0].style, MB_ICONEXCLAMATION);

        Type(1020, Qs(dir / "missing.bin"));
        Type(1022, "out.uue");
        Click(IDOK);
        boxes = presenter.TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Unable to locate " + Qs(dir / "missing.bin"));

        // The lines value is checked even for a single file; only digits can be typed.
        Click(1028);  // unchecked: the lines field opens
        EXPECT_TRUE(Control(1029)->isEnabled());
        Type(1029, "5x");
        EXPECT_EQ(Control<QLineEdit>(1029)->text(), "5");
        Click(1028);
        EXPECT_FALSE(Control(1029)->isEnabled());
        Click(IDOK);
        boxes = presenter.TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Please enter an integer between 10 and 2147483647.");
        Click(1028);
        Type(1029, "99999999999");
        Click(IDOK);
        EXPECT_EQ(presenter.TakeBoxes().size(), 1u);
        Type(1029, "1000");
        Click(1028);

        test::WriteFile(dir / "in.bin", "data");
        Type(1020, Qs(dir / "in.bin"));
        auto* group = Control<QRadioButton>(1017)->group();
        group->setExclusive(false);
        Control<QRadioButton>(1017)->setChecked(false);
        Click(IDOK);
        boxes = presenter.TakeBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Unable to determine which encoding type you wish to use.");
        EXPECT_EQ(Info(), "Info:");
    });
    EXPECT_TRUE(dir.List() == std::vector<std::string>{"in.bin"});
}

TEST_F(EncodeJob, WholeAndSplitJobsDecodeBackToTheInput) {
    std::string data = test::RandomBytes(40000, 21);
    test::WriteFile(dir / "photo.jpg", data);
    test::TempDir out;
    InDialog([&] {
        presenter.m_fileAnswers.push_back(QStringList{Qs(dir / "photo.jpg")});
        Click(1021);
        EXPECT_EQ(Control<QLineEdit>(1022)->text(), Qs(dir / "photo.uue")) << "the proposal";
        Click(IDOK);
        EXPECT_EQ(Info(), "Succesfully encoded: " + Qs(dir / "photo.jpg"));
        EXPECT_EQ(dlg->InfoTextColour(), 0xFF0000u);
        EXPECT_EQ(QDir::currentPath(), Qs(dir.path())) << "the input's folder is current now";
        EXPECT_EQ(DecodeBack({dir / "photo.uue"}, out), data);

        // Base64 in parts of 100 lines, the destination a bare name: the current folder.
        Click(1019);
        Click(1028);
        Type(1029, "100");
        Type(1022, "parts.b64");
        Click(IDOK);
        EXPECT_EQ(Control<QLineEdit>(1022)->text(), Qs(dir / "parts.b64"));
        EXPECT_EQ(dlg->InfoTextColour(), 0xFF0000u);
    });
    std::vector<std::string> parts;
    for (const std::string& name : dir.List())
        if (name.rfind("parts.", 0) == 0) parts.push_back(dir / name);
    EXPECT_GE(parts.size(), 7u) << "40000 bytes are some 700 lines of Base64";
    test::TempDir out2;
    EXPECT_EQ(DecodeBack(parts, out2), data);
    EXPECT_TRUE(doc.m_inputFiles.isEmpty());
}

// Files dropped on the main window while a file is encoded (the dialog modal over it, the pass
// guard refusing drops) do nothing: the encode runs to its end, and the input list stays empty.
TEST_F(EncodeJob, ADropDuringAnEncodeDoesNotEnterIt) {
    std::string data = test::RandomBytes(16 << 20, 22);
    test::WriteFile(dir / "big.bin", data);
    frame->DragAcceptFiles(true);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Qs(dir / "big.bin"))});
    test::TempDir out;
    InDialog([&] {
        presenter.m_fileAnswers.push_back(QStringList{Qs(dir / "big.bin")});
        Click(1021);
        // Waits in the queue until the encode's progress callback looks at input.
        QCoreApplication::postEvent(frame.get(), new QDropEvent(QPointF(50, 50), Qt::CopyAction,
                                                                &mime, Qt::LeftButton, {}));
        Click(IDOK);
        EXPECT_EQ(Info(), "Succesfully encoded: " + Qs(dir / "big.bin"));
    });
    EXPECT_TRUE(doc.m_inputFiles.isEmpty());
    EXPECT_TRUE(DecodeBack({dir / "big.uue"}, out) == data);
}

TEST_F(EncodeJob, OutcomesShowInTheirColours) {
    test::WriteFile(dir / "in.bin", test::RandomBytes(1000, 3));
    test::WriteFile(dir / "taken.uue", "keep me");
    std::string big = test::RandomBytes(24 << 20, 4);
    test::WriteFile(dir / "big.bin", big);
    InDialog([&] {
        Type(1020, Qs(dir / "in.bin"));
        Click(1034);  // overwrite off
        Type(1022, Qs(dir / "taken.uue"));
        Click(IDOK);
        EXPECT_EQ(Info(),
                  "The target file already exists, and you did not allow overwrite "
                  "existing files.");
        EXPECT_EQ(dlg->InfoTextColour(), 0x0000FFu);

        Type(1022, Qs(dir / "no such folder/out.uue"));
        Click(IDOK);
        EXPECT_EQ(Info(),
                  "An error occured while encoding. Make sure the filename & path is "
                  "valid");
        EXPECT_EQ(dlg->InfoTextColour(), 0x448EBBu);

        Type(1020, Qs(dir / "big.bin"));
        Type(1022, Qs(dir / "big.uue"));
        QCoreApplication::postEvent(Control(1022),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
        Click(IDOK);
        EXPECT_EQ(Info(), "The encoding operation was canceled at your request.");
        EXPECT_EQ(dlg->InfoTextColour(), 0x3A8DF1u);
        EXPECT_TRUE(Control(IDOK)->isEnabled());
        EXPECT_TRUE(Control(1031)->isEnabled());

        // Neither Esc nor the close button ends the dialog.
        QTest::keyClick(dlg, Qt::Key_Escape);
        dlg->close();
        EXPECT_TRUE(dlg->isVisible());
    });
    EXPECT_EQ(test::ReadFile(dir / "taken.uue"), "keep me");
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"big.bin", "in.bin", "taken.uue"}))
        << "a cancelled or failed job leaves nothing behind";
}

TEST_F(EncodeJob, BrowseButtonsProposeAndReplace) {
    InDialog([&] {
        presenter.m_fileAnswers.push_back(QStringList{"/docs/README"});
        Click(1021);
        EXPECT_EQ(Control<QLineEdit>(1022)->text(), "/docs/REAuue") << "three characters off";
        presenter.m_fileAnswers.push_back(QStringList{"/out/chosen.uue"});
        Click(1038);
        EXPECT_EQ(Control<QLineEdit>(1022)->text(), "/out/chosen.uue");
        EXPECT_EQ(Control<QLineEdit>(1020)->text(), "/docs/README");
        presenter.m_fileAnswers.push_back(std::nullopt);
        Click(1038);
        EXPECT_EQ(Control<QLineEdit>(1022)->text(), "/out/chosen.uue");
        EXPECT_EQ(presenter.m_filters.first(), "All Files (*.*)|*.*||");
    });
}

// Enter presses the button that has the focus: Done closes the dialog, encoding nothing.
TEST_F(EncodeJob, EnterOnDoneClosesTheDialog) {
    bool closed = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CEncodeDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* done = dialog->findChild<QPushButton*>(ControlName(IDC_DONE));
        done->setFocus();
        QTest::keyClick(done, Qt::Key_Return);
        closed = !dialog->isVisible();
        if (!closed) done->click();
    });
    view->Command(ID_ENCODE_FILES)->trigger();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(presenter.TakeBoxes().empty()) << "nothing was encoded, nothing refused";
}

TEST_F(EncodeJob, EncodeFilesEmptiesTheInputListAndHidesTheInfoWindowMeanwhile) {
    test::WriteFile(dir / "a.uue", "begin 644 a\n`\nend\n");
    view->OnAddFileList({Qs(dir / "a.uue")});
    ASSERT_TRUE(view->m_pInfoWnd->isVisible());
    bool hiddenMeanwhile = false;
    InDialog([&] { hiddenMeanwhile = !view->m_pInfoWnd->isVisible(); });
    EXPECT_TRUE(hiddenMeanwhile);
    EXPECT_TRUE(view->m_pInfoWnd->isVisible());
    EXPECT_TRUE(doc.m_inputFiles.isEmpty());
    EXPECT_EQ(view->findChild<CListBox*>(ControlName(IDC_FILELIST))->GetCount(), 0);

    view->Command(ID_INFO_WINDOW)->trigger();
    InDialog([] {});
    EXPECT_FALSE(view->m_pInfoWnd->isVisible()) << "hidden before, hidden after";
}

TEST_F(EncodeJob, ALibraryThatCannotStartShowsNoDialog) {
    view->OnAddFileList({"/in/a.uue"});
    view->m_initializeLibrary = [](codec::CodecLibrary&) { return int(codec::kNoMemory); };
    view->Command(ID_ENCODE_FILES)->trigger();  // would block here if a dialog came up
    std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Initializing Error");
    EXPECT_TRUE(boxes[0].text.startsWith("The library used to perform the UU-Decoding/Encoding"));
    EXPECT_TRUE(doc.m_inputFiles.isEmpty());
}

}  // namespace
