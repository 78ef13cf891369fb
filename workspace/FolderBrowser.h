// Picks the save directory in a folder chooser that opens on the process's current directory.
#pragma once

#include <QString>

class CFolderBrowser {
  public:
    explicit CFolderBrowser(QString title) : m_strTitle(std::move(title)) {}

    // 0: a folder was chosen (GetPath); 1: the user cancelled; -1: no chooser could be shown.
    int ChooseFolder();
    QString GetPath() const { return m_strPath; }

  private:
    QString m_strPath;
    QString m_strTitle;
};
