#include "controls/FitTexts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace {

// The size a control needs to show its text whole; empty for one without text.
QSize TextSize(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->text().isEmpty() || label->wordWrap()) return {};
        int flags =
            Qt::TextExpandTabs |
            (label->textFormat() == Qt::PlainText ? 0 : static_cast<int>(Qt::TextShowMnemonic));
        QSize text = label->fontMetrics().boundingRect(QRect(), flags, label->text()).size();
        QSize frame = label->size() - label->contentsRect().size();
        int margins = 2 * label->margin() + std::max(label->indent(), 0);
        return text + frame + QSize(margins, margins);
    }
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        if (button->text().isEmpty()) return {};
        // The text inside the bevel and its margins (not the style's least width for a button,
        // which a template's small "..." buttons were never meant to have).
        const QStyle* style = button->style();
        int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        int indicator = button->autoDefault() || button->isDefault()
                            ? style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, nullptr, button)
                            : 0;
        QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        int pad = 2 * (frame + indicator) + margin;
        return text + QSize(pad, pad);
    }
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control)) {
        const auto* button = static_cast<const QAbstractButton*>(control);
        return button->text().isEmpty() ? QSize() : button->sizeHint();
    }
    return {};
}

}  // namespace

void FitTexts(QWidget* window) {
    int right = 0, bottom = 0;
    for (const QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        right = std::max(right, child->geometry().right());
        bottom = std::max(bottom, child->geometry().bottom());
    }
    // The margins the template left around its controls stay.
    int marginX = std::max(window->width() - 1 - right, 4);
    int marginY = std::max(window->height() - 1 - bottom, 4);
    QSize needed = window->size();
    for (QWidget* control : window->findChildren<QWidget*>()) {
        QSize want = TextSize(control);
        if (want.isEmpty()) continue;
        int width = std::max(control->width(), want.width());
        // A label's lines all show; a button or box keeps its height.
        int height = qobject_cast<QLabel*>(control) && want.height() > control->height()
                         ? want.height()
                         : control->height();
        if (width != control->width() || height != control->height())
            control->resize(width, height);
        // One that now reaches past the template's right margin moves left first, as far as
        // the left margin lets it; the window grows only for what is still over.
        if (control->parentWidget() == window) {
            int over = control->geometry().right() + 1 - (window->width() - marginX);
            int room = control->x() - marginX;
            if (over > 0 && room > 0)
                control->move(control->x() - std::min(over, room), control->y());
        }
        QRect in = QRect(control->mapTo(window, QPoint(0, 0)), control->size());
        needed = needed.expandedTo(QSize(in.right() + 1 + marginX, in.bottom() + 1 + marginY));
    }
    if (needed == window->size()) return;
    if (window->minimumSize() == window->maximumSize()) {
        window->setFixedSize(needed);
    } else {
        if (!window->minimumSize().isEmpty())
            window->setMinimumSize(window->minimumSize().expandedTo(needed));
        window->resize(needed);
    }
}
