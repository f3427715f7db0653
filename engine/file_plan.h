#pragma once

// Where every file of a database is attached from: the relocation rule of the run, applied to
// every file the primary file records rather than to the log file alone.

#include <QList>
#include <QString>
#include <QStringList>

#include "engine/path_map.h"

namespace quillane::engine {

// One file as a primary file records it: its id (1 is the primary file itself), the path it had
// when the database was detached, and whether it is a log file (status bit 0x40; a second log
// takes whatever id is free, so the id does not say).
struct RecordedFile {
    int fileId = 0;
    QString path;
    bool log = false;
};

// The path an attach from `entryPath` names for each recorded file, in the order given. When the
// primary file still lies where it records (its trimmed path equals the trimmed recorded path of
// file 1, letter case included), every file keeps its recorded path. Otherwise the primary file is
// attached from `entryPath` even when it was renamed, and every other file is expected beside it
// under the name it records (GetFilePath). Paths are trimmed, as the run trims them.
QStringList PlanFilePaths(const QString& entryPath, const QList<RecordedFile>& recorded);

// A recorded file as an attach names it to the server, and where it lies on this machine.
struct PlannedFile {
    int fileId = 0;
    bool log = false;
    QString serverPath;  // what the attach statement names
    QString localPath;   // the same file here; empty when no mapping says where that is
};

// PlanFilePaths for a server that sees the files under other prefixes (`map`; empty: the same
// paths). The primary file is at `localEntryPath` here and at its mapped path on the server; the
// comparison with the recorded path is made in the server's terms, and a moved database's files
// are expected beside the primary file in both. Record order is kept.
QList<PlannedFile> PlanFiles(const QString& localEntryPath, const QList<RecordedFile>& recorded,
                             const PathMap& map);

}  // namespace quillane::engine
