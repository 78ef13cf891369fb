// Every window's texts show whole in the font in use: no label, check box, radio button or push
// button is narrower than its text, at the default font, at a larger one, and (a run of its own)
// at QT_SCALE_FACTOR=1.5.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyleOptionButton>
#include <functional>
#include <memory>

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/SplashDlg.h"
#include "codec/codec_library.h"
#include "decode/TamselDoc.h"
#include "encode/EncodeDlg.h"
#include "log/InfoWnd.h"
#include "workspace/DecodeOptionsDlg.h"
#include "workspace/TamselView.h"

namespace {

// How wide a line of text is drawn, a leading tab at the first tab stop (eight x's).
int LineWidth(const QFontMetrics& fm, QString line) {
    int tab = 0;
    if (line.startsWith('\t')) {
        tab = 8 * fm.horizontalAdvance('x');
        line.remove(0, 1);
    }
    return tab + fm.horizontalAdvance(line);
}

void ExpectTextsFit(QWidget* window, const char* name) {
    int checked = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
        QFontMetrics fm = w->fontMetrics();
        int room = 0, need = 0, height = 0, lines = 1;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap() || label->text().isEmpty()) continue;
            text = label->text();
            QStringList all = text.split('\n');
            for (const QString& line : all)
                need = std::max(need, LineWidth(fm, QString(line).remove('&')));
            lines = static_cast<int>(all.size());
            room = label->contentsRect().width() - 2 * label->margin();
            height = label->contentsRect().height();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (button->text().isEmpty()) continue;
            text = button->text();
            need = fm.horizontalAdvance(QString(text).remove('&'));
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = text;
            QStyle::SubElement contents =
                qobject_cast<QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
                : qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                      : QStyle::SE_PushButtonContents;
            room = button->style()->subElementRect(contents, &option, button).width();
            height = button->height();
        } else {
            continue;
        }
        ++checked;
        EXPECT_LE(need, room) << name << ": \"" << qPrintable(text) << "\" is cut off";
        EXPECT_GE(height, lines * fm.height()) << name << ": \"" << qPrintable(text) << "\"";
    }
    EXPECT_GT(checked, 0) << name << " has no texts?";
}

// Opens every window of the program (not modally), as it would show, and checks each.
void ExpectEveryWindowsTextsFit() {
    QSettings().clear();
    CTamselDoc doc;
    CMainFrame frame(&doc);
    frame.GetActiveView()->OnInitialUpdate();
    frame.show();
    ExpectTextsFit(frame.GetActiveView(), "the form");
    ASSERT_NE(frame.GetActiveView()->m_pInfoWnd, nullptr);
    ASSERT_TRUE(frame.GetActiveView()->m_pInfoWnd->isVisible());
    codec::CodecLibrary library;
    ASSERT_EQ(library.Initialize(), codec::kOk);
    std::vector<std::pair<const char*, std::unique_ptr<QWidget>>> windows;
    windows.emplace_back("Encode", std::make_unique<CEncodeDlg>(&library, &frame));
    windows.emplace_back("Decode Options", std::make_unique<CDecodeOptionsDlg>(&frame));
    windows.emplace_back("About", std::make_unique<CAboutDlg>(&frame));
    auto* splash = new CSplashDlg(60);
    splash->setAttribute(Qt::WA_DeleteOnClose, false);
    windows.emplace_back("the splash", std::unique_ptr<QWidget>(splash));
    for (auto& [name, window] : windows) {
        window->show();
        ExpectTextsFit(window.get(), name);
        window->hide();
    }
    library.CleanUp();
    frame.close();
}

TEST(TextsFit, AtTheDefaultFont) {
    ExpectEveryWindowsTextsFit();
}

TEST(TextsFit, AtALargerFont) {
    QFont before = QApplication::font();
    QFont larger = before;
    larger.setPointSizeF(before.pointSizeF() * 1.6);
    QApplication::setFont(larger);
    ExpectEveryWindowsTextsFit();
    QApplication::setFont(before);
}

}  // namespace
