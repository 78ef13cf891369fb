// The rules of the decode workspace that need no window: input paths and their order, the
// texts for library results, progress and sizes, and the test of a typed output name.
#pragma once

#include <QString>
#include <QStringList>

#include "codec/codec_library.h"

// The text after the last "/" of a path (the whole text when there is none).
QString FileNameOf(const QString& path);
// The text before the last "/" (empty when there is none; so "/a.uue" gives "" as well).
QString DirectoryOf(const QString& path);
// Whether glob(3) finds anything under the text as given: wildcards are honoured, and a
// directory counts like a file.
bool AnythingMatches(const QString& pattern);
// Orders paths as the file list shows their names: case-insensitive, equal names in the
// order given. Each path is kept whole.
QStringList SortedByFileName(const QStringList& paths);

// The string id that reports a library result code; 0 for success.
int LibraryResultString(int code);
// The name of the file a progress record reports on (its field need not be terminated).
QByteArray ProgressFileName(const codec::Progress& progress);
// The whole-file percentage of a progress record: parts count evenly, truncated.
int ProgressPercent(const codec::Progress& progress);
// "<bytes / 1024>K".
QString SizeText(int32_t bytes);
// Horizontal extent of the Error list for a record: wide when the okay or failed text shows.
int FileStatusExtent(uint32_t state);

// Whether a typed output name is acceptable: not empty, no "\" or "/", not "." or "..", and a
// file of that name can be created or opened in tempDir (which ends in "/"). A probe file the
// test creates is removed again; an existing file of that name is left as it was.
bool IsAcceptableOutputName(const QString& name, const QString& tempDir);
