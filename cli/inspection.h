#pragma once

// What `quillane-attach inspect` finds out about one primary data file without a server: what the
// file records, where an attach from here would look for each recorded file and what lies there,
// and whether the attach would succeed or which error the server would answer with.

#include <QList>
#include <QString>
#include <cstdint>

#include "mdf/mdf.h"

namespace quillane::cli {

// What lies at the path an attach would name for a recorded file.
enum class FileCheck {
    Primary,        // the primary file itself
    Found,          // a file of this database: its page 0 carries the same binding id
    Missing,        // nothing there
    Unreadable,     // something there that cannot be read as a file
    OtherDatabase,  // a database file, but of another database
    Damaged,        // a file whose header cannot be read
};

struct InspectedFile {
    int fileId = 0;
    bool log = false;
    QString logicalName;
    QString recordedPath;
    QString attachPath;
    FileCheck check = FileCheck::Missing;
    QString detail;  // what was wrong, for Unreadable and Damaged
};

// Why an attach would fail: the first error the server would give.
enum class Failure {
    None,
    NotFound,      // 5120, operating system error 2
    AccessDenied,  // 5120, operating system error 5
    NotPrimary,    // 5171
    Damaged,       // 5172
    TooNew,        // 948
    Mismatch,      // 5173
};

struct Verdict {
    Failure failure = Failure::None;
    QString path;    // the file the server would name
    QString detail;  // what was wrong with it, where the reader could say

    bool Ready() const { return failure == Failure::None; }
    // The server's error number, 0 when ready.
    int ServerError() const;
    // The operating system error that error 5120 quotes, 0 for the others.
    int OsError() const;
};

struct Inspection {
    QString path;  // the primary file, absolute
    mdf::ReadStatus status = mdf::ReadStatus::Ok;
    QString detail;  // what was wrong, when status is not Ok
    // What the file records, when status is Ok:
    QString databaseName;
    int version = 0;
    int createVersion = 0;
    std::uint32_t collationId = 0;
    mdf::BindingId bindingId{};
    QList<InspectedFile> files;  // in record order
    Verdict verdict;
};

// Reads the primary file at `path` (absolute), looks at what lies where an attach from there
// would look for each recorded file, and judges.
Inspection Inspect(const QString& path);

// The first error an attach of the inspected files would meet, in the order the server checks:
// the primary file, its version, every other file in record order for being there and readable,
// and only once all are open whether they belong to this database.
Verdict Judge(const Inspection& inspection);

}  // namespace quillane::cli
