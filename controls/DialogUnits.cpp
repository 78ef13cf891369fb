#include "controls/DialogUnits.h"

#include <QFontMetrics>

CDialogUnits::CDialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded, as dialog templates assume.
    int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nCharWidth = qMax(1, (letters / 26 + 1) / 2);
    m_nCharHeight = qMax(1, metrics.height());
}

QRect CDialogUnits::Map(int x, int y, int width, int height) const {
    return {x * m_nCharWidth / 4, y * m_nCharHeight / 8, width * m_nCharWidth / 4,
            height * m_nCharHeight / 8};
}

QSize CDialogUnits::Map(int width, int height) const {
    return {width * m_nCharWidth / 4, height * m_nCharHeight / 8};
}
