#include "decode/DecodeSession.h"

#include <QFile>

#include "decode/DecodeRules.h"
#include "res/resource.h"

class CDecodeSession::Pass {
  public:
    explicit Pass(CDecodeSession& session, bool tell = true) : m_session(session), m_tell(tell) {
        ++m_session.m_passes;
        if (m_tell) m_session.m_host.PassBegins();
    }
    ~Pass() {
        if (m_tell) m_session.m_host.PassEnds();
        --m_session.m_passes;
    }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

  private:
    CDecodeSession& m_session;
    bool m_tell;
};

CDecodeSession::CDecodeSession(CTamselDoc& document, codec::CodecLibrary& library, Host& host)
    : m_document(document), m_library(library), m_host(host) {}

CDecodeSession::~CDecodeSession() {
    if (m_loaded) m_library.CleanUp();
}

bool CDecodeSession::RequireInputs() {
    if (!m_document.m_inputFiles.isEmpty()) return true;
    m_host.Say(IDS_NO_FILES);
    return false;
}

void CDecodeSession::DropScan() {
    if (!m_loaded) return;
    m_loaded = false;
    m_host.ScanDropped();
    m_library.CleanUp();
}

bool CDecodeSession::ReplaceInputs(const QStringList& paths) {
    if (Busy()) return false;
    DropScan();
    m_document.m_inputFiles = SortedByFileName(paths);
    return true;
}

bool CDecodeSession::RemoveInput(int index) {
    if (Busy() || !RequireInputs()) return false;
    DropScan();
    if (index >= 0 && index < m_document.m_inputFiles.size())
        m_document.m_inputFiles.removeAt(index);
    return true;
}

bool CDecodeSession::RemoveAllInputs() {
    if (Busy() || !RequireInputs()) return false;
    DropScan();
    m_document.m_inputFiles.clear();
    return true;
}

bool CDecodeSession::Succeeded(int code) {
    int id = LibraryResultString(code);
    if (id == 0) return true;
    m_host.Say(id);
    return false;
}

bool CDecodeSession::Load() {
    if (Busy()) return false;
    if (m_loaded) return true;
    Pass pass(*this);
    bool loaded = m_host.InitLibrary(m_library);
    for (int i = 0; loaded && i < m_document.m_inputFiles.size(); ++i) {
        QByteArray path = QFile::encodeName(m_document.m_inputFiles[i]);
        if (!Succeeded(m_library.LoadFile(path.constData(), nullptr, 0))) {
            m_library.CleanUp();
            m_host.ProgressEnds();
            loaded = false;
        }
    }
    m_loaded = loaded;
    return loaded;
}

bool CDecodeSession::Check(const Row& row) {
    if (Busy() || !RequireInputs() || !Load()) return false;
    Pass listing(*this, false);  // listing the outputs: nothing else meanwhile
    if (!m_library.GetFileListItem(0)) m_host.Say(IDS_NOTHING_DECODABLE);
    for (int i = 0; const codec::FileRecord* record = m_library.GetFileListItem(i); ++i)
        row(*record, i, (record->state & codec::kStateReady) != 0);
    m_host.ProgressEnds();
    return true;
}

bool CDecodeSession::Decode(const Options& options, const Row& row) {
    if (Busy() || !RequireInputs() || !Load()) return false;
    QByteArray directory = QFile::encodeName(options.directory);
    m_library.SetOption(codec::kOptOutputDir, 0, directory.constData());
    m_library.SetOption(codec::kOptDecodeWithErrors, options.ignoreErrors ? 1 : 0, nullptr);
    m_library.SetOption(codec::kOptOverwrite, options.overwrite ? 1 : 0, nullptr);

    Pass pass(*this);
    if (!m_library.GetFileListItem(0)) m_host.Say(IDS_NOTHING_DECODABLE);
    for (int i = 0; const codec::FileRecord* record = m_library.GetFileListItem(i); ++i) {
        bool decoded = false;
        if (record->state & codec::kStateReady) {
            if (!Succeeded(m_library.DecodeFile(record, nullptr))) {
                m_loaded = false;
                m_library.CleanUp();
                break;
            }
            decoded = true;
        }
        row(*record, i, decoded);
    }
    m_host.ProgressEnds();
    return true;
}

const codec::FileRecord* CDecodeSession::Record(int row) const {
    return m_library.GetFileListItem(row);
}

bool CDecodeSession::Rename(int row, const QString& name) {
    if (Busy()) return false;
    const codec::FileRecord* record = m_library.GetFileListItem(row);
    if (!record) return false;
    m_library.RenameFile(record, name.toUtf8().constData());
    return true;
}
