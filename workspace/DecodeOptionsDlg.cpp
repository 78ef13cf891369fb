#include "workspace/DecodeOptionsDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>

#include "controls/DialogUnits.h"
#include "controls/FitTexts.h"
#include "res/Strings.h"
#include "res/resource.h"

CDecodeOptionsDlg::CDecodeOptionsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CDecodeOptionsDlg"));
    setWindowTitle(QStringLiteral("Decode Options"));
    CDialogUnits du(font());
    setFixedSize(du.Map(176, 73));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName(IDOK));
    ok->setGeometry(du.Map(50, 52, 50, 14));
    ok->setDefault(true);
    auto box = [&](int id, const char* caption, QRect rect) {
        auto* check = new QCheckBox(QString::fromUtf8(caption), this);
        check->setObjectName(ControlName(id));
        check->setGeometry(rect);
        return check;
    };
    m_wndOverwrite = box(IDC_OVERWRITE, "&Overwrite existing files", du.Map(33, 7, 86, 10));
    m_wndIgnore = box(IDC_IGNORE_ERRORS, "&Ignore decode errors", du.Map(33, 20, 86, 10));
    m_wndDefaultPath =
        box(IDC_DEFAULT_SAVE_PATH, "Default to last used \"Save Path\"", du.Map(33, 33, 119, 10));
    connect(ok, &QPushButton::clicked, this, &CDecodeOptionsDlg::OnOK);
    FitTexts(this);
}

int CDecodeOptionsDlg::DoModal() {
    m_wndIgnore->setChecked(m_bIgnoreErrors != 0);
    m_wndOverwrite->setChecked(m_bOverwriteExisting != 0);
    m_wndDefaultPath->setChecked(m_bDefaultSavePath != 0);
    exec();
    return IDOK;
}

void CDecodeOptionsDlg::OnOK() {
    m_bIgnoreErrors = m_wndIgnore->isChecked() ? 1 : 0;
    m_bOverwriteExisting = m_wndOverwrite->isChecked() ? 1 : 0;
    m_bDefaultSavePath = m_wndDefaultPath->isChecked() ? 1 : 0;
    accept();
}

void CDecodeOptionsDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}
