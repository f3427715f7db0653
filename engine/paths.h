#pragma once

#include <QString>

namespace quillane::engine {

// Removes leading and trailing characters whose code is 32 or lower: blanks and control
// characters alike, as every value read from a control or a result column is cleaned.
QString Trim(const QString& text);

// The separator put between a directory and a name: the one this platform's paths use.
QChar PathSeparator();

// A local path's directory part: everything up to and including the last of this platform's own
// separators ("/" on Linux; "\", "/" and ":" on Windows). On Linux ":" and "\" are ordinary
// characters of a file name, so "prod:sales.mdf" names one file, not "sales.mdf".
QString DirectoryPart(const QString& path);
// What follows the local directory part.
QString WithoutDirectory(const QString& path);

// Whether a path recorded in a primary file is the path of a server on Windows: it starts with a
// drive letter and ":" or with "\\", or holds a "\" anywhere. The file records the server's
// paths, whatever platform reads it.
bool IsWindowsPath(const QString& recorded);
// The file name of a recorded path: a Windows path loses everything up to its last "\", "/" or
// ":", any other path (a server on Linux) everything up to its last "/" only, so that
// "/var/opt/mssql/data/a:b_log.ldf" keeps "a:b_log.ldf".
QString RecordedFileName(const QString& recorded);

// The path an attach-list entry is attached from: the directory shown, the separator (even when
// the directory already ends with one, as at a root) and the entry's name.
QString EntryPath(const QString& directory, const QString& entry);

// Where the log file is expected when the primary file has moved: beside the data file (the local
// entry path `DbName`), under the file name the primary file records (`logName`, a server path).
QString GetFilePath(const QString& DbName, const QString& logName);

}  // namespace quillane::engine
