#include "engine/file_plan.h"

#include <algorithm>

#include "engine/paths.h"

namespace quillane::engine {

QStringList PlanFilePaths(const QString& entryPath, const QList<RecordedFile>& recorded) {
    const QString entry = Trim(entryPath);
    const auto primary = std::find_if(recorded.begin(), recorded.end(),
                                      [](const RecordedFile& f) { return f.fileId == 1; });
    const bool moved = primary == recorded.end() || Trim(primary->path) != entry;
    QStringList paths;
    for (const RecordedFile& file : recorded) {
        if (!moved) {
            paths << Trim(file.path);
        } else if (file.fileId == 1) {
            paths << entry;
        } else {
            paths << GetFilePath(entry, Trim(file.path));
        }
    }
    return paths;
}

}  // namespace quillane::engine
