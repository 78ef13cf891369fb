// The main window around the workspace form: its caption never changes, and its status bar
// shows whether a long operation runs.
#pragma once

#include <QMainWindow>

class CTamselDoc;
class CTamselView;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    explicit CMainFrame(CTamselDoc* document);

    CTamselView* GetActiveView() const { return m_pView; }

    // 1: a pass runs ("Hit ESC key to cancel operation"); 0: it ended ("Operation Completed").
    Q_INVOKABLE int OnBusyStatus(int wParam, int lParam);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    CTamselView* m_pView;
};
