#pragma once

// The words of an attach run: the lines it writes to the day's log and the reports it makes of a
// failure. The window's run and the command line's run write the same lines, from here.
//
// Names and paths come from files and directories and may hold control characters; every value
// is shown with db::ControlsShown, so that a line break inside a name can neither break a line
// nor start one that passes for another entry.

#include <QString>
#include <QStringList>

namespace quillane::engine {

// "选中第【i】文件,选中文件名：<path>": the entry (counted from 0) and the path it is attached
// from.
QString SelectionLine(qsizetype index, const QString& entryPath);
// "附加后的数据库名：<name>": the name the primary file records.
QString DatabaseNameLine(const QString& databaseName);
// "数据库文件:<path>" and "日志文件:<path>": a data or log file as the primary file records it.
QString DataFileLine(const QString& path);
QString LogFileLine(const QString& path);
// "附加数据库【<name>】成功！"
QString AttachedLine(const QString& databaseName);
// Said before a database is attached with a new log because its log files are not where the
// attach expects them (local paths).
QString RebuildLogLine(const QStringList& missingLogs);

enum class ReportKind {
    Name,  // "检查数据库名出错！错误：" (the name query, or anything else before the file query)
    File,    // "检查数据文件出错！错误：" (the file query)
    Attach,  // "附加数据库出错！错误：" (the attach statement)
};

// A failure report: what failed, the failure's message, CR LF, " Sql:" and the statement as its
// query holds it (`shownStatement`, its values already shown with ControlsShown), which ends with
// CR LF.
QString ReportText(ReportKind kind, const QString& message, const QString& shownStatement);

// A statement as a query holds it (SQL.Text): its one line followed by CR LF.
QString QueryText(const QString& statement);

}  // namespace quillane::engine
