// The decode workflow of the view: the input list, the library's scan of it, the check, the
// decode run and the renaming of an output. The library is initialised on the first check or
// decode and released whenever the input list changes or a load or decode fails.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "controls/ListBox.h"
#include "decode/DecodeRules.h"
#include "decode/TamselDoc.h"
#include "log/InfoWnd.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "services/BusyGuards.h"
#include "services/Presenter.h"
#include "vtlistctrl/VtListCtrl.h"
#include "workspace/TamselView.h"

namespace {

QString RecordName(const codec::FileRecord& record) {
    return record.name ? QString::fromUtf8(record.name) : LoadString(IDS_NO_FILENAME);
}

}  // namespace

class CTamselView::Pass {
  public:
    explicit Pass(CTamselView* view) : m_view(view), m_busy(view->m_bBusy), m_input(view) {
        m_view->m_pBusyInput = &m_input;
        emit m_view->BusyChanged(1);
    }
    ~Pass() {
        m_view->m_pBusyInput = nullptr;
        emit m_view->BusyChanged(0);
    }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

  private:
    CTamselView* m_view;
    CBusyFlag m_busy;
    CWaitCursor m_wait;
    CBusyInput m_input;
};

// ---- Input list and loading ----

bool CTamselView::RequireInputFiles() {
    if (!m_pDocument->m_inputFiles.isEmpty()) return true;
    AfxMessageBox(IDS_NO_FILES, MB_ICONHAND);
    return false;
}

void CTamselView::ResetScan() {
    if (!m_bLoaded) return;
    m_bLoaded = 0;
    ClearResults();
    m_library.CleanUp();
}

void CTamselView::ClearResults() {
    m_listResults->DeleteAllItems();
    m_wndErrorList->hide();
    m_wndErrorLabel->hide();
}

void CTamselView::OnAddFiles() {
    std::optional<QStringList> chosen =
        CPresenter::Current().GetOpenFileNames(this, LoadString(IDS_FILTER_DECODE));
    if (!chosen) return;
    ReplaceInputList(*chosen);
}

int CTamselView::OnAddFileList(const QStringList& paths) {
    ReplaceInputList(paths);
    return 0;
}

// Every entry keeps its own path; the list and the list box share one order (by file name,
// case-insensitive, equal names as given), and the save directory comes from the first path.
void CTamselView::ReplaceInputList(const QStringList& paths) {
    ResetScan();
    if (!paths.isEmpty()) m_wndSavePath->setText(DirectoryOf(paths.first()));
    m_pDocument->m_inputFiles = SortedByFileName(paths);
    ShowInputNames();
}

void CTamselView::ShowInputNames() {
    m_wndFileList->ResetContent();
    for (const QString& path : m_pDocument->m_inputFiles)
        m_wndFileList->AddString(FileNameOf(path));
    m_wndFileList->SetCurSel(0);
}

void CTamselView::OnRemoveFile() {
    if (!RequireInputFiles()) return;
    ResetScan();
    int index = m_wndFileList->GetCurSel();
    if (index >= 0 && index < m_pDocument->m_inputFiles.size())
        m_pDocument->m_inputFiles.removeAt(index);
    ShowInputNames();
}

void CTamselView::OnRemoveAllFiles() {
    if (!RequireInputFiles()) return;
    ResetScan();
    m_wndFileList->ResetContent();
    m_pDocument->m_inputFiles.clear();
}

bool CTamselView::InitCodecLibrary() {
    if (m_initializeLibrary(m_library) != codec::kOk) {
        CPresenter::Current().MessageBox(this, LoadString(IDS_INIT_ERROR),
                                         LoadString(IDS_INIT_ERROR_CAPTION), MB_ICONHAND);
        return false;
    }
    m_library.SetMsgCallback(m_pInfoWnd, InfoMsgCallback);
    m_library.SetBusyCallback(this, DecodeProgressCallback, 1);
    return true;
}

void CTamselView::HideProgress() {
    m_wndProgressText->hide();
    m_wndProgress->hide();
}

void CTamselView::ClearInfo() {
    if (m_pInfoWnd) m_pInfoWnd->OnClearInfo();
}

bool CTamselView::LoadInputFiles() {
    if (m_bLoaded) return true;
    Pass pass(this);
    bool loaded = InitCodecLibrary();
    for (int i = 0; loaded && i < m_pDocument->m_inputFiles.size(); ++i) {
        QByteArray path = QFile::encodeName(m_pDocument->m_inputFiles[i]);
        if (!ReportLibraryResult(m_library.LoadFile(path.constData(), nullptr, 0))) {
            m_library.CleanUp();
            HideProgress();
            loaded = false;
        }
    }
    m_bLoaded = loaded ? 1 : 0;
    return loaded;
}

bool CTamselView::ReportLibraryResult(int code) {
    int id = LibraryResultString(code);
    if (id == 0) return true;
    AfxMessageBox(id, MB_ICONHAND);
    return false;
}

int CTamselView::DecodeProgressCallback(void* opaque, const codec::Progress* progress) {
    auto* view = static_cast<CTamselView*>(opaque);
    CBusyInput::Turn turn = CBusyInput::Poll(view->m_pBusyInput);
    if (turn != CBusyInput::Turn::kShow) return turn == CBusyInput::Turn::kCancel ? 1 : 0;
    const QByteArray file = ProgressFileName(*progress);
    if (progress->action == codec::kActionScanning) {
        view->m_wndProgressText->setText(FormatString(IDS_SCANNING, file.constData()));
        view->m_wndProgressText->show();
        view->m_wndProgressText->repaint();
    } else if (progress->action == codec::kActionDecoding) {
        int percent = ProgressPercent(*progress);
        view->m_wndProgressText->setText(
            FormatString(IDS_DECODE_PROGRESS, file.constData(), percent));
        view->m_wndProgress->setValue(percent);
        view->m_wndProgressText->show();
        view->m_wndProgress->show();
        view->m_wndProgressText->repaint();
        view->m_wndProgress->repaint();
    }
    return 0;
}

// ---- Check and status report ----

void CTamselView::OnCheckFiles() {
    if (!RequireInputFiles()) return;
    ClearResults();
    ClearInfo();
    if (!LoadInputFiles()) return;
    CBusyFlag busy(m_bBusy);
    CWaitCursor wait;
    if (!m_library.GetFileListItem(0)) AfxMessageBox(IDS_NOTHING_DECODABLE, MB_ICONHAND);
    for (int i = 0; const codec::FileRecord* record = m_library.GetFileListItem(i); ++i)
        AddResultRow(*record, i, (record->state & codec::kStateReady) ? 1 : 0);
    HideProgress();
}

void CTamselView::AddResultRow(const codec::FileRecord& record, int index, int decodable) {
    int row = m_listResults->InsertItem(index, decodable == 1 ? 0 : 1);
    m_listResults->SetItemText(row, 1, RecordName(record));
    m_listResults->SetItemText(row, 2, SizeText(record.size));
}

void CTamselView::ShowFileStatus(int row) {
    const codec::FileRecord* record = m_library.GetFileListItem(row);
    if (!record) return;
    std::vector<std::string> lines = codec::DescribeState(*record);
    if (lines.empty()) return;
    m_wndErrorList->ResetContent();
    for (const std::string& line : lines)
        m_wndErrorList->AddString(QString::fromStdString(line));
    m_wndErrorList->SetHorizontalExtent(FileStatusExtent(record->state));
    m_wndErrorList->show();
    m_wndErrorLabel->show();
}

// ---- Decode run ----

void CTamselView::OnDecodeFiles() {
    if (!RequireInputFiles()) return;
    ClearResults();
    ClearInfo();
    if (!LoadInputFiles()) return;
    QByteArray directory = QFile::encodeName(m_wndSavePath->text() + QLatin1Char('/'));
    m_library.SetOption(codec::kOptOutputDir, 0, directory.constData());
    m_library.SetOption(codec::kOptDecodeWithErrors, m_bIgnoreErrors, nullptr);
    m_library.SetOption(codec::kOptOverwrite, m_bOverwriteExisting, nullptr);

    Pass pass(this);
    if (!m_library.GetFileListItem(0)) AfxMessageBox(IDS_NOTHING_DECODABLE, MB_ICONHAND);
    for (int i = 0; const codec::FileRecord* record = m_library.GetFileListItem(i); ++i) {
        int decoded = 0;
        if (record->state & codec::kStateReady) {
            if (!ReportLibraryResult(m_library.DecodeFile(record, nullptr))) {
                m_bLoaded = 0;
                m_library.CleanUp();
                break;
            }
            decoded = 1;
        }
        AddResultRow(*record, i, decoded);
    }
    HideProgress();
}

// ---- Output renaming ----

void CTamselView::OnRclickResults(unsigned long messagePos) {
    if (m_listResults->GetCellClicked(messagePos) == 1) m_listResults->EditCell(1);
}

void CTamselView::OnDblclkResults(unsigned long messagePos) {
    if (m_listResults->GetCellClicked(messagePos) == 1)
        ShowFileStatus(m_listResults->GetIndexSelectedRow());
}

int CTamselView::OnCellEdited() {
    QString name = m_listResults->GetEditText();
    if (!IsAcceptableOutputName(name, QDir::tempPath() + QLatin1Char('/'))) {
        CPresenter::Current().MessageBox(this, FormatString(IDS_BAD_FILENAME, qUtf8Printable(name)),
                                         LoadString(AFX_IDS_APP_TITLE), MB_ICONEXCLAMATION);
        return 1;
    }
    int row = m_listResults->GetChangedRowIndex();
    const codec::FileRecord* record = m_library.GetFileListItem(row);
    if (!record) return 1;  // a row left from a failed run: the library holds nothing to rename
    m_library.RenameFile(record, name.toUtf8().constData());
    m_listResults->SetItemText(row, 1, RecordName(*record));
    return 0;
}
