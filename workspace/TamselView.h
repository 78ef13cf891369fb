// The workspace form: the input list, the Resulting Files list, the Error list, the save
// directory, the command buttons and the progress controls. Commands are QActions keyed by
// their ids, shared by the form's buttons and the frame's menu and toolbar. The view drives the
// codec library and shows what it reports; it holds no decoding rule of its own.
#pragma once

#include <QHash>
#include <QWidget>
#include <functional>

#include "codec/codec_library.h"
#include "decode/DecodeSession.h"

class CBusyInput;
class CInfoWnd;
class CListBox;
class CTamselDoc;
class CVtListCtrl;
class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CTamselView : public QWidget, private CDecodeSession::Host {
    Q_OBJECT

  public:
    explicit CTamselView(CTamselDoc* document, QWidget* parent = nullptr);
    ~CTamselView() override;

    CTamselDoc* GetDocument() const { return m_pDocument; }
    // The action of a command id, or null.
    QAction* Command(int id) const { return m_commands.value(id); }
    // The form's size, from its dialog units.
    QSize sizeHint() const override { return m_formSize; }

  signals:
    // A load or decode pass begins (1) or ends (0): what the frame's status bar says.
    void BusyChanged(int busy);

  public:
    // Life cycle, called by the frame: after the view is placed, once all is built, and when
    // the frame closes (settings are written then; the destructor does it when nobody did).
    int OnCreate();
    void OnInitialUpdate();
    void OnDestroy();

    // Commands.
    void OnAddFiles();
    void OnRemoveFile();
    void OnRemoveAllFiles();
    void OnEditFile();
    void OnCheckFiles();
    void OnDecodeFiles();
    void OnInfoWindow();
    void OnUpdateInfoWindow();
    void OnOptions();
    void OnBrowseSavePath();
    void OnEncodeFiles();
    // Dropped files and names from the command line: they replace the input list.
    int OnAddFileList(const QStringList& paths);

    // The Resulting Files list's notifications.
    void OnRclickResults(unsigned long messagePos);
    void OnDblclkResults(unsigned long messagePos);
    int OnCellEdited();

    static int DecodeProgressCallback(void* opaque, const codec::Progress* progress);

    CInfoWnd* m_pInfoWnd = nullptr;
    CVtListCtrl* m_listResults = nullptr;
    QString m_strSavePath;
    int m_bIgnoreErrors = 0;
    int m_bOverwriteExisting = 1;
    int m_bDefaultSavePath = 0;
    int m_bInfoHidden = 0;
    // The load, check and decode workflow this form shows.
    const CDecodeSession& Session() const { return m_session; }
    // How the library is made ready; a test may put a failing one here.
    std::function<int(codec::CodecLibrary&)> m_initializeLibrary =
        [](codec::CodecLibrary& library) { return library.Initialize(); };

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateForm();
    QAction* AddCommand(int id, void (CTamselView::*handler)());
    QPushButton* AddButton(int id, const QString& caption, QRect dlu);

    // The session's host: what a pass, a result and a dropped scan look like here.
    bool InitLibrary(codec::CodecLibrary& library) override;
    void PassBegins() override;
    void PassEnds() override;
    void Say(int stringId) override;
    void ScanDropped() override { ClearResults(); }
    void ProgressEnds() override { HideProgress(); }

    // Input list and loading.
    void ResetScan() { m_session.DropScan(); }
    void ClearResults();
    bool InitCodecLibrary();
    void ReplaceInputList(const QStringList& paths);
    void ShowInputNames();
    void HideProgress();
    // A load or decode pass, for its lifetime: wait cursor, the view's input watched for Esc,
    // and the frame told that a pass runs.
    class Pass;
    Pass* m_pass = nullptr;  // while the session runs one
    void ClearInfo();

    // Check and status report.
    void AddResultRow(const codec::FileRecord& record, int index, int decodable);
    void ShowFileStatus(int row);

    void ShowSystemError(const QString& text);
    void ReadSettings();
    void WriteSettings();

    CTamselDoc* m_pDocument;
    codec::CodecLibrary m_library;
    CDecodeSession m_session{*m_pDocument, m_library, *this};
    CBusyInput* m_pBusyInput = nullptr;
    QHash<int, QAction*> m_commands;
    QSize m_formSize;
    bool m_bDestroyed = false;
    bool m_bInfoPlaced = false;

    CListBox* m_wndFileList = nullptr;
    QLineEdit* m_wndSavePath = nullptr;
    QLabel* m_wndProgressText = nullptr;
    QProgressBar* m_wndProgress = nullptr;
    CListBox* m_wndErrorList = nullptr;
    QLabel* m_wndErrorLabel = nullptr;
};
