#include "workspace/FolderBrowser.h"

#include <QApplication>
#include <QDir>

#include "services/Presenter.h"

int CFolderBrowser::ChooseFolder() {
    QString chosen;
    int result = CPresenter::Current().ChooseDirectory(QApplication::activeWindow(), m_strTitle,
                                                       QDir::currentPath(), &chosen);
    if (result == 0) m_strPath = chosen;
    return result;
}
