#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "controls/DialogUnits.h"
#include "controls/FitTexts.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CAboutDlg"));
    setWindowTitle(QStringLiteral("About TamselWin32"));
    CDialogUnits du(font());
    setFixedSize(du.Map(217, 73));
    auto* icon = new QLabel(this);
    icon->setGeometry(du.Map(7, 7, 20, 20));
    icon->setPixmap(LoadIcon(IDR_MAINFRAME).pixmap(32, 32));
    auto text = [this](const QString& caption, QRect rect) {
        auto* label = new QLabel(caption, this);
        label->setGeometry(rect);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    text(QStringLiteral("Corvane/Encoder Version 1.1 for WIN32"), du.Map(40, 10, 119, 8));
    text(QStringLiteral("Free to use and share."), du.Map(7, 58, 65, 8));
    text(QStringLiteral("Design and code by"), du.Map(138, 51, 72, 8));
    text(QStringLiteral("Vantrel Software"), du.Map(151, 58, 48, 8));
    auto* emblem = new QLabel(this);
    emblem->setGeometry(du.Map(94, 26, 32, 30));
    emblem->setPixmap(LoadBitmap(IDB_ABOUT_EMBLEM, QSize(48, 48)));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName(IDOK));
    ok->setGeometry(du.Map(178, 7, 32, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    FitTexts(this);
}
