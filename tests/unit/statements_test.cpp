#include <gtest/gtest.h>

#include <ostream>

#include "support/qt_printers.h"

#include "engine/statements.h"

using namespace quillane::engine;
using namespace Qt::Literals::StringLiterals;

namespace {

struct StatementCase {
    const char* what;
    QString text;
    QString expected;
};

// A case is named by what it shows.
void PrintTo(const StatementCase& c, std::ostream* os) {
    *os << c.what;
}

class StatementText : public testing::TestWithParam<StatementCase> {};

TEST_P(StatementText, IsExact) {
    EXPECT_EQ(GetParam().text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllStatements, StatementText,
    testing::Values(
        StatementCase{"name_query", NameQuery(u"D:\\restore\\db1.mdf"_s),
                      u"DBCC checkprimaryfile(N'D:\\restore\\db1.mdf', 2)"_s},
        StatementCase{"file_query", FileQuery(u"/srv/restore/db1.mdf"_s),
                      u"DBCC checkprimaryfile(N'/srv/restore/db1.mdf', 3)"_s},
        StatementCase{
            "attach",
            AttachStatement(u"db1"_s, u"D:\\restore\\db1.mdf"_s, u"D:\\restore\\db1_log.ldf"_s),
            u"CREATE DATABASE [db1] ON \r\n"
            u"( FILENAME = N'D:\\restore\\db1.mdf' ),\r\n"
            u"( FILENAME = N'D:\\restore\\db1_log.ldf' )\r\n"
            u" FOR ATTACH "_s},
        // An apostrophe would end the literal early; doubled, the path stays one literal.
        StatementCase{"apostrophe_in_path", NameQuery(u"/data/O'Brien.mdf"_s),
                      u"DBCC checkprimaryfile(N'/data/O''Brien.mdf', 2)"_s},
        StatementCase{"injection_attempt", FileQuery(u"/x/';DROP DATABASE master;--.mdf"_s),
                      u"DBCC checkprimaryfile(N'/x/'';DROP DATABASE master;--.mdf', 3)"_s},
        StatementCase{"bracket_and_apostrophes",
                      AttachStatement(u"a]b'c"_s, u"/d/it's.mdf"_s, u"/d/it's_log.ldf"_s),
                      u"CREATE DATABASE [a]]b'c] ON \r\n"
                      u"( FILENAME = N'/d/it''s.mdf' ),\r\n"
                      u"( FILENAME = N'/d/it''s_log.ldf' )\r\n"
                      u" FOR ATTACH "_s},
        StatementCase{"cjk_and_empty_paths", AttachStatement(u"销售库"_s, QString(), QString()),
                      u"CREATE DATABASE [销售库] ON \r\n"
                      u"( FILENAME = N'' ),\r\n"
                      u"( FILENAME = N'' )\r\n"
                      u" FOR ATTACH "_s},
        // Every recorded file, one a line, in the two-file statement's layout.
        StatementCase{"every_file",
                      AttachStatement(u"db1"_s, {u"/r/db1.mdf"_s, u"/r/db1_log.ldf"_s,
                                                 u"/r/db1_2.ndf"_s, u"/r/db1_log2.ldf"_s}),
                      u"CREATE DATABASE [db1] ON \r\n"
                      u"( FILENAME = N'/r/db1.mdf' ),\r\n"
                      u"( FILENAME = N'/r/db1_log.ldf' ),\r\n"
                      u"( FILENAME = N'/r/db1_2.ndf' ),\r\n"
                      u"( FILENAME = N'/r/db1_log2.ldf' )\r\n"
                      u" FOR ATTACH "_s},
        StatementCase{"rebuild_log",
                      AttachStatement(u"it's]"_s, {u"/r/it's.mdf"_s, u"/r/b.ndf"_s},
                                      AttachClause::AttachRebuildLog),
                      u"CREATE DATABASE [it's]]] ON \r\n"
                      u"( FILENAME = N'/r/it''s.mdf' ),\r\n"
                      u"( FILENAME = N'/r/b.ndf' )\r\n"
                      u" FOR ATTACH_REBUILD_LOG "_s}),
    [](const testing::TestParamInfo<StatementCase>& info) { return info.param.what; });

}  // namespace
