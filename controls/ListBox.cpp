#include "controls/ListBox.h"

#include <QResizeEvent>
#include <QStyledItemDelegate>

namespace {

// Every line is as wide as what the user may scroll over: the owner's horizontal extent, or the
// visible width when that is larger. So the view never measures its lines to lay them out
// (adding a line to many thousand costs what it costs in a short list), and the scroll range it
// derives is the extent rule's.
class CLineDelegate : public QStyledItemDelegate {
  public:
    explicit CLineDelegate(CListBox* list) : QStyledItemDelegate(list), m_pList(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        int width = qMax(m_pList->GetHorizontalExtent(), m_pList->viewport()->width());
        return {width, QStyledItemDelegate::sizeHint(option, index).height()};
    }

  private:
    CListBox* m_pList;
};

}  // namespace

CListBox::CListBox(QWidget* parent) : QListWidget(parent) {
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setResizeMode(QListView::Adjust);
    setTextElideMode(Qt::ElideNone);
    setItemDelegate(new CLineDelegate(this));
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

void CListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    // The lines follow the visible width (the view itself only looks again at a height change).
    if (event->size().width() != event->oldSize().width()) scheduleDelayedItemsLayout();
}

void CListBox::SetHorizontalExtent(int pixels) {
    m_nHorizontalExtent = pixels;
    doItemsLayout();
}

int CListBox::TextWidth(const QString& text) const {
    return fontMetrics().horizontalAdvance(text);
}
