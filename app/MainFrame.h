// The main window around the workspace form: menu, a dockable toolbar with tooltips and
// status-bar prompts, a status bar with the busy texts and the lock indicators, files dropped
// from the desktop, and a bar layout that survives a restart. Its caption never changes.
#pragma once

#include <QMainWindow>
#include <functional>

class CTamselDoc;
class CTamselView;
class QLabel;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    explicit CMainFrame(CTamselDoc* document);

    CTamselView* GetActiveView() const { return m_pView; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    // The action of a command id on the menu or toolbar, or null.
    QAction* Command(int id) const;

    // 1: a pass runs ("Hit ESC key to cancel operation"); 0: it ended ("Operation Completed").
    int OnBusyStatus(int wParam, int lParam);
    // Dropped files, in the order given, replace the view's input list.
    void OnDropFiles(const QStringList& paths);
    // Where the About command goes.
    void SetAboutHandler(std::function<void()> handler) { m_onAppAbout = std::move(handler); }
    // Accepts dropped files from now on.
    void DragAcceptFiles(bool accept) { setAcceptDrops(accept); }
    // The on/off texts of the three lock panes, as shown now.
    QStringList IndicatorTexts() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void CreateMenu();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateIndicators();
    void LoadBarState();
    void SaveBarState();

    CTamselView* m_pView;
    QToolBar* m_wndToolBar = nullptr;
    QAction* m_pStatusBarToggle = nullptr;
    QList<QLabel*> m_indicators;
    std::function<void()> m_onAppAbout;
};
