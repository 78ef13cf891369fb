// The Encode dialog and the encode job behind its "Encode File" button: one file into
// uuencode, xxencode or Base64, whole or in parts of N lines, with progress, Esc to cancel and
// the outcome as a coloured text. Esc and the close button never close it; "Done" does.
#pragma once

#include <QDialog>

#include "codec/codec_library.h"

class CBusyInput;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CEncodeDlg : public QDialog {
    Q_OBJECT

  public:
    // The job runs on library, which the caller has initialised and keeps for the dialog's life.
    CEncodeDlg(codec::CodecLibrary* library, QWidget* parent = nullptr);

    // Runs the dialog modally until "Done"; the result is of no interest.
    int DoModal() { return exec(); }

    void OnEncode();
    void OnBrowseInput();
    void OnBrowseDestination();
    void OnSingleFile();
    void OnDone();
    static int EncodeBusyCallback(void* opaque, const codec::Progress* progress);

    // Colour of the info field's text, 0x00BBGGRR as the result table gives it.
    unsigned InfoTextColour() const { return m_crInfoText; }

    int m_nEncodeType = 0;
    QString m_strFileToEncode;
    QString m_strDestination;
    long m_lLinesPerFile = 1000;
    int m_bOverwrite = 1;

  protected:
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;

  private:
    // Moves the controls' values into the members (true) or back (false); false when the lines
    // value is refused.
    bool UpdateData(bool save);
    void SetInfo(unsigned colour, const QString& text);
    void SetInfoText(const QString& text);

    codec::CodecLibrary* m_pLibrary;
    unsigned m_crInfoText = 0;
    CBusyInput* m_pBusyInput = nullptr;

    QLineEdit* m_wndFileToEncode;
    QButtonGroup* m_encodeTypes;
    QCheckBox* m_wndSingleFile;
    QLineEdit* m_wndLines;
    QLineEdit* m_wndDestination;
    QLabel* m_wndInfo;
    QProgressBar* m_wndProgress;
    QPushButton* m_wndEncode;
    QPushButton* m_wndDone;
    QCheckBox* m_wndOverwrite;
};
