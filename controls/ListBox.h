// A list box that behaves as the program's lists always have: an optional case-insensitive
// sorted insert that keeps equal names in arrival order, and a horizontal scroll extent that
// the owner sets (no extent, no horizontal scrolling, however wide a line is).
#pragma once

#include <QListWidget>

class CListBox : public QListWidget {
  public:
    explicit CListBox(QWidget* parent = nullptr);

    void SetSorted(bool sorted) { m_bSorted = sorted; }
    // Adds a line (in sorted order when sorted) and returns its index.
    int AddString(const QString& text);
    void ResetContent();
    int GetCount() const { return count(); }
    // The selected index, or -1.
    int GetCurSel() const;
    void SetCurSel(int index);
    QString GetText(int index) const;

    int GetHorizontalExtent() const { return m_nHorizontalExtent; }
    void SetHorizontalExtent(int pixels);
    // Width in pixels of a line as the list draws it.
    int TextWidth(const QString& text) const;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    bool m_bSorted = false;
    int m_nHorizontalExtent = 0;
};
