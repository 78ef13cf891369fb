// Converts dialog-template units to pixels with a font's average character size, so forms keep
// their designed proportions in any font: x·width/4, y·height/8.
#pragma once

#include <QFont>
#include <QRect>

class CDialogUnits {
  public:
    explicit CDialogUnits(const QFont& font);
    QRect Map(int x, int y, int width, int height) const;
    QSize Map(int width, int height) const;

  private:
    int m_nCharWidth;
    int m_nCharHeight;
};
