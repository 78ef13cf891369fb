#include "app/SplashDlg.h"

#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "controls/DialogUnits.h"
#include "controls/FitTexts.h"
#include "res/Images.h"
#include "res/resource.h"

CSplashDlg::CSplashDlg(int seconds)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_nSeconds(seconds),
      m_pTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("CSplashDlg"));
    setAttribute(Qt::WA_DeleteOnClose);
    CDialogUnits du(font());
    setFixedSize(du.Map(276, 134));
    auto* panel = new QGroupBox(this);
    panel->setGeometry(du.Map(7, 7, 262, 120));
    auto* credit = new QLabel(QStringLiteral("Design and code:\n\tVantrel Software"), this);
    credit->setGeometry(du.Map(183, 100, 79, 21));
    credit->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* notice = new QLabel(QStringLiteral("Free to use and share."), this);
    notice->setGeometry(du.Map(15, 109, 71, 10));
    auto* title = new QLabel(this);
    title->setGeometry(du.Map(50, 16, 175, 20));
    title->setPixmap(LoadBitmap(IDB_SPLASH_TITLE, title->size()));
    auto* version = new QLabel(QStringLiteral("1.1"), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(du.Map(246, 15, 17, 14));
    version->setAlignment(Qt::AlignCenter);
    version->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* logo = new QLabel(this);
    logo->setGeometry(du.Map(31, 38, 213, 62));
    logo->setPixmap(LoadBitmap(IDB_SPLASH_LOGO, logo->size()));
    FitTexts(this);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_pTimer->setSingleShot(true);
    connect(m_pTimer, &QTimer::timeout, this, &CSplashDlg::OnCloseSplash);
    m_pTimer->start(m_nSeconds * 1000);
}

void CSplashDlg::OnCloseSplash() {
    if (m_bClosing) return;
    m_bClosing = true;
    m_pTimer->stop();
    close();
}

void CSplashDlg::paintEvent(QPaintEvent*) {
    // A frameless window: its thin border is drawn here.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CSplashDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnCloseSplash();
    else
        QWidget::mousePressEvent(event);
}

CSplashDlg* CSplashThread::Start(int seconds) {
    auto* splash = new CSplashDlg(seconds);
    splash->show();
    splash->raise();
    return splash;
}
