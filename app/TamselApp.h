// The application object: start-up in its fixed order (splash, settings store, desktop
// registration, command line, then either the automation service or the main window with the
// named files) and the About command.
#pragma once

#include <QPointer>
#include <QStringList>
#include <memory>

class CMainFrame;
class CSplashDlg;
class CTamselDoc;
class QObject;

class CTamselApp {
  public:
    CTamselApp();
    ~CTamselApp();

    // arguments: the command line without the program name. False when the program should
    // end now, with ExitCode() as its status.
    bool InitInstance(const QStringList& arguments);
    int ExitCode() const { return m_nExitCode; }
    static void OnAppAbout();

    CMainFrame* MainWindow() const { return m_pMainFrame.get(); }

  private:
    bool StartAutomation();

    std::unique_ptr<CTamselDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<QObject> m_pAutomationDocument;
    QPointer<CSplashDlg> m_pSplash;  // closes itself; ends with the program at the latest
    int m_nExitCode = 0;
};
