#pragma once

// Where every file of a database is attached from: the relocation rule of the run, applied to
// every file the primary file records rather than to the log file alone.

#include <QList>
#include <QString>
#include <QStringList>

namespace quillane::engine {

// One file as a primary file records it: its id (1 is the primary file itself) and the path it
// had when the database was detached.
struct RecordedFile {
    int fileId = 0;
    QString path;
};

// The path an attach from `entryPath` names for each recorded file, in the order given. When the
// primary file still lies where it records (its trimmed path equals the trimmed recorded path of
// file 1, letter case included), every file keeps its recorded path. Otherwise the primary file is
// attached from `entryPath` even when it was renamed, and every other file is expected beside it
// under the name it records (GetFilePath). Paths are trimmed, as the run trims them.
QStringList PlanFilePaths(const QString& entryPath, const QList<RecordedFile>& recorded);

}  // namespace quillane::engine
