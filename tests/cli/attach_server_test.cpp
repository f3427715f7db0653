// quillane-attach as a DBA runs it over SSH: the real program, through the real client stack
// (unixODBC, the FreeTDS driver, a Kerberos ticket from the test KDC), against the loopback test
// server. Each run is checked where a DBA and a script would look: the statements the server
// received (byte for byte, spelt out here rather than taken from the engine), the day's log beside
// the program, the databases the server attached, standard error, the JSON and the exit status.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include <map>
#include <set>

#include "kdc_env.h"
#include "mdf_fixture.h"
#include "program_result.h"
#include "support/expected_statements.h"
#include "support/qt_printers.h"
#include "test_server.h"

namespace {

using namespace Qt::Literals::StringLiterals;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The statements as the server must receive them: N'…' with apostrophes doubled, […] with "]"
// doubled, one file a line, and the CR LF a query's text ends with.

using testsupport::AttachSql;
using testsupport::FileSql;
using testsupport::Literal;
using testsupport::NameSql;

const QString kNotFound =
    u"Operating system error 2: \"2(The system cannot find the file "
    u"specified.)\"."_s;
const QString k1802 =
    u"CREATE DATABASE failed. Some file names listed could not be created. Check related errors."_s;

fs::path FsPath(const QString& path) {
    return fs::path(path.toStdU16String());
}

// ---------------------------------------------------------------------------------------------
// Fixture databases: a primary file detached from E:\old\ (or wherever `recordedDir` says) with
// the files it records, written beside it unless left out.

struct DbFile {
    int id;
    bool log;
    QString name;  // file name; recorded under recordedDir
};

// The primary file, its log, two secondary data files and a second log.
const QList<DbFile> kFiveFiles{{1, false, u"$.mdf"_s},
                               {2, true, u"$_log.ldf"_s},
                               {3, false, u"$_2.ndf"_s},
                               {4, false, u"$_3.ndf"_s},
                               {5, true, u"$_log2.ldf"_s}};
const QList<DbFile> kTwoFiles{{1, false, u"$.mdf"_s}, {2, true, u"$_log.ldf"_s}};

struct Db {
    QString dir;
    QString stem;
    QString name;
    QList<DbFile> files;
    QString recordedDir = u"E:\\old\\"_s;

    QString FileName(const DbFile& f) const { return QString(f.name).replace(u'$', stem); }
    QString Primary() const { return dir + u'/' + stem + u".mdf"_s; }
    QString Here(const DbFile& f) const { return dir + u'/' + FileName(f); }
    QString Recorded(const DbFile& f) const { return recordedDir + FileName(f); }
    // Every file beside the primary file, the primary file first, as the attach names them.
    QStringList Beside(const QString& at, bool logs = true) const {
        QStringList paths;
        for (const DbFile& f : files) {
            if (logs || !f.log) {
                paths << at + u'/' + FileName(f);
            }
        }
        return paths;
    }
    // What the run logs of the file query: every file as recorded.
    QStringList FileLines() const {
        QStringList lines;
        for (const DbFile& f : files) {
            lines << (f.log ? u"日志文件:"_s : u"数据库文件:"_s) + Recorded(f);
        }
        return lines;
    }
};

// Writes the primary file and every file of `db` except those whose ids are in `leaveOut`.
void Write(const Db& db, const std::set<int>& leaveOut = {}) {
    mdf::FixtureSpec fixture;
    fixture.databaseName = db.name.toStdU16String();
    for (const DbFile& f : db.files) {
        fixture.files.push_back({f.log ? 0x100042 : 2, static_cast<std::int16_t>(f.id),
                                 db.FileName(f).toStdU16String(), db.Recorded(f).toStdU16String()});
    }
    fs::create_directories(FsPath(db.dir));
    mdf::WritePrimaryFile(FsPath(db.Primary()), fixture);
    for (const DbFile& f : db.files) {
        if (f.id != 1 && !leaveOut.count(f.id)) {
            mdf::WriteMatchingLogFile(FsPath(db.Primary()), FsPath(db.Here(f)),
                                      static_cast<std::int16_t>(f.id));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The program and what it leaves.

// The log entries of a day's log, each without its "[stamp] " and final CR LF.
QStringList LogEntries(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    static const QRegularExpression stamp(u"(?:^|\r\n)\\[[^\\]\r\n]*\\] "_s);
    QStringList entries;
    qsizetype last = -1;
    for (auto it = stamp.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (last >= 0) {
            entries << text.sliced(last, m.capturedStart() - last);
        }
        last = m.capturedEnd();
    }
    if (last >= 0) {
        entries << text.sliced(last).chopped(2);
    }
    return entries;
}

class AttachCli : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testkdc::Ready()) << "the test KDC is not running: run through ctest, which "
                                         "starts the kdc fixture";
        testkdc::UseTicket();
        ASSERT_TRUE(temp_.isValid());
        base_ = QDir(temp_.path()).canonicalPath();
        // A copy of the program of its own, so that its day's log (beside it) is this test's.
        bin_ = base_ + u"/bin"_s;
        ASSERT_TRUE(QDir().mkpath(bin_));
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLANE_ATTACH_PATH), Program()));
        QFile(Program()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString Program() const { return bin_ + u"/quillane-attach"_s; }

    // Every entry the program logged, over as many days' files as the run took.
    QStringList Logged() const {
        QStringList entries;
        const QDir logs(bin_ + u"/Logs"_s);
        for (const QString& day : logs.entryList({u"*.log"_s}, QDir::Files, QDir::Name)) {
            entries << LogEntries(logs.filePath(day));
        }
        return entries;
    }

    Result Run(const QStringList& arguments) const {
        QProcess process;
        process.start(Program(), arguments);
        EXPECT_TRUE(process.waitForFinished(120000)) << "quillane-attach did not finish";
        Result r;
        r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        r.out = QString::fromUtf8(process.readAllStandardOutput());
        r.err = QString::fromUtf8(process.readAllStandardError());
        return r;
    }

    static QStringList Server(const testsrv::TestServer& server) {
        return {u"--server"_s, u"127.0.0.1,"_s + QString::number(server.Port())};
    }

    // The batches the server received since `from`.
    static QStringList Sent(const testsrv::TestServer& server, qsizetype from = 0) {
        QStringList sent;
        const std::vector<testsrv::Batch> batches = server.Transcript();
        for (std::size_t i = static_cast<std::size_t>(from); i < batches.size(); ++i) {
            sent << QString::fromStdU16String(batches[i].text);
        }
        return sent;
    }

    // A database as the server's databases file lists it.
    static std::vector<std::u16string> Held(const QString& name, const QStringList& files) {
        std::vector<std::u16string> row{name.toStdU16String()};
        for (const QString& f : files) {
            row.push_back(f.toStdU16String());
        }
        return row;
    }

    QTemporaryDir temp_;
    QString base_;
    QString bin_;
};

// ---------------------------------------------------------------------------------------------
// The table: each row a directory set up as a DBA finds it, one run of the program over it, and
// everything that run must leave behind.

struct Expected {
    int status = 0;
    QStringList sent;      // the batches, in order
    QStringList log;       // the log entries, in order
    QStringList err;       // contained in standard error, in order
    QString jsonStatus;    // of the one entry
    int jsonError = 0;     // its error number (0: none)
    QStringList attached;  // the database's files on the server; empty when not attached
    QString databaseName;
};

struct Row {
    std::string label;
    std::function<QStringList(const QString& dir)> setUp;  // writes files; gives the arguments
    std::function<Expected(const QString& dir, const QString& logDir)> expected;
};

Db Database(const QString& dir, const QString& stem, const QString& name,
            const QList<DbFile>& files = kTwoFiles, const QString& recordedDir = u"E:\\old\\"_s) {
    return Db{dir, stem, name, files, recordedDir};
}

// Detached from a server on Linux, where ":" and "\" are characters of a file name.
const QString kLinuxData = u"/var/opt/mssql/data/"_s;

QString Selected(const QString& path) {
    return u"选中第【0】文件,选中文件名："_s + path;
}

std::vector<Row> Table() {
    return {
        // Moved with two secondary data files and a second log: every file named, each beside
        // the primary file under the name it records.
        {"moved_with_every_file",
         [](const QString& dir) {
             Write(Database(dir, u"sales"_s, u"Sales"_s, kFiveFiles));
             return QStringList{dir};
         },
         [](const QString& dir, const QString&) {
             const Db db = Database(dir, u"sales"_s, u"Sales"_s, kFiveFiles);
             const QString attach = AttachSql(u"Sales"_s, db.Beside(dir));
             Expected e;
             e.sent = {NameSql(db.Primary()), FileSql(db.Primary()), attach};
             e.log = QStringList{Selected(db.Primary()), u"附加后的数据库名：Sales"_s} +
                     db.FileLines() + QStringList{u"附加数据库【Sales】成功！"_s};
             e.err = {u"[1/1] Sales … 成功\n"_s,
                      u"共 1 个主数据库文件：附加 1 个，失败 0 个，跳过 0 个，用时 "_s};
             e.jsonStatus = u"attached"_s;
             e.attached = db.Beside(dir);
             e.databaseName = u"Sales"_s;
             return e;
         }},
        // The log is lost and nobody asked for a new one: the server's own error, as the
        // window would meet it.
        {"log_missing",
         [](const QString& dir) {
             Write(Database(dir, u"nolog"_s, u"NoLog"_s), {2});
             return QStringList{dir + u"/nolog.mdf"_s};
         },
         [](const QString& dir, const QString&) {
             const Db db = Database(dir, u"nolog"_s, u"NoLog"_s);
             const QString attach = AttachSql(u"NoLog"_s, db.Beside(dir));
             const QString report = u"附加数据库出错！错误：Unable to open the physical file \""_s +
                                    dir + u"/nolog_log.ldf\". "_s + kNotFound + u"\r\n"_s + k1802 +
                                    u"\r\n Sql:"_s + attach;
             Expected e;
             e.status = 1;
             e.sent = {NameSql(db.Primary()), FileSql(db.Primary()), attach};
             e.log = QStringList{Selected(db.Primary()), u"附加后的数据库名：NoLog"_s} +
                     db.FileLines() + QStringList{report};
             e.err = {QString(report).replace(u"\r\n"_s, u"\n"_s),
                      u"[1/1] NoLog … 失败（错误 5120）\n"_s};
             e.jsonStatus = u"failed"_s;
             e.jsonError = 5120;
             return e;
         }},
        // --rebuild-log: the log is found missing here, the data files alone are named and the
        // server makes a new log.
        {"log_missing_rebuilt",
         [](const QString& dir) {
             Write(Database(dir, u"nolog"_s, u"NoLog"_s, kFiveFiles), {2, 5});
             return QStringList{u"--rebuild-log"_s, dir + u"/nolog.mdf"_s};
         },
         [](const QString& dir, const QString& logDir) {
             const Db db = Database(dir, u"nolog"_s, u"NoLog"_s, kFiveFiles);
             const QString rebuild =
                 u"找不到日志文件“"_s + dir + u"/nolog_log.ldf”、“"_s + dir +
                 u"/nolog_log2.ldf”，附加时重建日志（FOR ATTACH_REBUILD_LOG）。"_s;
             Expected e;
             e.sent = {NameSql(db.Primary()), FileSql(db.Primary()),
                       AttachSql(u"NoLog"_s, db.Beside(dir, false), true)};
             e.log = QStringList{Selected(db.Primary()), u"附加后的数据库名：NoLog"_s} +
                     db.FileLines() + QStringList{rebuild, u"附加数据库【NoLog】成功！"_s};
             e.err = {rebuild + u'\n', u"[1/1] NoLog … 成功（日志已重建）\n"_s};
             e.jsonStatus = u"attached"_s;
             e.attached = db.Beside(dir, false) << logDir + u"/NoLog_log.ldf"_s;
             e.databaseName = u"NoLog"_s;
             return e;
         }},
        // The server sees the host's directory under another prefix, as a container sees its
        // volume: every path sent is the server's, and the missing log is found missing here.
        {"mapped_paths",
         [](const QString& dir) {
             Write(Database(dir + u"/host"_s, u"vol"_s, u"Vol"_s, kFiveFiles), {5});
             fs::create_directory_symlink(FsPath(dir + u"/host"_s), FsPath(dir + u"/container"_s));
             return QStringList{u"--map"_s, dir + u"/host="_s + dir + u"/container"_s,
                                u"--rebuild-log"_s, dir + u"/host"_s};
         },
         [](const QString& dir, const QString& logDir) {
             const Db db = Database(dir + u"/host"_s, u"vol"_s, u"Vol"_s, kFiveFiles);
             const QString server = dir + u"/container/vol.mdf"_s;
             const QString rebuild =
                 u"找不到日志文件“"_s + dir +
                 u"/host/vol_log2.ldf”，附加时重建日志（FOR ATTACH_REBUILD_LOG）。"_s;
             const QStringList data = db.Beside(dir + u"/container"_s, false);
             Expected e;
             e.sent = {NameSql(server), FileSql(server), AttachSql(u"Vol"_s, data, true)};
             e.log = QStringList{Selected(db.Primary()), u"附加后的数据库名：Vol"_s} +
                     db.FileLines() + QStringList{rebuild, u"附加数据库【Vol】成功！"_s};
             e.err = {rebuild, u"[1/1] Vol … 成功（日志已重建）\n"_s};
             e.jsonStatus = u"attached"_s;
             e.attached = QStringList(data) << logDir + u"/Vol_log.ldf"_s;
             e.databaseName = u"Vol"_s;
             return e;
         }},
        // A primary file that records no log: a report for this entry, and no attach statement.
        {"file_query_without_a_log_row",
         [](const QString& dir) {
             Write(Database(dir, u"alone"_s, u"Alone"_s, {{1, false, u"$.mdf"_s}}));
             return QStringList{dir};
         },
         [](const QString& dir, const QString&) {
             const Db db = Database(dir, u"alone"_s, u"Alone"_s, {{1, false, u"$.mdf"_s}});
             const QString report = u"检查数据文件出错！错误：查询结果中没有日志文件。\r\n Sql:"_s +
                                    FileSql(db.Primary());
             Expected e;
             e.status = 1;
             e.sent = {NameSql(db.Primary()), FileSql(db.Primary())};
             e.log = QStringList{Selected(db.Primary()), u"附加后的数据库名：Alone"_s} +
                     db.FileLines() + QStringList{report};
             e.err = {u"[1/1] Alone … 失败：查询结果中没有日志文件。\n"_s};
             e.jsonStatus = u"failed"_s;
             return e;
         }},
        // Names and paths that would break a statement or a line if they were not quoted.
        {"hostile_names",
         [](const QString& dir) {
             Write(Database(dir + u"/O'Brien ]';--库存:x"_s, u"it's]';--:库"_s,
                            u"库]';--:存 O'Brien"_s, kTwoFiles, kLinuxData));
             return QStringList{dir + u"/O'Brien ]';--库存:x"_s};
         },
         [](const QString& dir, const QString&) {
             const QString at = dir + u"/O'Brien ]';--库存:x"_s;
             const Db db =
                 Database(at, u"it's]';--:库"_s, u"库]';--:存 O'Brien"_s, kTwoFiles, kLinuxData);
             Expected e;
             e.sent = {NameSql(db.Primary()), FileSql(db.Primary()),
                       AttachSql(u"库]';--:存 O'Brien"_s, db.Beside(at))};
             e.log =
                 QStringList{Selected(db.Primary()), u"附加后的数据库名：库]';--:存 O'Brien"_s} +
                 db.FileLines() + QStringList{u"附加数据库【库]';--:存 O'Brien】成功！"_s};
             e.err = {u"[1/1] 库]';--:存 O'Brien … 成功\n"_s};
             e.jsonStatus = u"attached"_s;
             e.attached = db.Beside(at);
             e.databaseName = u"库]';--:存 O'Brien"_s;
             return e;
         }},
        // The window's statement: the primary file and file 2, wherever the others are.
        {"only_primary_and_log",
         [](const QString& dir) {
             Write(Database(dir, u"two"_s, u"Two"_s, kFiveFiles), {3, 4, 5});
             return QStringList{u"--only-primary-and-log"_s, dir};
         },
         [](const QString& dir, const QString&) {
             const Db db = Database(dir, u"two"_s, u"Two"_s, kFiveFiles);
             const QString attach = AttachSql(u"Two"_s, {db.Primary(), dir + u"/two_log.ldf"_s});
             const QString report =
                 u"附加数据库出错！错误：Unable to open the physical file \"E:\\old\\two_2.ndf\". "_s +
                 kNotFound + u"\r\n"_s + k1802 + u"\r\n Sql:"_s + attach;
             Expected e;
             e.status = 1;
             e.sent = {NameSql(db.Primary()), FileSql(db.Primary()), attach};
             e.log = {Selected(db.Primary()), u"附加后的数据库名：Two"_s,
                      u"数据库文件:E:\\old\\two.mdf"_s, u"日志文件:E:\\old\\two_log.ldf"_s, report};
             e.err = {u"[1/1] Two … 失败（错误 5120）\n"_s};
             e.jsonStatus = u"failed"_s;
             e.jsonError = 5120;
             return e;
         }},
    };
}

TEST_F(AttachCli, EveryRowAsTheServerSeesIt) {
    testsrv::TestServer server;
    std::vector<std::vector<std::u16string>> attached;
    qsizetype logged = 0;
    for (const Row& row : Table()) {
        SCOPED_TRACE(row.label);
        const QString dir = base_ + u'/' + QString::fromStdString(row.label);
        const QStringList arguments = row.setUp(dir);
        const qsizetype sentBefore = static_cast<qsizetype>(server.Transcript().size());

        const Result r = Run(Server(server) + QStringList{u"--json"_s} + arguments);
        const Expected e = row.expected(dir, QString::fromStdString(server.LogDir().string()));

        EXPECT_EQ(r.status, e.status) << r.err.toStdString();
        EXPECT_EQ(Sent(server, sentBefore), e.sent);
        const QStringList log = Logged();
        EXPECT_EQ(log.mid(logged), e.log);
        logged = log.size();
        qsizetype at = 0;
        for (const QString& part : e.err) {
            const qsizetype found = r.err.indexOf(part, at);
            EXPECT_GE(found, 0) << "standard error lacks, in order: " << part.toStdString() << "\n"
                                << r.err.toStdString();
            at = std::max(at, found);
        }
        const QList<QJsonObject> objects = r.Objects();
        ASSERT_EQ(objects.size(), 1) << r.out.toStdString();
        const QJsonObject& o = objects.front();
        EXPECT_EQ(o[u"status"_s].toString(), e.jsonStatus);
        EXPECT_EQ(o[u"statement"_s].toString(), e.sent.value(e.sent.size() - 1));
        EXPECT_EQ(o[u"statements"_s].toArray().size(), e.sent.size());
        EXPECT_EQ(o[u"error"_s].isNull(), e.jsonStatus == u"attached"_s);
        EXPECT_EQ(o[u"error"_s][u"number"_s].toInt(), e.jsonError);
        if (!e.attached.isEmpty()) {
            EXPECT_EQ(o[u"database"_s].toString(), e.databaseName);
            attached.push_back(Held(e.databaseName, e.attached));
        }
        EXPECT_EQ(server.Databases(), attached);
    }
}

// ---------------------------------------------------------------------------------------------

// Fifty databases over four sessions, with every session dropped by the server after a number of
// batches: every entry is attached or reported, each entry's log lines stay together and in
// order, and the summary counts what happened.
TEST_F(AttachCli, FourSessionsWithDroppedOnesLoseNothing) {
    constexpr int kCount = 50;
    const QString dir = base_ + u"/many"_s;
    for (int i = 0; i < kCount; ++i) {
        Write(Database(dir, u"db%1"_s.arg(i, 2, 10, QChar(u'0')), u"库%1"_s.arg(i)));
    }
    // Every 20th batch of a session goes unanswered and the connection with it: sometimes a name
    // query, sometimes an attach that the server never ran.
    testsrv::TestServer server({.closeAfter = 20});

    const Result r = Run(Server(server) + QStringList{u"--jobs"_s, u"4"_s, u"--json"_s, dir});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();

    std::map<qint64, QJsonObject> byIndex;
    for (const QJsonObject& o : r.Objects()) {
        byIndex[o[u"index"_s].toInteger()] = o;
    }
    ASSERT_EQ(byIndex.size(), std::size_t(kCount));
    std::set<QString> attachedNames;
    int failed = 0;
    for (const auto& [index, o] : byIndex) {
        const QString status = o[u"status"_s].toString();
        EXPECT_TRUE(status == u"attached"_s || status == u"failed"_s) << status.toStdString();
        if (status == u"attached"_s) {
            attachedNames.insert(o[u"database"_s].toString());
        } else {
            ++failed;
            EXPECT_FALSE(o[u"error"_s][u"text"_s].toString().isEmpty());
        }
    }
    EXPECT_GT(failed, 0) << "no session was dropped";
    EXPECT_GT(attachedNames.size(), std::size_t(kCount / 2))
        << "dropped sessions were not reopened";
    std::set<QString> onServer;
    for (const auto& db : server.Databases()) {
        onServer.insert(QString::fromStdU16String(db.front()));
    }
    EXPECT_EQ(onServer, attachedNames);

    // The log: one block per entry, each starting with its selection line and ending with its
    // outcome, nothing of another entry in between.
    const QStringList log = Logged();
    std::set<int> seen;
    for (qsizetype i = 0; i < log.size();) {
        static const QRegularExpression selection(u"^选中第【(\\d+)】文件,选中文件名：(.*)$"_s);
        const QRegularExpressionMatch m = selection.match(log[i]);
        ASSERT_TRUE(m.hasMatch()) << "not the start of an entry: " << log[i].toStdString();
        const int index = m.captured(1).toInt();
        EXPECT_TRUE(seen.insert(index).second) << "entry " << index << " logged twice";
        const QString stem = u"db%1"_s.arg(index, 2, 10, QChar(u'0'));
        EXPECT_EQ(m.captured(2), dir + u'/' + stem + u".mdf"_s);
        const QString name = u"库%1"_s.arg(index);
        const bool ok = byIndex[index][u"status"_s].toString() == u"attached"_s;
        // The selection line, the name and the two files as far as the entry got, then its end.
        QStringList expected{log[i]};
        qsizetype next = i + 1;
        if (next < log.size() && log[next] == u"附加后的数据库名："_s + name) {
            expected << log[next++];
            if (next < log.size() && log[next].startsWith(u"数据库文件:"_s)) {
                expected << u"数据库文件:E:\\old\\"_s + stem + u".mdf"_s
                         << u"日志文件:E:\\old\\"_s + stem + u"_log.ldf"_s;
                next += 2;
            }
        }
        ASSERT_LT(next, log.size());
        EXPECT_EQ(log.mid(i, expected.size()), expected);
        const QString last = log[next];
        if (ok) {
            EXPECT_EQ(last, u"附加数据库【"_s + name + u"】成功！"_s);
        } else {
            EXPECT_TRUE(last.startsWith(u"检查数据库名出错！错误："_s) ||
                        last.startsWith(u"检查数据文件出错！错误："_s) ||
                        last.startsWith(u"附加数据库出错！错误："_s))
                << last.toStdString();
            EXPECT_TRUE(last.contains(u" Sql:DBCC checkprimaryfile(N'"_s + dir + u'/' + stem) ||
                        last.contains(u" Sql:CREATE DATABASE ["_s + name + u']'))
                << "the report is about another entry: " << last.toStdString();
        }
        i = next + 1;
    }
    EXPECT_EQ(seen.size(), std::size_t(kCount));

    EXPECT_TRUE(r.err.contains(u"共 50 个主数据库文件：附加 "_s +
                               QString::number(attachedNames.size()) + u" 个，失败 "_s +
                               QString::number(failed) + u" 个，跳过 0 个，用时 "_s))
        << r.err.toStdString();
    // One progress line per entry, none broken by another.
    static const QRegularExpression progress(u"^\\[(\\d+)/50\\] 库\\d+ … (成功|失败.*)$"_s);
    int lines = 0;
    for (const QString& line : r.err.split(u'\n')) {
        lines += progress.match(line).hasMatch() ? 1 : 0;
    }
    EXPECT_EQ(lines, kCount);
}

// A dry run reads the files here and prints every statement; the server hears nothing and the
// log gets nothing.
TEST_F(AttachCli, ADryRunSendsNothing) {
    const QString dir = base_ + u"/dry"_s;
    const Db db = Database(dir, u"sales"_s, u"Sales"_s, kFiveFiles);
    Write(db, {5});
    testsrv::TestServer server;

    const Result r = Run(Server(server) + QStringList{u"--dry-run"_s, u"--rebuild-log"_s, dir});

    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(server.Transcript().empty());
    EXPECT_FALSE(QFileInfo::exists(bin_ + u"/Logs"_s));
    const auto script = [](const QString& statement) {
        return QString(statement).replace(u"\r\n"_s, u"\n"_s) + u"GO\n"_s;
    };
    EXPECT_EQ(r.out, u"-- "_s + db.Primary() + u'\n' + script(NameSql(db.Primary())) +
                         script(FileSql(db.Primary())) +
                         script(AttachSql(u"Sales"_s, db.Beside(dir, false), true)) + u'\n');
    EXPECT_TRUE(r.err.contains(u"找不到日志文件“"_s + dir + u"/sales_log2.ldf”"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"[1/1] Sales … 可以附加（将重建日志）\n"_s)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"试运行，未向服务器发送任何内容。"_s)) << r.err.toStdString();
}

// Exit status 2 when no session can be had before the first entry, with the window's words for
// it; nothing is logged, as the window logs no failed connect.
TEST_F(AttachCli, NoServerBeforeTheFirstEntryIsStatusTwo) {
    const QString dir = base_ + u"/x"_s;
    Write(Database(dir, u"a"_s, u"A"_s));
    // A port the system gave and nobody listens on any more.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    const int port = ntohs(addr.sin_port);
    ::close(fd);

    Result r = Run({u"-S"_s, u"127.0.0.1,"_s + QString::number(port), dir});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(u"数据库连接失败！Unable to connect"_s)) << r.err.toStdString();

    testsrv::TestServer refusing({.refuseLogins = true});
    r = Run(Server(refusing) + QStringList{dir});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(u"数据库连接失败！Login failed for user '"_s))
        << r.err.toStdString();
    EXPECT_TRUE(refusing.Transcript().empty());
    EXPECT_FALSE(QFileInfo::exists(bin_ + u"/Logs"_s));

    r = Run({u"--jobs"_s, u"0"_s, dir});
    EXPECT_EQ(r.status, 2);
}

}  // namespace
