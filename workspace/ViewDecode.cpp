// How the view drives and shows the decode session: the input list, the check, the decode run
// and the renaming of an output. The session initialises the library on the first check or
// decode and releases it whenever the input list changes or a load or decode fails; the view
// is its host (a pass's guards, boxes, the results cleared).
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
    explicit Pass(CTamselView* view) : m_view(view), m_input(view) {
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
    CWaitCursor m_wait;
    CBusyInput m_input;
};

// ---- Input list and loading ----

bool CTamselView::InitLibrary(codec::CodecLibrary&) {
    return InitCodecLibrary();
}

void CTamselView::PassBegins() {
    m_pass = new Pass(this);
}

void CTamselView::PassEnds() {
    delete m_pass;
    m_pass = nullptr;
}

void CTamselView::Say(int stringId) {
    AfxMessageBox(stringId, MB_ICONHAND);
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
    if (!m_session.ReplaceInputs(paths)) return;
    if (!paths.isEmpty()) m_wndSavePath->setText(DirectoryOf(paths.first()));
    ShowInputNames();
}

void CTamselView::ShowInputNames() {
    m_wndFileList->ResetContent();
    for (const QString& path : m_session.Inputs())
        m_wndFileList->AddString(FileNameOf(path));
    m_wndFileList->SetCurSel(0);
}

void CTamselView::OnRemoveFile() {
    if (!m_session.RemoveInput(m_wndFileList->GetCurSel())) return;
    ShowInputNames();
}

void CTamselView::OnRemoveAllFiles() {
    if (m_session.RemoveAllInputs()) m_wndFileList->ResetContent();
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
    if (m_session.Busy() || !m_session.RequireInputs()) return;
    ClearResults();
    ClearInfo();
    CWaitCursor wait;
    m_session.Check([this](const codec::FileRecord& record, int index, bool ready) {
        AddResultRow(record, index, ready ? 1 : 0);
    });
}

void CTamselView::AddResultRow(const codec::FileRecord& record, int index, int decodable) {
    int row = m_listResults->InsertItem(index, decodable == 1 ? 0 : 1);
    m_listResults->SetItemText(row, 1, RecordName(record));
    m_listResults->SetItemText(row, 2, SizeText(record.size));
}

void CTamselView::ShowFileStatus(int row) {
    const codec::FileRecord* record = m_session.Record(row);
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
    if (m_session.Busy() || !m_session.RequireInputs()) return;
    ClearResults();
    ClearInfo();
    CDecodeSession::Options options;
    options.directory = m_wndSavePath->text() + QLatin1Char('/');
    options.ignoreErrors = m_bIgnoreErrors != 0;
    options.overwrite = m_bOverwriteExisting != 0;
    m_session.Decode(options, [this](const codec::FileRecord& record, int index, bool decoded) {
        AddResultRow(record, index, decoded ? 1 : 0);
    });
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
    // A row left from a failed run: the library holds nothing to rename.
    if (!m_session.Rename(row, name)) return 1;
    m_listResults->SetItemText(row, 1, RecordName(*m_session.Record(row)));
    return 0;
}
