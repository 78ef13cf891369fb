// The form itself: its controls at their template positions, the command table, creation,
// initial update and destruction, the Information Window toggle, Edit File and the settings.
#include "workspace/TamselView.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QWindow>

#include "controls/DialogUnits.h"
#include "controls/FitTexts.h"
#include "controls/ListBox.h"
#include "decode/TamselDoc.h"
#include "encode/EncodeDlg.h"
#include "log/InfoWnd.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "services/Presenter.h"
#include "vtlistctrl/VtListCtrl.h"
#include "workspace/DecodeOptionsDlg.h"
#include "workspace/FolderBrowser.h"

CTamselView::CTamselView(CTamselDoc* document, QWidget* parent)
    : QWidget(parent), m_pDocument(document) {
    setObjectName(QStringLiteral("CTamselView"));
    CreateForm();
    AddCommand(IDC_ADDFILES, &CTamselView::OnAddFiles);
    AddCommand(IDC_REMOVEFILE, &CTamselView::OnRemoveFile);
    AddCommand(IDC_EDITFILE, &CTamselView::OnEditFile);
    AddCommand(IDC_CHECKFILES, &CTamselView::OnCheckFiles);
    AddCommand(IDC_DECODEFILES, &CTamselView::OnDecodeFiles);
    AddCommand(IDC_REMOVEALLFILES, &CTamselView::OnRemoveAllFiles);
    AddCommand(ID_INFO_WINDOW, &CTamselView::OnInfoWindow)->setCheckable(true);
    AddCommand(ID_OPTIONS, &CTamselView::OnOptions);
    AddCommand(IDC_BROWSE, &CTamselView::OnBrowseSavePath);
    AddCommand(ID_ENCODE_FILES, &CTamselView::OnEncodeFiles);
    for (int id : {IDC_ADDFILES, IDC_CHECKFILES, IDC_DECODEFILES, IDC_REMOVEFILE, IDC_EDITFILE,
                   IDC_REMOVEALLFILES, IDC_BROWSE})
        connect(findChild<QPushButton*>(ControlName(id)), &QPushButton::clicked, Command(id),
                &QAction::trigger);
}

CTamselView::~CTamselView() {
    OnDestroy();
}

QAction* CTamselView::AddCommand(int id, void (CTamselView::*handler)()) {
    auto* action = new QAction(CommandTooltip(id), this);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    action->setStatusTip(CommandPrompt(id));
    action->setToolTip(CommandTooltip(id));
    connect(action, &QAction::triggered, this, handler);
    m_commands.insert(id, action);
    return action;
}

QPushButton* CTamselView::AddButton(int id, const QString& caption, QRect dlu) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(ControlName(id));
    button->setGeometry(dlu);
    button->setAutoDefault(true);  // Enter presses the button that has the focus
    return button;
}

void CTamselView::CreateForm() {
    // The controls in template order, which is also the tab order.
    CDialogUnits du(font());
    m_formSize = du.Map(410, 200);
    auto label = [this](const QString& text, QRect rect, int id = -1) {
        auto* l = new QLabel(text, this);
        l->setGeometry(rect);
        if (id >= 0) l->setObjectName(ControlName(id));
        return l;
    };
    // Screen readers find a control by its label; lists do not look at buddies themselves.
    auto labelFor = [](QLabel* caption, QWidget* control) {
        caption->setBuddy(control);
        control->setAccessibleName(caption->text().remove(QLatin1Char('&')).simplified());
    };
    QLabel* saveLabel = label(QStringLiteral("&Save to Directory:"), du.Map(7, 7, 61, 9));
    m_wndSavePath = new QLineEdit(this);
    m_wndSavePath->setObjectName(ControlName(IDC_SAVEPATH));
    m_wndSavePath->setGeometry(du.Map(69, 7, 212, 14));
    labelFor(saveLabel, m_wndSavePath);
    AddButton(IDC_ADDFILES, QStringLiteral("&Add Files"), du.Map(160, 31, 50, 14));
    AddButton(IDC_CHECKFILES, QStringLiteral("&Check Files"), du.Map(160, 66, 50, 14));
    AddButton(IDC_DECODEFILES, QStringLiteral("&Decode Files"), du.Map(160, 98, 50, 14));
    AddButton(IDC_REMOVEFILE, QStringLiteral("&Remove File"), du.Map(14, 124, 50, 14));
    AddButton(IDC_EDITFILE, QStringLiteral("&Edit File"), du.Map(69, 124, 50, 14));
    m_wndFileList = new CListBox(this);
    m_wndFileList->setObjectName(ControlName(IDC_FILELIST));
    m_wndFileList->setGeometry(du.Map(13, 31, 139, 90));
    m_wndFileList->SetSorted(true);
    m_wndFileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    labelFor(label(QStringLiteral("Files to Decode:"), du.Map(14, 22, 54, 8)), m_wndFileList);
    QLabel* resultsLabel = label(QStringLiteral("Resulting Files:"), du.Map(213, 23, 55, 8));
    m_wndProgressText = label(QStringLiteral("text"), du.Map(63, 163, 186, 8), IDC_PROGRESSTEXT);
    m_wndProgressText->hide();
    m_wndProgress = new QProgressBar(this);
    m_wndProgress->setObjectName(ControlName(IDC_PROGRESS));
    m_wndProgress->setGeometry(du.Map(64, 171, 271, 14));
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->hide();
    m_listResults = new CVtListCtrl(this);
    m_listResults->setObjectName(ControlName(IDC_RESULTS));
    m_listResults->setGeometry(du.Map(213, 32, 189, 88));
    m_listResults->SetCellEditedHandler([this] { return OnCellEdited(); });
    connect(m_listResults, &CVtListCtrl::RightClicked, this, &CTamselView::OnRclickResults);
    connect(m_listResults, &CVtListCtrl::DoubleClicked, this, &CTamselView::OnDblclkResults);
    labelFor(resultsLabel, m_listResults);
    AddButton(IDC_REMOVEALLFILES, QStringLiteral("Remove all &Files"), du.Map(42, 142, 59, 14));
    m_wndErrorList = new CListBox(this);
    m_wndErrorList->setObjectName(ControlName(IDC_ERRORLIST));
    m_wndErrorList->setGeometry(du.Map(141, 129, 262, 64));
    m_wndErrorList->setSelectionMode(QAbstractItemView::NoSelection);
    m_wndErrorList->hide();
    m_wndErrorLabel =
        label(QStringLiteral("Error\n List:"), du.Map(125, 129, 16, 17), IDC_ERRORLABEL);
    labelFor(m_wndErrorLabel, m_wndErrorList);
    m_wndErrorLabel->hide();
    AddButton(IDC_BROWSE, QStringLiteral("..."), du.Map(282, 7, 13, 14))
        ->setAccessibleName(QStringLiteral("Browse for the save directory"));
    resize(m_formSize);
    setMinimumSize(m_formSize);
    FitTexts(this);
    m_formSize = minimumSize();
}

int CTamselView::OnCreate() {
    m_pInfoWnd = new CInfoWnd;
    if (!m_pInfoWnd->Create(this)) {
        delete m_pInfoWnd;
        m_pInfoWnd = nullptr;
        CPresenter::Current().MessageBox(this, LoadString(IDS_INFO_CREATE_FAILED),
                                         LoadString(AFX_IDS_APP_TITLE), MB_ICONSTOP);
    }
    return 0;
}

void CTamselView::OnInitialUpdate() {
    ReadSettings();
    m_wndSavePath->setText(m_strSavePath);
    if (m_pInfoWnd) m_pInfoWnd->setVisible(!m_bInfoHidden);
    OnUpdateInfoWindow();

    m_listResults->SetImageList({LoadIcon(IDI_RESULT_OK), LoadIcon(IDI_RESULT_BAD)});
    m_listResults->setIconSize(QSize(16, 16));
    m_listResults->InsertColumn(0, QStringLiteral("!"), Qt::AlignHCenter, 20);
    m_listResults->InsertColumn(1, LoadString(IDS_COLUMN_NAME), Qt::AlignLeft, 165);
    m_listResults->InsertColumn(2, LoadString(IDS_COLUMN_SIZE), Qt::AlignLeft, 95);
    m_listResults->SetHeaderBitmap(0, LoadBitmap(IDB_RESULTS_HEADER, QSize(12, 12)));

    if (QWidget* frame = window(); frame != this) frame->adjustSize();
}

void CTamselView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The Information Window goes below the form once the frame is on screen, where the window
    // manager put it: when its window is first exposed, not when it is shown (a window manager
    // places it only after that).
    if (!m_bInfoPlaced && window()->windowHandle())
        window()->windowHandle()->installEventFilter(this);
}

bool CTamselView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == window()->windowHandle() &&
        window()->windowHandle()->isExposed() && !m_bInfoPlaced) {
        m_bInfoPlaced = true;
        watched->removeEventFilter(this);
        if (m_pInfoWnd) m_pInfoWnd->PlaceBelow(this);
    }
    return QWidget::eventFilter(watched, event);
}

void CTamselView::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    m_strSavePath = m_wndSavePath->text();
    WriteSettings();
    m_library.SetMsgCallback(nullptr, InfoMsgCallback);
    delete m_pInfoWnd;
    m_pInfoWnd = nullptr;
}

void CTamselView::ReadSettings() {
    QSettings settings;
    settings.beginGroup(QStringLiteral("Options"));
    m_bOverwriteExisting = settings.value(QStringLiteral("Overwrite Existing"), 1).toInt();
    m_bIgnoreErrors = settings.value(QStringLiteral("Ignore Errors"), 0).toInt();
    m_bInfoHidden = settings.value(QStringLiteral("Info Window"), 0).toInt();
    m_strSavePath = settings.value(QStringLiteral("Last Save Path"), QString()).toString();
    m_bDefaultSavePath = m_strSavePath.isEmpty() ? 0 : 1;
}

void CTamselView::WriteSettings() {
    QSettings settings;
    settings.beginGroup(QStringLiteral("Options"));
    settings.setValue(QStringLiteral("Overwrite Existing"), m_bOverwriteExisting);
    settings.setValue(QStringLiteral("Ignore Errors"), m_bIgnoreErrors);
    settings.setValue(QStringLiteral("Info Window"), m_bInfoHidden);
    if (m_bDefaultSavePath)
        settings.setValue(QStringLiteral("Last Save Path"), m_strSavePath);
    else
        settings.remove(QStringLiteral("Last Save Path"));
}

void CTamselView::OnInfoWindow() {
    if (m_bInfoHidden) {
        if (m_pInfoWnd) {
            m_pInfoWnd->PlaceBelow(this);  // below the frame where it is now
            m_pInfoWnd->show();
        }
        m_bInfoHidden = 0;
        setFocus();
    } else {
        if (m_pInfoWnd) m_pInfoWnd->hide();
        m_bInfoHidden = 1;
    }
    OnUpdateInfoWindow();
}

void CTamselView::OnUpdateInfoWindow() {
    Command(ID_INFO_WINDOW)->setChecked(!m_bInfoHidden);
}

void CTamselView::OnOptions() {
    m_strSavePath = m_wndSavePath->text();
    CDecodeOptionsDlg dlg(window());
    dlg.m_bIgnoreErrors = m_bIgnoreErrors;
    dlg.m_bOverwriteExisting = m_bOverwriteExisting;
    dlg.m_bDefaultSavePath = m_bDefaultSavePath;
    dlg.DoModal();
    m_bIgnoreErrors = dlg.m_bIgnoreErrors;
    m_bOverwriteExisting = dlg.m_bOverwriteExisting;
    m_bDefaultSavePath = dlg.m_bDefaultSavePath;
    if (m_bDefaultSavePath && m_strSavePath.isEmpty())
        m_strSavePath = QDir::tempPath() + QLatin1Char('/');
    m_wndSavePath->setText(m_strSavePath);
}

void CTamselView::OnBrowseSavePath() {
    CFolderBrowser browser(LoadString(IDS_BROWSE_TITLE));
    int result = browser.ChooseFolder();
    if (result == 0)
        m_wndSavePath->setText(browser.GetPath());
    else if (result < 0)
        AfxMessageBox(IDS_BROWSE_FAILED, MB_OK);
    m_wndSavePath->setFocus();
}

void CTamselView::OnEncodeFiles() {
    if (!m_session.ReplaceInputs({})) return;  // the list emptied, the scan dropped
    m_wndFileList->ResetContent();
    if (InitCodecLibrary()) {
        CEncodeDlg dlg(&m_library, window());
        m_library.SetBusyCallback(&dlg, CEncodeDlg::EncodeBusyCallback, 1);
        bool restoreInfo = !m_bInfoHidden && m_pInfoWnd;
        if (restoreInfo) m_pInfoWnd->hide();
        dlg.DoModal();
        m_library.CleanUp();
        m_library.SetBusyCallback(this, DecodeProgressCallback, 1);  // the dialog is going
        if (restoreInfo) m_pInfoWnd->show();
    }
    setFocus();
}

void CTamselView::OnEditFile() {
    if (!m_session.RequireInputs()) return;
    ResetScan();
    int index = m_wndFileList->GetCurSel();
    if (index < 0 || index >= m_pDocument->m_inputFiles.size()) return;
    QString error;
    if (!CPresenter::Current().StartEditor(m_pDocument->m_inputFiles[index], &error))
        ShowSystemError(error);
}

void CTamselView::ShowSystemError(const QString& text) {
    CPresenter::Current().MessageBox(this, text, LoadString(IDS_SPAWN_ERROR), MB_ICONSTOP);
}
