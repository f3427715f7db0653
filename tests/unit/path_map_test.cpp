#include <gtest/gtest.h>

#include <ostream>

#include "support/qt_printers.h"

#include <vector>

#include "engine/path_map.h"
#include "engine/paths.h"

using namespace quillane::engine;
using namespace Qt::Literals::StringLiterals;

namespace {

const PathMap kContainer{{u"/srv/mssql/data"_s, u"/var/opt/mssql/data"_s}};

struct MapCase {
    const char* what;
    PathMap map;
    QString local;
    QString server;
};

// A case is named by what it shows.
void PrintTo(const MapCase& c, std::ostream* os) {
    *os << c.what;
}

class ToServerPathTest : public testing::TestWithParam<MapCase> {};

TEST_P(ToServerPathTest, SendsTheServersPath) {
    EXPECT_EQ(ToServerPath(GetParam().map, GetParam().local), GetParam().server);
}

std::vector<MapCase> ServerPathCases() {
    std::vector<MapCase> cases{
        MapCase{"container_volume", kContainer, u"/srv/mssql/data/sales.mdf"_s,
                u"/var/opt/mssql/data/sales.mdf"_s},
        MapCase{"deeper", kContainer, u"/srv/mssql/data/2024/q1/sales.mdf"_s,
                u"/var/opt/mssql/data/2024/q1/sales.mdf"_s},
        // Whole directory names only: /srv/mssql/database is not under /srv/mssql/data.
        MapCase{"name_that_only_starts_alike", kContainer, u"/srv/mssql/database/sales.mdf"_s,
                u"/srv/mssql/database/sales.mdf"_s},
        MapCase{"outside_every_mapping", kContainer, u"/home/dba/sales.mdf"_s,
                u"/home/dba/sales.mdf"_s},
        MapCase{"no_mapping", {}, u"/srv/mssql/data/sales.mdf"_s, u"/srv/mssql/data/sales.mdf"_s},
        MapCase{"trailing_separators",
                {{u"/srv/mssql/data/"_s, u"/var/opt/mssql/data/"_s}},
                u"/srv/mssql/data/sales.mdf"_s,
                u"/var/opt/mssql/data/sales.mdf"_s},
        MapCase{"longest_prefix_wins",
                {{u"/srv"_s, u"/mnt/srv"_s}, {u"/srv/mssql/data"_s, u"/var/opt/mssql/data"_s}},
                u"/srv/mssql/data/sales.mdf"_s,
                u"/var/opt/mssql/data/sales.mdf"_s},
        MapCase{"root", {{u"/"_s, u"/host"_s}}, u"/srv/sales.mdf"_s, u"/host/srv/sales.mdf"_s},
        MapCase{"hostile_names", kContainer, u"/srv/mssql/data/O'Brien]';--/库存.mdf"_s,
                u"/var/opt/mssql/data/O'Brien]';--/库存.mdf"_s},
    };
#ifndef Q_OS_WIN
    cases.insert(cases.end(),
                 {
                     // A server on Windows: the rest of the path takes its separators. A name
                     // holding ":" is one name here and stays whole.
                     MapCase{"windows_server",
                             {{u"/mnt/d/sql"_s, u"D:\\SQL\\"_s}},
                             u"/mnt/d/sql/2024/sales:q1.mdf"_s,
                             u"D:\\SQL\\2024\\sales:q1.mdf"_s},
                     MapCase{"case_counts_here", kContainer, u"/SRV/mssql/data/sales.mdf"_s,
                             u"/SRV/mssql/data/sales.mdf"_s},
                 });
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, ToServerPathTest, testing::ValuesIn(ServerPathCases()),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(ToLocalPath, FindsTheServersPathHere) {
    // The rest of the path takes this machine's separators.
    EXPECT_EQ(ToLocalPath(kContainer, u"/var/opt/mssql/data/sales_log.ldf"_s),
              u"/srv/mssql/data"_s + PathSeparator() + u"sales_log.ldf"_s);
    // Outside every mapping the file cannot be seen from here; without mappings every path is
    // its own.
    EXPECT_EQ(ToLocalPath(kContainer, u"/var/opt/mssql/log/sales_log.ldf"_s), std::nullopt);
    EXPECT_EQ(ToLocalPath({}, u"/var/opt/mssql/log/sales_log.ldf"_s),
              u"/var/opt/mssql/log/sales_log.ldf"_s);
#ifndef Q_OS_WIN
    // A Windows server's paths match without regard to case, with either separator.
    EXPECT_EQ(ToLocalPath({{u"/mnt/d/sql"_s, u"D:\\SQL"_s}}, u"d:\\sql\\2024/Sales_log.ldf"_s),
              u"/mnt/d/sql/2024/Sales_log.ldf"_s);
    EXPECT_EQ(ToLocalPath(kContainer, u"/VAR/opt/mssql/data/sales_log.ldf"_s), std::nullopt);
#endif
}

TEST(ParsePathMapping, SplitsAtTheFirstEquals) {
    PathMapping m;
    ASSERT_TRUE(ParsePathMapping(u"/srv/data=/var/opt/mssql/data"_s, m));
    EXPECT_EQ(m.local, u"/srv/data"_s);
    EXPECT_EQ(m.server, u"/var/opt/mssql/data"_s);
    ASSERT_TRUE(ParsePathMapping(u"/srv/data=D:\\a=b"_s, m));
    EXPECT_EQ(m.server, u"D:\\a=b"_s);
    for (const QString& bad : {u"/srv/data"_s, u"=/var"_s, u"/srv="_s, u"="_s, QString()}) {
        EXPECT_FALSE(ParsePathMapping(bad, m)) << bad.toStdString();
    }
}

}  // namespace
