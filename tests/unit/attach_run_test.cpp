#include "engine/attach_run.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QTemporaryDir>
#include <memory>

#include "db/connection.h"
#include "db/query.h"
#include "engine/paths.h"
#include "engine/statements.h"
#include "log/run_log.h"
#include "log_reader.h"
#include "support/scripted_driver.h"

using namespace quillane;
using namespace Qt::Literals::StringLiterals;
using testsupport::ScriptedDriver;

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(9, 30, 15));
// The directory the tree shows, and another one, in this platform's form.
#ifdef Q_OS_WIN
const QString kDir = u"D:\\restore"_s;
const QString kOtherDir = u"E:\\data"_s;
#else
const QString kDir = u"/srv/restore"_s;
const QString kOtherDir = u"/data"_s;
#endif

QString At(const QString& name) {
    return engine::EntryPath(kDir, name);
}

// What DBCC checkprimaryfile(..., 2) answers for a file recording `name`.
ScriptedDriver::Reply NameRows(const QString& name) {
    return {{{u"property"_s, u"value"_s},
             {{u"Database name"_s, name + u"    "_s},
              {u"Database version"_s, u"904"_s},
              {u"Collation"_s, u"SQL_Latin1_General_CP1_CI_AS"_s}}},
            {}};
}

// What DBCC checkprimaryfile(..., 3) answers: one row per recorded (id, path), blank-padded.
ScriptedDriver::Reply FileRows(const QList<std::pair<QString, QString>>& files) {
    ScriptedDriver::Reply reply{{{u"status"_s, u"fileid"_s, u"name"_s, u"filename"_s}, {}}, {}};
    for (const auto& [id, path] : files) {
        reply.result.rows.append({u"2"_s, id, u"logical      "_s, path + u"        "_s});
    }
    return reply;
}

// A statement as the query sends it: its one line followed by CR LF.
QString Sent(const QString& statement) {
    return statement + u"\r\n"_s;
}

ScriptedDriver::Reply Fails(const QString& message) {
    return {{}, message};
}
ScriptedDriver::Reply Succeeds() {
    return {};
}

class AttachRunTest : public testing::Test {
  protected:
    AttachRunTest()
        : state_(std::make_shared<ScriptedDriver::State>()),
          connection_(std::make_unique<ScriptedDriver>(state_)),
          check_(u"ADOQAttach"_s, connection_),
          attach_(u"ADOQAdd"_s, connection_),
          log_(
              folder_.path(), [this](const QString& text) { shown_.append(text); },
              [] { return kNow; }, QLocale::c()),
          run_(check_, attach_, log_, [this](const QString& text) { shown_.append(text); }) {
        connection_.SetConnectionString(u"Provider=SQLOLEDB.1;Data Source=."_s);
    }

    // A primary file `entry` in kDir that records `name`, `dataPath` and `logPath`.
    void File(const QString& entry, const QString& name, const QString& dataPath,
              const QString& logPath) {
        Reply(engine::NameQuery(At(entry)), NameRows(name));
        Reply(engine::FileQuery(At(entry)), FileRows({{u"1"_s, dataPath}, {u"2"_s, logPath}}));
    }
    void Reply(const QString& statement, const ScriptedDriver::Reply& reply) {
        state_->replies[Sent(statement)].append(reply);
    }

    QStringList Logged() const {
        // Every entry of these runs carries the same stamp: "[" stamp "] " msg CR LF.
        const QString empty = log::RunLog::EntryText(kNow, QLocale::c(), {});
        return testsupport::LogMessages(log_.FilePath(kNow.date()),
                                        empty.sliced(1, empty.size() - 5));
    }
    QStringList Attaches() const { return state_->executed.filter(u"CREATE DATABASE"_s); }

    QTemporaryDir folder_;
    std::shared_ptr<ScriptedDriver::State> state_;
    db::Connection connection_;
    db::Query check_;
    db::Query attach_;
    QStringList shown_;
    log::RunLog log_;
    engine::AttachRun run_;
};

TEST_F(AttachRunTest, AttachesAMovedDatabaseFromWhereItLiesNow) {
    File(u"db1.mdf"_s, u"db1"_s, u"E:\\old\\db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s);
    const QString statement =
        engine::AttachStatement(u"db1"_s, At(u"db1.mdf"_s), At(u"db1_log.ldf"_s));
    Reply(statement, Succeeds());

    run_.Run({u"db1.mdf"_s}, kDir);

    EXPECT_EQ(Logged(),
              (QStringList{u"选中第【0】文件,选中文件名："_s + At(u"db1.mdf"_s),
                           u"附加后的数据库名：db1"_s, u"数据库文件:E:\\old\\db1.mdf"_s,
                           u"日志文件:E:\\old\\db1_log.ldf"_s, u"附加数据库【db1】成功！"_s}));
    EXPECT_EQ(Attaches(), QStringList{Sent(statement)});
    EXPECT_TRUE(shown_.isEmpty());
    // The server was reached with the connection's own text, opened by the first query.
    EXPECT_EQ(state_->openedWith, QStringList{u"Provider=SQLOLEDB.1;Data Source=."_s});
    // The grid is left showing the file query's rows.
    EXPECT_EQ(check_.SQL().Text(), engine::FileQuery(At(u"db1.mdf"_s)) + u"\r\n"_s);
    EXPECT_EQ(check_.RecordCount(), 2);
}

TEST_F(AttachRunTest, AFileStillWhereItRecordsKeepsItsRecordedLogPath) {
    File(u"db1.mdf"_s, u"db1"_s, At(u"db1.mdf"_s), u"/logs/db1_log.ldf"_s);
    Reply(engine::AttachStatement(u"db1"_s, At(u"db1.mdf"_s), u"/logs/db1_log.ldf"_s), Succeeds());

    run_.Run({u"db1.mdf"_s}, kDir);

    EXPECT_EQ(Logged().last(), u"附加数据库【db1】成功！"_s);
    EXPECT_TRUE(shown_.isEmpty());
}

TEST_F(AttachRunTest, APathDifferingOnlyInLetterCaseCountsAsMoved) {
    File(u"db1.mdf"_s, u"db1"_s, At(u"db1.mdf"_s).toUpper(), At(u"db1_log.ldf"_s).toUpper());
    Reply(engine::AttachStatement(u"db1"_s, At(u"db1.mdf"_s), At(u"DB1_LOG.LDF"_s)), Succeeds());

    run_.Run({u"db1.mdf"_s}, kDir);

    EXPECT_EQ(run_.LogFileName(), At(u"DB1_LOG.LDF"_s));
    EXPECT_TRUE(shown_.isEmpty());
}

TEST_F(AttachRunTest, AnEmptyListDoesNothing) {
    run_.Run({}, kDir);

    EXPECT_TRUE(state_->executed.isEmpty());
    EXPECT_TRUE(shown_.isEmpty());
    EXPECT_FALSE(QFile::exists(log_.FilePath(kNow.date())));
}

TEST_F(AttachRunTest, TheSameNameTwiceGetsTheServersRefusalAsAnAttachReport) {
    File(u"db1.mdf"_s, u"db1"_s, u"E:\\old\\db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s);
    const QString statement =
        engine::AttachStatement(u"db1"_s, At(u"db1.mdf"_s), At(u"db1_log.ldf"_s));
    const QString refusal = u"Database 'db1' already exists. Choose a different database name."_s;
    Reply(statement, Succeeds());
    Reply(statement, Fails(refusal));

    run_.Run({u"db1.mdf"_s, u"db1.mdf"_s}, kDir);

    const QString report =
        u"附加数据库出错！错误："_s + refusal + u"\r\n Sql:"_s + statement + u"\r\n"_s;
    EXPECT_EQ(shown_, QStringList{report});
    EXPECT_EQ(Attaches().size(), 2);
    // The message is shown first, then the same text logged, and that entry is the last one.
    EXPECT_EQ(Logged().last(), report);
    EXPECT_EQ(Logged().filter(u"成功"_s).size(), 1);
}

TEST_F(AttachRunTest, AMissingFileGetsOneNameReportAndTheRunGoesOn) {
    const QString missing =
        u"Unable to open the physical file \"/srv/restore/gone.mdf\". Operating system error 2: "
        u"\"2(The system cannot find the file specified.)\"."_s;
    Reply(engine::NameQuery(At(u"gone.mdf"_s)), Fails(missing));
    File(u"db2.mdf"_s, u"db2"_s, At(u"db2.mdf"_s), At(u"db2_log.ldf"_s));
    Reply(engine::AttachStatement(u"db2"_s, At(u"db2.mdf"_s), At(u"db2_log.ldf"_s)), Succeeds());

    run_.Run({u"gone.mdf"_s, u"db2.mdf"_s}, kDir);

    const QString report = u"检查数据库名出错！错误："_s + missing + u"\r\n Sql:"_s +
                           engine::NameQuery(At(u"gone.mdf"_s)) + u"\r\n"_s;
    EXPECT_EQ(shown_, QStringList{report});
    const QStringList logged = Logged();
    ASSERT_EQ(logged.size(), 7);
    EXPECT_EQ(logged[0], u"选中第【0】文件,选中文件名："_s + At(u"gone.mdf"_s));
    EXPECT_EQ(logged[1], report);
    EXPECT_EQ(logged[2], u"选中第【1】文件,选中文件名："_s + At(u"db2.mdf"_s));
    EXPECT_EQ(logged[6], u"附加数据库【db2】成功！"_s);
}

TEST_F(AttachRunTest, AFileQueryThatFailsToOpenIsReportedTwice) {
    const QString denied = u"Unable to open the physical file ... Operating system error 5"_s;
    Reply(engine::NameQuery(At(u"db1.mdf"_s)), NameRows(u"db1"_s));
    Reply(engine::FileQuery(At(u"db1.mdf"_s)), Fails(denied));
    File(u"db2.mdf"_s, u"db2"_s, At(u"db2.mdf"_s), At(u"db2_log.ldf"_s));
    Reply(engine::AttachStatement(u"db2"_s, At(u"db2.mdf"_s), At(u"db2_log.ldf"_s)), Succeeds());

    run_.Run({u"db1.mdf"_s, u"db2.mdf"_s}, kDir);

    // The file query left the shared check query closed, so the walk's next step fails too and
    // is reported quoting the file query's text.
    const QString sql = u"\r\n Sql:"_s + engine::FileQuery(At(u"db1.mdf"_s)) + u"\r\n"_s;
    EXPECT_EQ(shown_, (QStringList{u"检查数据文件出错！错误："_s + denied + sql,
                                   u"检查数据库名出错！错误："_s +
                                       u"ADOQAttach: Cannot perform this operation on a closed "
                                       u"dataset"_s +
                                       sql}));
    EXPECT_EQ(Attaches().size(), 1);
    EXPECT_EQ(Logged().last(), u"附加数据库【db2】成功！"_s);
}

TEST_F(AttachRunTest, AFailedAttachLetsTheNextEntryRun) {
    File(u"db1.mdf"_s, u"db1"_s, At(u"db1.mdf"_s), At(u"db1_log.ldf"_s));
    File(u"db2.mdf"_s, u"db2"_s, At(u"db2.mdf"_s), At(u"db2_log.ldf"_s));
    const QString errors =
        u"One or more files do not match the primary file of the database.\r\n"
        u"CREATE DATABASE failed. Some file names listed could not be created."_s;
    Reply(engine::AttachStatement(u"db1"_s, At(u"db1.mdf"_s), At(u"db1_log.ldf"_s)), Fails(errors));
    Reply(engine::AttachStatement(u"db2"_s, At(u"db2.mdf"_s), At(u"db2_log.ldf"_s)), Succeeds());

    run_.Run({u"db1.mdf"_s, u"db2.mdf"_s}, kDir);

    ASSERT_EQ(shown_.size(), 1);
    EXPECT_TRUE(shown_[0].startsWith(u"附加数据库出错！错误："_s + errors + u"\r\n Sql:CREATE"_s));
    const QStringList logged = Logged();
    EXPECT_EQ(logged.filter(u"选中第"_s),
              (QStringList{u"选中第【0】文件,选中文件名："_s + At(u"db1.mdf"_s),
                           u"选中第【1】文件,选中文件名："_s + At(u"db2.mdf"_s)}));
    EXPECT_EQ(logged.last(), u"附加数据库【db2】成功！"_s);
}

TEST_F(AttachRunTest, AFileWithoutADatabaseNameRowIsOnlyLogged) {
    Reply(engine::NameQuery(At(u"odd.mdf"_s)),
          {{{u"property"_s, u"value"_s}, {{u"Database version"_s, u"904"_s}}}, {}});

    run_.Run({u"odd.mdf"_s}, kDir);

    EXPECT_EQ(Logged(), QStringList{u"选中第【0】文件,选中文件名："_s + At(u"odd.mdf"_s)});
    EXPECT_TRUE(shown_.isEmpty());
    EXPECT_TRUE(Attaches().isEmpty());
}

TEST_F(AttachRunTest, AMissingLogRowKeepsTheEarlierLogPathAcrossRuns) {
    File(u"db1.mdf"_s, u"db1"_s, u"E:\\old\\db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s);
    Reply(engine::AttachStatement(u"db1"_s, At(u"db1.mdf"_s), At(u"db1_log.ldf"_s)), Succeeds());
    run_.Run({u"db1.mdf"_s}, kDir);

    // The next run's file records no log file: the earlier value is relocated and used.
    const QString entryPath = engine::EntryPath(kOtherDir, u"db2.mdf"_s);
    Reply(engine::NameQuery(entryPath), NameRows(u"db2"_s));
    Reply(engine::FileQuery(entryPath), FileRows({{u"1"_s, u"E:\\old\\db2.mdf"_s}}));
    const QString statement = engine::AttachStatement(
        u"db2"_s, entryPath, engine::EntryPath(kOtherDir, u"db1_log.ldf"_s));
    Reply(statement, Succeeds());
    run_.Run({u"db2.mdf"_s}, kOtherDir);

    EXPECT_EQ(Attaches().last(), Sent(statement));
    EXPECT_TRUE(shown_.isEmpty());
}

TEST_F(AttachRunTest, AServerThatCannotBeReachedGivesEachEntryANameReport) {
    state_->openError = u"Unable to connect to data source"_s;

    run_.Run({u"db1.mdf"_s, u"db2.mdf"_s}, kDir);

    ASSERT_EQ(shown_.size(), 2);
    EXPECT_EQ(shown_[1], u"检查数据库名出错！错误：Unable to connect to data source\r\n Sql:"_s +
                             engine::NameQuery(At(u"db2.mdf"_s)) + u"\r\n"_s);
    EXPECT_TRUE(state_->executed.isEmpty());
}

TEST_F(AttachRunTest, HostileNamesStayInsideTheirLiterals) {
    const QString entry = u"O'Brien]';--.mdf"_s;
    File(entry, u"a]b'c"_s, u"E:\\old\\O'Brien.mdf"_s, u"E:\\old\\O'Brien_log.ldf"_s);
    const QString statement =
        engine::AttachStatement(u"a]b'c"_s, At(entry), At(u"O'Brien_log.ldf"_s));
    Reply(statement, Succeeds());

    run_.Run({entry}, kDir);

    EXPECT_EQ(state_->executed.first(),
              Sent(u"DBCC checkprimaryfile(N'"_s + At(u"O''Brien]'';--.mdf"_s) + u"', 2)"_s));
    EXPECT_EQ(Attaches(), QStringList{Sent(statement)});
    EXPECT_TRUE(statement.startsWith(u"CREATE DATABASE [a]]b'c] ON \r\n"_s));
    EXPECT_TRUE(shown_.isEmpty());
}

// A file name, a database name or a recorded path may hold CR or LF (or other control characters):
// the statements carry them as they are, while every log line and message shows them as control
// pictures, so no name can break a line or forge one ("[…] 附加数据库【y】成功！").
TEST_F(AttachRunTest, ControlCharactersFromAFileAreShownNotObeyed) {
    const QString forged = u"[2026-12-10 09:30:15] 附加数据库【y】成功！"_s;
    const QString entry = u"a\nb.mdf"_s;
    const QString name = u"x\r\n"_s + forged + u"\x01z"_s;
    const QString recordedLog = u"E:\\old\\l\rg.ldf"_s;
    File(entry, name, u"E:\\old\\a\nb.mdf"_s, recordedLog);
    const QString statement = engine::AttachStatement(name, At(entry), At(u"l\rg.ldf"_s));
    Reply(statement, Fails(u"Database 'x' already exists."_s));
    File(u"ok.mdf"_s, name, At(u"ok.mdf"_s), At(u"ok_log.ldf"_s));
    Reply(engine::AttachStatement(name, At(u"ok.mdf"_s), At(u"ok_log.ldf"_s)), Succeeds());

    run_.Run({entry, u"ok.mdf"_s}, kDir);

    const QString shownName = u"x␍␊"_s + forged + u"␁z"_s;
    const QString report = u"附加数据库出错！错误：Database 'x' already exists.\r\n Sql:"_s +
                           engine::AttachStatement(shownName, At(u"a␊b.mdf"_s), At(u"l␍g.ldf"_s)) +
                           u"\r\n"_s;
    EXPECT_EQ(Logged(),
              (QStringList{u"选中第【0】文件,选中文件名："_s + At(u"a␊b.mdf"_s),
                           u"附加后的数据库名："_s + shownName, u"数据库文件:E:\\old\\a␊b.mdf"_s,
                           u"日志文件:E:\\old\\l␍g.ldf"_s, report,
                           u"选中第【1】文件,选中文件名："_s + At(u"ok.mdf"_s),
                           u"附加后的数据库名："_s + shownName, u"数据库文件:"_s + At(u"ok.mdf"_s),
                           u"日志文件:"_s + At(u"ok_log.ldf"_s),
                           u"附加数据库【"_s + shownName + u"】成功！"_s}));
    EXPECT_EQ(shown_, QStringList{report});
    // The server got the names as they are.
    EXPECT_EQ(Attaches().first(), Sent(statement));
}

}  // namespace
