#include "engine/file_plan.h"

#include <algorithm>

#include "engine/paths.h"

namespace quillane::engine {

QStringList PlanFilePaths(const QString& entryPath, const QList<RecordedFile>& recorded) {
    QStringList paths;
    for (const PlannedFile& file : PlanFiles(entryPath, recorded, {})) {
        paths << file.serverPath;
    }
    return paths;
}

QList<PlannedFile> PlanFiles(const QString& localEntryPath, const QList<RecordedFile>& recorded,
                             const PathMap& map) {
    const QString local = Trim(localEntryPath);
    const QString server = Trim(ToServerPath(map, local));
    const auto primary = std::find_if(recorded.begin(), recorded.end(),
                                      [](const RecordedFile& f) { return f.fileId == 1; });
    const bool moved = primary == recorded.end() || Trim(primary->path) != server;
    QList<PlannedFile> planned;
    for (const RecordedFile& file : recorded) {
        PlannedFile plan{file.fileId, file.log, {}, {}};
        if (!moved) {
            plan.serverPath = Trim(file.path);
            plan.localPath = ToLocalPath(map, plan.serverPath).value_or(QString());
        } else if (file.fileId == 1) {
            plan.serverPath = server;
            plan.localPath = local;
        } else {
            // Beside the primary file, under its recorded name: the same directory on both sides.
            plan.localPath = GetFilePath(local, Trim(file.path));
            plan.serverPath = ToServerPath(map, plan.localPath);
        }
        planned.append(plan);
    }
    return planned;
}

}  // namespace quillane::engine
