// The services layer. What a long pass does with user input: the busy window's input is dropped
// (Esc noted), a message box opened meanwhile still answers, and input for other windows waits for
// the end.
#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QWindow>

#include "services/BusyGuards.h"
#include "services/Presenter.h"

namespace {

void PostKey(QWidget* to, Qt::Key key, const QString& text = {}) {
    QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, key, {}, text));
}

TEST(BusyInput, DropsTheBusyWindowsInputHoldsOthersAndLetsAModalBoxAnswer) {
    QWidget busy;
    auto* busyEdit = new QLineEdit(&busy);
    busy.show();
    QLineEdit other;
    other.show();
    QDialog box;
    auto* boxEdit = new QLineEdit(&box);
    {
        CBusyInput input(&busy);
        PostKey(busyEdit, Qt::Key_A, "a");
        PostKey(&other, Qt::Key_B, "b");
        EXPECT_FALSE(input.Pump());
        EXPECT_EQ(busyEdit->text(), "") << "dropped";
        EXPECT_EQ(other.text(), "") << "held";

        box.open();  // a modal box during the pass
        PostKey(boxEdit, Qt::Key_C, "c");
        input.Pump();
        EXPECT_EQ(boxEdit->text(), "c");
        box.close();

        PostKey(busyEdit, Qt::Key_Escape);
        EXPECT_TRUE(input.Pump());
        EXPECT_TRUE(input.EscapePressed());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(other.text(), "b") << "delivered after the pass";
    EXPECT_EQ(busyEdit->text(), "");
}

TEST(BusyInput, ClosingTheWindowWaitsForTheEndOfThePass) {
    QWidget frame;
    auto* view = new QWidget(&frame);
    frame.show();
    {
        CBusyInput input(view);
        EXPECT_FALSE(frame.windowHandle()->close()) << "as the window manager's close button";
        input.Pump();
        EXPECT_TRUE(frame.isVisible());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.isVisible(); }, 5000));
}

}  // namespace

namespace {

TEST(FileFilter, ResourceFiltersBecomeQtFiltersKeepingTheirShownNames) {
    EXPECT_EQ(QtFilterFromResource("All Files (*.*)|*.*||"), "All Files (*.*) (*.*)");
    QString decodable = QtFilterFromResource(
        "Decodable Files (*.uue, *.xxe)|*.uue; *.xxe|UU-Encoded (*.uue)|*.uus||");
    EXPECT_EQ(decodable,
              "Decodable Files (*.uue, *.xxe) (*.uue *.xxe);;UU-Encoded (*.uue) (*.uus)");
}

}  // namespace
