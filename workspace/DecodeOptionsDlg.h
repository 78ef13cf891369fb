// The Decode Options dialog: three check boxes and OK. It has no Cancel; Esc and the close
// button leave it open, so it always ends with OK and its values taken.
#pragma once

#include <QDialog>

class QCheckBox;

class CDecodeOptionsDlg : public QDialog {
  public:
    explicit CDecodeOptionsDlg(QWidget* parent = nullptr);

    // Shows the dialog modally with the members in its boxes; IDOK, with the boxes' values
    // back in the members.
    int DoModal();

    int m_bIgnoreErrors = 0;
    int m_bOverwriteExisting = 1;
    int m_bDefaultSavePath = 1;

  protected:
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnOK();

    QCheckBox* m_wndOverwrite;
    QCheckBox* m_wndIgnore;
    QCheckBox* m_wndDefaultPath;
};
