// The command line's run against the scripted double: what it sends, logs and reports for one
// session, entry by entry, each planned from its own file query.
#include "engine/headless_run.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QTemporaryDir>
#include <memory>

#include "engine/statements.h"
#include "log/run_log.h"
#include "log_reader.h"
#include "support/scripted_driver.h"

using namespace quillane;
using namespace Qt::Literals::StringLiterals;
using testsupport::ScriptedDriver;

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(9, 30, 15));

QString Sent(const QString& statement) {
    return statement + u"\r\n"_s;
}

class HeadlessRunTest : public testing::Test {
  protected:
    HeadlessRunTest()
        : state_(std::make_shared<ScriptedDriver::State>()),
          log_(
              folder_.path(), [this](const QString& text) { reports_.append(text); },
              [] { return kNow; }, QLocale::c()) {}

    // A primary file at `path` recording `name` and the files (id, status, path).
    void File(const QString& path, const QString& name,
              const QList<std::tuple<int, int, QString>>& files) {
        state_->replies[Sent(engine::NameQuery(path))].append(
            {{{u"property"_s, u"value"_s},
              {{u"Database version"_s, u"904"_s}, {u"Database name"_s, name + u"  "_s}}},
             {}});
        ScriptedDriver::Reply rows{{{u"status"_s, u"fileid"_s, u"name"_s, u"filename"_s}, {}}, {}};
        for (const auto& [id, status, recorded] : files) {
            rows.result.rows.append(
                {QString::number(status), QString::number(id), u"n"_s, recorded + u"    "_s});
        }
        state_->replies[Sent(engine::FileQuery(path))].append(rows);
    }

    engine::RunTotals Run(const QStringList& files, engine::HeadlessOptions options = {}) {
        engine::HeadlessRun run(
            options, [this] { return std::make_unique<ScriptedDriver>(state_); }, log_,
            {[this](const QString& text) { reports_.append(text); },
             [this](const engine::EntryOutcome& outcome) { outcomes_.append(outcome); }});
        const std::atomic<bool> stop{false};
        return run.Run(files, stop);
    }

    QStringList Logged() const {
        const QString empty = log::RunLog::EntryText(kNow, QLocale::c(), {});
        return testsupport::LogMessages(log_.FilePath(kNow.date()),
                                        empty.sliced(1, empty.size() - 5));
    }

    QTemporaryDir folder_;
    std::shared_ptr<ScriptedDriver::State> state_;
    log::RunLog log_;
    QStringList reports_;
    QList<engine::EntryOutcome> outcomes_;
};

// The second entry's file query has no log row: it gets a report of its own, and no statement is
// made from what the first entry's files were.
TEST_F(HeadlessRunTest, EachEntryIsPlannedFromItsOwnFileQuery) {
    File(u"/r/a.mdf"_s, u"a"_s,
         {{1, 2, u"E:\\old\\a.mdf"_s},
          {2, 0x100042, u"E:\\old\\a_log.ldf"_s},
          {3, 2, u"E:\\old\\a_2.ndf"_s}});
    File(u"/r/b.mdf"_s, u"b"_s, {{1, 2, u"E:\\old\\b.mdf"_s}});
    const QString attachA =
        engine::AttachStatement(u"a"_s, {u"/r/a.mdf"_s, u"/r/a_log.ldf"_s, u"/r/a_2.ndf"_s});
    state_->replies[Sent(attachA)].append(ScriptedDriver::Reply{});

    const engine::RunTotals totals = Run({u"/r/a.mdf"_s, u"/r/b.mdf"_s});

    const QString fileReport =
        u"检查数据文件出错！错误：查询结果中没有日志文件。\r\n"
        u" Sql:DBCC checkprimaryfile(N'/r/b.mdf', 3)\r\n"_s;
    EXPECT_EQ(Logged(),
              (QStringList{u"选中第【0】文件,选中文件名：/r/a.mdf"_s, u"附加后的数据库名：a"_s,
                           u"数据库文件:E:\\old\\a.mdf"_s, u"日志文件:E:\\old\\a_log.ldf"_s,
                           u"数据库文件:E:\\old\\a_2.ndf"_s, u"附加数据库【a】成功！"_s,
                           u"选中第【1】文件,选中文件名：/r/b.mdf"_s, u"附加后的数据库名：b"_s,
                           u"数据库文件:E:\\old\\b.mdf"_s, fileReport}));
    EXPECT_EQ(reports_, QStringList{fileReport});
    EXPECT_EQ(state_->executed, (QStringList{Sent(engine::NameQuery(u"/r/a.mdf"_s)),
                                             Sent(engine::FileQuery(u"/r/a.mdf"_s)), Sent(attachA),
                                             Sent(engine::NameQuery(u"/r/b.mdf"_s)),
                                             Sent(engine::FileQuery(u"/r/b.mdf"_s))}));
    EXPECT_EQ(totals.attached, 1);
    EXPECT_EQ(totals.failed, 1);
    ASSERT_EQ(outcomes_.size(), 2);
    EXPECT_EQ(outcomes_[1].status, engine::EntryStatus::Failed);
    EXPECT_EQ(outcomes_[1].statement, Sent(engine::FileQuery(u"/r/b.mdf"_s)));
}

// With the window's statement the log shows files 1 and 2 only, as the window's does.
TEST_F(HeadlessRunTest, TheWindowsStatementNamesFilesOneAndTwo) {
    File(u"/r/a.mdf"_s, u"a"_s,
         {{1, 2, u"/r/a.mdf"_s}, {2, 0x100042, u"/l/a_log.ldf"_s}, {3, 2, u"/x/a_2.ndf"_s}});
    const QString attach = engine::AttachStatement(u"a"_s, u"/r/a.mdf"_s, u"/l/a_log.ldf"_s);
    state_->replies[Sent(attach)].append(ScriptedDriver::Reply{});
    engine::HeadlessOptions options;
    options.rules.everyFile = false;

    EXPECT_EQ(Run({u"/r/a.mdf"_s}, options).attached, 1);

    EXPECT_EQ(Logged(), (QStringList{u"选中第【0】文件,选中文件名：/r/a.mdf"_s,
                                     u"附加后的数据库名：a"_s, u"数据库文件:/r/a.mdf"_s,
                                     u"日志文件:/l/a_log.ldf"_s, u"附加数据库【a】成功！"_s}));
    EXPECT_EQ(state_->executed.last(), Sent(attach));
}

TEST_F(HeadlessRunTest, FailuresAreReportedAndTheRunGoesOn) {
    // No "Database name" row: skipped, with nothing but its selection line, as in the window.
    state_->replies[Sent(engine::NameQuery(u"/r/odd.mdf"_s))].append(
        {{{u"property"_s, u"value"_s}, {{u"Database version"_s, u"904"_s}}}, {}});
    state_->replies[Sent(engine::NameQuery(u"/r/gone.mdf"_s))].append(
        {{}, u"Unable to open the physical file \"/r/gone.mdf\"."_s});
    File(u"/r/a.mdf"_s, u"a]"_s, {{1, 2, u"/r/a.mdf"_s}, {2, 0x100042, u"/r/a_log.ldf"_s}});
    const QString attach = engine::AttachStatement(u"a]"_s, u"/r/a.mdf"_s, u"/r/a_log.ldf"_s);
    state_->replies[Sent(attach)].append({{}, u"Database 'a]' already exists."_s});

    const engine::RunTotals totals = Run({u"/r/odd.mdf"_s, u"/r/gone.mdf"_s, u"/r/a.mdf"_s});

    const QString nameReport =
        u"检查数据库名出错！错误：Unable to open the physical file "
        u"\"/r/gone.mdf\".\r\n Sql:DBCC checkprimaryfile(N'/r/gone.mdf', 2)\r\n"_s;
    const QString attachReport =
        u"附加数据库出错！错误：Database 'a]' already exists.\r\n Sql:"_s + Sent(attach);
    EXPECT_EQ(reports_, (QStringList{nameReport, attachReport}));
    EXPECT_EQ(Logged(),
              (QStringList{u"选中第【0】文件,选中文件名：/r/odd.mdf"_s,
                           u"选中第【1】文件,选中文件名：/r/gone.mdf"_s, nameReport,
                           u"选中第【2】文件,选中文件名：/r/a.mdf"_s, u"附加后的数据库名：a]"_s,
                           u"数据库文件:/r/a.mdf"_s, u"日志文件:/r/a_log.ldf"_s, attachReport}));
    EXPECT_EQ(totals.skipped, 1);
    EXPECT_EQ(totals.failed, 2);
    ASSERT_EQ(outcomes_.size(), 3);
    EXPECT_EQ(outcomes_[0].skipReason, engine::SkipReason::NoDatabaseName);
    EXPECT_EQ(outcomes_[2].error, u"Database 'a]' already exists."_s);
    EXPECT_EQ(outcomes_[2].statement, Sent(attach));
}

TEST_F(HeadlessRunTest, AServerThatCannotBeReachedIsSaidAsTheWindowSaysIt) {
    state_->openError = u"Unable to connect to data source"_s;
    engine::HeadlessRun run({}, [this] { return std::make_unique<ScriptedDriver>(state_); }, log_,
                            {[this](const QString& text) { reports_.append(text); }, {}});
    EXPECT_FALSE(run.Connect());
    EXPECT_EQ(reports_, QStringList{u"数据库连接失败！Unable to connect to data source"_s});
}

// Once asked to stop, no entry begins; the rest are accounted for as not started.
TEST_F(HeadlessRunTest, AStoppedRunBeginsNothingMore) {
    engine::HeadlessRun run(
        {}, [this] { return std::make_unique<ScriptedDriver>(state_); }, log_,
        {[this](const QString& text) { reports_.append(text); },
         [this](const engine::EntryOutcome& outcome) { outcomes_.append(outcome); }});
    const std::atomic<bool> stop{true};
    const engine::RunTotals totals = run.Run({u"/r/a.mdf"_s, u"/r/b.mdf"_s}, stop);
    EXPECT_TRUE(state_->executed.isEmpty());
    EXPECT_EQ(totals.skipped, 2);
    EXPECT_EQ(totals.notStarted, 2);
    ASSERT_EQ(outcomes_.size(), 2);
    EXPECT_EQ(outcomes_[1].skipReason, engine::SkipReason::NotStarted);
}

}  // namespace
