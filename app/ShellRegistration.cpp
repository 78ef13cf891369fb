#include "app/ShellRegistration.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "res/Images.h"

const char* const kAutomationService = "org.vantrel.TamselWin32";
const char* const kAutomationPath = "/Document";

namespace {

bool WriteIfChanged(const QString& path, const QByteArray& contents) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == contents) return false;
    existing.close();
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(contents);
    return file.commit();
}

// An Exec= argument: quoted, with the characters the desktop entry format reserves escaped.
QString ExecQuoted(const QString& argument) {
    QString escaped;
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        if (c == QLatin1Char('%')) escaped += QLatin1Char('%');
        escaped += c;
    }
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QByteArray ReadResource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

QString XdgDataHome() {
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    return home;
}

bool RegisterShellFileTypes(const QString& executable) {
    const QString data = XdgDataHome();
    // The same desktop entry and MIME package that an installation puts in place; the entry
    // here starts this very program.
    InitResources();
    QByteArray entry = ReadResource(QStringLiteral(":/res/tamselwin.desktop"));
    entry.replace("Exec=tamselwin ", "Exec=" + ExecQuoted(executable).toUtf8() + ' ');
    const QByteArray mime = ReadResource(QStringLiteral(":/res/tamselwin-mime.xml"));
    const QByteArray iconData = ReadResource(QStringLiteral(":/res/images/app.svg"));

    bool changed = WriteIfChanged(data + QStringLiteral("/applications/tamselwin.desktop"), entry);
    bool mimeChanged = WriteIfChanged(data + QStringLiteral("/mime/packages/tamselwin.xml"), mime);
    if (!iconData.isEmpty())
        changed |= WriteIfChanged(
            data + QStringLiteral("/icons/hicolor/scalable/apps/tamselwin.svg"), iconData);
    if (mimeChanged) {
        QString update = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
        if (!update.isEmpty()) QProcess::startDetached(update, {data + QStringLiteral("/mime")});
    }
    return changed || mimeChanged;
}

bool UpdateAutomationRegistration(const QString& executable) {
    QByteArray service = "[D-BUS Service]\nName=" + QByteArray(kAutomationService) +
                         "\nExec=" + ExecQuoted(executable).toUtf8() + " -Automation\n";
    return WriteIfChanged(XdgDataHome() + QStringLiteral("/dbus-1/services/") +
                              QLatin1String(kAutomationService) + QStringLiteral(".service"),
                          service);
}
