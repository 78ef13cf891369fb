#include "app/MainFrame.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>

#include "app/LockKeys.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "workspace/TamselView.h"

CMainFrame::CMainFrame(CTamselDoc* document) {
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(LoadIcon(IDR_MAINFRAME));
    m_pView = new CTamselView(document, this);
    setCentralWidget(m_pView);
    connect(m_pView, &CTamselView::BusyChanged, this, [this](int busy) { OnBusyStatus(busy, 0); });

    auto* exitAction = new QAction(QStringLiteral("E&xit"), this);
    exitAction->setObjectName(QStringLiteral("command%1").arg(ID_APP_EXIT));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    auto* aboutAction = new QAction(QStringLiteral("&About TamselWin32..."), this);
    aboutAction->setObjectName(QStringLiteral("command%1").arg(ID_APP_ABOUT));
    connect(aboutAction, &QAction::triggered, this, [this] {
        if (m_onAppAbout) m_onAppAbout();
    });
    for (auto [action, id] : {std::pair{exitAction, ID_APP_EXIT}, {aboutAction, ID_APP_ABOUT}}) {
        action->setStatusTip(CommandPrompt(id));
        action->setToolTip(CommandTooltip(id));
    }

    CreateToolBar();
    CreateStatusBar();
    CreateMenu();
    setWindowTitle(LoadString(AFX_IDS_APP_TITLE));
    LoadBarState();
    m_pView->OnCreate();
}

QAction* CMainFrame::Command(int id) const {
    if (QAction* action = m_pView->Command(id)) return action;
    return findChild<QAction*>(QStringLiteral("command%1").arg(id));
}

void CMainFrame::CreateMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    const std::pair<int, const char*> fileItems[] = {{ID_ENCODE_FILES, "&Encode Files"},
                                                     {0, nullptr},
                                                     {IDC_ADDFILES, "&Add Files"},
                                                     {IDC_REMOVEALLFILES, "&Remove All Files"},
                                                     {IDC_CHECKFILES, "&Check Files"},
                                                     {IDC_DECODEFILES, "&Decode Files"},
                                                     {0, nullptr},
                                                     {ID_APP_EXIT, "E&xit"}};
    for (auto [id, text] : fileItems) {
        if (!id) {
            file->addSeparator();
        } else if (QAction* action = Command(id)) {
            action->setText(QString::fromUtf8(text));
            file->addAction(action);
        }
    }
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("menuView"));
    QAction* toolbarToggle = m_wndToolBar->toggleViewAction();
    toolbarToggle->setText(QStringLiteral("&Toolbar"));
    toolbarToggle->setObjectName(QStringLiteral("command%1").arg(ID_VIEW_TOOLBAR));
    toolbarToggle->setStatusTip(CommandPrompt(ID_VIEW_TOOLBAR));
    view->addAction(toolbarToggle);
    view->addAction(m_pStatusBarToggle);
    if (QAction* info = Command(ID_INFO_WINDOW)) {
        info->setText(QStringLiteral("&Info Window"));
        info->setIconVisibleInMenu(false);  // a check mark, as beside the other two
        view->addAction(info);
    }
    view->addSeparator();
    if (QAction* options = Command(ID_OPTIONS)) {
        options->setText(QStringLiteral("&Options"));
        view->addAction(options);
    }
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(Command(ID_APP_ABOUT));

    // Alt and a menu's letter opens the menu: a button of the form underlined with the same
    // letter keeps its caption but gives up the key.
    QList<QKeySequence> menuKeys;
    for (QAction* menu : menuBar()->actions())
        menuKeys << QKeySequence::mnemonic(menu->text());
    for (QAbstractButton* button : m_pView->findChildren<QAbstractButton*>())
        if (menuKeys.contains(QKeySequence::mnemonic(button->text())))
            button->setShortcut(QKeySequence());
}

void CMainFrame::CreateToolBar() {
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("TamselToolBar"));
    m_wndToolBar->setWindowTitle(QStringLiteral("Toolbar"));
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setMovable(true);
    const int buttons[] = {ID_ENCODE_FILES,
                           0,
                           IDC_ADDFILES,
                           IDC_REMOVEFILE,
                           IDC_REMOVEALLFILES,
                           IDC_EDITFILE,
                           0,
                           IDC_CHECKFILES,
                           IDC_DECODEFILES,
                           0,
                           ID_INFO_WINDOW,
                           ID_OPTIONS,
                           ID_APP_ABOUT,
                           0,
                           ID_APP_EXIT};
    for (int id : buttons) {
        if (!id) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction* action = Command(id);
        if (!action) continue;
        action->setIcon(LoadToolbarIcon(id));
        m_wndToolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("TamselStatusBar"));
    for (int id : {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL}) {
        auto* pane = new QLabel(this);
        pane->setObjectName(ControlName(id));
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(LoadString(id)) + 8);
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(pane);
        m_indicators << pane;
    }
    bar->showMessage(LoadString(AFX_IDS_IDLEMESSAGE));
    m_pStatusBarToggle = new QAction(QStringLiteral("&Status Bar"), this);
    m_pStatusBarToggle->setObjectName(QStringLiteral("command%1").arg(ID_VIEW_STATUS_BAR));
    m_pStatusBarToggle->setStatusTip(CommandPrompt(ID_VIEW_STATUS_BAR));
    m_pStatusBarToggle->setCheckable(true);
    m_pStatusBarToggle->setChecked(true);
    connect(m_pStatusBarToggle, &QAction::toggled, bar, &QWidget::setVisible);
    // The lock keys can change in any window, so the panes look again every half second.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
    timer->start(500);
    UpdateIndicators();
}

void CMainFrame::UpdateIndicators() {
    const LockKeyState locks = QueryLockKeys();
    const bool on[] = {locks.caps, locks.num, locks.scroll};
    const int ids[] = {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i)
        m_indicators[i]->setText(on[i] ? LoadString(ids[i]) : QString());
}

QStringList CMainFrame::IndicatorTexts() const {
    QStringList texts;
    for (QLabel* pane : m_indicators)
        texts << pane->text();
    return texts;
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::KeyRelease) UpdateIndicators();
    if (event->type() == QEvent::StatusTip) {
        // Leaving a menu item or a toolbar button brings back the idle text, not a blank pane.
        QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        statusBar()->showMessage(tip.isEmpty() ? LoadString(AFX_IDS_IDLEMESSAGE) : tip);
        return true;
    }
    return QMainWindow::event(event);
}

int CMainFrame::OnBusyStatus(int wParam, int /*lParam*/) {
    statusBar()->showMessage(LoadString(wParam ? IDS_BUSY : IDS_COMPLETED));
    statusBar()->repaint();
    return 0;
}

void CMainFrame::LoadBarState() {
    QSettings settings;
    settings.beginGroup(QStringLiteral("TamselBars"));
    QByteArray state = settings.value(QStringLiteral("Layout")).toByteArray();
    if (!state.isEmpty()) restoreState(state);
    bool statusShown = settings.value(QStringLiteral("StatusBar"), true).toBool();
    m_pStatusBarToggle->setChecked(statusShown);
    statusBar()->setVisible(statusShown);
}

void CMainFrame::SaveBarState() {
    QSettings settings;
    settings.beginGroup(QStringLiteral("TamselBars"));
    settings.setValue(QStringLiteral("Layout"), saveState());
    settings.setValue(QStringLiteral("StatusBar"), m_pStatusBarToggle->isChecked());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveBarState();
    m_pView->OnDestroy();
    event->accept();
}

namespace {

// The local files a drag carries (a web link is none).
QStringList LocalFiles(const QMimeData* mime) {
    QStringList paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

}  // namespace

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    OnDropFiles(paths);
}

void CMainFrame::OnDropFiles(const QStringList& paths) {
    m_pView->OnAddFileList(paths);
}
