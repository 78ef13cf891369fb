// The About box: icon, product line, emblem and maker; OK closes it.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
