#include "inspect_table.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "mdf_fixture.h"

namespace inspecttable {
namespace {

using namespace Qt::Literals::StringLiterals;
namespace fs = std::filesystem;

fs::path ToPath(const QString& text) {
    return fs::path(QFile::encodeName(text).toStdString());
}

// A database as detached on Windows: files recorded under E:\old\ (further data files and a
// second log beside them when asked), so that inspecting it anywhere here means moved.
mdf::FixtureSpec Windows(const QString& name, const QString& stem, bool secondaries = false) {
    mdf::FixtureSpec fixture;
    fixture.databaseName = name.toStdU16String();
    const std::u16string dir = u"E:\\old\\";
    const std::u16string s = stem.toStdU16String();
    fixture.files = {{2, 1, s, dir + s + u".mdf"},
                     {0x100042, 2, s + u"_log", dir + s + u"_log.ldf"}};
    if (secondaries) {
        fixture.files.push_back({2, 3, s + u"_2", u"F:\\more\\" + s + u"_2.ndf"});
        fixture.files.push_back({0x100042, 4, s + u"_log2", u"G:\\logs\\" + s + u"_log2.ldf"});
    }
    return fixture;
}

class Maker {
  public:
    explicit Maker(const QString& base) : base_(base) {}

    QString Dir(const std::string& label) const {
        const QString dir = base_ + u'/' + QString::fromStdString(label);
        if (!QDir().mkpath(dir)) {
            throw std::runtime_error("cannot make " + dir.toStdString());
        }
        return dir;
    }

    // Writes the primary file and, for each recorded file but the first, a file of the same
    // database under its recorded name in `besideDir`, unless `skip` names it.
    static void Database(const QString& primary, const mdf::FixtureSpec& fixture,
                         const QString& besideDir, const QString& skip = {}) {
        mdf::WritePrimaryFile(ToPath(primary), fixture);
        const mdf::BindingId binding = mdf::ReadFileHeader(ToPath(primary)).value.bindingId;
        for (std::size_t i = 1; i < fixture.files.size(); ++i) {
            const QString recorded = QString::fromStdU16String(fixture.files[i].physicalName);
            const qsizetype cut = std::max(recorded.lastIndexOf(u'\\'), recorded.lastIndexOf(u'/'));
            const QString name = recorded.sliced(cut + 1);
            if (name != skip) {
                mdf::WriteLogFile(ToPath(besideDir + u'/' + name), binding,
                                  fixture.files[i].fileId);
            }
        }
    }

  private:
    QString base_;
};

Row Ready(std::string label, const QString& dir) {
    Row row;
    row.label = std::move(label);
    row.argument = dir;
    return row;
}

}  // namespace

std::vector<Row> MakeTable(const QString& base) {
    Maker m(base);
    std::vector<Row> rows;

    {  // Moved from Windows with its log: ready.
        const QString dir = m.Dir("moved");
        m.Database(dir + u"/Sales.mdf"_s, Windows(u"Sales"_s, u"Sales"_s), dir);
        rows.push_back(Ready("moved", dir));
    }
    {  // Never moved (detached on Linux), its log kept in another directory: the recorded paths
       // hold, and nothing is looked for beside the primary file.
        const QString dir = m.Dir("in_place");
        QDir().mkpath(dir + u"/logs"_s);
        mdf::FixtureSpec fixture;
        fixture.databaseName = u"InPlace";
        fixture.files = {
            {2, 1, u"InPlace", (dir + u"/InPlace.mdf"_s).toStdU16String()},
            {0x100042, 2, u"InPlace_log", (dir + u"/logs/InPlace_log.ldf"_s).toStdU16String()}};
        m.Database(dir + u"/InPlace.mdf"_s, fixture, dir + u"/logs"_s);
        rows.push_back(Ready("in_place", dir));
    }
    {  // Every file moved along: a secondary data file and a second log (id 4) too.
        const QString dir = m.Dir("every_file");
        m.Database(dir + u"/Orders.mdf"_s, Windows(u"Orders"_s, u"Orders"_s, true), dir);
        rows.push_back(Ready("every_file", dir));
    }
    {
        const QString dir = m.Dir("log_missing");
        m.Database(dir + u"/Stock.mdf"_s, Windows(u"Stock"_s, u"Stock"_s), dir, u"Stock_log.ldf"_s);
        rows.push_back({"log_missing", dir, 5120, 2, dir + u"/Stock_log.ldf"_s});
    }
    {  // The log beside it has the right name but belongs to another database.
        const QString dir = m.Dir("log_foreign");
        m.Database(dir + u"/Hr.mdf"_s, Windows(u"Hr"_s, u"Hr"_s), dir, u"Hr_log.ldf"_s);
        mdf::BindingId other{};
        other.fill(0x5A);
        mdf::WriteLogFile(ToPath(dir + u"/Hr_log.ldf"_s), other);
        rows.push_back({"log_foreign", dir, 5173, 0, dir + u"/Hr_log.ldf"_s});
    }
    {  // The secondary data file was not moved along; the log was.
        const QString dir = m.Dir("ndf_left_behind");
        m.Database(dir + u"/Crm.mdf"_s, Windows(u"Crm"_s, u"Crm"_s, true), dir, u"Crm_2.ndf"_s);
        rows.push_back({"ndf_left_behind", dir, 5120, 2, dir + u"/Crm_2.ndf"_s});
    }
    {
        const QString dir = m.Dir("too_new");
        mdf::FixtureSpec fixture = Windows(u"Future"_s, u"Future"_s);
        fixture.version = 958;
        m.Database(dir + u"/Future.mdf"_s, fixture, dir);
        rows.push_back({"too_new", dir, 948, 0, dir + u"/Future.mdf"_s});
    }
    {  // A log file renamed .mdf.
        const QString dir = m.Dir("ldf_as_mdf");
        mdf::BindingId binding{};
        binding.fill(0x33);
        mdf::WriteLogFile(ToPath(dir + u"/Audit.mdf"_s), binding);
        rows.push_back({"ldf_as_mdf", dir, 5171, 0, dir + u"/Audit.mdf"_s});
    }
    {
        const QString dir = m.Dir("empty");
        QFile(dir + u"/Empty.mdf"_s).open(QIODevice::WriteOnly);
        rows.push_back({"empty", dir, 5172, 0, dir + u"/Empty.mdf"_s});
    }
    {  // Cut off before the file list (page 32), as an interrupted copy leaves it.
        const QString dir = m.Dir("truncated");
        m.Database(dir + u"/Cut.mdf"_s, Windows(u"Cut"_s, u"Cut"_s), dir);
        fs::resize_file(ToPath(dir + u"/Cut.mdf"_s), 20 * mdf::kPageSize);
        rows.push_back({"truncated", dir, 5172, 0, dir + u"/Cut.mdf"_s});
    }
    {  // A directory whose name matches the mask: an attach naming it cannot open it.
        const QString dir = m.Dir("dir_named_mdf");
        QDir().mkpath(dir + u"/x.mdf"_s);
        rows.push_back({"dir_named_mdf", dir, 5120, 5, dir + u"/x.mdf"_s});
    }
    {
        const QString dir = m.Dir("unreadable");
        m.Database(dir + u"/Locked.mdf"_s, Windows(u"Locked"_s, u"Locked"_s), dir);
        ::chmod(ToPath(dir + u"/Locked.mdf"_s).c_str(), 0);
        rows.push_back({"unreadable", dir, 5120, 5, dir + u"/Locked.mdf"_s, true});
    }
    {  // Detached on Windows, then renamed here to a name only this side allows; the database
       // and its recorded files carry CJK and apostrophes.
        const QString dir = m.Dir("awkward_renamed");
        mdf::FixtureSpec fixture = Windows(u"销售'数据"_s, u"销售'数据"_s);
        m.Database(dir + u"/销售'数据:2024.mdf"_s, fixture, dir);
        rows.push_back(Ready("awkward_renamed", dir));
    }
    {  // Detached on Linux, where ":" is an ordinary character in a recorded name, and
       // renamed here: the log is looked for under its whole recorded name.
        const QString dir = m.Dir("awkward_linux");
        mdf::FixtureSpec fixture;
        fixture.databaseName = u"it's:销售";
        fixture.files = {{2, 1, u"data", u"/var/opt/mssql/data/it's:销售.mdf"},
                         {0x100042, 2, u"log", u"/var/opt/mssql/data/it's:销售_log.ldf"}};
        mdf::WritePrimaryFile(ToPath(dir + u"/Sales.mdf"_s), fixture);
        mdf::WriteMatchingLogFile(ToPath(dir + u"/Sales.mdf"_s),
                                  ToPath(dir + u"/it's:销售_log.ldf"_s));
        rows.push_back(Ready("awkward_linux", dir));
    }
    return rows;
}

}  // namespace inspecttable
