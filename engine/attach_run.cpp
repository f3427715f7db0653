#include "engine/attach_run.h"

#include "db/db_error.h"
#include "db/query.h"
#include "engine/paths.h"
#include "engine/statements.h"
#include "log/run_log.h"

namespace quillane::engine {

AttachRun::AttachRun(db::Query& check, db::Query& attach, log::RunLog& log, MessageSink showMessage)
    : check_(check), attach_(attach), log_(log), showMessage_(std::move(showMessage)) {}

void AttachRun::Run(const QStringList& entries, const QString& directory) {
    const qsizetype count = entries.size();
    for (qsizetype i = 0; i < count; ++i) {
        CheckEntry(i, entries[i], directory);
    }
}

namespace {

// A statement as a report quotes it: the query's text (its one line and CR LF), with the control
// characters of the names and paths in it shown as pictures.
QString Quoted(const QString& statementShown) {
    return statementShown + QStringLiteral("\r\n");
}

}  // namespace

void AttachRun::CheckEntry(qsizetype index, const QString& entry, const QString& directory) {
    const QString entryPath = EntryPath(directory, entry);
    log_.AddLog(QStringLiteral("选中第【") + QString::number(index) +
                QStringLiteral("】文件,选中文件名：") + db::ControlsShown(entryPath));
    try {
        check_.SQL().Clear();
        check_.SQL().Add(NameQuery(entryPath));
        checkQuoted_ = Quoted(NameQuery(db::ControlsShown(entryPath)));
        check_.Open();
        // The file query runs on this same query: once it has succeeded the walk stands past its
        // last row and ends, so each entry is attached at most once.
        while (!check_.Eof()) {
            if (check_.Fields(0).AsString() == u"Database name") {
                const QString databaseName = Trim(check_.Fields(1).AsString());
                log_.AddLog(QStringLiteral("附加后的数据库名：") + db::ControlsShown(databaseName));
                if (GetFileName(entryPath)) {
                    Attach(databaseName, entryPath);
                }
            }
            check_.Next();
        }
    } catch (const std::exception& error) {
        Report(QStringLiteral("检查数据库名出错！错误："), error, checkQuoted_);
    }
}

bool AttachRun::GetFileName(const QString& DbName) {
    try {
        check_.SQL().Clear();
        check_.SQL().Add(FileQuery(DbName));
        checkQuoted_ = Quoted(FileQuery(db::ControlsShown(DbName)));
        check_.Open();
        while (!check_.Eof()) {
            if (check_.Fields(1).AsString() == u"1") {
                G_dbFileName = Trim(check_.Fields(3).AsString());
                log_.AddLog(QStringLiteral("数据库文件:") + db::ControlsShown(G_dbFileName));
            }
            if (check_.Fields(1).AsString() == u"2") {
                G_LogFileName = Trim(check_.Fields(3).AsString());
                log_.AddLog(QStringLiteral("日志文件:") + db::ControlsShown(G_LogFileName));
            }
            check_.Next();
        }
        return true;
    } catch (const std::exception& error) {
        Report(QStringLiteral("检查数据文件出错！错误："), error, checkQuoted_);
        return false;
    }
}

void AttachRun::Attach(const QString& databaseName, const QString& entryPath) {
    // A primary file that no longer lies where it records is attached from where it lies now,
    // with its log file expected beside it.
    if (Trim(entryPath) != Trim(G_dbFileName)) {
        G_dbFileName = Trim(entryPath);
        G_LogFileName = GetFilePath(entryPath, G_LogFileName);
    }
    try {
        attach_.SQL().Clear();
        attach_.SQL().Add(AttachStatement(databaseName, G_dbFileName, G_LogFileName));
        attachQuoted_ =
            Quoted(AttachStatement(db::ControlsShown(databaseName), db::ControlsShown(G_dbFileName),
                                   db::ControlsShown(G_LogFileName)));
        attach_.ExecSQL();
        log_.AddLog(QStringLiteral("附加数据库【") + db::ControlsShown(databaseName) +
                    QStringLiteral("】成功！"));
    } catch (const std::exception& error) {
        Report(QStringLiteral("附加数据库出错！错误："), error, attachQuoted_);
    }
}

void AttachRun::Report(const QString& what, const std::exception& error, const QString& sqlText) {
    const QString text = what + db::MessageOf(error) + QStringLiteral("\r\n Sql:") + sqlText;
    showMessage_(text);
    log_.AddLog(text);
}

}  // namespace quillane::engine
