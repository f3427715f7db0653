#include "engine/attach_run.h"

#include "db/db_error.h"
#include "db/query.h"
#include "engine/paths.h"
#include "engine/run_texts.h"
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

void AttachRun::CheckEntry(qsizetype index, const QString& entry, const QString& directory) {
    const QString entryPath = EntryPath(directory, entry);
    log_.AddLog(SelectionLine(index, entryPath));
    try {
        check_.SQL().Clear();
        check_.SQL().Add(NameQuery(entryPath));
        checkQuoted_ = QueryText(NameQuery(db::ControlsShown(entryPath)));
        check_.Open();
        // The file query runs on this same query: once it has succeeded the walk stands past its
        // last row and ends, so each entry is attached at most once.
        while (!check_.Eof()) {
            if (check_.Fields(0).AsString() == u"Database name") {
                const QString databaseName = Trim(check_.Fields(1).AsString());
                log_.AddLog(DatabaseNameLine(databaseName));
                if (GetFileName(entryPath)) {
                    Attach(databaseName, entryPath);
                }
            }
            check_.Next();
        }
    } catch (const std::exception& error) {
        Report(ReportKind::Name, error, checkQuoted_);
    }
}

bool AttachRun::GetFileName(const QString& DbName) {
    try {
        check_.SQL().Clear();
        check_.SQL().Add(FileQuery(DbName));
        checkQuoted_ = QueryText(FileQuery(db::ControlsShown(DbName)));
        check_.Open();
        while (!check_.Eof()) {
            if (check_.Fields(1).AsString() == u"1") {
                G_dbFileName = Trim(check_.Fields(3).AsString());
                log_.AddLog(DataFileLine(G_dbFileName));
            }
            if (check_.Fields(1).AsString() == u"2") {
                G_LogFileName = Trim(check_.Fields(3).AsString());
                log_.AddLog(LogFileLine(G_LogFileName));
            }
            check_.Next();
        }
        return true;
    } catch (const std::exception& error) {
        Report(ReportKind::File, error, checkQuoted_);
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
        attachQuoted_ = QueryText(AttachStatement(db::ControlsShown(databaseName),
                                                  db::ControlsShown(G_dbFileName),
                                                  db::ControlsShown(G_LogFileName)));
        attach_.ExecSQL();
        log_.AddLog(AttachedLine(databaseName));
    } catch (const std::exception& error) {
        Report(ReportKind::Attach, error, attachQuoted_);
    }
}

void AttachRun::Report(ReportKind kind, const std::exception& error, const QString& sqlText) {
    const QString text = ReportText(kind, db::MessageOf(error), sqlText);
    showMessage_(text);
    log_.AddLog(text);
}

}  // namespace quillane::engine
