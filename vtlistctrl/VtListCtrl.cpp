#include "vtlistctrl/VtListCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

CVtListCtrl::CVtListCtrl(QWidget* parent) : QTableWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(qMax(18, fontMetrics().height() + 4));
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(8);  // a narrow icon column keeps its width
}

void CVtListCtrl::InsertColumn(int column, const QString& heading, Qt::Alignment format,
                               int width) {
    column = qBound(0, column, columnCount());
    insertColumn(column);
    auto* head = new QTableWidgetItem(heading);
    head->setTextAlignment(format | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, head);
    setColumnWidth(column, width);
}

void CVtListCtrl::SetHeaderBitmap(int column, const QPixmap& bitmap) {
    QTableWidgetItem* head = horizontalHeaderItem(column);
    if (!head) return;
    head->setText(QString());
    head->setIcon(QIcon(bitmap));
    head->setTextAlignment(Qt::AlignCenter);
}

QString CVtListCtrl::GetColumnHeading(int column) const {
    QTableWidgetItem* head = horizontalHeaderItem(column);
    return head ? head->text() : QString();
}

bool CVtListCtrl::HasHeaderBitmap(int column) const {
    QTableWidgetItem* head = horizontalHeaderItem(column);
    return head && !head->icon().isNull();
}

int CVtListCtrl::InsertItem(int row, int image) {
    row = qBound(0, row, rowCount());
    insertRow(row);
    auto* item = new QTableWidgetItem;
    item->setData(Qt::UserRole, image);
    if (image >= 0 && image < m_images.size()) item->setIcon(m_images[image]);
    setItem(row, 0, item);
    return row;
}

void CVtListCtrl::SetItemText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

QString CVtListCtrl::GetItemText(int row, int column) const {
    QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

int CVtListCtrl::GetItemImage(int row) const {
    QTableWidgetItem* cell = item(row, 0);
    return cell ? cell->data(Qt::UserRole).toInt() : -1;
}

void CVtListCtrl::DeleteAllItems() {
    if (IsEditing()) EndEdit(false);
    setRowCount(0);
}

int CVtListCtrl::GetIndexSelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
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
    return horizontalHeader()->logicalIndexAt(local.x());
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
    QModelIndex cell = model()->index(row, column);
    scrollTo(cell);
    m_nEditRow = row;
    m_nEditColumn = column;
    m_pEdit->setGeometry(visualRect(cell));
    m_pEdit->setText(GetItemText(row, column));
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
    return QTableWidget::eventFilter(watched, event);
}

void CVtListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton)
        emit RightClicked(PackMessagePos(event->globalPosition().toPoint()));
}

void CVtListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked(PackMessagePos(event->globalPosition().toPoint()));
}
