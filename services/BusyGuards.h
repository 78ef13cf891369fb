// Guards for long operations that run on the user-interface thread: the wait cursor, and the
// input filter that lets a progress callback see Esc without dispatching anything else.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

// Shows the wait cursor for its lifetime.
class CWaitCursor {
  public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// While installed, user input meant for the busy window (or its children) is dropped, an Esc
// key press there is remembered, and input for any other window is held and re-posted when the
// guard ends, except for a modal window opened during the pass (a message box), which works as
// usual. A request to close the busy window's top level is carried out after the pass; drags
// and drops are refused, in every window, and shortcuts swallowed. Pump()
// lets paint and timer events through so the busy window repaints.
class CBusyInput : public QObject {
  public:
    explicit CBusyInput(QWidget* busyWindow);
    ~CBusyInput() override;

    // Handles pending events; true once Esc was pressed in the busy window.
    bool Pump();

    // What a progress callback does next: nothing yet, cancel, or show the new progress.
    // Events are looked at (and the window repainted) at most every 10 ms, which the eye
    // cannot tell from every millisecond but which keeps a run over many small files from
    // spending its time on drawing. Without a guard there is nothing to do.
    enum class Turn { kLater, kCancel, kShow };
    static Turn Poll(CBusyInput* input);
    bool EscapePressed() const { return m_bEscape; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    QPointer<QWidget> m_pBusyWindow;
    bool m_bEscape = false;
    bool m_bCloseRequested = false;
    QElapsedTimer m_sincePump;
    std::vector<Held> m_held;
};
