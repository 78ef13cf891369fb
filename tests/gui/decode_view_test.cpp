// The decode workspace driven through its real widgets: add, check, decode, cancel, rename,
// the Information Window, Edit File and the settings. Dialogs are answered by the scripted
// presenter; inputs are made by sharutils uuencode.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include "app/MainFrame.h"
#include "controls/ListBox.h"
#include "decode/TamselDoc.h"
#include "log/InfoWnd.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/ScriptedPresenter.h"
#include "support/test_support.h"
#include "vtlistctrl/VtListCtrl.h"
#include "workspace/TamselView.h"

namespace {

using test::Qs;

class DecodeView : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings().clear();
        Start();
    }
    void TearDown() override {
        Stop();
        presenter.ExpectNoOtherBoxes();
    }
    void Start() {
        frame = std::make_unique<CMainFrame>(&doc);
        view = frame->GetActiveView();
        view->OnInitialUpdate();
        frame->show();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        results = view->findChild<CVtListCtrl*>(ControlName(IDC_RESULTS));
        files = view->findChild<CListBox*>(ControlName(IDC_FILELIST));
        errors = view->findChild<CListBox*>(ControlName(IDC_ERRORLIST));
        savePath = view->findChild<QLineEdit*>(ControlName(IDC_SAVEPATH));
    }
    void Stop() {
        if (frame) frame->close();
        frame.reset();
    }

    void Click(int id) {
        QPushButton* button = view->findChild<QPushButton*>(ControlName(id));
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Writes a uuencoded file of data named name into dir/file.
    std::string Encoded(const std::string& file, const std::string& name, const std::string& data,
                        const test::TempDir& where) {
        std::string raw = where / (file + ".raw");
        test::WriteFile(raw, data);
        EXPECT_EQ(test::Shell("uuencode " + test::Q(raw) + " " + test::Q(name) + " > " +
                              test::Q(where / file)),
                  0);
        unlink(raw.c_str());
        return where / file;
    }
    void AddFiles(const QStringList& paths) {
        presenter.m_fileAnswers.push_back(paths);
        Click(IDC_ADDFILES);
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < results->GetItemCount(); ++row)
            texts << results->GetItemText(row, column);
        return texts;
    }
    std::vector<int> Images() const {
        std::vector<int> images;
        for (int row = 0; row < results->GetItemCount(); ++row)
            images.push_back(results->GetItemImage(row));
        return images;
    }
    QStringList Shown(CListBox* box) const {
        QStringList lines;
        for (int i = 0; i < box->GetCount(); ++i)
            lines << box->GetText(i);
        return lines;
    }
    QStringList InfoLines() const { return Shown(view->m_pInfoWnd->List()); }
    QString Status() const { return frame->statusBar()->currentMessage(); }
    QString ExpectOneBox(unsigned style) {
        std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
        EXPECT_EQ(boxes.size(), 1u);
        if (boxes.empty()) return {};
        EXPECT_EQ(boxes[0].style, style);
        return boxes[0].text;
    }
    QPoint Cell(int row, int column) const {
        return results->visualRect(results->model()->index(row, column)).center();
    }

    test::ScriptedPresenter presenter;
    test::TempDir dir;
    CTamselDoc doc;
    std::unique_ptr<CMainFrame> frame;
    CTamselView* view = nullptr;
    CVtListCtrl* results = nullptr;
    CListBox* files = nullptr;
    CListBox* errors = nullptr;
    QLineEdit* savePath = nullptr;
};

TEST_F(DecodeView, CommandsNeedingInputFilesRefuseAnEmptyList) {
    for (int id :
         {IDC_REMOVEFILE, IDC_REMOVEALLFILES, IDC_CHECKFILES, IDC_DECODEFILES, IDC_EDITFILE}) {
        SCOPED_TRACE(id);
        Click(id);
        EXPECT_EQ(ExpectOneBox(MB_ICONHAND),
                  "There are currently no files available for that action\nPlease Add Files to "
                  "the list");
    }
    EXPECT_TRUE(presenter.m_editorPaths.isEmpty());
    EXPECT_EQ(frame->windowTitle(), "Corvane/Encoder for WIN32");
    // The state column's header is a picture only.
    EXPECT_EQ(results->GetColumnHeading(0), "");
    EXPECT_TRUE(results->HasHeaderBitmap(0));
    EXPECT_EQ(results->GetColumnHeading(1), "File Name");
    EXPECT_EQ(results->GetColumnHeading(2), "Size (Approx.)");
    EXPECT_EQ(results->columnWidth(0), 20);
}

TEST_F(DecodeView, AddedFilesReplaceTheListSortedByNameEachKeepingItsOwnFolder) {
    test::TempDir other;
    std::string b = Encoded("b.uue", "b.bin", "bravo", dir);
    std::string a = Encoded("A.uue", "a.bin", "alpha", other);
    std::string c = Encoded("c.uue", "c.bin", "charlie", dir);
    AddFiles({Qs(c), Qs(a), Qs(b)});
    EXPECT_TRUE(
        presenter.m_filters.last().startsWith("Decodable Files (*.uue, *.xxe, *.hqx, *.mim)|"));
    EXPECT_EQ(Shown(files), (QStringList{"A.uue", "b.uue", "c.uue"}));
    EXPECT_EQ(doc.m_inputFiles, (QStringList{Qs(a), Qs(b), Qs(c)}));
    EXPECT_EQ(savePath->text(), Qs(dir.path())) << "the first chosen file's folder";
    EXPECT_EQ(files->GetCurSel(), 0);

    Click(IDC_CHECKFILES);
    EXPECT_EQ(Column(1), (QStringList{"a.bin", "b.bin", "c.bin"}))
        << "the file from the second folder is read from there";

    presenter.m_fileAnswers.push_back(std::nullopt);  // the dialog is cancelled
    Click(IDC_ADDFILES);
    EXPECT_EQ(doc.m_inputFiles.size(), 3);
    EXPECT_EQ(results->GetItemCount(), 3) << "a cancelled dialog keeps the scan";

    view->OnAddFileList({"relative.uue"});
    EXPECT_EQ(doc.m_inputFiles, QStringList{"relative.uue"}) << "a bare name stays as given";
    EXPECT_EQ(savePath->text(), "");
    EXPECT_EQ(results->GetItemCount(), 0) << "a new list drops the scan";
}

TEST_F(DecodeView, RemoveFileAndRemoveAllDropTheScan) {
    AddFiles(
        {Qs(Encoded("a.uue", "a.bin", "alpha", dir)), Qs(Encoded("b.uue", "b.bin", "b", dir))});
    Click(IDC_CHECKFILES);
    files->SetCurSel(1);
    Click(IDC_REMOVEFILE);
    EXPECT_EQ(Shown(files), QStringList{"a.uue"});
    EXPECT_EQ(results->GetItemCount(), 0);
    EXPECT_EQ(savePath->text(), Qs(dir.path()));
    files->setCurrentRow(-1);
    Click(IDC_REMOVEFILE);
    EXPECT_EQ(doc.m_inputFiles.size(), 1) << "nothing selected, nothing removed";
    Click(IDC_REMOVEALLFILES);
    EXPECT_TRUE(doc.m_inputFiles.isEmpty());
    EXPECT_EQ(files->GetCount(), 0);
}

TEST_F(DecodeView, CheckListsEveryOutputAndADoubleClickExplainsIt) {
    std::string data = test::RandomBytes(5000, 1);
    std::string whole = Encoded("whole.uue", "whole.bin", data, dir);
    // A posting whose second of three parts never arrived.
    std::string text =
        test::ReadFile(Encoded("split.raw.uue", "split.bin", test::RandomBytes(9000, 2), dir));
    std::vector<std::string> parts = test::SplitLines(text, 70);
    ASSERT_EQ(parts.size(), 3u);
    test::WriteFile(dir / "split1.txt", "Subject: split.bin (1/3)\n\n" + parts[0]);
    test::WriteFile(dir / "split3.txt", "Subject: split.bin (3/3)\n\n" + parts[2]);
    unlink((dir / "split.raw.uue").c_str());
    AddFiles({Qs(whole), Qs(dir / "split1.txt"), Qs(dir / "split3.txt")});

    Click(IDC_CHECKFILES);
    EXPECT_EQ(Column(1), (QStringList{"split.bin", "whole.bin"}));
    EXPECT_EQ(Column(2).last(), "4K") << "5000 bytes";
    EXPECT_EQ(Images(), (std::vector<int>{1, 0}));
    EXPECT_FALSE(InfoLines().isEmpty()) << "the library's notes arrive in the Information Window";
    EXPECT_FALSE(view->findChild<QProgressBar*>(ControlName(IDC_PROGRESS))->isVisible());
    EXPECT_EQ(Status(), "Operation Completed");

    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, Cell(0, 2));
    EXPECT_FALSE(errors->isVisible()) << "only the name cell explains";
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, Cell(0, 1));
    ASSERT_TRUE(errors->isVisible());
    EXPECT_EQ(Shown(errors).mid(0, 2),
              (QStringList{"There are missing parts.", "   - Missing Part#: 2"}));
    EXPECT_EQ(errors->GetHorizontalExtent(), 25);
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, Cell(1, 1));
    EXPECT_EQ(Shown(errors), QStringList{"This file appears to be okay, and decoding is likely "
                                         "to be successful."});
    EXPECT_EQ(errors->GetHorizontalExtent(), 400);

    // A second check neither rescans nor keeps the old log.
    Click(IDC_CHECKFILES);
    EXPECT_TRUE(InfoLines().isEmpty());
    EXPECT_EQ(Column(1), (QStringList{"split.bin", "whole.bin"}));
    EXPECT_FALSE(errors->isVisible());
}

TEST_F(DecodeView, InputWithNothingDecodableSaysSo) {
    test::WriteFile(dir / "plain.txt", "Just a letter.\nNothing encoded here.\n");
    AddFiles({Qs(dir / "plain.txt")});
    Click(IDC_CHECKFILES);
    QString text = ExpectOneBox(MB_ICONHAND);
    EXPECT_TRUE(text.startsWith("The files you have loaded can not be decoded"))
        << text.toStdString();
    EXPECT_EQ(results->GetItemCount(), 0);
}

TEST_F(DecodeView, DecodeWritesEveryReadyFileIntoTheSaveDirectory) {
    std::string alpha = test::RandomBytes(3000, 3), bravo = test::RandomBytes(70000, 4);
    AddFiles(
        {Qs(Encoded("a.uue", "a.bin", alpha, dir)), Qs(Encoded("b.uue", "b.bin", bravo, dir))});
    test::TempDir out;
    savePath->setText(Qs(out.path()));
    Click(IDC_CHECKFILES);
    EXPECT_FALSE(InfoLines().filter("Loaded").isEmpty());
    Click(IDC_DECODEFILES);
    EXPECT_EQ(test::ReadFile(out / "a.bin"), alpha);
    EXPECT_EQ(test::ReadFile(out / "b.bin"), bravo);
    EXPECT_EQ(Images(), (std::vector<int>{0, 0}));
    EXPECT_EQ(Status(), "Operation Completed");
    EXPECT_EQ(view->Session().Loaded(), true);
    EXPECT_FALSE(view->Session().Busy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";

    EXPECT_TRUE(InfoLines().filter("Loaded").isEmpty()) << "no second scan before decoding";

    // Again, on the same scan: every ready record once more.
    unlink((out / "a.bin").c_str());
    Click(IDC_DECODEFILES);
    EXPECT_EQ(test::ReadFile(out / "a.bin"), alpha);
}

TEST_F(DecodeView, AFailingDecodeEndsTheRunAtThatRecord) {
    for (const char* name : {"a", "b", "c"})
        Encoded(std::string(name) + ".uue", std::string(name) + ".bin", name, dir);
    AddFiles({Qs(dir / "a.uue"), Qs(dir / "b.uue"), Qs(dir / "c.uue")});
    test::WriteFile(dir / "b.bin", "older b");
    view->m_bOverwriteExisting = 0;
    Click(IDC_DECODEFILES);
    EXPECT_EQ(ExpectOneBox(MB_ICONHAND),
              "The target file already exists, and you did not allow overwrite existing files.");
    EXPECT_EQ(Column(1), QStringList{"a.bin"});
    EXPECT_EQ(test::ReadFile(dir / "b.bin"), "older b");
    EXPECT_FALSE(test::Exists(dir / "c.bin"));
    EXPECT_EQ(Status(), "Operation Completed");
    EXPECT_EQ(view->Session().Loaded(), false);

    // The row left over names nothing the library still holds.
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, Cell(0, 1));
    EXPECT_FALSE(errors->isVisible());
    QTest::mouseClick(results->viewport(), Qt::RightButton, {}, Cell(0, 1));
    ASSERT_TRUE(results->IsEditing());
    QTest::keyClicks(results->EditField(), "renamed.bin");
    QTest::keyClick(results->EditField(), Qt::Key_Return);
    EXPECT_EQ(results->GetItemText(0, 1), "a.bin");
}

TEST_F(DecodeView, EscDuringSlowDecodeCancelsAndLeavesNoPartialFile) {
    std::string big = test::RandomBytes(24 << 20, 5);
    AddFiles({Qs(Encoded("big.uue", "big.bin", big, dir))});
    test::TempDir out;
    savePath->setText(Qs(out.path()));
    Click(IDC_CHECKFILES);
    ASSERT_EQ(results->GetItemCount(), 1);
    // Waits in the queue until the decode's progress callback looks at input.
    QCoreApplication::postEvent(view, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
    Click(IDC_DECODEFILES);
    EXPECT_EQ(ExpectOneBox(MB_ICONHAND), "The operation was canceled at the users request.");
    EXPECT_TRUE(out.List().empty());
    EXPECT_EQ(view->Session().Loaded(), false);
    EXPECT_EQ(results->GetItemCount(), 0);
    EXPECT_EQ(Status(), "Operation Completed");

    // Esc while scanning: the next check scans everything again.
    QCoreApplication::postEvent(view, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
    Click(IDC_CHECKFILES);
    EXPECT_EQ(ExpectOneBox(MB_ICONHAND), "The operation was canceled at the users request.");
    EXPECT_EQ(results->GetItemCount(), 0);
    Click(IDC_CHECKFILES);
    EXPECT_EQ(results->GetItemCount(), 1);
}

// What could start a command while a check or a decode runs waits for its end or is refused:
// a drop changes nothing (the list, the scan and the output stay those of the pass), and a
// toolbar click is carried out once the pass is over.
TEST_F(DecodeView, ADropOrAClickDuringAPassDoesNotEnterIt) {
    std::string big = test::RandomBytes(24 << 20, 7);
    QString input = Qs(Encoded("big.uue", "big.bin", big, dir));
    AddFiles({input});
    test::TempDir out;
    savePath->setText(Qs(out.path()));
    frame->DragAcceptFiles(true);  // as the program starts
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Qs(Encoded("small.uue", "small.bin", "x", dir)))});
    auto postDrop = [&] {
        QCoreApplication::postEvent(frame.get(), new QDragEnterEvent(QPoint(50, 50), Qt::CopyAction,
                                                                     &mime, Qt::LeftButton, {}));
        QCoreApplication::postEvent(frame.get(), new QDropEvent(QPointF(50, 50), Qt::CopyAction,
                                                                &mime, Qt::LeftButton, {}));
    };
    postDrop();
    Click(IDC_CHECKFILES);
    EXPECT_EQ(doc.m_inputFiles, QStringList{input});
    ASSERT_EQ(Column(1), QStringList{"big.bin"});

    postDrop();
    Click(IDC_DECODEFILES);
    EXPECT_EQ(doc.m_inputFiles, QStringList{input});
    EXPECT_TRUE(test::ReadFile(out / "big.bin") == big);

    // Remove All on the toolbar, clicked during a check: it waits, then empties the list.
    view->OnAddFileList({input});
    QWidget* removeAll = frame->ToolBar()->widgetForAction(frame->Command(IDC_REMOVEALLFILES));
    ASSERT_NE(removeAll, nullptr);
    QPoint centre = removeAll->rect().center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            removeAll, new QMouseEvent(type, centre, removeAll->mapToGlobal(centre), Qt::LeftButton,
                                       Qt::LeftButton, {}));
    Click(IDC_CHECKFILES);
    EXPECT_EQ(Column(1), QStringList{"big.bin"}) << "the check ran to its end";
    QCoreApplication::processEvents();
    EXPECT_TRUE(doc.m_inputFiles.isEmpty());
}

TEST_F(DecodeView, RenamingTakesAProbedNameAndRefusesOthers) {
    std::string data = test::RandomBytes(4000, 6);
    AddFiles({Qs(Encoded("r.uue", "original.bin", data, dir))});
    Click(IDC_CHECKFILES);
    auto rename = [&](const QString& text) {
        QTest::mouseClick(results->viewport(), Qt::RightButton, {}, Cell(0, 1));
        ASSERT_TRUE(results->IsEditing());
        QTest::keyClicks(results->EditField(), text);
        QTest::keyClick(results->EditField(), Qt::Key_Return);
    };
    QTest::mouseClick(results->viewport(), Qt::RightButton, {}, Cell(0, 2));
    EXPECT_FALSE(results->IsEditing()) << "only the name cell is editable";

    rename("sub/name.txt");
    EXPECT_TRUE(ExpectOneBox(MB_ICONEXCLAMATION).endsWith("\n\nFile Name: \"sub/name.txt\""));
    EXPECT_EQ(results->GetItemText(0, 1), "original.bin");
    rename("..");
    EXPECT_TRUE(ExpectOneBox(MB_ICONEXCLAMATION).startsWith("Changes ignored!!"));

    rename("report.zip");
    EXPECT_EQ(results->GetItemText(0, 1), "report.zip");
    EXPECT_FALSE(QFile::exists(QDir::tempPath() + "/report.zip")) << "the probe is removed";
    Click(IDC_DECODEFILES);
    EXPECT_EQ(test::ReadFile(dir / "report.zip"), data);
    EXPECT_FALSE(test::Exists(dir / "original.bin"));

    // A new input list forgets the new name.
    view->OnAddFileList({Qs(dir / "r.uue")});
    Click(IDC_CHECKFILES);
    EXPECT_EQ(Column(1), QStringList{"original.bin"});
}

TEST_F(DecodeView, EditFileOpensTheSelectedPathWholeAndDropsTheScan) {
    std::string spaced = Encoded("part 1.uue", "p.bin", "x", dir);
    AddFiles({Qs(spaced)});
    Click(IDC_CHECKFILES);
    Click(IDC_EDITFILE);
    EXPECT_EQ(presenter.m_editorPaths, QStringList{Qs(spaced)});
    EXPECT_EQ(results->GetItemCount(), 0);

    presenter.m_bEditorStarts = false;
    Click(IDC_CHECKFILES);
    Click(IDC_EDITFILE);
    std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error Spawning Viewer");
    EXPECT_EQ(boxes[0].style, MB_ICONSTOP);
    EXPECT_EQ(results->GetItemCount(), 0);
}

TEST_F(DecodeView, InfoWindowToggleAndSettingsLastUntilTheNextStart) {
    QAction* toggle = view->Command(ID_INFO_WINDOW);
    ASSERT_TRUE(view->m_pInfoWnd);
    EXPECT_TRUE(view->m_pInfoWnd->isVisible());
    EXPECT_TRUE(toggle->isChecked());
    toggle->trigger();
    EXPECT_FALSE(view->m_pInfoWnd->isVisible());
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(view->m_bOverwriteExisting, 1);
    EXPECT_EQ(view->m_bIgnoreErrors, 0);
    view->m_bDefaultSavePath = 1;
    savePath->setText("/srv/out");

    Stop();
    QSettings profile;
    EXPECT_EQ(profile.value("Options/Info Window").toInt(), 1);
    EXPECT_EQ(profile.value("Options/Last Save Path").toString(), "/srv/out");
    Start();
    EXPECT_FALSE(view->m_pInfoWnd->isVisible()) << "hidden at the last exit, hidden now";
    EXPECT_FALSE(view->Command(ID_INFO_WINDOW)->isChecked());
    EXPECT_EQ(savePath->text(), "/srv/out");
    EXPECT_EQ(view->m_bDefaultSavePath, 1);
    view->Command(ID_INFO_WINDOW)->trigger();
    EXPECT_TRUE(view->m_pInfoWnd->isVisible());

    view->m_bDefaultSavePath = 0;
    Stop();
    EXPECT_FALSE(QSettings().contains("Options/Last Save Path"));
    Start();
    EXPECT_EQ(savePath->text(), "");
}

TEST_F(DecodeView, BusyStatusTextsReachTheStatusBar) {
    emit view->BusyChanged(1);
    EXPECT_EQ(Status(), "Hit ESC key to cancel operation");
    emit view->BusyChanged(0);
    EXPECT_EQ(Status(), "Operation Completed");
}

TEST_F(DecodeView, ControlsAreFoundByTheirAccessibleNames) {
    auto name = [](QObject* object) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
        return iface ? iface->text(QAccessible::Name) : QString("<none>");
    };
    EXPECT_EQ(name(savePath), "Save to Directory:");
    EXPECT_EQ(name(files), "Files to Decode:");
    EXPECT_EQ(name(results), "Resulting Files:");
    EXPECT_EQ(name(errors), "Error List:");
    for (int id : {IDC_ADDFILES, IDC_CHECKFILES, IDC_DECODEFILES, IDC_REMOVEFILE, IDC_EDITFILE,
                   IDC_REMOVEALLFILES}) {
        QPushButton* button = view->findChild<QPushButton*>(ControlName(id));
        EXPECT_EQ(name(button), button->text().remove('&'));
    }
    EXPECT_EQ(name(view->m_pInfoWnd->List()), "Information Window");
}

}  // namespace
