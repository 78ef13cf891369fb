#include "support/ScriptedPresenter.h"

#include <gtest/gtest.h>

#include <QDir>

namespace test {

int ScriptedPresenter::MessageBox(QWidget*, const QString& text, const QString& caption,
                                  unsigned style) {
    m_boxes.push_back({text, caption, style});
    return 1;
}

std::optional<QStringList> ScriptedPresenter::GetOpenFileNames(QWidget*, const QString& filter) {
    m_filters << filter;
    if (m_fileAnswers.empty()) {
        ADD_FAILURE() << "a file dialog came up with no scripted answer";
        return std::nullopt;
    }
    // Copied out by hand: GCC 12 at -O3 misreads a copied optional<QStringList> as uninitialised.
    const bool chosen = m_fileAnswers.front().has_value();
    const QStringList names = chosen ? *m_fileAnswers.front() : QStringList();
    m_fileAnswers.pop_front();
    if (!chosen) return std::nullopt;
    return names;
}

std::optional<QString> ScriptedPresenter::GetOpenFileName(QWidget* parent, const QString& filter) {
    std::optional<QStringList> answer = GetOpenFileNames(parent, filter);
    if (!answer || answer->isEmpty()) return std::nullopt;
    return answer->first();
}

std::optional<QString> ScriptedPresenter::GetSaveFileName(QWidget* parent, const QString& filter) {
    return GetOpenFileName(parent, filter);
}

bool ScriptedPresenter::StartEditor(const QString& path, QString* error) {
    m_editorPaths << path;
    if (!m_bEditorStarts) *error = QStringLiteral("No such file or directory");
    return m_bEditorStarts;
}

int ScriptedPresenter::ChooseDirectory(QWidget*, const QString& title, const QString& start,
                                       QString* path) {
    m_strFolderTitle = title;
    m_strFolderStart = start;
    if (m_nFolderOutcome == 0) *path = m_strFolder;
    return m_nFolderOutcome;
}

std::vector<ShownBox> ScriptedPresenter::TakeBoxes() {
    return std::exchange(m_boxes, {});
}

void ScriptedPresenter::ExpectNoOtherBoxes() {
    for (const ShownBox& box : TakeBoxes())
        ADD_FAILURE() << "unexpected message box: " << box.text.toStdString();
}

CurrentDirectory::CurrentDirectory(const std::string& path) : m_previous(QDir::currentPath()) {
    QDir::setCurrent(Qs(path));
}

CurrentDirectory::~CurrentDirectory() {
    QDir::setCurrent(m_previous);
}

}  // namespace test
