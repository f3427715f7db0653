#include "engine/headless_run.h"

#include <QElapsedTimer>
#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "db/db_error.h"
#include "db/driver.h"
#include "db/query.h"
#include "engine/file_names.h"
#include "engine/paths.h"
#include "engine/run_texts.h"
#include "engine/server_connection.h"
#include "engine/statements.h"
#include "mdf/mdf.h"

namespace quillane::engine {

using db::ControlsShown;

// One server session: its connection and the two queries the window's run has on it.
struct HeadlessRun::Session {
    explicit Session(std::unique_ptr<db::Driver> driver)
        : connection(std::move(driver)),
          check(QStringLiteral("ADOQAttach"), connection),
          attach(QStringLiteral("ADOQAdd"), connection) {}
    db::Connection connection;
    db::Query check;
    db::Query attach;
};

namespace {

// One entry under way: its outcome and what it has to say, kept until the entry is done so that
// its log lines and reports come out together whatever other entries run beside it.
struct Entry {
    log::RunLog& log;
    EntryOutcome outcome;
    QList<log::RunLog::Line> lines;
    QStringList reports;
    bool clientFailure = false;  // a failure the server did not word: the session may be gone

    void Log(const QString& msg) { lines.append({log.Now(), msg}); }

    void Note(const QString& text) {
        Log(text);
        reports << text;
    }

    void Fail(ReportKind kind, const QString& message, int serverError, const QString& statement,
              const QString& shownStatement) {
        outcome.status = EntryStatus::Failed;
        outcome.statement = statement;
        outcome.error = message;
        outcome.serverError = serverError;
        Note(ReportText(kind, message, shownStatement));
    }

    void Fail(ReportKind kind, const std::exception& error, const QString& statement,
              const QString& shownStatement) {
        const int serverError = db::ServerErrorOf(error);
        clientFailure = serverError == 0;
        Fail(kind, db::MessageOf(error), serverError, statement, shownStatement);
    }
};

bool MissingHere(const QString& path) {
    return mdf::ReadFileHeader(ToFsPath(path)).status == mdf::ReadStatus::NotFound;
}

QString ReaderFailure(mdf::ReadStatus status, const std::string& detail) {
    switch (status) {
        case mdf::ReadStatus::Ok:
            break;
        case mdf::ReadStatus::NotFound:
            return QStringLiteral("找不到文件。");
        case mdf::ReadStatus::AccessDenied:
            return QStringLiteral("无法读取文件（拒绝访问）。");
        case mdf::ReadStatus::NotPrimary:
            return QStringLiteral("不是主数据库文件。");
        case mdf::ReadStatus::BadHeader:
        case mdf::ReadStatus::Damaged:
            return QStringLiteral("文件已损坏：") + QString::fromStdString(detail);
    }
    return {};
}

// The attach statement for the entry's file list (as sent, and with its names and paths shown
// for reports), or the file report when the list cannot make one.
struct Statement {
    QString sql;    // as the query is given it
    QString shown;  // as a report quotes it, CR LF at the end
};
std::optional<Statement> AttachFor(Entry& entry, const QList<RecordedFile>& recorded,
                                   const PlanRules& rules) {
    EntryOutcome& o = entry.outcome;
    const AttachPlan plan = PlanAttach(o.file, recorded, rules, MissingHere);
    if (!plan.missing.isEmpty()) {
        entry.Fail(ReportKind::File, plan.missing, 0, QueryText(FileQuery(o.serverFile)),
                   QueryText(FileQuery(ControlsShown(o.serverFile))));
        return std::nullopt;
    }
    if (!plan.missingLogs.isEmpty()) {
        o.missingLogs = plan.missingLogs;
        entry.Note(RebuildLogLine(plan.missingLogs));
    }
    QStringList shownFiles;
    for (const QString& file : plan.files) {
        shownFiles << ControlsShown(file);
    }
    const Statement statement{
        AttachStatement(o.databaseName, plan.files, plan.clause),
        QueryText(AttachStatement(ControlsShown(o.databaseName), shownFiles, plan.clause))};
    o.statement = QueryText(statement.sql);
    return statement;
}

// The entry on the server: the name query, the file query and the attach, each on the session's
// queries as the window runs them.
void AttachOnServer(db::Query& check, db::Query& attach, Entry& entry, const PlanRules& rules) {
    EntryOutcome& o = entry.outcome;
    const QString nameQuery = NameQuery(o.serverFile);
    try {
        check.SQL().Clear();
        check.SQL().Add(nameQuery);
        o.statements << QueryText(nameQuery);
        check.Open();
        bool named = false;
        for (; !named && !check.Eof(); check.Next()) {
            if (check.Fields(0).AsString() == u"Database name") {
                o.databaseName = Trim(check.Fields(1).AsString());
                named = true;
            }
        }
        if (!named) {
            o.status = EntryStatus::Skipped;
            o.skipReason = SkipReason::NoDatabaseName;
            o.statement = QueryText(nameQuery);
            return;
        }
        entry.Log(DatabaseNameLine(o.databaseName));
    } catch (const std::exception& error) {
        entry.Fail(ReportKind::Name, error, QueryText(nameQuery),
                   QueryText(NameQuery(ControlsShown(o.serverFile))));
        return;
    }

    const QString fileQuery = FileQuery(o.serverFile);
    QList<RecordedFile> recorded;
    try {
        check.SQL().Clear();
        check.SQL().Add(fileQuery);
        o.statements << QueryText(fileQuery);
        check.Open();
        for (; !check.Eof(); check.Next()) {
            bool isId = false;
            const int id = Trim(check.Fields(1).AsString()).toInt(&isId);
            if (!isId) {
                continue;
            }
            const int status = Trim(check.Fields(0).AsString()).toInt();
            const RecordedFile file{id, Trim(check.Fields(3).AsString()), (status & 0x40) != 0};
            recorded.append(file);
            if (rules.everyFile) {
                entry.Log(file.log ? LogFileLine(file.path) : DataFileLine(file.path));
            } else if (id == 1) {
                entry.Log(DataFileLine(file.path));
            } else if (id == 2) {
                entry.Log(LogFileLine(file.path));
            }
        }
    } catch (const std::exception& error) {
        entry.Fail(ReportKind::File, error, QueryText(fileQuery),
                   QueryText(FileQuery(ControlsShown(o.serverFile))));
        return;
    }

    const std::optional<Statement> statement = AttachFor(entry, recorded, rules);
    if (!statement) {
        return;
    }
    try {
        attach.SQL().Clear();
        attach.SQL().Add(statement->sql);
        o.statements << QueryText(statement->sql);
        attach.ExecSQL();
        o.status = EntryStatus::Attached;
        entry.Log(AttachedLine(o.databaseName));
    } catch (const std::exception& error) {
        entry.Fail(ReportKind::Attach, error, QueryText(statement->sql), statement->shown);
    }
}

// The entry in a dry run: what the primary file records, read here, stands in for the server's
// answers to the name and file queries.
void PlanFromFile(Entry& entry, const PlanRules& rules) {
    EntryOutcome& o = entry.outcome;
    o.statements << QueryText(NameQuery(o.serverFile)) << QueryText(FileQuery(o.serverFile));
    const auto read = mdf::ReadPrimaryFile(ToFsPath(o.file));
    if (!read) {
        o.status = EntryStatus::Failed;
        o.statement = o.statements.front();
        o.error = ReaderFailure(read.status, read.detail);
        return;
    }
    o.databaseName = QString::fromStdU16String(read.value.databaseName);
    QList<RecordedFile> recorded;
    for (const mdf::FileEntry& file : read.value.files) {
        recorded.append(
            {file.fileId, QString::fromStdU16String(file.physicalName), mdf::IsLogFile(file)});
    }
    if (const std::optional<Statement> statement = AttachFor(entry, recorded, rules)) {
        o.statements << QueryText(statement->sql);
        o.status = EntryStatus::Planned;
    }
}

}  // namespace

HeadlessRun::HeadlessRun(HeadlessOptions options, DriverFactory makeDriver, log::RunLog& log,
                         HeadlessSinks sinks)
    : options_(std::move(options)),
      makeDriver_(std::move(makeDriver)),
      log_(log),
      sinks_(std::move(sinks)) {}

HeadlessRun::~HeadlessRun() = default;

std::unique_ptr<HeadlessRun::Session> HeadlessRun::NewSession() const {
    auto session = std::make_unique<Session>(makeDriver_());
    session->connection.SetConnectionString(ComposeConnectionText(options_.user, options_.server));
    return session;
}

EntryOutcome HeadlessRun::OutcomeOf(qsizetype index, const QString& file) const {
    EntryOutcome outcome;
    outcome.index = index;
    outcome.file = file;
    outcome.serverFile = ToServerPath(options_.rules.map, file);
    return outcome;
}

bool HeadlessRun::Connect() {
    first_ = std::make_unique<Session>(makeDriver_());
    engine::Connect(first_->connection, options_.user, options_.server, sinks_.report);
    return first_->connection.Connected();
}

void HeadlessRun::Work(Session& session, const QStringList& files, const std::atomic<bool>& stop) {
    while (!stop.load()) {
        const qsizetype index = next_.fetch_add(1);
        if (index >= files.size()) {
            return;
        }
        Entry entry{log_, OutcomeOf(index, files[index]), {}, {}, false};
        entry.Log(SelectionLine(index, entry.outcome.file));
        AttachOnServer(session.check, session.attach, entry, options_.rules);
        if (entry.clientFailure) {
            // Whatever broke may have taken the session with it: the next entry starts afresh.
            session.connection.Close();
        }
        Finish(entry.outcome, entry.lines, entry.reports);
    }
}

void HeadlessRun::Finish(const EntryOutcome& outcome, const QList<log::RunLog::Line>& lines,
                         const QStringList& reports) {
    const std::lock_guard lock(finishing_);
    if (!options_.dryRun) {
        log_.AddLines(lines);
    }
    for (const QString& report : reports) {
        sinks_.report(report);
    }
    switch (outcome.status) {
        case EntryStatus::Attached:
            ++totals_.attached;
            break;
        case EntryStatus::Failed:
            ++totals_.failed;
            break;
        case EntryStatus::Skipped:
            ++totals_.skipped;
            totals_.notStarted += outcome.skipReason == SkipReason::NotStarted ? 1 : 0;
            break;
        case EntryStatus::Planned:
            ++totals_.planned;
            break;
    }
    if (sinks_.entryDone) {
        sinks_.entryDone(outcome);
    }
}

RunTotals HeadlessRun::Run(const QStringList& files, const std::atomic<bool>& stop) {
    QElapsedTimer timer;
    timer.start();
    totals_ = {};
    next_ = 0;
    if (options_.dryRun) {
        for (qsizetype index = 0; index < files.size() && !stop.load(); ++index) {
            next_ = index + 1;
            Entry entry{log_, OutcomeOf(index, files[index]), {}, {}, false};
            PlanFromFile(entry, options_.rules);
            Finish(entry.outcome, {}, entry.reports);
        }
    } else if (!files.isEmpty()) {
        const qsizetype workers =
            std::clamp<qsizetype>(options_.jobs, 1, std::max<qsizetype>(files.size(), 1));
        std::vector<std::unique_ptr<Session>> sessions;
        sessions.push_back(first_ ? std::move(first_) : NewSession());
        for (qsizetype i = 1; i < workers; ++i) {
            sessions.push_back(NewSession());
        }
        std::vector<std::thread> threads;
        for (qsizetype i = 1; i < workers; ++i) {
            threads.emplace_back([this, &sessions, &files, &stop, i] {
                Work(*sessions[static_cast<std::size_t>(i)], files, stop);
            });
        }
        Work(*sessions.front(), files, stop);
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    for (qsizetype index = std::min(next_.load(), files.size()); index < files.size(); ++index) {
        EntryOutcome outcome = OutcomeOf(index, files[index]);
        outcome.status = EntryStatus::Skipped;
        outcome.skipReason = SkipReason::NotStarted;
        Finish(outcome, {}, {});
    }
    totals_.elapsedMs = timer.elapsed();
    return totals_;
}

}  // namespace quillane::engine
