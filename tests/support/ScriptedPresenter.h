// A presenter for GUI tests: it answers file dialogs from a queue, records every message box
// and editor start, and fails the test when a dialog comes up that nobody scripted.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "services/Presenter.h"

namespace test {

struct ShownBox {
    QString text;
    QString caption;
    unsigned style;
};

class ScriptedPresenter : public CPresenter {
  public:
    ScriptedPresenter() { CPresenter::SetCurrent(this); }
    ~ScriptedPresenter() override { CPresenter::SetCurrent(nullptr); }

    int MessageBox(QWidget* parent, const QString& text, const QString& caption,
                   unsigned style) override;
    std::optional<QStringList> GetOpenFileNames(QWidget* parent, const QString& filter) override;
    bool StartEditor(const QString& path, QString* error) override;

    // The boxes shown since the last call, oldest first.
    std::vector<ShownBox> TakeBoxes();

    std::deque<std::optional<QStringList>> m_fileAnswers;
    QStringList m_filters;
    QStringList m_editorPaths;
    bool m_bEditorStarts = true;

  private:
    std::vector<ShownBox> m_boxes;
};

}  // namespace test
