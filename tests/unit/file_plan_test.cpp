#include <gtest/gtest.h>

#include <ostream>

#include "support/qt_printers.h"

#include "engine/file_plan.h"
#include "engine/paths.h"

using namespace quillane::engine;
using namespace Qt::Literals::StringLiterals;

namespace {

struct PlanCase {
    const char* what;
    QString entryPath;
    QList<RecordedFile> recorded;
    QStringList expected;
};

// A case is named by what it shows.
void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.what;
}

class PlanFilePathsTest : public testing::TestWithParam<PlanCase> {};

TEST_P(PlanFilePathsTest, NamesEveryRecordedFile) {
    EXPECT_EQ(PlanFilePaths(GetParam().entryPath, GetParam().recorded), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanFilePathsTest,
    testing::Values(
        // Moved from Windows: every file, secondary data and second log included, is expected
        // beside the primary file under the name it records.
        PlanCase{"moved_every_file",
                 u"/srv/restore/db1.mdf"_s,
                 {{1, u"E:\\old\\db1.mdf"_s},
                  {2, u"E:\\old\\db1_log.ldf"_s},
                  {3, u"F:\\more\\db1_2.ndf"_s},
                  {4, u"G:\\logs\\db1_log2.ldf"_s}},
                 {u"/srv/restore/db1.mdf"_s, u"/srv/restore/db1_log.ldf"_s,
                  u"/srv/restore/db1_2.ndf"_s, u"/srv/restore/db1_log2.ldf"_s}},
        // Still where it was detached: the other files stay where they were, even elsewhere.
        PlanCase{"in_place",
                 u"/var/opt/mssql/data/db1.mdf"_s,
                 {{1, u"/var/opt/mssql/data/db1.mdf"_s}, {2, u"/mnt/logs/db1_log.ldf"_s}},
                 {u"/var/opt/mssql/data/db1.mdf"_s, u"/mnt/logs/db1_log.ldf"_s}},
        // Blanks around either path do not make a file moved.
        PlanCase{"in_place_padded",
                 u" /data/db1.mdf\t"_s,
                 {{1, u"/data/db1.mdf   "_s}, {2, u"/logs/db1_log.ldf   "_s}},
                 {u"/data/db1.mdf"_s, u"/logs/db1_log.ldf"_s}},
        // Letter case counts, as in the run: a path that differs only so has moved.
        PlanCase{"case_differs",
                 u"/data/DB1.mdf"_s,
                 {{1, u"/data/db1.mdf"_s}, {2, u"/logs/db1_log.ldf"_s}},
                 {u"/data/DB1.mdf"_s, u"/data/db1_log.ldf"_s}},
        // A renamed primary file is attached under its present name, not the recorded one.
        PlanCase{"renamed_primary",
                 u"/srv/copy-2014.mdf"_s,
                 {{1, u"C:\\App_Data\\Database1.mdf"_s}, {2, u"C:\\App_Data\\Database1_log.ldf"_s}},
                 {u"/srv/copy-2014.mdf"_s, u"/srv/Database1_log.ldf"_s}},
        // Record order is kept, wherever file 1 stands in it.
        PlanCase{"primary_not_first",
                 u"/srv/db1.mdf"_s,
                 {{2, u"E:\\old\\db1_log.ldf"_s}, {1, u"E:\\old\\db1.mdf"_s}},
                 {u"/srv/db1_log.ldf"_s, u"/srv/db1.mdf"_s}},
        // Without a record of file 1 nothing says where the database was: treat it as moved.
        PlanCase{"no_file_1",
                 u"/srv/db1.mdf"_s,
                 {{2, u"/elsewhere/db1_log.ldf"_s}},
                 {u"/srv/db1_log.ldf"_s}},
        PlanCase{"nothing_recorded", u"/srv/db1.mdf"_s, {}, {}}),
    [](const auto& info) { return std::string(info.param.what); });

// The same rule for a server that sees the files under another prefix: compared, and relocated,
// in the server's terms, with each file's place here beside it.

struct MappedCase {
    const char* what;
    QString entryPath;  // here
    QList<RecordedFile> recorded;
    QList<std::pair<QString, QString>> expected;  // server path, local path
};

// A case is named by what it shows.
void PrintTo(const MappedCase& c, std::ostream* os) {
    *os << c.what;
}

// The container's volume as this machine sees it, and a file in it.
#ifdef Q_OS_WIN
const QString kVolume = u"D:\\srv\\mssql\\data"_s;
#else
const QString kVolume = u"/srv/mssql/data"_s;
#endif
QString InVolume(const QString& name) {
    return kVolume + PathSeparator() + name;
}

class PlanFilesTest : public testing::TestWithParam<MappedCase> {};

TEST_P(PlanFilesTest, PlansInTheServersTerms) {
    const PathMap map{{kVolume, u"/var/opt/mssql/data"_s}};
    const QList<PlannedFile> planned = PlanFiles(GetParam().entryPath, GetParam().recorded, map);
    QList<std::pair<QString, QString>> paths;
    for (const PlannedFile& file : planned) {
        paths.append({file.serverPath, file.localPath});
    }
    EXPECT_EQ(paths, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanFilesTest,
    testing::Values(
        // Detached from the container and still there: nothing moved, though the path here
        // differs. The log on another volume is named as recorded and cannot be seen from here.
        MappedCase{"in_place_on_the_server",
                   InVolume(u"db1.mdf"_s),
                   {{1, u"/var/opt/mssql/data/db1.mdf"_s},
                    {2, u"/var/opt/mssql/log/db1_log.ldf"_s, true},
                    {3, u"/var/opt/mssql/data/db1_2.ndf"_s}},
                   {{u"/var/opt/mssql/data/db1.mdf"_s, InVolume(u"db1.mdf"_s)},
                    {u"/var/opt/mssql/log/db1_log.ldf"_s, QString()},
                    {u"/var/opt/mssql/data/db1_2.ndf"_s, InVolume(u"db1_2.ndf"_s)}}},
        // Copied from a Windows server into the volume: every file beside the primary file, on
        // both sides.
        MappedCase{"moved_into_the_volume",
                   InVolume(u"db1.mdf"_s),
                   {{1, u"E:\\old\\db1.mdf"_s},
                    {2, u"E:\\old\\db1_log.ldf"_s, true},
                    {3, u"F:\\more\\db1_2.ndf"_s}},
                   {{u"/var/opt/mssql/data/db1.mdf"_s, InVolume(u"db1.mdf"_s)},
                    {u"/var/opt/mssql/data/db1_log.ldf"_s, InVolume(u"db1_log.ldf"_s)},
                    {u"/var/opt/mssql/data/db1_2.ndf"_s, InVolume(u"db1_2.ndf"_s)}}}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
