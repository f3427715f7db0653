// The test server against clients nobody here wrote: the FreeTDS ODBC driver through unixODBC
// (integrated login with a Kerberos ticket from the test KDC) and FreeTDS's tsql (SQL login).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kdc_env.h"
#include "mdf_fixture.h"
#include "test_server.h"
#include "transcript.h"
#include "tsql.h"

namespace {

namespace fs = std::filesystem;
using tdsfiles::FromUtf8;
using tdsfiles::ToUtf8;

struct Diag {
    std::string state;
    int native = 0;
    std::u16string text;  // the server's words, without the driver's prefix
};

struct Result {
    bool ok = false;
    std::vector<std::vector<std::vector<std::u16string>>> sets;  // result set, row, column
    std::vector<Diag> diags;
};

const SQLWCHAR* W(const std::u16string& s) {
    return reinterpret_cast<const SQLWCHAR*>(s.c_str());
}

std::vector<Diag> Diags(SQLSMALLINT type, SQLHANDLE h) {
    std::vector<Diag> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLWCHAR text[2048] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, h, i, state, &native, text, 2048, &len)))
            break;
        Diag d;
        for (SQLWCHAR c : state) {
            if (c)
                d.state += char(c);
        }
        d.native = native;
        d.text.assign(reinterpret_cast<const char16_t*>(text), std::size_t(len));
        const std::u16string prefix = u"[FreeTDS][SQL Server]";
        if (d.text.rfind(prefix, 0) == 0)
            d.text.erase(0, prefix.size());
        out.push_back(std::move(d));
    }
    return out;
}

// One ODBC connection through the FreeTDS driver.
class Odbc {
  public:
    explicit Odbc(const std::string& connect) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        const std::u16string cs = FromUtf8(connect);
        SQLWCHAR out[1024];
        SQLSMALLINT outLen = 0;
        connected_ =
            SQL_SUCCEEDED(SQLDriverConnectW(dbc_, nullptr, const_cast<SQLWCHAR*>(W(cs)), SQL_NTS,
                                            out, 1024, &outLen, SQL_DRIVER_NOPROMPT));
        connectDiags_ = Diags(SQL_HANDLE_DBC, dbc_);
    }
    ~Odbc() {
        if (connected_)
            SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    bool connected() const { return connected_; }
    const std::vector<Diag>& connectDiags() const { return connectDiags_; }
    SQLHDBC dbc() const { return dbc_; }

    Result Exec(const std::u16string& sql, SQLULEN timeoutSeconds = 0) {
        Result r;
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
        if (timeoutSeconds) {
            SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeoutSeconds),
                           0);
        }
        SQLRETURN rc = SQLExecDirectW(st, const_cast<SQLWCHAR*>(W(sql)), SQL_NTS);
        // A statement with neither rows nor a row count (CREATE DATABASE alone) ends in
        // SQL_NO_DATA.
        r.ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
        auto collect = [&] {
            auto d = Diags(SQL_HANDLE_STMT, st);
            r.diags.insert(r.diags.end(), d.begin(), d.end());
        };
        collect();
        while (rc != SQL_ERROR && rc != SQL_NO_DATA) {
            SQLSMALLINT cols = 0;
            SQLNumResultCols(st, &cols);
            if (cols > 0) {
                r.sets.emplace_back();
                while (SQL_SUCCEEDED(SQLFetch(st))) {
                    std::vector<std::u16string> row;
                    for (SQLUSMALLINT c = 1; c <= cols; ++c) {
                        SQLWCHAR buf[1024];
                        SQLLEN ind = 0;
                        SQLGetData(st, c, SQL_C_WCHAR, buf, sizeof buf, &ind);
                        row.emplace_back(reinterpret_cast<const char16_t*>(buf),
                                         ind > 0 ? std::size_t(ind) / 2 : 0);
                    }
                    r.sets.back().push_back(std::move(row));
                }
            }
            rc = SQLMoreResults(st);
            if (rc == SQL_ERROR)
                r.ok = false;
            collect();
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return r;
    }

  private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    std::vector<Diag> connectDiags_;
};

std::string Integrated(int port, const std::string& version = "7.4") {
    return "Driver={FreeTDS};Server=127.0.0.1;Port=" + std::to_string(port) +
           ";Trusted_Connection=Yes;TDS_Version=" + version;
}

// Runs FreeTDS's tsql with a SQL login, statements on stdin; returns everything it printed.
std::string Tsql(int port, const std::string& user, const std::string& password,
                 const std::string& input, const fs::path& dir) {
    const fs::path in = dir / "tsql.in";
    std::ofstream(in) << input;
    const std::string cmd = "tsql -H 127.0.0.1 -p " + std::to_string(port) + " -U '" + user +
                            "' -P '" + password + "' < '" + in.string() + "' 2>&1";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        ::pclose(p);
    }
    return out;
}

std::u16string Trimmed(std::u16string s) {
    while (!s.empty() && s.back() == u' ')
        s.pop_back();
    return s;
}

class TdsServer : public ::testing::Test {
  protected:
    void SetUp() override {
        // CTest starts the KDC fixture first; a KDC that is not up is a broken fixture, not a
        // reason to pass.
        ASSERT_TRUE(testkdc::Ready()) << "test KDC not running in " << testkdc::Dir();
        testkdc::UseTicket();
        char templ[] = "/tmp/quillane-tdstest-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

    // A primary file and its log, as SQL Server leaves them after a detach.
    fs::path MakeDatabase(const std::string& stem, const std::u16string& dbName,
                          std::int16_t version = 904) {
        mdf::FixtureSpec fixture;
        fixture.databaseName = dbName;
        fixture.version = version;
        fixture.files = {
            {2, 1, dbName, u"E:\\old\\" + FromUtf8(stem) + u".mdf"},
            {0x100042, 2, dbName + u"_log", u"E:\\old\\" + FromUtf8(stem) + u"_log.ldf"}};
        const fs::path mdfPath = dir_ / (stem + ".mdf");
        mdf::WritePrimaryFile(mdfPath, fixture);
        mdf::WriteMatchingLogFile(mdfPath, dir_ / (stem + "_log.ldf"));
        return mdfPath;
    }

    std::u16string P(const fs::path& p) const { return FromUtf8(p.string()); }

    fs::path dir_;
};

TEST_F(TdsServer, KerberosLoginReadsEveryRealSampleFile) {
    const fs::path samples = QUILLANE_SAMPLES_DIR;
    if (!fs::exists(samples / "pubs.mdf"))
        GTEST_SKIP() << "no sample files in " << samples;
    struct Expected {
        std::string file;
        std::u16string name;
        std::u16string version;
        std::u16string collation;
        // Logical names and the end of the recorded paths (the sample README elides the rest).
        std::vector<std::array<std::u16string, 3>> files;
    };
    const std::vector<Expected> table{
        {"pubs.mdf",
         u"C:\\DBS\\PUBS.MDF",
         u"655",
         u"53256",  // Latin1_General_CI_AS: SQL Server shows the id, not the name
         {{u"1", u"pubs", u"C:\\dbs\\pubs.mdf"}, {u"2", u"pubs_log", u"C:\\dbs\\pubs_log.ldf"}}},
        {"aspnetdb.mdf",
         u"D:\\DESARROLLO\\KSI\\TRACTIS\\DEMO\\TRACTIS_DEMO\\APP_DATA\\ASPNETDB.MDF",
         u"611",
         u"53288",  // Modern_Spanish_CI_AS
         {{u"1", u"aspnetdb", u"\\aspnetdb.mdf"}, {u"2", u"aspnetdb_log", u"\\aspnetdb_log.LDF"}}},
        {"database1-2012.mdf",
         u"C:\\USERS\\JAWAD\\DOCUMENTS\\VISUAL STUDIO "
         u"2012\\PROJECTS\\MVCAPPLICATION1\\MVCAPPLICATION1\\APP_DATA\\DATABASE1.MDF",
         u"706",
         u"872468488",  // SQL_Latin1_General_CP1_CI_AS
         {{u"1", u"Database1", u"\\Database1.mdf"},
          {u"2", u"Database1_log", u"\\Database1_log.ldf"}}},
        {"database1-2014.mdf",
         u"C:\\USERS\\ЯН\\DESKTOP\\WEBFORMS\\APP_DATA\\DATABASE1.MDF",
         u"904",
         u"872468488",
         {{u"1", u"Database1", u"C:\\Users\\Ян\\Desktop\\WebForms\\App_Data\\Database1.mdf"},
          {u"2", u"Database1_log", u"\\Database1_log.ldf"}}},
    };
    testsrv::TestServer server;
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected()) << ToUtf8(db.connectDiags().at(0).text);
    for (const auto& e : table) {
        SCOPED_TRACE(e.file);
        const fs::path copy = dir_ / e.file;
        fs::copy_file(samples / e.file, copy);
        Result r2 = db.Exec(u"DBCC checkprimaryfile(N'" + P(copy) + u"', 2)");
        ASSERT_TRUE(r2.ok);
        ASSERT_EQ(r2.sets.size(), 1u);
        const std::vector<std::vector<std::u16string>> props{{u"Database name", e.name},
                                                             {u"Database version", e.version},
                                                             {u"Collation", e.collation}};
        EXPECT_EQ(r2.sets[0], props);
        ASSERT_FALSE(r2.diags.empty());
        EXPECT_EQ(r2.diags.back().native, 2528);

        Result r3 = db.Exec(u"DBCC checkprimaryfile(N'" + P(copy) + u"', 3)");
        ASSERT_TRUE(r3.ok);
        ASSERT_EQ(r3.sets.size(), 1u);
        ASSERT_EQ(r3.sets[0].size(), e.files.size());
        for (std::size_t i = 0; i < e.files.size(); ++i) {
            const auto& row = r3.sets[0][i];
            EXPECT_EQ(row[1], e.files[i][0]);
            EXPECT_EQ(row[2].size(), 128u) << "name comes blank-padded";
            EXPECT_EQ(row[3].size(), 260u) << "filename comes blank-padded";
            EXPECT_EQ(Trimmed(row[2]), e.files[i][1]);
            const std::u16string path = Trimmed(row[3]);
            EXPECT_TRUE(path.ends_with(e.files[i][2])) << ToUtf8(path);
        }
    }
    for (const auto& b : server.Transcript())
        EXPECT_EQ(b.login, testkdc::ClientPrincipal());
}

TEST_F(TdsServer, AttachHoldsTheDatabaseAndItsFiles) {
    const fs::path a = MakeDatabase("sales", u"Sales");
    testsrv::TestServer server;
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    const std::u16string files = u" ON (FILENAME = N'" + P(a) + u"'), (FILENAME = N'" +
                                 P(dir_ / "sales_log.ldf") + u"') FOR ATTACH";

    // Bracketed name with ]], CR LF and lower-case keywords, and a second statement without ';'.
    Result r =
        db.Exec(u"create database [Sales]]Q1]\r\n" + files + u"\r\nSELECT name FROM sys.databases");
    ASSERT_TRUE(r.ok) << (r.diags.empty() ? "" : ToUtf8(r.diags[0].text));
    ASSERT_EQ(r.sets.size(), 1u);
    const std::vector<std::vector<std::u16string>> names{
        {u"master"}, {u"tempdb"}, {u"model"}, {u"msdb"}, {u"Sales]Q1"}};
    EXPECT_EQ(r.sets[0], names);
    const std::vector<std::vector<std::u16string>> held{
        {u"Sales]Q1", P(a), P(dir_ / "sales_log.ldf")}};
    EXPECT_EQ(server.Databases(), held);

    r = db.Exec(u"CREATE DATABASE [sales]]q1]" + files);
    ASSERT_EQ(r.diags.size(), 1u);
    EXPECT_EQ(r.diags[0].native, 1801);
    EXPECT_EQ(r.diags[0].text,
              u"Database 'sales]q1' already exists. Choose a different database name.");

    // The same files under another name: in use, as SQL Server holds them open.
    const fs::path viaDotDot = dir_ / ".." / dir_.filename() / "sales.mdf";
    r = db.Exec(u"CREATE DATABASE Other ON (FILENAME = N'" + P(viaDotDot) + u"') FOR ATTACH;");
    ASSERT_EQ(r.diags.size(), 2u);
    EXPECT_EQ(r.diags[0].native, 5120);
    EXPECT_EQ(r.diags[0].text, u"Unable to open the physical file \"" + P(viaDotDot) +
                                   u"\". Operating system error 32: \"32(The process cannot "
                                   u"access the file because it is being used by another "
                                   u"process.)\".");
    EXPECT_EQ(r.diags[1].native, 1802);
    EXPECT_EQ(server.Databases().size(), 1u);
}

// FOR ATTACH needs only the files that are no longer where the primary file records them: a log
// the statement does not name is opened at its recorded path, and a single log missing there is
// rebuilt in the server's default log directory, which SQL Server reports in two informational
// messages (5111, 5182) before the attach succeeds.
TEST_F(TdsServer, AttachingThePrimaryFileAloneTakesTheLogFromWhereTheFileRecords) {
    const auto primary = [&](const std::string& stem, const std::u16string& name,
                             const std::u16string& recordedLog) {
        mdf::FixtureSpec fixture;
        fixture.databaseName = name;
        fixture.files = {{2, 1, name, u"E:\\old\\" + FromUtf8(stem) + u".mdf"},
                         {0x100042, 2, name + u"_log", recordedLog}};
        const fs::path mdfPath = dir_ / (stem + ".mdf");
        mdf::WritePrimaryFile(mdfPath, fixture);
        return mdfPath;
    };
    const fs::path found = primary("found", u"Found", P(dir_ / "found_log.ldf"));
    mdf::WriteMatchingLogFile(found, dir_ / "found_log.ldf");
    // The usual case: the files were copied, the log lies beside the primary file, not where the
    // file records it, and SQL Server does not look beside it.
    const fs::path moved = MakeDatabase("moved", u"Moved");
    const fs::path stray = primary("stray", u"Stray", P(dir_ / "other_log.ldf"));
    MakeDatabase("other", u"Other");
    const fs::path again = primary("again", u"Again", u"E:\\old\\again_log.ldf");

    testsrv::TestServer server;
    std::ofstream(server.LogDir() / "Again_log.ldf") << "a file of someone else's";
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    const auto attach = [&](const std::u16string& name, const fs::path& file) {
        return db.Exec(u"CREATE DATABASE [" + name + u"] ON (FILENAME = N'" + P(file) +
                       u"') FOR ATTACH");
    };

    Result r = attach(u"Found", found);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.diags.empty()) << ToUtf8(r.diags.at(0).text);

    r = attach(u"Moved", moved);
    EXPECT_TRUE(r.ok);
    const std::u16string newLog = P(server.LogDir() / "Moved_log.ldf");
    ASSERT_EQ(r.diags.size(), 2u);
    EXPECT_EQ(r.diags[0].native, 5111);
    EXPECT_EQ(r.diags[0].state, "01000");
    EXPECT_EQ(ToUtf8(r.diags[0].text),
              "File activation failure. The physical file name \"E:\\old\\moved_log.ldf\" may be "
              "incorrect.");
    EXPECT_EQ(r.diags[1].native, 5182);
    EXPECT_EQ(ToUtf8(r.diags[1].text), "New log file '" + ToUtf8(newLog) + "' was created.");
    const auto made = mdf::ReadFileHeader(server.LogDir() / "Moved_log.ldf");
    ASSERT_TRUE(made) << mdf::ToString(made.status);
    EXPECT_EQ(made.value.bindingId, mdf::ReadFileHeader(moved).value.bindingId);

    r = attach(u"Stray", stray);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.diags.size(), 2u);
    EXPECT_EQ(r.diags[0].native, 5173);
    EXPECT_EQ(r.diags[1].native, 1813);

    // A rebuild never overwrites a file that is already where the new log would go. Sent as
    // 5111, 5170, 1813; ODBC ranks the errors before the informational record.
    r = attach(u"Again", again);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.diags.size(), 3u);
    EXPECT_EQ(r.diags[0].native, 5170);
    EXPECT_EQ(ToUtf8(r.diags[0].text),
              "Cannot create file '" + (server.LogDir() / "Again_log.ldf").string() +
                  "' because it already exists. Change the file path or the file name, and "
                  "retry the operation.");
    EXPECT_EQ(r.diags[1].native, 1813);
    EXPECT_EQ(r.diags[2].native, 5111);

    const std::vector<std::vector<std::u16string>> held{
        {u"Found", P(found), P(dir_ / "found_log.ldf")}, {u"Moved", P(moved), newLog}};
    EXPECT_EQ(server.Databases(), held);
}

// A database of four files (the primary file, its log, a secondary data file and a second log)
// as DBCC option 3 lists them and as an attach takes them: every file named, or found where the
// primary file records it; a missing log rebuilt by FOR ATTACH_REBUILD_LOG for the data files
// alone, but not by FOR ATTACH, which rebuilds only a database's single log.
TEST_F(TdsServer, EveryFileOfADatabaseAndTheLogsRebuilt) {
    const auto make = [&](const std::string& stem, const std::u16string& name,
                          const fs::path& recordedDir, bool logs) {
        const std::u16string d = P(recordedDir) + u"/" + FromUtf8(stem);
        mdf::FixtureSpec fixture;
        fixture.databaseName = name;
        fixture.files = {{2, 1, name, d + u".mdf"},
                         {0x100042, 2, name + u"_log", d + u"_log.ldf"},
                         {2, 3, name + u"_2", d + u"_2.ndf"},
                         {0x100042, 4, name + u"_log2", d + u"_log2.ldf"}};
        fs::create_directories(recordedDir);
        const fs::path primary = recordedDir / (stem + ".mdf");
        mdf::WritePrimaryFile(primary, fixture);
        mdf::WriteMatchingLogFile(primary, recordedDir / (stem + "_2.ndf"), 3);
        if (logs) {
            mdf::WriteMatchingLogFile(primary, recordedDir / (stem + "_log.ldf"), 2);
            mdf::WriteMatchingLogFile(primary, recordedDir / (stem + "_log2.ldf"), 4);
        }
        return primary;
    };
    const fs::path all = make("all", u"All", dir_ / "all", true);
    const fs::path inPlace = make("inplace", u"InPlace", dir_ / "inplace", true);
    const fs::path noLogs = make("nologs", u"NoLogs", dir_ / "nologs", false);
    const std::u16string a = P(dir_ / "all") + u"/all";
    const std::u16string n = P(dir_ / "nologs") + u"/nologs";

    testsrv::TestServer server;
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());

    Result r = db.Exec(u"DBCC checkprimaryfile(N'" + P(all) + u"', 3)");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.sets.size(), 1u);
    ASSERT_EQ(r.sets[0].size(), 4u);
    const std::vector<std::pair<std::u16string, std::u16string>> rows{
        {u"2", a + u".mdf"},
        {u"1048642", a + u"_log.ldf"},
        {u"2", a + u"_2.ndf"},
        {u"1048642", a + u"_log2.ldf"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(r.sets[0][i][0], rows[i].first);
        EXPECT_EQ(r.sets[0][i][1], FromUtf8(std::to_string(i + 1)));
        EXPECT_EQ(Trimmed(r.sets[0][i][3]), rows[i].second);
    }

    const auto attach = [&](const std::u16string& name, const std::vector<std::u16string>& files,
                            const std::u16string& clause) {
        std::u16string sql = u"CREATE DATABASE [" + name + u"] ON ";
        for (std::size_t i = 0; i < files.size(); ++i) {
            sql += (i ? u", (FILENAME = N'" : u"(FILENAME = N'") + files[i] + u"')";
        }
        return db.Exec(sql + u" " + clause);
    };
    r = attach(u"All", {a + u".mdf", a + u"_log.ldf", a + u"_2.ndf", a + u"_log2.ldf"},
               u"FOR ATTACH");
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.diags.empty());
    // The files not named come from where the primary file records them.
    r = attach(u"InPlace", {P(inPlace)}, u"FOR ATTACH");
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.diags.empty());

    // Two logs gone: FOR ATTACH cannot make them anew.
    r = attach(u"NoLogs", {n + u".mdf", n + u"_2.ndf"}, u"FOR ATTACH");
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.diags.size(), 2u);
    EXPECT_EQ(r.diags[0].native, 5120);
    EXPECT_EQ(r.diags[0].text, u"Unable to open the physical file \"" + n +
                                   u"_log.ldf\". Operating system error 2: \"2(The system cannot "
                                   u"find the file specified.)\".");
    EXPECT_EQ(r.diags[1].native, 1802);

    // The secondary file elsewhere, not named: the server looks where the file records it.
    fs::rename(dir_ / "nologs" / "nologs_2.ndf", dir_ / "nologs_2.ndf");
    r = attach(u"NoLogs", {n + u".mdf"}, u"FOR ATTACH_REBUILD_LOG");
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.diags.size(), 2u);
    EXPECT_EQ(r.diags[0].native, 5120);
    EXPECT_EQ(r.diags[0].text, u"Unable to open the physical file \"" + n +
                                   u"_2.ndf\". Operating system error 2: \"2(The system cannot "
                                   u"find the file specified.)\".");
    EXPECT_EQ(r.diags[1].native, 1802);

    r = attach(u"NoLogs", {n + u".mdf", P(dir_ / "nologs_2.ndf")}, u"FOR ATTACH_REBUILD_LOG");
    EXPECT_TRUE(r.ok);
    const std::u16string newLog = P(server.LogDir() / "NoLogs_log.ldf");
    ASSERT_EQ(r.diags.size(), 3u);
    EXPECT_EQ(r.diags[0].native, 5111);
    EXPECT_EQ(r.diags[0].text, u"File activation failure. The physical file name \"" + n +
                                   u"_log.ldf\" may be "
                                   u"incorrect.");
    EXPECT_EQ(r.diags[1].native, 5111);
    EXPECT_EQ(r.diags[1].text, u"File activation failure. The physical file name \"" + n +
                                   u"_log2.ldf\" may be "
                                   u"incorrect.");
    EXPECT_EQ(r.diags[2].native, 5182);
    EXPECT_EQ(r.diags[2].text, u"New log file '" + newLog + u"' was created.");
    const auto made = mdf::ReadFileHeader(server.LogDir() / "NoLogs_log.ldf");
    ASSERT_TRUE(made) << mdf::ToString(made.status);
    EXPECT_EQ(made.value.bindingId, mdf::ReadFileHeader(noLogs).value.bindingId);

    const std::u16string i = P(dir_ / "inplace") + u"/inplace";
    const std::vector<std::vector<std::u16string>> held{
        {u"All", a + u".mdf", a + u"_log.ldf", a + u"_2.ndf", a + u"_log2.ldf"},
        {u"InPlace", P(inPlace), i + u"_2.ndf", i + u"_log.ldf", i + u"_log2.ldf"},
        {u"NoLogs", n + u".mdf", P(dir_ / "nologs_2.ndf"), newLog}};
    EXPECT_EQ(server.Databases(), held);
}

// Each case: one batch and the messages it must bring, in order.
struct ErrorCase {
    std::string what;
    std::u16string batch;  // $D stands for the test's directory
    std::vector<std::pair<int, std::u16string>> messages;
};

TEST_F(TdsServer, ErrorsCarrySqlServerNumbersAndWording) {
    MakeDatabase("good", u"Good");
    MakeDatabase("new", u"Newer", 957);
    MakeDatabase("other", u"Other");
    std::ofstream(dir_ / "zeros.mdf", std::ios::binary) << std::string(10 * 8192, '\0');
    const std::u16string D = P(dir_);
    const std::u16string k1802 =
        u"CREATE DATABASE failed. Some file names listed could not be created. Check related "
        u"errors.";
    const std::u16string k2528 =
        u"DBCC execution completed. If DBCC printed error messages, contact your system "
        u"administrator.";
    const std::u16string k1038 =
        u"An object or column name is missing or empty. For SELECT INTO statements, verify each "
        u"column has a name. For other statements, look for empty alias names. Aliases defined as "
        u"\"\" or [] are not allowed. Change the alias to a valid name.";
    const std::u16string missing = u"Unable to open the physical file \"" + D +
                                   u"/none.mdf\". Operating system error 2: \"2(The system "
                                   u"cannot find the file specified.)\".";
    const std::vector<ErrorCase> table{
        {"missing file, DBCC",
         u"DBCC checkprimaryfile(N'$D/none.mdf', 2)",
         {{5120, missing}, {2528, k2528}}},
        {"missing file, attach",
         u"CREATE DATABASE x ON (FILENAME = N'$D/none.mdf') FOR ATTACH",
         {{5120, missing}, {1802, k1802}}},
        {"log file given as primary",
         u"DBCC checkprimaryfile(N'$D/good_log.ldf', 3)",
         {{5171, D + u"/good_log.ldf is not a primary database file."}, {2528, k2528}}},
        {"log file given as primary, attach",
         u"CREATE DATABASE x ON (FILENAME = N'$D/good_log.ldf') FOR ATTACH",
         {{5171, D + u"/good_log.ldf is not a primary database file."}, {1802, k1802}}},
        {"no file header",
         u"DBCC checkprimaryfile(N'$D/zeros.mdf', 2)",
         {{5172, u"The header for file '" + D +
                     u"/zeros.mdf' is not a valid database file header. The PageAudit property "
                     u"is incorrect."},
          {2528, k2528}}},
        // Sent as 1813 then 948; the driver ranks the severity-20 record first.
        {"newer than the server",
         u"CREATE DATABASE Newer ON (FILENAME = N'$D/new.mdf') FOR ATTACH",
         {{948,
           u"The database 'Newer' cannot be opened because it is version 957. This server "
           u"supports version 904 and earlier. A downgrade path is not supported."},
          {1813, u"Could not open new database 'Newer'. CREATE DATABASE is aborted."}}},
        {"log of another database",
         u"CREATE DATABASE x ON (FILENAME = N'$D/good.mdf'), (FILENAME = N'$D/other_log.ldf') "
         u"FOR ATTACH",
         {{5173,
           u"One or more files do not match the primary file of the database. If you are "
           u"attempting to attach a database, retry the operation with the correct files. If this "
           u"is an existing database, the file may be corrupted and should be restored from a "
           u"backup."},
          {1813, u"Could not open new database 'x'. CREATE DATABASE is aborted."}}},
        {"unclosed string",
         u"CREATE DATABASE x ON (FILENAME = N'$D/it''s",
         {{105, u"Unclosed quotation mark after the character string '" + D + u"/it's'."},
          {102, u"Incorrect syntax near '" + D + u"/it's'."}}},
        {"unclosed bracket",
         u"SELECT name FROM [sys",
         {{105, u"Unclosed quotation mark after the character string 'sys'."}}},
        // An apostrophe in a path ends the literal early: SQL Server names the word it stopped
        // at, then the quotation mark the rest of the batch leaves open.
        {"apostrophe in a path",
         u"DBCC checkprimaryfile(N'$D/O'Brien.mdf', 2)",
         {{102, u"Incorrect syntax near 'Brien'."},
          {105, u"Unclosed quotation mark after the character string ', 2)'."}}},
        // A primary file whose recorded name is all blanks makes the name empty.
        {"empty database name",
         u"CREATE DATABASE [] ON (FILENAME = N'$D/good.mdf'), (FILENAME = N'$D/good_log.ldf') "
         u"FOR ATTACH",
         {{1038, k1038}}},
        {"name longer than a sysname",
         u"CREATE DATABASE [" + std::u16string(129, u'n') +
             u"] ON (FILENAME = N'$D/good.mdf') FOR ATTACH",
         {{103, u"The identifier that starts with '" + std::u16string(128, u'n') +
                    u"' is too long. Maximum length is 128."}}},
        {"unknown statement", u"DROP DATABASE Good", {{102, u"Incorrect syntax near 'DROP'."}}},
        {"batch is compiled before anything runs",
         u"CREATE DATABASE Good ON (FILENAME = N'$D/good.mdf') FOR ATTACH\nSELECT name FROM "
         u"sys.databases WHERE 1 = 1",
         {{102, u"Incorrect syntax near 'WHERE'."}}},
        {"statement cut short", u"CREATE DATABASE x ON", {{102, u"Incorrect syntax near 'ON'."}}},
    };
    testsrv::TestServer server;
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        std::u16string batch = c.batch;
        for (std::size_t at; (at = batch.find(u"$D")) != std::u16string::npos;) {
            batch.replace(at, 2, D);
        }
        Result r = db.Exec(batch);
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(r.diags.size(), c.messages.size());
        for (std::size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_EQ(r.diags[i].native, c.messages[i].first);
            EXPECT_EQ(ToUtf8(r.diags[i].text), ToUtf8(c.messages[i].second));
        }
    }
    EXPECT_TRUE(server.Databases().empty()) << "a batch with a syntax error must not run";
}

// A sysname holds 128 characters, counted as the name reads once ]] is undone.
TEST(Tsql, IdentifierLengthIsCountedOnTheName) {
    struct Case {
        std::u16string name;  // as written between the brackets
        bool accepted;
    };
    const std::vector<Case> table{
        {std::u16string(128, u'a'), true},
        {std::u16string(127, u'a') + u"]]", true},
        {std::u16string(129, u'a'), false},
        {std::u16string(128, u'a') + u"]]", false},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(ToUtf8(c.name));
        const auto bracketed = tsql::ParseBatch(u"USE [" + c.name + u"]");
        const auto bare = tsql::ParseBatch(u"USE " + std::u16string(c.name.size(), u'b'));
        EXPECT_EQ(bracketed.errors.empty(), c.accepted);
        EXPECT_EQ(bracketed.statements.size(), c.accepted ? 1u : 0u);
        if (c.name.find(u']') == std::u16string::npos) {
            EXPECT_EQ(bare.errors.empty(), c.accepted) << "a regular identifier has the same limit";
        }
    }
}

// A name may hold any character SQL Server allows in a bracketed identifier, and a path any the
// file system allows: the databases file keeps one line per database whatever they hold.
TEST(DatabasesFile, EveryFieldReadsBackExactly) {
    const std::vector<std::vector<std::u16string>> rows{
        {u"tab\there", u"/data/a.mdf", u"/data/a_log.ldf"},
        {u"line\r\nbreak", u"E:\\old\\b.mdf"},
        {u"lone\nfeed\rand return", u"C:\\t\\n.mdf"},  // backslash before t and n: not escapes
        {u"\\", u"\t", u""},
        {u"数据库", u"/tmp/Ян/📁.mdf"},
    };
    const std::string text = tdsfiles::FormatDatabases(rows);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::ptrdiff_t(rows.size()));
    EXPECT_EQ(tdsfiles::ParseDatabases(text), rows);
}

TEST_F(TdsServer, NamesAndPathsWithSeparatorsKeepTheirRowInTheDatabasesFile) {
    const fs::path odd = dir_ / "tab\tand\nline";
    fs::create_directory(odd);
    mdf::FixtureSpec fixture;
    fixture.databaseName = u"Odd";
    fixture.files = {{2, 1, u"Odd", u"E:\\old\\odd.mdf"},
                     {0x100042, 2, u"Odd_log", u"E:\\old\\odd_log.ldf"}};
    mdf::WritePrimaryFile(odd / "odd.mdf", fixture);
    mdf::WriteMatchingLogFile(odd / "odd.mdf", odd / "odd_log.ldf");
    const fs::path plain = MakeDatabase("plain", u"Plain");

    testsrv::TestServer server;
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    const std::u16string oddName = u"Tab\there, CR LF\r\nthere";
    Result r =
        db.Exec(u"CREATE DATABASE [" + oddName + u"] ON (FILENAME = N'" + P(odd / "odd.mdf") +
                u"'), (FILENAME = N'" + P(odd / "odd_log.ldf") + u"') FOR ATTACH");
    ASSERT_TRUE(r.ok) << (r.diags.empty() ? "" : ToUtf8(r.diags[0].text));
    r = db.Exec(u"CREATE DATABASE Plain ON (FILENAME = N'" + P(plain) + u"'), (FILENAME = N'" +
                P(dir_ / "plain_log.ldf") + u"') FOR ATTACH");
    ASSERT_TRUE(r.ok) << (r.diags.empty() ? "" : ToUtf8(r.diags[0].text));

    const std::vector<std::vector<std::u16string>> held{
        {oddName, P(odd / "odd.mdf"), P(odd / "odd_log.ldf")},
        {u"Plain", P(plain), P(dir_ / "plain_log.ldf")}};
    EXPECT_EQ(server.Databases(), held);
}

TEST_F(TdsServer, RefusedLogins) {
    testsrv::TestServer server({.sqlLogins = {"u:right"}});
    testkdc::UseNoTicket();
    Odbc noTicket(Integrated(server.Port()));
    EXPECT_FALSE(noTicket.connected());
    testkdc::UseTicket();

    const std::string out =
        Tsql(server.Port(), "u", "wrong", "SELECT name FROM sys.databases\ngo\n", dir_);
    EXPECT_NE(out.find("Msg 18456"), std::string::npos) << out;
    EXPECT_NE(out.find("Login failed for user 'u'."), std::string::npos) << out;

    testsrv::TestServer refusing({.refuseLogins = true});
    Odbc refused(Integrated(refusing.Port()));
    EXPECT_FALSE(refused.connected());
    ASSERT_FALSE(refused.connectDiags().empty());
    EXPECT_EQ(refused.connectDiags()[0].native, 18456);
    EXPECT_EQ(refused.connectDiags()[0].text, u"Login failed for user 'alice@TEST.LOCAL'.");
    EXPECT_TRUE(refusing.Transcript().empty());
}

TEST_F(TdsServer, TsqlWithSqlLoginRunsSeveralStatementsInOneBatch) {
    const fs::path a = MakeDatabase("t", u"Tsql");
    testsrv::TestServer server({.sqlLogins = {"quill:pw"}, .kerberos = false, .port = 0});
    const std::string out =
        Tsql(server.Port(), "quill", "pw",
             "DBCC checkprimaryfile(N'" + a.string() +
                 "', 2);\nCREATE DATABASE [T] ON "
                 "(FILENAME = N'" +
                 a.string() + "') FOR ATTACH;SELECT name FROM sys.databases\ngo\n",
             dir_);
    EXPECT_NE(out.find("Database name\tTsql"), std::string::npos) << out;
    EXPECT_NE(out.find("msdb\nT\n"), std::string::npos) << out;
    ASSERT_EQ(server.Transcript().size(), 1u);
    EXPECT_EQ(server.Transcript()[0].login, "quill");
}

TEST_F(TdsServer, TranscriptKeepsTheExactText) {
    testsrv::TestServer server;
    Odbc db(Integrated(server.Port(), "auto"));
    ASSERT_TRUE(db.connected());
    const std::vector<std::u16string> batches{
        u"DBCC checkprimaryfile(N'/tmp/数据库/O''Brien''s 📁.mdf', 2)",
        u"SELECT name FROM sys.databases -- it's 日本語\r\n\r\n",
    };
    for (const auto& b : batches)
        db.Exec(b);
    const auto t = server.Transcript();
    ASSERT_EQ(t.size(), batches.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].text, batches[i]);
        EXPECT_EQ(t[i].login, testkdc::ClientPrincipal());
    }
}

TEST_F(TdsServer, TimedOutQueryLeavesTheConnectionUsable) {
    testsrv::TestServer server({.delayMs = 3000});
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    Result r = db.Exec(u"SELECT name FROM sys.databases", 1);
    EXPECT_FALSE(r.ok);
    ASSERT_FALSE(r.diags.empty());
    EXPECT_EQ(r.diags[0].state, "HYT00");
    r = db.Exec(u"SELECT name FROM sys.databases");
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.sets.size(), 1u);
    EXPECT_EQ(r.sets[0].size(), 4u);
}

// Every statement of a batch takes its time, and a client's attention cuts the wait short.
TEST_F(TdsServer, EveryStatementWaitsItsDelay) {
    {
        testsrv::TestServer server({.statementDelayMs = 300});
        Odbc db(Integrated(server.Port()));
        ASSERT_TRUE(db.connected());
        const auto start = std::chrono::steady_clock::now();
        const Result r = db.Exec(
            u"SELECT name FROM sys.databases\nSELECT name FROM "
            u"sys.databases\nSELECT name FROM sys.databases");
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.sets.size(), 3u);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    }
    testsrv::TestServer server({.statementDelayMs = 600000});
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    const Result r = db.Exec(u"SELECT name FROM sys.databases", 1);
    EXPECT_FALSE(r.ok);
    ASSERT_FALSE(r.diags.empty());
    EXPECT_EQ(r.diags[0].state, "HYT00");
}

TEST_F(TdsServer, ManualCommitUsesTransactionRequests) {
    testsrv::TestServer server;
    Odbc db(Integrated(server.Port()));
    ASSERT_TRUE(db.connected());
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(
        db.dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    EXPECT_TRUE(db.Exec(u"SELECT name FROM sys.databases").ok);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.dbc(), SQL_COMMIT)));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.dbc(), SQL_ROLLBACK)));
    EXPECT_TRUE(db.Exec(u"SELECT name FROM sys.databases").ok);
}

TEST_F(TdsServer, FaultInjection) {
    {
        testsrv::TestServer server({.closeAfter = 2});
        Odbc db(Integrated(server.Port()));
        ASSERT_TRUE(db.connected());
        EXPECT_TRUE(db.Exec(u"SELECT name FROM sys.databases").ok);
        EXPECT_FALSE(db.Exec(u"SELECT name FROM sys.databases").ok);
        Odbc again(Integrated(server.Port()));
        EXPECT_TRUE(again.connected());
        EXPECT_EQ(server.Transcript().size(), 2u) << "the unanswered batch is still recorded";
    }
    {
        testsrv::TestServer server({.exitAfter = 1});
        Odbc db(Integrated(server.Port()));
        ASSERT_TRUE(db.connected());
        EXPECT_FALSE(db.Exec(u"SELECT name FROM sys.databases").ok);
        for (int i = 0; i < 100 && server.Running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_FALSE(server.Running());
    }
    {
        // Garbage gets the connection closed; the server carries on.
        testsrv::TestServer server;
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(std::uint16_t(server.Port()));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        const char junk[] = "GET / HTTP/1.0\r\n\r\n\x12\x01\xff\xff";
        ASSERT_GT(::send(fd, junk, sizeof junk, MSG_NOSIGNAL), 0);
        char c;
        EXPECT_LE(::recv(fd, &c, 1, 0), 0) << "connection should be closed";
        ::close(fd);
        EXPECT_TRUE(server.Running());
        Odbc db(Integrated(server.Port()));
        EXPECT_TRUE(db.connected());
    }
}

}  // namespace
