// tamselwin: the desktop program.
#include <QApplication>

#include "app/TamselApp.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CTamselApp theApp;
    if (!theApp.InitInstance(QApplication::arguments().mid(1))) return theApp.ExitCode();
    return QApplication::exec();
}
