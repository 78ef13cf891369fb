// A name without "/" is taken in the current directory; a name with one stays as given (a
// relative one stays relative). A name passes when glob(3) finds anything under it, so a
// wildcard pattern or a directory passes as it stands and is handed on unexpanded.
#include "app/FileCommandLineInfo.h"

#include <limits.h>

#include <QDir>
#include <QFile>

#include "decode/DecodeRules.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "services/Presenter.h"

void CFileCommandLineInfo::ParseCommandLine(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        bool last = i + 1 == arguments.size();
        if (arg.startsWith(QLatin1String("--")) && arg.size() > 2)
            ParseParam(arg.mid(2), true, last);
        else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
            ParseParam(arg.mid(1), true, last);
        else
            ParseParam(arg, false, last);
    }
}

void CFileCommandLineInfo::ParseParam(const QString& param, bool isSwitch, bool /*last*/) {
    if (isSwitch) {
        if (param.compare(QLatin1String("Embedding"), Qt::CaseInsensitive) == 0)
            m_bRunEmbedded = true;
        else if (param.compare(QLatin1String("Automation"), Qt::CaseInsensitive) == 0)
            m_bRunAutomated = true;
        return;
    }
    QString path =
        param.contains(QLatin1Char('/')) ? param : QDir::currentPath() + QLatin1Char('/') + param;
    QByteArray native = QFile::encodeName(path);
    if (native.size() + 1 <= PATH_MAX && AnythingMatches(path)) {
        m_fileNames << path;
        return;
    }
    AfxMessageBox(FormatString(IDS_UNABLE_TO_LOCATE, native.constData()), MB_ICONSTOP);
}
