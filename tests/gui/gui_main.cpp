// GoogleTest main for the widget tests: one QApplication on the offscreen platform, settings
// and desktop data kept in a temporary folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Vantrel Software");
    QCoreApplication::setApplicationName("Corvane/Encoder for WIN32");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       home.path() + QStringLiteral("/settings"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
