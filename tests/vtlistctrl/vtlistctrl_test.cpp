// The editable report list and the list box, driven with real mouse and key events.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include "controls/ListBox.h"
#include "vtlistctrl/VtListCtrl.h"

namespace {

class EditableList : public ::testing::Test {
  protected:
    void SetUp() override {
        list.InsertColumn(0, "!", Qt::AlignHCenter, 20);
        list.InsertColumn(1, "File Name", Qt::AlignLeft, 165);
        list.InsertColumn(2, "Size (Approx.)", Qt::AlignLeft, 95);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(list.InsertItem(row, row % 2), row);
            list.SetItemText(row, 1, QString("file%1.bin").arg(row));
            list.SetItemText(row, 2, "1K");
        }
        list.SetCellEditedHandler([this] {
            ++edits;
            return answer;
        });
        list.resize(300, 200);
        list.show();
        list.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    }

    QPoint CellCentre(int row, int column) {
        return list.visualRect(list.model()->index(row, column)).center();
    }
    void RightClick(int row, int column) {
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, CellCentre(row, column));
    }

    CVtListCtrl list;
    int edits = 0;
    int answer = 0;
};

TEST_F(EditableList, ReportsTheColumnUnderAClickAndSelectsTheRow) {
    std::vector<int> columns;
    QObject::connect(&list, &CVtListCtrl::RightClicked,
                     [&](unsigned long pos) { columns.push_back(list.GetCellClicked(pos)); });
    RightClick(1, 2);
    RightClick(2, 1);
    RightClick(0, 0);
    EXPECT_EQ(columns, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(list.GetIndexSelectedRow(), 0);
    EXPECT_EQ(list.GetCellClicked(CVtListCtrl::PackMessagePos(list.mapToGlobal(QPoint(-50, -50)))),
              -1);

    int doubles = 0;
    QObject::connect(&list, &CVtListCtrl::DoubleClicked, [&](unsigned long pos) {
        EXPECT_EQ(list.GetCellClicked(pos), 1);
        ++doubles;
    });
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, CellCentre(1, 1));
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(list.GetIndexSelectedRow(), 1);
}

TEST_F(EditableList, AnEndedEditReportsRowAndTextAndNeverChangesTheCellItself) {
    RightClick(1, 1);
    ASSERT_EQ(list.EditCell(1), 0);
    QLineEdit* edit = list.EditField();
    ASSERT_TRUE(edit && edit->isVisible());
    EXPECT_EQ(edit->text(), "file1.bin");
    QTest::keyClicks(edit, "report.zip");  // the text starts selected, so typing replaces it
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(list.GetChangedRowIndex(), 1);
    EXPECT_EQ(list.GetEditText(), "report.zip");
    EXPECT_EQ(list.GetItemText(1, 1), "file1.bin") << "the owner, not the control, sets the text";
    EXPECT_FALSE(edit->isVisible());

    answer = 1;
    RightClick(2, 1);
    list.EditCell(1);
    QTest::keyClicks(list.EditField(), "bad");
    QTest::keyClick(list.EditField(), Qt::Key_Return);
    EXPECT_EQ(edits, 2);
    EXPECT_EQ(list.GetItemText(2, 1), "file2.bin");

    RightClick(0, 1);
    list.EditCell(1);
    QTest::keyClicks(list.EditField(), "abandoned");
    QTest::keyClick(list.EditField(), Qt::Key_Escape);
    EXPECT_EQ(edits, 2) << "Esc abandons the edit without a report";
    EXPECT_FALSE(list.IsEditing());
}

TEST_F(EditableList, LeavingTheFieldEndsTheEditAndClearingTheListAbandonsIt) {
    RightClick(0, 1);
    list.EditCell(1);
    QTest::keyClicks(list.EditField(), "moved.bin");
    list.setFocus();  // focus leaves the field
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(list.GetEditText(), "moved.bin");

    RightClick(0, 1);
    list.EditCell(1);
    list.DeleteAllItems();
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.EditCell(1), -1) << "no row, no edit";
}

TEST(ListBox, SortedInsertKeepsEqualNamesInArrivalOrderAndExtentIsTheOwners) {
    CListBox box;
    box.SetSorted(true);
    for (const char* name : {"b.uue", "A.uue", "a.uue", "C.uue", "B.uue"})
        box.AddString(name);
    QStringList shown;
    for (int i = 0; i < box.GetCount(); ++i)
        shown << box.GetText(i);
    EXPECT_EQ(shown, (QStringList{"A.uue", "a.uue", "b.uue", "B.uue", "C.uue"}));
    EXPECT_EQ(box.GetCurSel(), -1);
    box.SetCurSel(3);
    EXPECT_EQ(box.GetCurSel(), 3);

    box.resize(100, 80);
    box.show();
    box.AddString(QString(200, 'w'));
    QCoreApplication::processEvents();
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0) << "no extent, no horizontal scrolling";
    box.SetHorizontalExtent(400);
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 400 - box.viewport()->width());
    box.ResetContent();
    EXPECT_EQ(box.GetHorizontalExtent(), 400);
}

}  // namespace
