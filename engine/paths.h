#pragma once

#include <QString>

namespace quillane::engine {

// Removes leading and trailing characters whose code is 32 or lower: blanks and control
// characters alike, as every value read from a control or a result column is cleaned.
QString Trim(const QString& text);

// The separator put between a directory and a name: the one this platform's paths use.
QChar PathSeparator();

// Everything up to and including the last "\", "/" or ":". Paths recorded in a primary file may
// come from Windows whatever platform reads them, so all three end a directory everywhere.
QString DirectoryPart(const QString& path);
// What follows the directory part.
QString WithoutDirectory(const QString& path);

// The path an attach-list entry is attached from: the directory shown, the separator (even when
// the directory already ends with one, as at a root) and the entry's name.
QString EntryPath(const QString& directory, const QString& entry);

// Where the log file is expected when the primary file has moved: beside the data file, under the
// name the primary file records.
QString GetFilePath(const QString& DbName, const QString& logName);

}  // namespace quillane::engine
