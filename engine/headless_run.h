#pragma once

// The attach run without a window, for the command line: the window's statements, log lines and
// reports, but every entry planned from its own file query alone (nothing carries over from one
// entry to the next), every recorded file named, paths sent as the server knows them, a log
// rebuilt when asked, and several server sessions at once. Reports go to a sink where the window
// shows message boxes.

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "engine/attach_plan.h"
#include "log/message_sink.h"
#include "log/run_log.h"

namespace quillane::db {
class Driver;
}

namespace quillane::engine {

struct HeadlessOptions {
    QString server = QStringLiteral(".");  // the window's server box
    QString user = QStringLiteral("sa");   // the window's user box
    PlanRules rules;
    int jobs = 1;         // server sessions at once, each entry on one of them
    bool dryRun = false;  // read the files here, send nothing, write no log
};

enum class EntryStatus { Attached, Failed, Skipped, Planned };

enum class SkipReason {
    None,
    NoDatabaseName,  // the name query has no "Database name" row
    NotStarted,      // the run was stopped before this entry began
};

// What became of one entry.
struct EntryOutcome {
    qsizetype index = 0;   // in the run, from 0
    QString file;          // the primary file, as a path here
    QString serverFile;    // the same file as the server is told it
    QString databaseName;  // empty until the name query gave it
    EntryStatus status = EntryStatus::Skipped;
    SkipReason skipReason = SkipReason::None;
    QStringList statements;   // every statement sent (in a dry run, that would be sent), as sent
    QString statement;        // the one this outcome is about: the attach, or the one that failed
    QStringList missingLogs;  // not empty: attached with a new log (FOR ATTACH_REBUILD_LOG)
    int serverError = 0;      // the server's number of the failure, 0 for none or a client's
    QString error;            // the failure's message; empty when none
};

struct RunTotals {
    int attached = 0;
    int failed = 0;
    int skipped = 0;  // not-started entries included
    int planned = 0;
    int notStarted = 0;
    qint64 elapsedMs = 0;
};

struct HeadlessSinks {
    // A report or a notice, whole, as the window would show it in a message box.
    MessageSink report;
    // One entry is done: called after its log lines are written and its reports made.
    std::function<void(const EntryOutcome&)> entryDone;
};

using DriverFactory = std::function<std::unique_ptr<db::Driver>()>;

class HeadlessRun {
  public:
    // `log` must outlive the run. The sinks are called one at a time, from the threads that run
    // the entries, never while another entry's output is being made.
    HeadlessRun(HeadlessOptions options, DriverFactory makeDriver, log::RunLog& log,
                HeadlessSinks sinks);
    ~HeadlessRun();
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;

    // Opens the first session with the connection text the window's connect button composes from
    // the server and user. On failure the report sink gets "数据库连接失败！" and the message, as
    // the window shows it, and the result is false. Not needed for a dry run.
    bool Connect();

    // Attaches the database of every file (local paths), in order, `jobs` at a time. Once `stop`
    // is set no further entry begins; those under way finish, and the rest are skipped as not
    // started.
    RunTotals Run(const QStringList& files, const std::atomic<bool>& stop);

  private:
    struct Session;
    std::unique_ptr<Session> NewSession() const;
    // The outcome of list entry `index` before anything is done: its file here and the server's.
    EntryOutcome OutcomeOf(qsizetype index, const QString& file) const;
    void Work(Session& session, const QStringList& files, const std::atomic<bool>& stop);
    void Finish(const EntryOutcome& outcome, const QList<log::RunLog::Line>& lines,
                const QStringList& reports);

    HeadlessOptions options_;
    DriverFactory makeDriver_;
    log::RunLog& log_;
    HeadlessSinks sinks_;
    std::unique_ptr<Session> first_;
    std::atomic<qsizetype> next_{0};
    std::mutex finishing_;  // one entry's output at a time
    RunTotals totals_;
};

}  // namespace quillane::engine
