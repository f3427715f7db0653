// Batch runs over the real client stack (unixODBC, the FreeTDS driver, a Kerberos ticket from the
// test KDC) against the loopback test server, which reads the generated primary files for real.
// Every run gets a fresh server: a run attaches every database, and the server keeps them.
//
//   the engine's run beside a bare loop of SQLExecDirectW sending the same three statements per
//   entry (wall time: the round trips are the same, so only what the tool adds shows);
//   the window's run (the attach button) beside the engine's alone (the client's CPU time: the
//   server is another process).
//
// Needs the test KDC: scripts/bench.sh starts it.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "db/connection.h"
#include "db/odbc/connection_mapping.h"
#include "db/odbc/odbc_driver.h"
#include "db/query.h"
#include "engine/attach_run.h"
#include "engine/server_connection.h"
#include "kdc_env.h"
#include "log/run_log.h"
#include "mdf_fixture.h"
#include "side_by_side.h"
#include "test_server.h"
#include "ui/application.h"
#include "ui/browsing.h"
#include "ui/frm_attach.h"
#include "ui/style.h"

using namespace Qt::Literals::StringLiterals;
using namespace quillane;

namespace {

QTemporaryDir& Scratch() {
    static QTemporaryDir scratch;
    return scratch;
}

// A directory of `count` primary files, each recording that it was detached from E:\old\, with
// its log file beside it: every entry is a moved database that attaches.
QString DatabasesOf(int count) {
    static std::map<int, QString> made;
    if (const auto found = made.find(count); found != made.end()) {
        return found->second;
    }
    const QString dir = Scratch().filePath(QString::number(count));
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        const QString stem = u"db%1"_s.arg(i, 5, 10, QChar(u'0'));
        mdf::FixtureSpec fixture;
        fixture.databaseName = stem.toStdU16String();
        fixture.files = {
            {2, 1, u"data", (u"E:\\old\\"_s + stem + u".mdf"_s).toStdU16String()},
            {0x100042, 2, u"log", (u"E:\\old\\"_s + stem + u"_log.ldf"_s).toStdU16String()}};
        const std::filesystem::path primary((dir + u'/' + stem + u".mdf"_s).toStdU16String());
        mdf::WritePrimaryFile(primary, fixture);
        mdf::WriteMatchingLogFile(primary, (dir + u'/' + stem + u"_log.ldf"_s).toStdU16String());
    }
    made[count] = dir;
    return dir;
}

// A fresh server for one run, its account of every login and attach kept off the console.
// Null (and the benchmark skipped) when it cannot start.
std::unique_ptr<testsrv::TestServer> FreshServer(benchmark::State& state) {
    const int console = ::dup(2);
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, 2);
    ::close(quiet);
    std::unique_ptr<testsrv::TestServer> server;
    std::string failure;
    try {
        server = std::make_unique<testsrv::TestServer>();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    ::dup2(console, 2);
    ::close(console);
    if (!server) {
        state.SkipWithError(("the test server did not start: " + failure).c_str());
    }
    return server;
}

QString ServerBox(const testsrv::TestServer& server) {
    return u"127.0.0.1,"_s + QString::number(server.Port());
}

// The connection the window makes from the server box, for the same server.
QString ConnectionText(const testsrv::TestServer& server) {
    return engine::ComposeConnectionText(u"sa"_s, ServerBox(server));
}

// --- The bare loop: the ODBC calls and nothing else -------------------------------------------

SQLWCHAR* Wide(std::u16string& text) {
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

std::u16string Column(SQLHSTMT stmt, SQLUSMALLINT column) {
    SQLWCHAR buffer[1024];
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &length)) ||
        length < 0) {
        return {};
    }
    std::u16string value(reinterpret_cast<const char16_t*>(buffer),
                         static_cast<std::size_t>(length) / sizeof(SQLWCHAR));
    while (!value.empty() && value.back() <= u' ') {
        value.pop_back();
    }
    return value;
}

// Runs `statement`; `row` sees every row of its first result. False on any error.
template <typename Row>
bool Run(SQLHDBC dbc, std::u16string statement, Row row) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLRETURN rc = SQLExecDirectW(stmt, Wide(statement), static_cast<SQLINTEGER>(statement.size()));
    // A statement without rows may answer SQL_NO_DATA.
    bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    while (ok && rc != SQL_NO_DATA) {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
            row(stmt);
        }
        rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA) {
            break;
        }
        ok = SQL_SUCCEEDED(rc);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
}

void BM_BareOdbcLoop(benchmark::State& state) {
    const QString dir = DatabasesOf(static_cast<int>(state.range(0)));
    const std::u16string base = dir.toStdU16String() + u'/';
    const QStringList names = ui::ListMaskedFiles(dir);
    for (auto _ : state) {
        state.PauseTiming();
        const auto server = FreshServer(state);
        if (!server) {
            break;
        }
        std::u16string text =
            db::odbc::ToOdbcConnection(ConnectionText(*server)).text.toStdU16String();
        SQLHENV env = SQL_NULL_HENV;
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLSMALLINT out = 0;
        if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, Wide(text), SQL_NTS, nullptr, 0, &out,
                                             SQL_DRIVER_NOPROMPT))) {
            state.SkipWithError("cannot connect to the test server");
            break;
        }
        int attached = 0;
        state.ResumeTiming();
        for (const QString& name : names) {
            const std::u16string path = base + name.toStdU16String();
            std::u16string database;
            Run(dbc, u"DBCC checkprimaryfile(N'" + path + u"', 2)\r\n", [&](SQLHSTMT stmt) {
                if (Column(stmt, 1) == u"Database name") {
                    database = Column(stmt, 2);
                }
            });
            std::u16string log;
            Run(dbc, u"DBCC checkprimaryfile(N'" + path + u"', 3)\r\n", [&](SQLHSTMT stmt) {
                if (Column(stmt, 2) == u"2") {
                    const std::u16string recorded = Column(stmt, 4);
                    log = base + recorded.substr(recorded.find_last_of(u"\\:/") + 1);
                }
            });
            attached += Run(dbc,
                            u"CREATE DATABASE [" + database + u"] ON \r\n( FILENAME = N'" + path +
                                u"' ),\r\n( FILENAME = N'" + log + u"' )\r\n FOR ATTACH \r\n",
                            [](SQLHSTMT) {})
                            ? 1
                            : 0;
        }
        state.PauseTiming();
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        if (attached != names.size()) {
            state.SkipWithError("the bare loop did not attach every database");
            break;
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * names.size());
}
BENCHMARK(BM_BareOdbcLoop)
    ->Arg(200)
    ->Arg(1000)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// --- The engine alone: the run behind the attach button, without the window -------------------

void BM_EngineRun(benchmark::State& state) {
    const QString dir = DatabasesOf(static_cast<int>(state.range(0)));
    const QStringList entries = ui::ListMaskedFiles(dir);
    QTemporaryDir logs;
    for (auto _ : state) {
        state.PauseTiming();
        const auto server = FreshServer(state);
        if (!server) {
            break;
        }
        int failures = 0;
        const MessageSink count = [&](const QString&) { ++failures; };
        db::Connection connection(std::make_unique<db::odbc::OdbcDriver>());
        db::Query check(u"ADOQAttach"_s, connection);
        db::Query attach(u"ADOQAdd"_s, connection);
        log::RunLog log(logs.path(), count);
        engine::AttachRun run(check, attach, log, count);
        engine::Connect(connection, u"sa"_s, ServerBox(*server), count);
        state.ResumeTiming();
        run.Run(entries, dir);
        state.PauseTiming();
        if (failures != 0) {
            state.SkipWithError("the engine's run reported failures");
            break;
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * entries.size());
}
BENCHMARK(BM_EngineRun)
    ->Arg(200)
    ->Arg(1000)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// --- The window: the attach button over the attach list it read at start-up --------------------

void BM_WindowRun(benchmark::State& state) {
    const QString dir = DatabasesOf(static_cast<int>(state.range(0)));
    QTemporaryDir logs;
    for (auto _ : state) {
        state.PauseTiming();
        const auto server = FreshServer(state);
        if (!server) {
            break;
        }
        int failures = 0;
        ui::TfrmAttach::Seams seams;
        seams.showMessage = [&](const QString&) { ++failures; };
        QDir::setCurrent(dir);
        auto window = std::make_unique<ui::TfrmAttach>(std::make_unique<db::odbc::OdbcDriver>(),
                                                       logs.path(), nullptr, seams);
        window->show();
        window->findChild<QLineEdit*>(u"EdtServer"_s)->setText(ServerBox(*server));
        window->findChild<QPushButton*>(u"BtnConnect"_s)->click();
        QCoreApplication::processEvents();
        const qsizetype entries = window->findChild<QListWidget*>(u"FileName"_s)->count();
        state.ResumeTiming();
        window->findChild<QToolButton*>(u"SBAttachDb"_s)->click();
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (failures != 0 || entries != state.range(0)) {
            state.SkipWithError("the window's run reported failures");
            break;
        }
        window.reset();
        QDir::setCurrent(Scratch().path());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WindowRun)
    ->Arg(1000)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void CompareAll() {
    using bench::Clock;
    using bench::Compare;
    for (const int count : {200, 1000}) {
        const std::string arg = std::string(1, '/').append(std::to_string(count));
        const double n = count;
        std::string figure = "engine run of ";
        figure.append(std::to_string(count)).append(" entries, wall time");
        Compare({.figure = figure,
                 .ours = {"BM_EngineRun" + arg, n, "entry"},
                 .baseline = "a bare SQLExecDirectW loop of the same statements",
                 .theirs = {"BM_BareOdbcLoop" + arg, n, "entry"},
                 .atMostRatio = 1.4});
    }
    Compare({.figure = "window run of 1000 entries, client CPU",
             .ours = {"BM_WindowRun/1000", 1000, "entry"},
             .baseline = "the engine alone",
             .theirs = {"BM_EngineRun/1000", 1000, "entry"},
             .clock = Clock::Cpu,
             .atMostRatio = 1.3});
    Compare({.figure = "window run of 1000 entries, client CPU",
             .ours = {"BM_WindowRun/1000", 1000, "entry"},
             .baseline = "the bare loop",
             .theirs = {"BM_BareOdbcLoop/1000", 1000, "entry"},
             .clock = Clock::Cpu});
    Compare({.figure = "engine run of 1000 entries, client CPU",
             .ours = {"BM_EngineRun/1000", 1000, "entry"},
             .baseline = "the bare loop",
             .theirs = {"BM_BareOdbcLoop/1000", 1000, "entry"},
             .clock = Clock::Cpu});
}

}  // namespace

int main(int argc, char** argv) {
    if (!testkdc::Ready()) {
        std::fprintf(stderr,
                     "quillane_server_bench: the test KDC is not running (scripts/bench.sh "
                     "starts it)\n");
        return 1;
    }
    testkdc::UseTicket();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ui::Application app(argc, argv);
    ui::ApplyStyle(QString::fromUtf16(ui::kStyleName));
    CompareAll();
    const int status = bench::Main(argc, argv);
    QDir::setCurrent(QDir::tempPath());
    return status;
}
