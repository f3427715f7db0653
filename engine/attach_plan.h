#pragma once

// What the command line's run names in one entry's attach statement, decided from that entry's
// own file list alone: every recorded file (or only the primary file and file 2, as the window's
// statement does), relocated beside a moved primary file, in the server's terms; and, when asked,
// the data files alone with a new log when the log is not there.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "engine/file_plan.h"
#include "engine/path_map.h"
#include "engine/statements.h"

namespace quillane::engine {

struct PlanRules {
    bool everyFile = true;    // false: the primary file and file 2 only, as the window names them
    bool rebuildLog = false;  // a log not found here is made anew (FOR ATTACH_REBUILD_LOG)
    PathMap map;              // how the server names the local paths
};

struct AttachPlan {
    // Not empty when the file list cannot make a statement: what it lacks.
    QString missing;
    QStringList files;  // as the server is told them, the primary file first
    AttachClause clause = AttachClause::Attach;
    QStringList missingLogs;  // with AttachRebuildLog: the logs not found, as paths here
};

// `recorded` is the entry's file list in record order; `isMissing` says whether nothing lies at a
// local path. A list without the primary file (id 1), or without a log (a status 0x40 file; file
// 2 when only the primary file and file 2 are named), makes no statement: nothing of another
// entry's files may stand in for it.
AttachPlan PlanAttach(const QString& localEntryPath, const QList<RecordedFile>& recorded,
                      const PlanRules& rules, const std::function<bool(const QString&)>& isMissing);

}  // namespace quillane::engine
