// The dialog's form and the job. The job hands the library bare names: the destination's
// directory becomes the output directory, and the input's directory becomes the process's
// current directory (and stays so), which is where the library opens the input.
#include "encode/EncodeDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "controls/DialogUnits.h"
#include "controls/FitTexts.h"
#include "decode/DecodeRules.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "services/BusyGuards.h"
#include "services/Presenter.h"

namespace {

// Result colours, 0x00BBGGRR.
constexpr unsigned kBlue = 0xFF0000, kRed = 0x0000FF, kOrange = 0x3A8DF1, kOchre = 0x448EBB;

QColor FromColorRef(unsigned bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace

CEncodeDlg::CEncodeDlg(codec::CodecLibrary* library, QWidget* parent)
    : QDialog(parent), m_pLibrary(library) {
    setObjectName(QStringLiteral("CEncodeDlg"));
    setWindowTitle(QStringLiteral("Encode"));
    CDialogUnits du(font());
    setFixedSize(du.Map(279, 197));
    auto place = [this](QWidget* widget, int id, QRect rect) {
        widget->setParent(this);
        if (id) widget->setObjectName(ControlName(id));
        widget->setGeometry(rect);
        return widget;
    };
    auto* inputFrame = new QGroupBox(QStringLiteral("File to &Encode:"));
    place(inputFrame, 0, du.Map(13, 14, 246, 30));
    m_wndFileToEncode = new QLineEdit;
    place(m_wndFileToEncode, IDC_FILE_TO_ENCODE, du.Map(17, 24, 222, 14));
    m_wndFileToEncode->setAccessibleName(QStringLiteral("File to Encode:"));
    auto* browseInput = new QPushButton(QStringLiteral("..."));
    place(browseInput, IDC_BROWSE_INPUT, du.Map(242, 24, 14, 14));
    place(new QGroupBox(QStringLiteral("Encoding Type")), 0, du.Map(13, 51, 67, 40));
    m_encodeTypes = new QButtonGroup(this);
    const char* const typeNames[] = {"&UU-Encode", "&XX-Encode", "&Base 64"};
    const QRect typeRects[] = {du.Map(16, 59, 60, 8), du.Map(16, 68, 60, 8), du.Map(16, 78, 42, 8)};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(QString::fromUtf8(typeNames[i]));
        place(radio, IDC_ENCODE_UU + i, typeRects[i]);
        m_encodeTypes->addButton(radio, i);
    }
    place(new QGroupBox(QStringLiteral("Multipart")), 0, du.Map(83, 51, 91, 40));
    m_wndSingleFile = new QCheckBox(QStringLiteral("&Single File"));
    place(m_wndSingleFile, IDC_SINGLE_FILE, du.Map(87, 61, 48, 10));
    m_wndLines = new QLineEdit;
    place(m_wndLines, IDC_LINES, du.Map(96, 74, 41, 14));
    m_wndLines->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    m_wndLines->setAccessibleName(QStringLiteral("Lines per File"));
    m_wndLines->setEnabled(false);
    place(new QLabel(QStringLiteral("Lines per File")), 0, du.Map(139, 71, 27, 16))
        ->setProperty("wordWrap", true);
    auto* destinationFrame = new QGroupBox(QStringLiteral("&Destination"));
    place(destinationFrame, 0, du.Map(13, 98, 249, 30));
    m_wndDestination = new QLineEdit;
    place(m_wndDestination, IDC_DESTINATION, du.Map(18, 109, 228, 13));
    m_wndDestination->setAccessibleName(QStringLiteral("Destination"));
    m_wndInfo = new QLabel(QStringLiteral("Info:"));
    place(m_wndInfo, IDC_INFO, du.Map(13, 131, 250, 22));
    m_wndInfo->setTextFormat(Qt::PlainText);
    m_wndInfo->setWordWrap(true);
    m_wndInfo->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_wndInfo->setAutoFillBackground(true);
    m_wndProgress = new QProgressBar;
    place(m_wndProgress, IDC_ENCODE_PROGRESS, du.Map(13, 157, 250, 14));
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndEncode = new QPushButton(QStringLiteral("&Encode File"));
    place(m_wndEncode, IDOK, du.Map(57, 176, 50, 14));
    m_wndEncode->setDefault(true);
    m_wndDone = new QPushButton(QStringLiteral("&Done"));
    place(m_wndDone, IDC_DONE, du.Map(157, 176, 50, 14));
    place(new QGroupBox(QStringLiteral("Option")), 0, du.Map(175, 51, 91, 33));
    m_wndOverwrite = new QCheckBox(QStringLiteral("&Overwrite existing files"));
    place(m_wndOverwrite, IDC_OVERWRITE, du.Map(179, 61, 82, 10));
    auto* browseDestination = new QPushButton(QStringLiteral("..."));
    place(browseDestination, IDC_BROWSE_DESTINATION, du.Map(245, 108, 14, 14));
    // Frames are drawn behind the controls they surround.
    for (QGroupBox* frame : findChildren<QGroupBox*>())
        frame->lower();

    // Tab order as the template has it: the frames' contents, then the destination browser.
    QWidget* order[] = {m_wndFileToEncode,
                        browseInput,
                        m_encodeTypes->button(0),
                        m_encodeTypes->button(1),
                        m_encodeTypes->button(2),
                        m_wndSingleFile,
                        m_wndLines,
                        m_wndDestination,
                        m_wndEncode,
                        m_wndDone,
                        m_wndOverwrite,
                        browseDestination};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(m_wndEncode, &QPushButton::clicked, this, &CEncodeDlg::OnEncode);
    connect(browseInput, &QPushButton::clicked, this, &CEncodeDlg::OnBrowseInput);
    connect(m_wndSingleFile, &QCheckBox::clicked, this, &CEncodeDlg::OnSingleFile);
    connect(m_wndDone, &QPushButton::clicked, this, &CEncodeDlg::OnDone);
    connect(browseDestination, &QPushButton::clicked, this, &CEncodeDlg::OnBrowseDestination);

    UpdateData(false);
    m_wndSingleFile->setChecked(true);
    SetInfo(m_crInfoText, QStringLiteral("Info:"));
    m_wndFileToEncode->setFocus();
    FitTexts(this);
}

bool CEncodeDlg::UpdateData(bool save) {
    if (!save) {
        if (QAbstractButton* radio = m_encodeTypes->button(m_nEncodeType)) radio->setChecked(true);
        m_wndFileToEncode->setText(m_strFileToEncode);
        m_wndDestination->setText(m_strDestination);
        m_wndLines->setText(QString::number(m_lLinesPerFile));
        m_wndOverwrite->setChecked(m_bOverwrite != 0);
        return true;
    }
    m_nEncodeType = m_encodeTypes->checkedId();
    m_strFileToEncode = m_wndFileToEncode->text();
    m_strDestination = m_wndDestination->text();
    bool number = false;
    qlonglong lines = m_wndLines->text().toLongLong(&number);
    if (!number || lines < 10 || lines > 2147483647) {
        AfxMessageBox(number ? QStringLiteral("Please enter an integer between 10 and 2147483647.")
                             : QStringLiteral("Please enter an integer."),
                      MB_ICONEXCLAMATION);
        m_wndLines->setFocus();
        m_wndLines->selectAll();
        return false;
    }
    m_lLinesPerFile = static_cast<long>(lines);
    m_bOverwrite = m_wndOverwrite->isChecked() ? 1 : 0;
    return true;
}

void CEncodeDlg::OnSingleFile() {
    m_wndLines->setEnabled(!m_wndSingleFile->isChecked());
}

void CEncodeDlg::OnBrowseInput() {
    std::optional<QString> chosen =
        CPresenter::Current().GetOpenFileName(this, LoadString(IDS_FILTER_ALL));
    if (!chosen) return;
    m_strFileToEncode = *chosen;
    m_wndFileToEncode->setText(m_strFileToEncode);
    m_strDestination = m_strFileToEncode.left(m_strFileToEncode.size() - 3) + QStringLiteral("uue");
    m_wndDestination->setText(m_strDestination);
}

void CEncodeDlg::OnBrowseDestination() {
    std::optional<QString> chosen =
        CPresenter::Current().GetSaveFileName(this, LoadString(IDS_FILTER_DECODE));
    if (!chosen) return;
    m_wndDestination->setText(*chosen);
    m_wndDestination->setFocus();
}

void CEncodeDlg::OnDone() {
    QDialog::reject();
}

void CEncodeDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void CEncodeDlg::SetInfo(unsigned colour, const QString& text) {
    m_crInfoText = colour;
    QPalette palette = m_wndInfo->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, FromColorRef(colour));
    m_wndInfo->setPalette(palette);
    SetInfoText(text);
}

void CEncodeDlg::SetInfoText(const QString& text) {
    // A static text shows "&&" as one "&".
    m_wndInfo->setText(QString(text).replace(QStringLiteral("&&"), QStringLiteral("&")));
}

void CEncodeDlg::OnEncode() {
    if (!UpdateData(true)) return;
    if (m_strFileToEncode.isEmpty() || m_strDestination.isEmpty()) {
        AfxMessageBox(IDS_ENCODE_NEED_VALUES, MB_ICONEXCLAMATION);
        return;
    }
    if (!AnythingMatches(m_strFileToEncode)) {
        QByteArray path = QFile::encodeName(m_strFileToEncode);
        AfxMessageBox(FormatString(IDS_UNABLE_TO_LOCATE, path.constData()).section('\n', 0, 0),
                      MB_ICONEXCLAMATION);
        return;
    }
    static const int kCodes[] = {codec::kEncodeUu, codec::kEncodeXx, codec::kEncodeBase64};
    if (m_nEncodeType < 0 || m_nEncodeType > 2) {
        AfxMessageBox(IDS_ENCODE_NO_TYPE, MB_ICONEXCLAMATION);
        return;
    }
    const int code = kCodes[m_nEncodeType];

    const QString outputName = FileNameOf(m_strDestination);
    QString outputDir = DirectoryOf(m_strDestination) + QLatin1Char('/');
    if (!m_strDestination.contains(QLatin1Char('/'))) {
        outputDir = QDir::currentPath() + QLatin1Char('/');
        m_strDestination = outputDir + outputName;
        m_wndDestination->setText(m_strDestination);
    }
    if (m_strFileToEncode.contains(QLatin1Char('/')))
        QDir::setCurrent(DirectoryOf(m_strFileToEncode) + QLatin1Char('/'));
    const QString inputName = FileNameOf(m_strFileToEncode);

    QByteArray dir = QFile::encodeName(outputDir);
    m_pLibrary->SetOption(codec::kOptEncodedExt, 0, "uue");
    m_pLibrary->SetOption(codec::kOptOverwrite, m_bOverwrite, nullptr);
    m_pLibrary->SetOption(codec::kOptOutputDir, 0, dir.constData());

    int result;
    {
        m_wndEncode->setEnabled(false);
        m_wndDone->setEnabled(false);
        m_wndInfo->setFocus();
        CWaitCursor wait;
        CBusyInput input(this);
        m_pBusyInput = &input;
        long lines = m_wndSingleFile->isChecked() ? 0 : m_lLinesPerFile;
        QByteArray in = QFile::encodeName(inputName), out = QFile::encodeName(outputName);
        result = m_pLibrary->EncodeToFile(nullptr, in.constData(), code, nullptr, out.constData(),
                                          lines);
        m_pBusyInput = nullptr;
    }
    m_wndEncode->setEnabled(true);
    m_wndDone->setEnabled(true);
    m_wndProgress->setValue(0);
    switch (result) {
        case codec::kOk:
            SetInfo(kBlue, FormatString(IDS_ENCODE_DONE, qUtf8Printable(m_strFileToEncode)));
            break;
        case codec::kTargetExists:
            SetInfo(kRed, LoadString(IDS_TARGET_EXISTS));
            break;
        case codec::kCanceled:
            SetInfo(kOrange, LoadString(IDS_ENCODE_CANCELED));
            break;
        default:
            SetInfo(kOchre, LoadString(IDS_ENCODE_FAILED));
            break;
    }
}

int CEncodeDlg::EncodeBusyCallback(void* opaque, const codec::Progress* progress) {
    auto* dlg = static_cast<CEncodeDlg*>(opaque);
    CBusyInput::Turn turn = CBusyInput::Poll(dlg->m_pBusyInput);
    if (turn != CBusyInput::Turn::kShow) return turn == CBusyInput::Turn::kCancel ? 1 : 0;
    const QByteArray file = ProgressFileName(*progress);
    if (progress->action == codec::kActionScanning) {
        dlg->SetInfoText(FormatString(IDS_SCANNING, file.constData()));
        dlg->m_wndInfo->repaint();
    } else if (progress->action == codec::kActionEncoding) {
        int percent = ProgressPercent(*progress);
        dlg->SetInfoText(FormatString(IDS_ENCODE_PROGRESS, file.constData(), percent));
        dlg->m_wndProgress->setValue(percent);
        dlg->m_wndInfo->repaint();
        dlg->m_wndProgress->repaint();
    }
    return 0;
}
