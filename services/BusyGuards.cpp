#include "services/BusyGuards.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

CWaitCursor::CWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CWaitCursor::~CWaitCursor() {
    QApplication::restoreOverrideCursor();
}

CBusyInput::CBusyInput(QWidget* busyWindow) : m_pBusyWindow(busyWindow) {
    qApp->installEventFilter(this);
}

CBusyInput::~CBusyInput() {
    qApp->removeEventFilter(this);
    if (m_bCloseRequested && m_pBusyWindow)
        QMetaObject::invokeMethod(m_pBusyWindow->window(), &QWidget::close, Qt::QueuedConnection);
    for (Held& held : m_held)
        if (held.receiver) QCoreApplication::postEvent(held.receiver, held.event.release());
}

CBusyInput::Turn CBusyInput::Poll(CBusyInput* input) {
    if (!input || (input->m_sincePump.isValid() && !input->m_sincePump.hasExpired(10)))
        return Turn::kLater;
    input->m_sincePump.start();
    return input->Pump() ? Turn::kCancel : Turn::kShow;
}

bool CBusyInput::Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return m_bEscape;
}

static bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
            return true;
        default:
            return false;
    }
}

bool CBusyInput::eventFilter(QObject* watched, QEvent* event) {
    // Closing the busy window's top level waits for the end of the pass, as other input does.
    if (event->type() == QEvent::Close && m_pBusyWindow) {
        QWidget* top = m_pBusyWindow->window();
        if (watched == top || watched == static_cast<QObject*>(top->windowHandle())) {
            m_bCloseRequested = true;
            event->ignore();
            return true;
        }
    }
    // No shortcut fires while a pass runs: it would start a command inside the running one. A
    // drop would load inside it, and what it carries cannot wait for the end: it is refused,
    // so the drag shows that nothing takes it.
    if (event->type() == QEvent::Shortcut) return true;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
        event->type() == QEvent::Drop) {
        event->ignore();
        return true;
    }
    if (!IsUserInput(event->type()) || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (m_pBusyWindow && (widget == m_pBusyWindow || m_pBusyWindow->isAncestorOf(widget))) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            m_bEscape = true;
        return true;
    }
    // A box that comes up during the pass (an error the library reports) must be answerable.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && widget->window() == modal)
        return false;
    // Input for any other window waits until the pass is over.
    if (event->type() != QEvent::ShortcutOverride)
        m_held.push_back({QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone())});
    return true;
}
