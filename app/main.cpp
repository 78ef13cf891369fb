// tamselwin: the desktop program.
#include <QApplication>
#include <QDir>

#include "app/MainFrame.h"
#include "decode/TamselDoc.h"
#include "workspace/TamselView.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CTamselDoc document;
    CMainFrame frame(&document);
    frame.GetActiveView()->OnInitialUpdate();
    frame.show();

    QStringList names;
    for (const QString& arg : app.arguments().mid(1))
        if (!arg.startsWith(QLatin1Char('-')))
            names << (QDir::isAbsolutePath(arg) ? arg
                                                : QDir::currentPath() + QLatin1Char('/') + arg);
    if (!names.isEmpty()) frame.GetActiveView()->OnAddFileList(names);
    return app.exec();
}
