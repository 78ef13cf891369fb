// The splash window: banner, logo and version, centred and above all other windows, closed
// after a few seconds or by a left click. It never holds start-up up: it only shows itself and
// arms a timer, and deletes itself once closed.
#pragma once

#include <QWidget>

class QTimer;

class CSplashDlg : public QWidget {
  public:
    explicit CSplashDlg(int seconds);

    // The timer and a left click both come here; a second request finds the window gone.
    void OnCloseSplash();
    int Seconds() const { return m_nSeconds; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_nSeconds;
    QTimer* m_pTimer;
    bool m_bClosing = false;
};

// Starts the splash for this run of the program and returns at once.
class CSplashThread {
  public:
    static CSplashDlg* Start(int seconds = 5);
};
