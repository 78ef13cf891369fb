// The Information Window: a small tool window whose list collects the codec library's plain
// messages, notes and warnings; errors come up in message boxes instead. The user cannot close
// it, only hide it with the view's toggle.
#pragma once

#include <QWidget>

class CListBox;

class CInfoWnd : public QWidget {
  public:
    CInfoWnd();
    ~CInfoWnd() override;

    // Makes the window a tool window of owner's top-level window, placed 200 pixels right of
    // owner's left edge and below its bottom edge, 450 x 100, and shows it. False when the list
    // cannot be made.
    bool Create(QWidget* owner);
    // Places the window below owner again (after the owner has moved or been sized).
    void PlaceBelow(QWidget* owner);

    int OnClearInfo();
    // What the message callback does with one message.
    void AddMessage(const QString& text, int level);

    CListBox* List() const { return m_wndList; }

    int m_bListReady = 1;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void UpdateExtent();

    CListBox* m_wndList = nullptr;
    int m_nWidestLine = 0;  // pixels, of the lines now in the list
};

// The library's message callback; opaque is the CInfoWnd, or null when there is none.
void InfoMsgCallback(void* opaque, const char* text, int level);
