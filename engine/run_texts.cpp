#include "engine/run_texts.h"

#include "db/db_error.h"

namespace quillane::engine {

using db::ControlsShown;

QString SelectionLine(qsizetype index, const QString& entryPath) {
    return QStringLiteral("选中第【") + QString::number(index) +
           QStringLiteral("】文件,选中文件名：") + ControlsShown(entryPath);
}

QString DatabaseNameLine(const QString& databaseName) {
    return QStringLiteral("附加后的数据库名：") + ControlsShown(databaseName);
}

QString DataFileLine(const QString& path) {
    return QStringLiteral("数据库文件:") + ControlsShown(path);
}

QString LogFileLine(const QString& path) {
    return QStringLiteral("日志文件:") + ControlsShown(path);
}

QString AttachedLine(const QString& databaseName) {
    return QStringLiteral("附加数据库【") + ControlsShown(databaseName) +
           QStringLiteral("】成功！");
}

QString RebuildLogLine(const QStringList& missingLogs) {
    QStringList shown;
    for (const QString& path : missingLogs) {
        shown << ControlsShown(path);
    }
    return QStringLiteral("找不到日志文件“") + shown.join(QStringLiteral("”、“")) +
           QStringLiteral("”，附加时重建日志（FOR ATTACH_REBUILD_LOG）。");
}

QString ReportText(ReportKind kind, const QString& message, const QString& shownStatement) {
    QString what;
    switch (kind) {
        case ReportKind::Name:
            what = QStringLiteral("检查数据库名出错！错误：");
            break;
        case ReportKind::File:
            what = QStringLiteral("检查数据文件出错！错误：");
            break;
        case ReportKind::Attach:
            what = QStringLiteral("附加数据库出错！错误：");
            break;
    }
    return what + message + QStringLiteral("\r\n Sql:") + shownStatement;
}

QString QueryText(const QString& statement) {
    return statement + QStringLiteral("\r\n");
}

}  // namespace quillane::engine
