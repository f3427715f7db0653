#pragma once

#include <QString>
#include <QStringList>
#include <exception>

#include "engine/run_texts.h"
#include "log/message_sink.h"

namespace quillane::db {
class Query;
}
namespace quillane::log {
class RunLog;
}

namespace quillane::engine {

// The batch attach run behind the attach button. For every entry it asks the server what the
// primary file records, relocates the paths of a moved file, and attaches the database; each
// step is logged, each failure shown, logged, and the run goes on.
class AttachRun {
  public:
    // `check` runs both DBCC queries (and is what the grid shows); `attach` runs the attach
    // statement. All four must outlive the run.
    AttachRun(db::Query& check, db::Query& attach, log::RunLog& log, MessageSink showMessage);

    // Attaches the database of every entry, in order, from `directory`.
    void Run(const QStringList& entries, const QString& directory);

    // Runs the file query for the primary file at `DbName` and takes the recorded data (id 1) and
    // log (id 2) paths from its rows. False after a reported failure.
    bool GetFileName(const QString& DbName);

    // The paths the next attach statement names. They carry over from entry to entry and from run
    // to run: a file query without a row for one of them leaves the earlier value in place.
    const QString& DbFileName() const { return G_dbFileName; }
    const QString& LogFileName() const { return G_LogFileName; }

  private:
    void CheckEntry(qsizetype index, const QString& entry, const QString& directory);
    void Attach(const QString& databaseName, const QString& entryPath);
    void Report(ReportKind kind, const std::exception& error, const QString& sqlText);

    db::Query& check_;
    db::Query& attach_;
    log::RunLog& log_;
    MessageSink showMessage_;
    QString G_dbFileName;
    QString G_LogFileName;
    // What the reports quote for the statement each query holds: its text as sent, but with the
    // control characters of names and paths shown (db::ControlsShown), so that a name holding a
    // line break cannot forge a line in the log.
    QString checkQuoted_;
    QString attachQuoted_;
};

}  // namespace quillane::engine
