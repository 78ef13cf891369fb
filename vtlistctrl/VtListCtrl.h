// A report-style list whose cells can be edited in place. The owner starts an edit with
// EditCell; when the user ends it (Enter or leaving the field; Esc abandons it) the control
// calls the owner's cell-edited handler, which returns 0 to take the text or 1 to refuse it.
// The control never changes the cell itself: a refused edit leaves the old text standing.
// A table underneath, not a tree: its rows have one fixed height, so adding a row never lays
// out the rows already there, however many thousand they are.
#pragma once

#include <QIcon>
#include <QTableWidget>
#include <functional>

class QLineEdit;

class CVtListCtrl : public QTableWidget {
    Q_OBJECT

  public:
    explicit CVtListCtrl(QWidget* parent = nullptr);

    // The ordinary report-list operations.
    void InsertColumn(int column, const QString& heading, Qt::Alignment format, int width);
    void SetHeaderBitmap(int column, const QPixmap& bitmap);
    void SetImageList(const QList<QIcon>& images) { m_images = images; }
    // Inserts a row showing image in column 0; returns the row actually inserted.
    int InsertItem(int row, int image);
    void SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemImage(int row) const;
    int GetItemCount() const { return rowCount(); }
    // The header text of a column (empty where it shows a picture), and whether it has one.
    QString GetColumnHeading(int column) const;
    bool HasHeaderBitmap(int column) const;
    void DeleteAllItems();

    // Starts an in-place edit of column in the selected row; 0, or -1 without a selected row.
    int EditCell(int column);
    // The column under a screen position packed as x | y << 16 (signed 16-bit halves), or -1.
    int GetCellClicked(unsigned long messagePos) const;
    int GetIndexSelectedRow() const;
    int GetChangedRowIndex() const { return m_nChangedRow; }
    QString GetEditText() const { return m_strEditText; }
    bool IsEditing() const { return m_nEditRow >= 0; }
    QLineEdit* EditField() const { return m_pEdit; }

    // Called when an edit ends; returns 0 (taken) or 1 (refused).
    void SetCellEditedHandler(std::function<int()> handler) { m_cellEdited = std::move(handler); }

    static unsigned long PackMessagePos(QPoint global);

  signals:
    // The right button was released, or the left button double-clicked, over the list.
    void RightClicked(unsigned long messagePos);
    void DoubleClicked(unsigned long messagePos);

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void EndEdit(bool commit);

    QList<QIcon> m_images;
    QLineEdit* m_pEdit = nullptr;
    int m_nEditRow = -1;
    int m_nEditColumn = -1;
    int m_nChangedRow = -1;
    QString m_strEditText;
    std::function<int()> m_cellEdited;
};
