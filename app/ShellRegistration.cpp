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

}  // namespace

QString XdgDataHome() {
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    return home;
}

bool RegisterShellFileTypes(const QString& executable) {
    const QString data = XdgDataHome();
    QByteArray entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Corvane/Encoder\n"
        "GenericName=Attachment decoder\n"
        "Comment=Decode and encode uuencoded, xxencoded, Base64, BinHex and yEnc files\n"
        "Exec=" +
        ExecQuoted(executable).toUtf8() +
        " %F\n"
        "Icon=tamselwin\n"
        "Terminal=false\n"
        "Categories=Utility;Archiving;\n"
        "MimeType=application/x-tamselwin32-document;\n";
    QByteArray mime =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/x-tamselwin32-document\">\n"
        "    <comment>TamselWin Document</comment>\n"
        "    <sub-class-of type=\"text/plain\"/>\n"
        "    <glob pattern=\"*.uue\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    InitResources();
    QFile icon(QStringLiteral(":/res/images/app.svg"));
    QByteArray iconData = icon.open(QIODevice::ReadOnly) ? icon.readAll() : QByteArray();

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
