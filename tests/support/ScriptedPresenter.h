// A presenter for GUI tests: it answers file dialogs from a queue, records every message box
// and editor start, and fails the test when a dialog comes up that nobody scripted.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <string>
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
    // The three file dialogs share one queue of answers; a one-file dialog takes the first name.
    std::optional<QStringList> GetOpenFileNames(QWidget* parent, const QString& filter) override;
    std::optional<QString> GetOpenFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> GetSaveFileName(QWidget* parent, const QString& filter) override;
    bool StartEditor(const QString& path, QString* error) override;
    int ChooseDirectory(QWidget* parent, const QString& title, const QString& start,
                        QString* path) override;

    // The boxes shown since the last call, oldest first.
    std::vector<ShownBox> TakeBoxes();
    // Fails the test for every box shown and not taken.
    void ExpectNoOtherBoxes();

    std::deque<std::optional<QStringList>> m_fileAnswers;
    QStringList m_filters;
    QStringList m_editorPaths;
    bool m_bEditorStarts = true;
    // Folder chooser: the outcome and path to give; what it was opened with.
    int m_nFolderOutcome = 1;
    QString m_strFolder;
    QString m_strFolderTitle;
    QString m_strFolderStart;

  private:
    std::vector<ShownBox> m_boxes;
};

inline QString Qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The process's current directory is `path` for the guard's lifetime.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& path);
    ~CurrentDirectory();
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

  private:
    QString m_previous;
};

}  // namespace test
