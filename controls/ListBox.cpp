#include "controls/ListBox.h"

#include <QScrollBar>

CListBox::CListBox(QWidget* parent) : QListWidget(parent) {
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(false);
}

int CListBox::AddString(const QString& text) {
    int index = count();
    if (m_bSorted) {
        // After the last entry that does not sort behind the new one: equal names keep the
        // order they were added in.
        int lo = 0, hi = count();
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            if (QString::compare(item(mid)->text(), text, Qt::CaseInsensitive) <= 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        index = lo;
    }
    insertItem(index, text);
    return index;
}

void CListBox::ResetContent() {
    clear();
}

int CListBox::GetCurSel() const {
    QListWidgetItem* current = currentItem();
    return current && current->isSelected() ? row(current) : -1;
}

void CListBox::SetCurSel(int index) {
    if (index < 0 || index >= count()) {
        setCurrentRow(-1);
        return;
    }
    setCurrentRow(index);
}

QString CListBox::GetText(int index) const {
    QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

void CListBox::SetHorizontalExtent(int pixels) {
    m_nHorizontalExtent = pixels;
    updateGeometries();
}

int CListBox::TextWidth(const QString& text) const {
    return fontMetrics().horizontalAdvance(text);
}

void CListBox::updateGeometries() {
    QListWidget::updateGeometries();
    horizontalScrollBar()->setRange(0, qMax(0, m_nHorizontalExtent - viewport()->width()));
}
