// The application shell: start-up with and without names, the command line, the main frame's
// bars, drops and saved layout, the options dialog and folder chooser, the splash, desktop
// registration and the automation start of the real program.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/FileCommandLineInfo.h"
#include "app/MainFrame.h"
#include "app/ShellRegistration.h"
#include "app/SplashDlg.h"
#include "app/TamselApp.h"
#include "controls/ListBox.h"
#include "decode/TamselDoc.h"
#include "log/InfoWnd.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/ScriptedPresenter.h"
#include "support/test_support.h"
#include "workspace/TamselView.h"

namespace {

using test::Qs;

// Runs body on the next modal dialog once it is up.
void WhenModal(std::function<void(QDialog*)> body) {
    QTimer::singleShot(0, [body] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        body(dialog);
    });
}

class Shell : public ::testing::Test {
  protected:
    void SetUp() override { QSettings().clear(); }
    void TearDown() override { presenter.ExpectNoOtherBoxes(); }
    std::unique_ptr<CMainFrame> NewFrame() {
        auto frame = std::make_unique<CMainFrame>(&doc);
        frame->GetActiveView()->OnInitialUpdate();
        frame->show();
        return frame;
    }
    static QLineEdit* SavePath(CMainFrame& frame) {
        return frame.GetActiveView()->findChild<QLineEdit*>(ControlName(IDC_SAVEPATH));
    }

    test::ScriptedPresenter presenter;
    test::TempDir dir;
    test::CurrentDirectory current{dir.path()};
    CTamselDoc doc;
};

TEST_F(Shell, CommandLineNamesAreCompletedTestedAndKeptInOrder) {
    test::WriteFile(dir / "a.uue", "x");
    test::WriteFile(dir / "b.uue", "x");
    mkdir((dir / "sub").c_str(), 0700);
    test::WriteFile(dir / "sub/c.uue", "x");
    CFileCommandLineInfo info;
    info.ParseCommandLine({"a.uue", "-Embedding", "sub/c.uue", Qs(dir / "b.uue"), "*.uue", "sub",
                           "a.uue", "missing.uue", "*.xxe", QString(5000, 'n')});
    const QString cwd = Qs(dir.path());
    EXPECT_EQ(info.m_fileNames, (QStringList{cwd + "/a.uue", "sub/c.uue", cwd + "/b.uue",
                                             cwd + "/*.uue", cwd + "/sub", cwd + "/a.uue"}));
    EXPECT_TRUE(info.m_bRunEmbedded);
    EXPECT_FALSE(info.m_bRunAutomated);
    std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Unable to locate " + cwd +
                                 "/missing.uue\nFile not added to "
                                 "decoding list");
    EXPECT_EQ(boxes[0].style, MB_ICONSTOP);
    EXPECT_TRUE(boxes[1].text.startsWith("Unable to locate " + cwd + "/*.xxe\n"));
    EXPECT_TRUE(boxes[2].text.startsWith("Unable to locate ")) << "longer than a path may be";

    CFileCommandLineInfo automation;
    automation.ParseCommandLine({"--automation"});
    EXPECT_TRUE(automation.m_bRunAutomated);
    EXPECT_TRUE(automation.m_fileNames.isEmpty());
}

TEST_F(Shell, StartUpHandsTheNamesToTheViewAndRegistersWithTheDesktop) {
    test::WriteFile(dir / "b.uue", "x");
    test::WriteFile(dir / "A.uue", "x");
    {
        CTamselApp app;
        ASSERT_TRUE(app.InitInstance({"b.uue", "A.uue"}));
        CMainFrame* frame = app.MainWindow();
        ASSERT_TRUE(frame && frame->isVisible());
        EXPECT_EQ(frame->windowTitle(), "Corvane/Encoder for WIN32");
        EXPECT_TRUE(frame->acceptDrops());
        EXPECT_EQ(frame->GetActiveView()->GetDocument()->m_inputFiles,
                  (QStringList{Qs(dir / "A.uue"), Qs(dir / "b.uue")}));
        EXPECT_EQ(SavePath(*frame)->text(), Qs(dir.path()));
    }
    const QString data = XdgDataHome();
    QFile entry(data + "/applications/tamselwin.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("MimeType=application/x-tamselwin32-document;"));
    EXPECT_TRUE(
        text.contains("Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\" %F"));
    EXPECT_TRUE(QFile::exists(data + "/mime/packages/tamselwin.xml"));
    EXPECT_TRUE(QFile::exists(data + "/dbus-1/services/org.vantrel.TamselWin32.service"));
    EXPECT_FALSE(RegisterShellFileTypes(QCoreApplication::applicationFilePath()))
        << "nothing changed, nothing written";
    EXPECT_TRUE(RegisterShellFileTypes("/opt/my apps/tamselwin"));
    QFile moved(data + "/applications/tamselwin.desktop");
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(moved.readAll().contains("Exec=\"/opt/my apps/tamselwin\" %F"));

    CTamselApp bare;
    ASSERT_TRUE(bare.InitInstance({}));
    EXPECT_TRUE(bare.MainWindow()->GetActiveView()->GetDocument()->m_inputFiles.isEmpty());
}

TEST_F(Shell, MenuToolbarAndStatusBarCarryTheCommands) {
    auto frame = NewFrame();
    QStringList menus;
    for (QAction* menu : frame->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&View", "&Help"}));
    QStringList fileItems;
    for (QAction* item : frame->findChild<QMenu*>("menuFile")->actions())
        fileItems << (item->isSeparator() ? "-" : item->text());
    EXPECT_EQ(fileItems, (QStringList{"&Encode Files", "-", "&Add Files", "&Remove All Files",
                                      "&Check Files", "&Decode Files", "-", "E&xit"}));
    QStringList tips;
    for (QAction* button : frame->ToolBar()->actions()) {
        tips << (button->isSeparator() ? "-" : button->toolTip());
        EXPECT_TRUE(button->isSeparator() || !button->icon().isNull()) << tips.last().toStdString();
    }
    EXPECT_EQ(tips,
              (QStringList{"Encode Files", "-", "Add Files", "Remove File", "Remove All Files",
                           "Edit File", "-", "Check Files", "Decode Files", "-",
                           "(Un)Hide Info Window", "Decoding options", "About", "-", "Exit"}));
    EXPECT_EQ(frame->Command(IDC_DECODEFILES)->statusTip(),
              "Decode Files (Performs Check if needed)");
    EXPECT_EQ(frame->IndicatorTexts(), (QStringList{"", "", ""}))
        << "the offscreen platform has no lock keys to show";

    // Dropped files replace the list, in the order dropped.
    frame->GetActiveView()->OnAddFileList({"/old/one.uue"});
    frame->DragAcceptFiles(true);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/in/c.uue"), QUrl::fromLocalFile("/other/a.uue"),
                  QUrl::fromLocalFile("/in/b.uue")});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(frame.get(), &drop);
    EXPECT_EQ(doc.m_inputFiles, (QStringList{"/other/a.uue", "/in/b.uue", "/in/c.uue"}));
    EXPECT_EQ(SavePath(*frame)->text(), "/in");

    // A web link is no file: not taken, and the list stays.
    QMimeData link;
    link.setUrls({QUrl("https://example.org/a.uue")});
    QDragEnterEvent linkEnter(QPoint(50, 50), Qt::CopyAction, &link, Qt::LeftButton, {});
    QApplication::sendEvent(frame.get(), &linkEnter);
    EXPECT_FALSE(linkEnter.isAccepted());
    QDropEvent linkDrop(QPointF(50, 50), Qt::CopyAction, &link, Qt::LeftButton, {});
    QApplication::sendEvent(frame.get(), &linkDrop);
    EXPECT_EQ(doc.m_inputFiles.size(), 3);
}

TEST_F(Shell, BarLayoutComesBackAfterARestart) {
    {
        auto frame = NewFrame();
        frame->addToolBar(Qt::LeftToolBarArea, frame->ToolBar());
        frame->Command(ID_VIEW_STATUS_BAR)->trigger();
        EXPECT_FALSE(frame->statusBar()->isVisible());
        frame->close();
    }
    {
        auto frame = NewFrame();
        EXPECT_EQ(frame->toolBarArea(frame->ToolBar()), Qt::LeftToolBarArea);
        EXPECT_FALSE(frame->statusBar()->isVisible());
        EXPECT_FALSE(frame->Command(ID_VIEW_STATUS_BAR)->isChecked());
        frame->Command(ID_VIEW_STATUS_BAR)->trigger();
        frame->ToolBar()->toggleViewAction()->trigger();
        frame->close();
    }
    auto frame = NewFrame();
    EXPECT_TRUE(frame->statusBar()->isVisible());
    EXPECT_TRUE(frame->ToolBar()->isHidden());
}

TEST_F(Shell, DecodeOptionsOnlyCloseWithOkAndFillInTheTemporaryDirectory) {
    auto frame = NewFrame();
    CTamselView* view = frame->GetActiveView();
    EXPECT_EQ(view->m_bOverwriteExisting, 1);
    EXPECT_EQ(view->m_bIgnoreErrors, 0);
    EXPECT_EQ(view->m_bDefaultSavePath, 0);
    EXPECT_EQ(SavePath(*frame)->text(), "");
    bool sawViewValues = false;
    WhenModal([&](QDialog* dialog) {
        auto box = [dialog](int id) { return dialog->findChild<QCheckBox*>(ControlName(id)); };
        sawViewValues =
            box(1034)->isChecked() && !box(1035)->isChecked() && !box(1039)->isChecked();
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        EXPECT_TRUE(dialog->isVisible()) << "neither Esc nor the close box ends it";
        box(1039)->setChecked(true);
        box(1035)->setChecked(true);
        QTest::mouseClick(dialog->findChild<QPushButton*>(ControlName(IDOK)), Qt::LeftButton);
    });
    frame->Command(ID_OPTIONS)->trigger();
    EXPECT_TRUE(sawViewValues) << "the dialog shows the view's values";
    EXPECT_EQ(view->m_bIgnoreErrors, 1);
    EXPECT_EQ(view->m_bDefaultSavePath, 1);
    EXPECT_EQ(SavePath(*frame)->text(), QDir::tempPath() + "/");

    // At exit the option keeps the text, even an empty one; the next start has it off then.
    SavePath(*frame)->clear();
    frame->close();
    EXPECT_EQ(QSettings().value("Options/Last Save Path", "absent").toString(), "");
    EXPECT_EQ(QSettings().value("Options/Ignore Errors").toInt(), 1);
    frame = NewFrame();
    EXPECT_EQ(frame->GetActiveView()->m_bDefaultSavePath, 0);
    EXPECT_EQ(frame->GetActiveView()->m_bIgnoreErrors, 1);
}

TEST_F(Shell, FolderChooserOutcomes) {
    auto frame = NewFrame();
    QLineEdit* edit = SavePath(*frame);
    edit->setText("/typed");
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QPushButton* browse = frame->GetActiveView()->findChild<QPushButton*>(ControlName(IDC_BROWSE));

    presenter.m_nFolderOutcome = 1;
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(presenter.m_strFolderTitle, "Select a Directory to Decode to");
    EXPECT_EQ(presenter.m_strFolderStart, QDir::currentPath()) << "not the folder typed";
    EXPECT_EQ(edit->text(), "/typed");
    EXPECT_TRUE(edit->hasFocus());

    presenter.m_nFolderOutcome = 0;
    presenter.m_strFolder = "/srv/decoded";
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(edit->text(), "/srv/decoded");

    presenter.m_nFolderOutcome = -1;
    QTest::mouseClick(browse, Qt::LeftButton);
    std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith("TamselWin32 was unable to display the available\n"));
    EXPECT_EQ(boxes[0].style, MB_ICONEXCLAMATION) << "a type 0 box gets the exclamation icon";
    EXPECT_EQ(edit->text(), "/srv/decoded");
    EXPECT_TRUE(edit->hasFocus());
}

TEST_F(Shell, SplashClosesOnItsTimerOrALeftClickButNotARightClick) {
    QPointer<CSplashDlg> splash = CSplashThread::Start();
    ASSERT_TRUE(splash && splash->isVisible());
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash->findChild<QTimer*>()->interval(), 5000);
    QTest::mouseClick(splash, Qt::RightButton);
    QCoreApplication::processEvents();
    ASSERT_TRUE(splash && splash->isVisible());
    QTest::mouseClick(splash, Qt::LeftButton);
    splash->OnCloseSplash();  // a second request finds the window closing
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 5000));

    QPointer<CSplashDlg> timed = CSplashThread::Start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return timed.isNull(); }, 5000));
}

TEST_F(Shell, AboutBoxClosesWithOk) {
    auto frame = NewFrame();
    frame->SetAboutHandler(&CTamselApp::OnAppAbout);
    QString title;
    WhenModal([&](QDialog* dialog) {
        title = dialog->windowTitle();
        QTest::mouseClick(dialog->findChild<QPushButton*>(ControlName(IDOK)), Qt::LeftButton);
    });
    frame->Command(ID_APP_ABOUT)->trigger();
    EXPECT_EQ(title, "About TamselWin32");
}

// The real program, started by an automation client.
TEST(AutomationStart, ServesADocumentOnTheSessionBusOrSaysThereIsNone) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    QProcess lonely;
    lonely.setProcessEnvironment(env);
    lonely.start(TAMSELWIN_BINARY, {"-Automation"});
    ASSERT_TRUE(lonely.waitForFinished(60000));
    EXPECT_EQ(lonely.exitCode(), 0);
    EXPECT_TRUE(lonely.readAllStandardError().contains("no D-Bus session bus"));

    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon.waitForReadyRead(10000)) << "dbus-daemon must be installed";
    QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    QProcess server;
    server.setProcessEnvironment(env);
    server.start(TAMSELWIN_BINARY, {"-Embedding"});
    ASSERT_TRUE(server.waitForStarted());
    QDBusConnection bus = QDBusConnection::connectToBus(address, "automation-test");
    ASSERT_TRUE(bus.isConnected());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bus.interface()->isServiceRegistered("org.vantrel.TamselWin32").value(); },
        30000));
    server.terminate();
    server.waitForFinished(10000);
    QDBusConnection::disconnectFromBus("automation-test");
    daemon.terminate();
    daemon.waitForFinished(10000);
}

}  // namespace

namespace {

// The keyboard as in a dialog: Enter presses the button that has the focus, Alt and a menu's
// letter opens that menu (not a button of the form underlined with the same letter), and the
// status bar shows the idle text again once a prompt is gone.
TEST_F(Shell, KeyboardAndStatusBarBehaveAsOnTheDesktop) {
    auto frame = NewFrame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    CTamselView* view = frame->GetActiveView();
    view->OnAddFileList({"/in/a.uue"});
    auto* add = view->findChild<QPushButton*>(ControlName(IDC_ADDFILES));
    add->setFocus();
    presenter.m_fileAnswers.push_back(std::nullopt);  // the dialog, cancelled
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_TRUE(presenter.m_fileAnswers.empty()) << "Enter on Add Files opens its dialog";

    auto* removeAll = view->findChild<QPushButton*>(ControlName(IDC_REMOVEALLFILES));
    EXPECT_EQ(removeAll->text(), "Remove all &Files");
    bool opened = false;
    QTimer::singleShot(100, [&] {
        QWidget* popup = QApplication::activePopupWidget();
        opened = popup && popup->objectName() == "menuFile";
        if (popup) popup->close();
    });
    QTest::keyClick(view->findChild<QLineEdit*>(ControlName(IDC_SAVEPATH)), Qt::Key_F,
                    Qt::AltModifier);
    QTest::qWait(200);
    EXPECT_TRUE(opened) << "Alt+F opens the File menu";
    EXPECT_EQ(doc.m_inputFiles, QStringList{"/in/a.uue"}) << "and empties no list";

    QStatusTipEvent prompt(frame->Command(IDC_CHECKFILES)->statusTip());
    QApplication::sendEvent(frame.get(), &prompt);
    EXPECT_EQ(frame->statusBar()->currentMessage(), frame->Command(IDC_CHECKFILES)->statusTip());
    QStatusTipEvent gone{QString()};
    QApplication::sendEvent(frame.get(), &gone);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Ready");

    // Every checkable item of the View menu shows its state as a check mark, none as an icon.
    for (QAction* item : frame->findChild<QMenu*>("menuView")->actions()) {
        if (!item->isCheckable()) continue;
        EXPECT_TRUE(item->icon().isNull() || !item->isIconVisibleInMenu())
            << qPrintable(item->text());
    }
}

}  // namespace

namespace {

// Encode, Decode Options, About and a message box open centred over the main window, wherever
// it is on the screen.
TEST_F(Shell, DialogsOpenOverTheMainWindow) {
    auto frame = NewFrame();
    frame->move(80, 170);  // away from the screen's centre, the dialogs still on it
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QPoint centre = frame->frameGeometry().center();
    std::vector<QString> opened;
    auto expectCentred = [&](QDialog* dialog) {
        opened.push_back(dialog->objectName());
        QPoint d = dialog->frameGeometry().center() - centre;
        EXPECT_LE(d.manhattanLength(), 4) << qPrintable(dialog->objectName());
        dialog->done(QDialog::Rejected);
    };
    for (int id : {ID_OPTIONS, ID_ENCODE_FILES, ID_APP_ABOUT}) {
        WhenModal(expectCentred);
        if (id == ID_APP_ABOUT)
            CTamselApp::OnAppAbout();
        else
            frame->Command(id)->trigger();
    }
    CDesktopPresenter desktop;
    WhenModal(expectCentred);
    desktop.MessageBox(nullptr, "a box", "caption", MB_ICONHAND);
    EXPECT_EQ(opened.size(), 4u);
}

}  // namespace
