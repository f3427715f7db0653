// What the tool costs on its own side of a hundred-database run: composing statements,
// walking the DBCC results and writing the day's log, with the server scripted away; and one log
// entry beside the same bytes written to a file held open.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

#include "db/connection.h"
#include "db/query.h"
#include "engine/attach_run.h"
#include "engine/paths.h"
#include "engine/statements.h"
#include "log/entry_format.h"
#include "log/run_log.h"
#include "side_by_side.h"
#include "support/scripted_driver.h"

using namespace quillane;
using namespace Qt::Literals::StringLiterals;
using testsupport::ScriptedDriver;

namespace {

void BM_AttachStatement(benchmark::State& state) {
    const QString name = u"销售库 O'Brien]"_s;
    const QString data = u"/srv/restore/O'Brien/sales.mdf"_s;
    const QString log = u"/srv/restore/O'Brien/sales_log.ldf"_s;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::AttachStatement(name, data, log));
    }
}
BENCHMARK(BM_AttachStatement);

const QString kLogMessage = u"附加数据库【sales】成功！"_s;

// One entry: the file opened, appended to and closed again, as every entry is.
void BM_AddLog(benchmark::State& state) {
    QTemporaryDir folder;
    int failures = 0;
    log::RunLog log(folder.path(), [&](const QString&) { ++failures; });
    for (auto _ : state) {
        log.AddLog(kLogMessage);
    }
    if (failures != 0) {
        state.SkipWithError("the log reported failures");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddLog);

// The baseline: the same entry, formatted the same way from the same clock and locale, written
// with one call to a file that stays open.
void BM_LogEntryOnHeldOpenFile(benchmark::State& state) {
    QTemporaryDir folder;
    QDir(folder.path()).mkdir(u"Logs"_s);
    const QString path = folder.path() + u"/Logs/held-open.log"_s;
    log::EntryFormat format{QLocale::system()};
#ifdef Q_OS_WIN
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND, 0666);
#endif
    for (auto _ : state) {
        const QString entry = format.Entry(QDateTime::currentDateTime(), kLogMessage);
        QByteArray bytes(entry.size() * 2, Qt::Uninitialized);
        qToLittleEndian<char16_t>(entry.utf16(), entry.size(), bytes.data());
#ifdef Q_OS_WIN
        file.write(bytes);
#else
        benchmark::DoNotOptimize(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())));
#endif
    }
#ifndef Q_OS_WIN
    ::close(fd);
#endif
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogEntryOnHeldOpenFile);

// A whole run over `range(0)` moved databases, every step logged.
void BM_AttachRun(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const QString directory = u"/srv/restore"_s;
    auto server = std::make_shared<ScriptedDriver::State>();
    QStringList entries;
    for (int i = 0; i < count; ++i) {
        const QString name = u"db%1"_s.arg(i);
        const QString path = engine::EntryPath(directory, name + u".mdf"_s);
        entries.append(name + u".mdf"_s);
        server->replies[engine::NameQuery(path) + u"\r\n"_s].append(
            {{{u"property"_s, u"value"_s}, {{u"Database name"_s, name}}}, {}});
        server->replies[engine::FileQuery(path) + u"\r\n"_s].append(
            {{{u"status"_s, u"fileid"_s, u"name"_s, u"filename"_s},
              {{u"2"_s, u"1"_s, name, u"E:\\old\\"_s + name + u".mdf"_s},
               {u"1048642"_s, u"2"_s, name + u"_log"_s, u"E:\\old\\"_s + name + u"_log.ldf"_s}}},
             {}});
        server
            ->replies[engine::AttachStatement(name, path, directory + u'/' + name + u"_log.ldf"_s) +
                      u"\r\n"_s]
            .append(ScriptedDriver::Reply{});
    }
    QTemporaryDir folder;
    db::Connection connection(std::make_unique<ScriptedDriver>(server));
    db::Query check(u"ADOQAttach"_s, connection);
    db::Query attach(u"ADOQAdd"_s, connection);
    int failures = 0;
    log::RunLog log(folder.path(), [&](const QString&) { ++failures; });
    engine::AttachRun run(check, attach, log, [&](const QString&) { ++failures; });
    for (auto _ : state) {
        run.Run(entries, directory);
    }
    if (failures != 0) {
        state.SkipWithError("the scripted run reported failures");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AttachRun)->Arg(1)->Arg(100);

}  // namespace

int main(int argc, char** argv) {
    quillane::bench::Compare({.figure = "one log entry (open, append, close)",
                              .ours = {"BM_AddLog"},
                              .baseline = "the same entry on a file held open",
                              .theirs = {"BM_LogEntryOnHeldOpenFile"},
                              .atMostRatio = 1.3});
    return quillane::bench::Main(argc, argv);
}
