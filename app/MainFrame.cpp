#include "app/MainFrame.h"

#include <QCloseEvent>
#include <QStatusBar>

#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "workspace/TamselView.h"

CMainFrame::CMainFrame(CTamselDoc* document) {
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(LoadIcon(IDR_MAINFRAME));
    statusBar()->showMessage(LoadString(AFX_IDS_IDLEMESSAGE));
    m_pView = new CTamselView(document, this);
    setCentralWidget(m_pView);
    setWindowTitle(LoadString(AFX_IDS_APP_TITLE));
    m_pView->OnCreate();
}

int CMainFrame::OnBusyStatus(int wParam, int /*lParam*/) {
    statusBar()->showMessage(LoadString(wParam ? IDS_BUSY : IDS_COMPLETED));
    statusBar()->repaint();
    return 0;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    m_pView->OnDestroy();
    event->accept();
}
