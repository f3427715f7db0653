#include "engine/attach_plan.h"

#include <algorithm>

namespace quillane::engine {

AttachPlan PlanAttach(const QString& localEntryPath, const QList<RecordedFile>& recorded,
                      const PlanRules& rules,
                      const std::function<bool(const QString&)>& isMissing) {
    QList<RecordedFile> named;
    for (const RecordedFile& file : recorded) {
        if (rules.everyFile || file.fileId == 1 || file.fileId == 2) {
            named.append(file);
        }
    }
    AttachPlan plan;
    const auto has = [&](auto predicate) {
        return std::any_of(named.begin(), named.end(), predicate);
    };
    if (!has([](const RecordedFile& f) { return f.fileId == 1; })) {
        plan.missing = QStringLiteral("查询结果中没有主数据文件（文件编号 1）。");
        return plan;
    }
    if (!rules.everyFile && !has([](const RecordedFile& f) { return f.fileId == 2; })) {
        plan.missing = QStringLiteral("查询结果中没有日志文件（文件编号 2）。");
        return plan;
    }
    if (rules.everyFile && !has([](const RecordedFile& f) { return f.log; })) {
        plan.missing = QStringLiteral("查询结果中没有日志文件。");
        return plan;
    }

    QList<PlannedFile> files = PlanFiles(localEntryPath, named, rules.map);
    // The server takes the first file named as the primary file.
    std::stable_partition(files.begin(), files.end(),
                          [](const PlannedFile& f) { return f.fileId == 1; });
    if (rules.rebuildLog) {
        for (const PlannedFile& file : files) {
            if (file.log && !file.localPath.isEmpty() && isMissing(file.localPath)) {
                plan.missingLogs << file.localPath;
            }
        }
    }
    if (!plan.missingLogs.isEmpty()) {
        plan.clause = AttachClause::AttachRebuildLog;
    }
    for (const PlannedFile& file : files) {
        if (!(file.log && plan.clause == AttachClause::AttachRebuildLog)) {
            plan.files << file.serverPath;
        }
    }
    return plan;
}

}  // namespace quillane::engine
