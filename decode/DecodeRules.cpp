#include "decode/DecodeRules.h"

#include <fcntl.h>
#include <glob.h>
#include <limits.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>

#include "res/resource.h"

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString DirectoryOf(const QString& path) {
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

bool AnythingMatches(const QString& pattern) {
    QByteArray native = QFile::encodeName(pattern);
    glob_t found{};
    bool any = glob(native.constData(), 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    return any;
}

QStringList SortedByFileName(const QStringList& paths) {
    QStringList sorted = paths;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(FileNameOf(a), FileNameOf(b), Qt::CaseInsensitive) < 0;
    });
    return sorted;
}

int LibraryResultString(int code) {
    switch (code) {
        case codec::kOk:
            return 0;
        case codec::kIoError:
            return IDS_IO_ERROR;
        case codec::kNoMemory:
            return IDS_NO_MEMORY;
        case codec::kInternalError:
            return IDS_INTERNAL_ERROR;
        case codec::kNoData:
            return IDS_NO_DATA;
        case codec::kNoEnd:
            return IDS_NO_END;
        case codec::kTargetExists:
            return IDS_TARGET_EXISTS;
        case codec::kCanceled:
            return IDS_CANCELED;
        default:
            return IDS_UNKNOWN_ERROR;
    }
}

QByteArray ProgressFileName(const codec::Progress& progress) {
    return QByteArray(
        progress.currentFile,
        static_cast<qsizetype>(qstrnlen(progress.currentFile, sizeof progress.currentFile)));
}

int ProgressPercent(const codec::Progress& progress) {
    if (progress.parts == 1) return progress.percent;
    if (progress.parts <= 0) return 0;
    double whole = ((progress.part - 1) + progress.percent * 0.01) / progress.parts * 100.0;
    return static_cast<int>(whole);
}

QString SizeText(int32_t bytes) {
    return QString::number(bytes / 1024) + QLatin1Char('K');
}

int FileStatusExtent(uint32_t state) {
    return (state & (codec::kStateReady | codec::kStateFailed)) ? 400 : 25;
}

bool IsAcceptableOutputName(const QString& name, const QString& tempDir) {
    if (name.isEmpty() || name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/')) ||
        name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    QByteArray probe = QFile::encodeName(tempDir + name);
    if (probe.size() + 1 > PATH_MAX) return false;
    int fd = open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
        unlink(probe.constData());
        return true;
    }
    if (errno != EEXIST) return false;
    // A file of that name is already there: it must be one we could open, and stays untouched.
    fd = open(probe.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}
