// What quillane-attach costs against a server that takes its time: 200 moved databases, the test
// server spending 20 ms on every statement (standing in for a real server's attach work), attached
// by the program with one session and with four, and by the bare ODBC loop that sends the same
// three statements per database on one session and does nothing else: no log, no planning, no
// program to start. Each figure is printed beside the others, with their ratios.
//
// Needs the test KDC (scripts/bench.sh starts it) and prints; it never passes or fails on time.
#include <fcntl.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "db/odbc/connection_mapping.h"
#include "engine/paths.h"
#include "engine/server_connection.h"
#include "engine/statements.h"
#include "kdc_env.h"
#include "mdf_fixture.h"
#include "test_server.h"

using namespace Qt::Literals::StringLiterals;
using namespace quillane;

namespace {

constexpr int kEntries = 200;
constexpr int kDelayMs = 20;
constexpr int kRuns = 3;
constexpr int kStatementsPerEntry = 3;

struct Entry {
    QString name;
    QString path;
    QString log;
};

std::vector<Entry> MakeFiles(const QString& dir) {
    std::vector<Entry> entries;
    for (int i = 0; i < kEntries; ++i) {
        const QString stem = u"db%1"_s.arg(i, 3, 10, QChar(u'0'));
        Entry e{u"库"_s + stem, dir + u'/' + stem + u".mdf"_s, dir + u'/' + stem + u"_log.ldf"_s};
        mdf::FixtureSpec fixture;
        fixture.databaseName = e.name.toStdU16String();
        fixture.files = {
            {2, 1, stem.toStdU16String(), (u"E:\\old\\"_s + stem + u".mdf"_s).toStdU16String()},
            {0x100042, 2, (stem + u"_log"_s).toStdU16String(),
             (u"E:\\old\\"_s + stem + u"_log.ldf"_s).toStdU16String()}};
        mdf::WritePrimaryFile(std::filesystem::path(e.path.toStdString()), fixture);
        mdf::WriteMatchingLogFile(std::filesystem::path(e.path.toStdString()),
                                  std::filesystem::path(e.log.toStdString()));
        entries.push_back(e);
    }
    return entries;
}

testsrv::Options Delayed() {
    testsrv::Options options;
    options.statementDelayMs = kDelayMs;
    return options;
}

QString ServerText(const testsrv::TestServer& server) {
    return u"127.0.0.1,"_s + QString::number(server.Port());
}

SQLWCHAR* Wide(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(text.constData()));
}

// Runs one statement and reads every result to its end, as any client must.
bool Execute(SQLHDBC dbc, const QString& statement) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLRETURN rc = SQLExecDirectW(stmt, Wide(statement), SQL_NTS);
    const bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    while (SQL_SUCCEEDED(rc)) {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
            for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
                SQLWCHAR buffer[512];
                SQLLEN indicator = 0;
                SQLGetData(stmt, c, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
            }
        }
        rc = SQLMoreResults(stmt);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

// The baseline: one session, the same statements, nothing else. Seconds, or -1 on a failure.
double BareLoop(const std::vector<Entry>& entries) {
    testsrv::TestServer server(Delayed());
    QElapsedTimer timer;
    timer.start();
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const QString text =
        db::odbc::ToOdbcConnection(engine::ComposeConnectionText(u"sa"_s, ServerText(server))).text;
    bool ok = SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, Wide(text), SQL_NTS, nullptr, 0,
                                              nullptr, SQL_DRIVER_NOPROMPT));
    for (const Entry& e : entries) {
        ok = ok && Execute(dbc, engine::NameQuery(e.path) + u"\r\n"_s) &&
             Execute(dbc, engine::FileQuery(e.path) + u"\r\n"_s) &&
             Execute(dbc, engine::AttachStatement(e.name, e.path, e.log) + u"\r\n"_s);
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return ok && server.Databases().size() == entries.size() ? seconds : -1;
}

// The program over the directory, from its start to its exit. Seconds, or -1 on a failure.
double Program(const QString& program, const QString& dir, int jobs, std::size_t entries) {
    testsrv::TestServer server(Delayed());
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program,
                  {u"--server"_s, ServerText(server), u"--jobs"_s, QString::number(jobs), dir});
    const bool finished = process.waitForFinished(600000);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const bool ok = finished && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0 && server.Databases().size() == entries;
    return ok ? seconds : -1;
}

double Median(std::vector<double> runs) {
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!testkdc::Ready()) {
        std::fprintf(stderr,
                     "quillane_cli_bench: the test KDC is not running in %s "
                     "(scripts/bench.sh starts it)\n",
                     testkdc::Dir().c_str());
        return 1;
    }
    testkdc::UseTicket();
    QTemporaryDir temp;
    const QString dir = QDir(temp.path()).canonicalPath() + u"/files"_s;
    QDir().mkpath(dir);
    // The program writes its day's log beside itself: a copy of its own keeps that here.
    const QString program = temp.path() + u"/quillane-attach"_s;
    QFile::copy(QStringLiteral(QUILLANE_ATTACH_PATH), program);
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::vector<Entry> entries = MakeFiles(dir);
    // The test servers say a line for every database they attach: into a file, shown only when
    // something went wrong.
    const QString chatter = temp.path() + u"/servers.err"_s;
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(QFile::encodeName(chatter).constData(), O_WRONLY | O_CREAT, 0644);
    ::dup2(file, STDERR_FILENO);
    ::close(file);

    std::vector<double> bare, one, four;
    for (int run = 0; run < kRuns; ++run) {
        bare.push_back(BareLoop(entries));
        one.push_back(Program(program, dir, 1, entries.size()));
        four.push_back(Program(program, dir, 4, entries.size()));
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    for (const auto* runs : {&bare, &one, &four}) {
        if (std::any_of(runs->begin(), runs->end(), [](double s) { return s < 0; })) {
            std::fprintf(stderr,
                         "quillane_cli_bench: a run did not attach every database; the "
                         "test servers said:\n");
            QFile said(chatter);
            if (said.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s", said.readAll().right(4000).constData());
            }
            return 1;
        }
    }
    const double b = Median(bare), j1 = Median(one), j4 = Median(four);
    const double statements = kEntries * kStatementsPerEntry * kDelayMs / 1000.0;
    std::printf(
        "quillane-attach: %d moved databases, the test server taking %d ms over every "
        "statement\n(%d statements each, %.2f s of waiting on one session)\n\n"
        "Figures beside their baselines (median of %d runs, wall time):\n",
        kEntries, kDelayMs, kStatementsPerEntry, statements, kRuns);
    std::printf("  %-28s %7.2f s\n", "bare ODBC loop, one session", b);
    std::printf("  %-28s %7.2f s   %.3fx the bare loop         (goal: at most 1.10x)\n",
                "quillane-attach --jobs 1", j1, j1 / b);
    std::printf(
        "  %-28s %7.2f s   %.2fx as fast as --jobs 1  (goal: at least 3.5x; 4x is the "
        "limit)\n",
        "quillane-attach --jobs 4", j4, j1 / j4);
    std::printf("\n  runs (s): bare");
    for (double s : bare)
        std::printf(" %.2f", s);
    std::printf("; --jobs 1");
    for (double s : one)
        std::printf(" %.2f", s);
    std::printf("; --jobs 4");
    for (double s : four)
        std::printf(" %.2f", s);
    std::printf("\n");
    return 0;
}
