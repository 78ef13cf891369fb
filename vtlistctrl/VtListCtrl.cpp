#include "vtlistctrl/VtListCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

CVtListCtrl::CVtListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(0);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setMinimumSectionSize(8);  // a narrow icon column keeps the width it is given
}

void CVtListCtrl::InsertColumn(int column, const QString& heading, Qt::Alignment format,
                               int width) {
    int count = columnCount();
    column = qBound(0, column, count);
    QStringList labels;
    QTreeWidgetItem* head = headerItem();
    for (int c = 0; c < count; ++c)
        labels << head->text(c);
    labels.insert(column, heading);
    setColumnCount(count + 1);
    setHeaderLabels(labels);
    headerItem()->setTextAlignment(column, format | Qt::AlignVCenter);
    setColumnWidth(column, width);
}

void CVtListCtrl::SetHeaderBitmap(int column, const QPixmap& bitmap) {
    QTreeWidgetItem* head = headerItem();
    head->setText(column, QString());
    head->setIcon(column, QIcon(bitmap));
    head->setTextAlignment(column, Qt::AlignCenter);
}

int CVtListCtrl::InsertItem(int row, int image) {
    row = qBound(0, row, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setData(0, Qt::UserRole, image);
    if (image >= 0 && image < m_images.size()) item->setIcon(0, m_images[image]);
    insertTopLevelItem(row, item);
    return row;
}

void CVtListCtrl::SetItemText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(column, text);
}

QString CVtListCtrl::GetItemText(int row, int column) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

int CVtListCtrl::GetItemImage(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void CVtListCtrl::DeleteAllItems() {
    if (IsEditing()) EndEdit(false);
    clear();
}

int CVtListCtrl::GetIndexSelectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

unsigned long CVtListCtrl::PackMessagePos(QPoint global) {
    return (static_cast<unsigned long>(static_cast<uint16_t>(global.x()))) |
           (static_cast<unsigned long>(static_cast<uint16_t>(global.y())) << 16);
}

int CVtListCtrl::GetCellClicked(unsigned long messagePos) const {
    QPoint global(static_cast<int16_t>(messagePos & 0xFFFF),
                  static_cast<int16_t>((messagePos >> 16) & 0xFFFF));
    QPoint local = viewport()->mapFromGlobal(global);
    if (!viewport()->rect().contains(local)) return -1;
    return header()->logicalIndexAt(local.x());
}

int CVtListCtrl::EditCell(int column) {
    int row = GetIndexSelectedRow();
    if (row < 0 || column < 0 || column >= columnCount()) return -1;
    if (IsEditing()) EndEdit(false);
    if (!m_pEdit) {
        m_pEdit = new QLineEdit(viewport());
        m_pEdit->setObjectName(QStringLiteral("cellEdit"));
        m_pEdit->installEventFilter(this);
    }
    QTreeWidgetItem* item = topLevelItem(row);
    scrollToItem(item);
    m_nEditRow = row;
    m_nEditColumn = column;
    m_pEdit->setGeometry(visualRect(indexFromItem(item, column)));
    m_pEdit->setText(item->text(column));
    m_pEdit->selectAll();
    m_pEdit->show();
    m_pEdit->setFocus();
    return 0;
}

void CVtListCtrl::EndEdit(bool commit) {
    if (!IsEditing()) return;
    int row = m_nEditRow;
    m_nEditRow = m_nEditColumn = -1;  // first, so the focus change below ends nothing again
    QString text = m_pEdit->text();
    m_pEdit->hide();
    setFocus();
    if (!commit) return;
    m_nChangedRow = row;
    m_strEditText = text;
    if (m_cellEdited) m_cellEdited();
}

bool CVtListCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pEdit && IsEditing()) {
        if (event->type() == QEvent::KeyPress) {
            int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                EndEdit(true);
                return true;
            }
            if (key == Qt::Key_Escape) {
                EndEdit(false);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            EndEdit(true);
        }
    }
    return QTreeWidget::eventFilter(watched, event);
}

void CVtListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton)
        emit RightClicked(PackMessagePos(event->globalPosition().toPoint()));
}

void CVtListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked(PackMessagePos(event->globalPosition().toPoint()));
}
