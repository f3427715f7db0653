#include <gtest/gtest.h>

#include <ostream>

#include "support/qt_printers.h"

#include <QSet>

#include "engine/attach_plan.h"

using namespace quillane::engine;
using namespace Qt::Literals::StringLiterals;

namespace {

// A database moved from E:\old\ to /srv/r/: primary file, log, secondary file, second log.
const QList<RecordedFile> kFourFiles{{1, u"E:\\old\\db.mdf"_s},
                                     {2, u"E:\\old\\db_log.ldf"_s, true},
                                     {3, u"E:\\old\\db_2.ndf"_s},
                                     {4, u"E:\\old\\db_log2.ldf"_s, true}};

struct PlanCase {
    const char* what;
    QList<RecordedFile> recorded;
    PlanRules rules;
    QSet<QString> missingHere;  // local paths with nothing there
    AttachPlan expected;
};

// A case is named by what it shows.
void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.what;
}

class PlanAttachTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanAttachTest, NamesWhatTheEntrysOwnFilesSay) {
    const PlanCase& c = GetParam();
    const AttachPlan plan =
        PlanAttach(u"/srv/r/db.mdf"_s, c.recorded, c.rules,
                   [&](const QString& path) { return c.missingHere.contains(path); });
    EXPECT_EQ(plan.missing, c.expected.missing);
    EXPECT_EQ(plan.files, c.expected.files);
    EXPECT_EQ(plan.clause, c.expected.clause);
    EXPECT_EQ(plan.missingLogs, c.expected.missingLogs);
}

const PlanRules kEveryFile{};
const PlanRules kWindowsStatement{false, false, {}};
const PlanRules kRebuild{true, true, {}};

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanAttachTest,
    testing::Values(
        PlanCase{"every_file",
                 kFourFiles,
                 kEveryFile,
                 {},
                 {{},
                  {u"/srv/r/db.mdf"_s, u"/srv/r/db_log.ldf"_s, u"/srv/r/db_2.ndf"_s,
                   u"/srv/r/db_log2.ldf"_s},
                  AttachClause::Attach,
                  {}}},
        PlanCase{"the_windows_statement",
                 kFourFiles,
                 kWindowsStatement,
                 {},
                 {{}, {u"/srv/r/db.mdf"_s, u"/srv/r/db_log.ldf"_s}, AttachClause::Attach, {}}},
        // The server takes the first file named as the primary file.
        PlanCase{"primary_first",
                 {{2, u"E:\\old\\db_log.ldf"_s, true}, {1, u"E:\\old\\db.mdf"_s}},
                 kEveryFile,
                 {},
                 {{}, {u"/srv/r/db.mdf"_s, u"/srv/r/db_log.ldf"_s}, AttachClause::Attach, {}}},
        // A log missing here: the data files alone, and a new log.
        PlanCase{"rebuild_log",
                 kFourFiles,
                 kRebuild,
                 {u"/srv/r/db_log2.ldf"_s},
                 {{},
                  {u"/srv/r/db.mdf"_s, u"/srv/r/db_2.ndf"_s},
                  AttachClause::AttachRebuildLog,
                  {u"/srv/r/db_log2.ldf"_s}}},
        PlanCase{"rebuild_log_not_needed",
                 kFourFiles,
                 kRebuild,
                 {u"/srv/r/db_2.ndf"_s},
                 {{},
                  {u"/srv/r/db.mdf"_s, u"/srv/r/db_log.ldf"_s, u"/srv/r/db_2.ndf"_s,
                   u"/srv/r/db_log2.ldf"_s},
                  AttachClause::Attach,
                  {}}},
        // Without the option a missing log is named all the same: the server says what it finds.
        PlanCase{"missing_log_without_rebuild",
                 kFourFiles,
                 kEveryFile,
                 {u"/srv/r/db_log.ldf"_s},
                 {{},
                  {u"/srv/r/db.mdf"_s, u"/srv/r/db_log.ldf"_s, u"/srv/r/db_2.ndf"_s,
                   u"/srv/r/db_log2.ldf"_s},
                  AttachClause::Attach,
                  {}}},
        PlanCase{
            "rebuild_with_the_windows_statement",
            kFourFiles,
            {false, true, {}},
            {u"/srv/r/db_log.ldf"_s},
            {{}, {u"/srv/r/db.mdf"_s}, AttachClause::AttachRebuildLog, {u"/srv/r/db_log.ldf"_s}}},
        // A file list without the primary file or without a log makes no statement at all.
        PlanCase{"no_primary_file",
                 {{2, u"E:\\old\\db_log.ldf"_s, true}},
                 kEveryFile,
                 {},
                 {u"查询结果中没有主数据文件（文件编号 1）。"_s, {}, AttachClause::Attach, {}}},
        PlanCase{"no_log",
                 {{1, u"E:\\old\\db.mdf"_s}, {3, u"E:\\old\\db_2.ndf"_s}},
                 kEveryFile,
                 {},
                 {u"查询结果中没有日志文件。"_s, {}, AttachClause::Attach, {}}},
        PlanCase{"no_file_2",
                 {{1, u"E:\\old\\db.mdf"_s}, {4, u"E:\\old\\db_log2.ldf"_s, true}},
                 kWindowsStatement,
                 {},
                 {u"查询结果中没有日志文件（文件编号 2）。"_s, {}, AttachClause::Attach, {}}},
        PlanCase{"nothing",
                 {},
                 kEveryFile,
                 {},
                 {u"查询结果中没有主数据文件（文件编号 1）。"_s, {}, AttachClause::Attach, {}}}),
    [](const auto& info) { return std::string(info.param.what); });

// With a mapping, a log that no mapping shows here cannot be found missing: it is named, and the
// server looks for it.
TEST(PlanAttach, ALogThatCannotBeSeenFromHereIsNamed) {
    const PlanRules rules{true, true, {{u"/srv/data"_s, u"/var/opt/mssql/data"_s}}};
    const AttachPlan plan = PlanAttach(
        u"/srv/data/db.mdf"_s,
        {{1, u"/var/opt/mssql/data/db.mdf"_s}, {2, u"/var/opt/mssql/log/db_log.ldf"_s, true}},
        rules, [](const QString&) { return true; });
    EXPECT_EQ(plan.clause, AttachClause::Attach);
    EXPECT_EQ(plan.files,
              (QStringList{u"/var/opt/mssql/data/db.mdf"_s, u"/var/opt/mssql/log/db_log.ldf"_s}));
}

}  // namespace
