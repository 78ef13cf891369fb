// The list keeps every line until the next clear; its horizontal extent follows the widest line
// ever shown and never shrinks, so a long warning can always be scrolled into view. The width of
// the widest line is kept as lines arrive, so a log of many thousand lines costs no more per
// message than a short one.
#include "log/InfoWnd.h"

#include <QCloseEvent>

#include "controls/ListBox.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "services/Presenter.h"

CInfoWnd::CInfoWnd() = default;

CInfoWnd::~CInfoWnd() = default;

bool CInfoWnd::Create(QWidget* owner) {
    QWidget* top = owner ? owner->window() : nullptr;
    setParent(top, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setObjectName(QStringLiteral("InfoWindow"));
    setWindowTitle(LoadString(IDS_INFO_TITLE));
    setAccessibleName(LoadString(IDS_INFO_TITLE));
    setCursor(LoadCursor(IDC_CURSOR_INFO));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    m_wndList = new CListBox(this);
    m_wndList->setObjectName(ControlName(IDC_INFOLIST));
    m_wndList->setAccessibleName(LoadString(IDS_INFO_TITLE));
    m_wndList->setFrameShape(QFrame::NoFrame);
    m_wndList->setSelectionMode(QAbstractItemView::NoSelection);
    m_wndList->setFocusPolicy(Qt::NoFocus);
    m_wndList->setGeometry(rect());
    resize(450, 100);
    PlaceBelow(owner);
    show();
    return true;
}

void CInfoWnd::PlaceBelow(QWidget* owner) {
    if (!owner) return;
    QPoint bottomLeft = owner->mapToGlobal(QPoint(0, owner->height()));
    move(bottomLeft.x() + 200, bottomLeft.y());
}

int CInfoWnd::OnClearInfo() {
    if (m_wndList) m_wndList->ResetContent();
    m_nWidestLine = 0;
    return 0;
}

namespace {

bool IsErrorLevel(int level) {
    return level >= 3 && level <= 5;
}

// Errors, fatal errors and panics interrupt the user at once, with or without a window.
void ShowLibraryError(const QString& text, int level) {
    static const char* const kPrefix[] = {"ERROR: %1", "Fatal Error: %1", "Panic Error: %1"};
    AfxMessageBox(QString::fromLatin1(kPrefix[level - 3]).arg(text), MB_ICONSTOP);
}

}  // namespace

void CInfoWnd::AddMessage(const QString& text, int level) {
    if (IsErrorLevel(level))
        ShowLibraryError(text, level);
    else if (m_bListReady && m_wndList) {
        m_wndList->AddString(text);
        m_nWidestLine = qMax(m_nWidestLine, m_wndList->TextWidth(text));
    }
    if (m_bListReady && m_wndList) UpdateExtent();
}

void CInfoWnd::UpdateExtent() {
    int start = m_wndList->GetHorizontalExtent();
    if (start == 0) start = m_wndList->frameGeometry().width();
    if (m_nWidestLine > start) {
        m_wndList->SetHorizontalExtent(m_nWidestLine + 5);
        m_wndList->repaint();
    }
}

void CInfoWnd::closeEvent(QCloseEvent* event) {
    // Only the view's toggle hides the window; its owner destroys it without closing it.
    event->ignore();
}

void CInfoWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_wndList) m_wndList->setGeometry(rect());
}

void InfoMsgCallback(void* opaque, const char* text, int level) {
    QString message = QString::fromUtf8(text ? text : "");
    if (auto* wnd = static_cast<CInfoWnd*>(opaque)) {
        wnd->AddMessage(message, level);
    } else if (IsErrorLevel(level)) {
        ShowLibraryError(message, level);  // without a window the lines are lost, not errors
    }
}
