#include "app/TamselApp.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/FileCommandLineInfo.h"
#include "app/MainFrame.h"
#include "app/ShellRegistration.h"
#include "app/SplashDlg.h"
#include "decode/TamselDoc.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "services/Presenter.h"
#include "workspace/TamselView.h"

CTamselApp::CTamselApp() = default;

CTamselApp::~CTamselApp() {
    delete m_pSplash;
    m_pMainFrame.reset();
    m_pDocument.reset();
}

bool CTamselApp::InitInstance(const QStringList& arguments) {
    m_pSplash = CSplashThread::Start(5);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantrel Software"));
    QCoreApplication::setApplicationName(LoadString(AFX_IDS_APP_TITLE));
    const QString executable = QCoreApplication::applicationFilePath();
    RegisterShellFileTypes(executable);

    CFileCommandLineInfo cmdInfo;
    cmdInfo.ParseCommandLine(arguments);
    if (cmdInfo.m_bRunEmbedded || cmdInfo.m_bRunAutomated) return StartAutomation();

    UpdateAutomationRegistration(executable);
    m_pDocument = std::make_unique<CTamselDoc>();
    m_pMainFrame = std::make_unique<CMainFrame>(m_pDocument.get());
    m_pMainFrame->SetAboutHandler(&CTamselApp::OnAppAbout);
    m_pMainFrame->GetActiveView()->OnInitialUpdate();
    m_pMainFrame->show();
    m_pMainFrame->raise();
    m_pMainFrame->activateWindow();
    if (!cmdInfo.m_fileNames.isEmpty())
        m_pMainFrame->GetActiveView()->OnAddFileList(cmdInfo.m_fileNames);
    m_pMainFrame->DragAcceptFiles(true);
    return true;
}

// An automation client starts us: serve one document object with no methods on the session
// bus, and show no main window.
bool CTamselApp::StartAutomation() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "tamselwin: no D-Bus session bus; the automation start ends here.\n");
        m_nExitCode = 0;
        return false;
    }
    m_pAutomationDocument = std::make_unique<QObject>();
    m_pAutomationDocument->setObjectName(QStringLiteral("CTamselDoc"));
    bus.registerObject(QLatin1String(kAutomationPath), m_pAutomationDocument.get(),
                       QDBusConnection::ExportAllSlots);
    if (!bus.registerService(QLatin1String(kAutomationService))) {
        std::fprintf(stderr, "tamselwin: could not take the D-Bus name %s: %s\n",
                     kAutomationService, qPrintable(bus.lastError().message()));
        m_nExitCode = 1;
        return false;
    }
    // The service lives while the session does.
    QObject::connect(bus.interface(), &QDBusConnectionInterface::serviceUnregistered, qApp,
                     [](const QString& name) {
                         if (name == QLatin1String(kAutomationService)) qApp->quit();
                     });
    return true;
}

void CTamselApp::OnAppAbout() {
    CAboutDlg dlg(DialogOwner());
    dlg.exec();
}
