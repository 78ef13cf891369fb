// The Information Window: what each message level does, the scroll extent rule, and that the
// user cannot close it.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <QWindow>

#include "controls/ListBox.h"
#include "log/InfoWnd.h"
#include "res/resource.h"
#include "support/ScriptedPresenter.h"

namespace {

class InfoWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        owner.resize(400, 300);
        owner.show();
        ASSERT_TRUE(wnd.Create(&owner));
        list = wnd.List();
    }
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < list->GetCount(); ++i)
            lines << list->GetText(i);
        return lines;
    }

    test::ScriptedPresenter presenter;
    QWidget owner;
    CInfoWnd wnd;
    CListBox* list = nullptr;
};

TEST_F(InfoWindow, LevelsBelowThreeAndUnknownLevelsBecomeLinesErrorsBecomeBoxes) {
    EXPECT_TRUE(wnd.isVisible());
    EXPECT_EQ(wnd.windowTitle(), "Information Window");
    EXPECT_EQ(wnd.size(), QSize(450, 100));
    InfoMsgCallback(&wnd, "plain", 0);
    InfoMsgCallback(&wnd, "note: fox.uue: 1 part", 1);
    InfoMsgCallback(&wnd, "warning: b.uue, part 2: no data", 2);
    InfoMsgCallback(&wnd, "level seven", 7);
    InfoMsgCallback(&wnd, "negative", -1);
    EXPECT_TRUE(presenter.TakeBoxes().empty());
    InfoMsgCallback(&wnd, "disk full", 3);
    InfoMsgCallback(&wnd, "out of memory", 4);
    InfoMsgCallback(&wnd, "corrupt state", 5);
    EXPECT_EQ(Lines(), (QStringList{"plain", "note: fox.uue: 1 part",
                                    "warning: b.uue, part 2: no data", "level seven", "negative"}));
    std::vector<test::ShownBox> boxes = presenter.TakeBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "ERROR: disk full");
    EXPECT_EQ(boxes[1].text, "Fatal Error: out of memory");
    EXPECT_EQ(boxes[2].text, "Panic Error: corrupt state");
    for (const test::ShownBox& box : boxes) {
        EXPECT_EQ(box.style, MB_ICONSTOP);
        EXPECT_EQ(box.caption, "Corvane/Encoder for WIN32");
    }

    wnd.hide();
    InfoMsgCallback(&wnd, "while hidden", 1);
    wnd.show();
    EXPECT_EQ(Lines().last(), "while hidden");

    InfoMsgCallback(nullptr, "lost line", 1);
    InfoMsgCallback(nullptr, "still shown", 3);
    boxes = presenter.TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "ERROR: still shown");
}

TEST_F(InfoWindow, ExtentFollowsTheWidestLineAndNeverShrinks) {
    InfoMsgCallback(&wnd, "short", 1);
    EXPECT_EQ(list->GetHorizontalExtent(), 0) << "a line narrower than the list sets nothing";
    QString wide(120, 'W');
    InfoMsgCallback(&wnd, wide.toUtf8().constData(), 2);
    int wideExtent = list->TextWidth(wide) + 5;
    EXPECT_EQ(list->GetHorizontalExtent(), wideExtent);
    EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);
    InfoMsgCallback(&wnd, "short again", 1);
    EXPECT_EQ(list->GetHorizontalExtent(), wideExtent);
    QString wider(200, 'W');
    InfoMsgCallback(&wnd, wider.toUtf8().constData(), 7);
    EXPECT_EQ(list->GetHorizontalExtent(), list->TextWidth(wider) + 5);
    int before = list->GetHorizontalExtent();
    EXPECT_EQ(wnd.OnClearInfo(), 0);
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetHorizontalExtent(), before);
}

TEST_F(InfoWindow, ANarrowerWindowGetsAnExtentForTheLinesAlreadyThere) {
    QString medium(30, 'W');
    InfoMsgCallback(&wnd, medium.toUtf8().constData(), 1);
    ASSERT_LT(list->TextWidth(medium), list->frameGeometry().width());
    EXPECT_EQ(list->GetHorizontalExtent(), 0);
    wnd.resize(100, 100);
    InfoMsgCallback(&wnd, "x", 1);
    EXPECT_EQ(list->GetHorizontalExtent(), list->TextWidth(medium) + 5);
}

TEST_F(InfoWindow, ListFillsTheWindowAndTheUserCannotCloseIt) {
    wnd.resize(600, 250);
    EXPECT_EQ(list->geometry(), wnd.rect());
    EXPECT_FALSE(wnd.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(wnd.close());
    EXPECT_FALSE(wnd.windowHandle()->close()) << "as the window manager's close button would";
    EXPECT_TRUE(wnd.isVisible());
}

}  // namespace
