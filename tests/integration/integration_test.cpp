// The product's real client stack end to end: OdbcDriver → unixODBC → FreeTDS → the loopback
// test server, logging in with alice's Kerberos ticket from the test KDC. Each run is checked
// where a DBA would look: the statements the server received (byte for byte), the day's log and
// the databases the server attached.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "db/connection.h"
#include "db/odbc/odbc_driver.h"
#include "db/query.h"
#include "engine/attach_run.h"
#include "engine/server_connection.h"
#include "kdc_env.h"
#include "log/run_log.h"
#include "mdf_fixture.h"
#include "support/expected_statements.h"
#include "test_server.h"

namespace {

using namespace Qt::Literals::StringLiterals;
namespace fs = std::filesystem;
using quillane::db::Connection;
using quillane::db::Query;
using quillane::db::odbc::OdbcDriver;

const QDateTime kMoment(QDate(2026, 3, 14), QTime(9, 26, 53));
const QLocale kLocale(QLocale::Chinese, QLocale::China);

// What FreeTDS says when nothing listens where the connection points.
const QString kUnreachable =
    u"Unable to connect: Adaptive Server is unavailable or does not exist\r\n"
    u"Unable to connect to data source"_s;
// What FreeTDS says when the server closes the session while the client waits for an answer.
const QString kDropped = u"Unexpected EOF from the server"_s;
// What FreeTDS says when the log-in runs out of time.
const QString kLoginTimedOut = u"Timeout expired\r\nUnable to connect to data source"_s;
// What FreeTDS says when a statement runs out of time and it has cancelled it.
const QString kTimedOut = u"Timeout expired\r\nOperation was cancelled"_s;
// What FreeTDS says when the user holds no Kerberos ticket: it gives up before sending a login.
const QString kNoTicket = u"Unable to connect to data source"_s;

// ---------------------------------------------------------------------------------------------
// The statements as the server must receive them, spelt out here rather than taken from the
// engine: N'…' with apostrophes doubled, […] with "]" doubled, and the CR LF a query's text ends
// with.

using testsupport::AttachSql;
using testsupport::FileSql;
using testsupport::Literal;
using testsupport::NameSql;

QString FromU16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}
fs::path ToPath(const QString& text) {
    return fs::path(text.toStdU16String());
}

std::vector<std::string> Std(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) {
        out.push_back(s.toStdString());
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Fixture files: a primary file that records it was detached from E:\old\, and its log beside it.

enum class LogFile { Matching, Foreign, None };

// Writes <dir>/<file> for database `name`. The recorded paths are E:\old\<stem>.mdf and
// E:\old\<stem>_log.ldf, so an attach from <dir> relocates the log to <dir>/<stem>_log.ldf.
void MakeDb(const QString& dir, const QString& file, const QString& name,
            LogFile log = LogFile::Matching, const QString& recordedDir = u"E:\\old\\"_s) {
    const QString stem = file.chopped(4);
    mdf::FixtureSpec fixture;
    fixture.databaseName = name.toStdU16String();
    fixture.files = {{2, 1, u"data", (recordedDir + stem + u".mdf"_s).toStdU16String()},
                     {0x100042, 2, u"log", (recordedDir + stem + u"_log.ldf"_s).toStdU16String()}};
    fs::create_directories(ToPath(dir));
    const fs::path primary = ToPath(dir + u'/' + file);
    mdf::WritePrimaryFile(primary, fixture);
    const fs::path logPath = ToPath(dir + u'/' + stem + u"_log.ldf"_s);
    if (log == LogFile::Matching) {
        mdf::WriteMatchingLogFile(primary, logPath);
    } else if (log == LogFile::Foreign) {
        mdf::BindingId other{};
        other.fill(0x5A);
        mdf::WriteLogFile(logPath, other);
    }
}

// ---------------------------------------------------------------------------------------------
// What a run must leave behind, built entry by entry in the order the run handles them.

struct Expected {
    QString dir;
    QStringList entries;
    QStringList log;    // every log entry, in order
    QStringList shown;  // every message box, in order
    QStringList sent;   // every batch the server received, in order
    std::vector<QStringList> attached;

    QString Path(const QString& entry) const { return dir + u'/' + entry; }

    // The selection line; `reaches` is false when no session can be had to send the name query.
    QString Select(const QString& entry, bool reaches = true) {
        const QString path = Path(entry);
        log << u"选中第【"_s + QString::number(entries.size()) + u"】文件,选中文件名："_s + path;
        entries << entry;
        if (reaches) {
            sent << NameSql(path);
        }
        return path;
    }

    void Report(const QString& text) {
        log << text;
        shown << text;
    }

    // The name query fails: one report quoting it.
    void NameFails(const QString& entry, const QString& error, bool reaches = true) {
        const QString path = Select(entry, reaches);
        Report(u"检查数据库名出错！错误："_s + error + u"\r\n Sql:"_s + NameSql(path));
    }

    // Both queries answer; the attach succeeds, or fails with `error`.
    void Attaches(const QString& entry, const QString& name, const QString& recordedData,
                  const QString& recordedLog, const QString& error = {}) {
        const QString path = Select(entry);
        log << u"附加后的数据库名："_s + name << u"数据库文件:"_s + recordedData
            << u"日志文件:"_s + recordedLog;
        sent << FileSql(path);
        const QString logPath =
            dir + u'/' +
            recordedLog.sliced(
                std::max(recordedLog.lastIndexOf(u'\\'), recordedLog.lastIndexOf(u'/')) + 1);
        const QString sql = AttachSql(name, path, logPath);
        sent << sql;
        if (error.isEmpty()) {
            log << u"附加数据库【"_s + name + u"】成功！"_s;
            attached.push_back({name, path, logPath});
        } else {
            Report(u"附加数据库出错！错误："_s + error + u"\r\n Sql:"_s + sql);
        }
    }

    // A fixture from MakeDb, attached from `dir`.
    void AttachesFixture(const QString& file, const QString& name, const QString& error = {}) {
        const QString stem = file.chopped(4);
        Attaches(file, name, u"E:\\old\\"_s + stem + u".mdf"_s,
                 u"E:\\old\\"_s + stem + u"_log.ldf"_s, error);
    }
};

// ---------------------------------------------------------------------------------------------
// The window's pieces with the real driver: AdoCnn, ADOQAttach, ADOQAdd, the run log and the run.

struct Desk {
    explicit Desk(const QString& folder)
        : logFolder(folder),
          log(
              folder, [this](const QString& text) { Show(text); }, [] { return kMoment; }, kLocale),
          run(check, attach, log, [this](const QString& text) { Show(text); }) {}

    // The message box: the run waits here until the user closes it.
    void Show(const QString& text) {
        shown << text;
        if (whileShown) {
            whileShown();
        }
    }

    // The log's entries, without their time stamps.
    QStringList LogEntries() const {
        QFile file(log.FilePath(kMoment.date()));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray bytes = file.readAll();
        const QString text = QString::fromUtf16(
            reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
        const QString stamp = quillane::log::RunLog::EntryText(kMoment, kLocale, {}).chopped(2);
        QStringList entries = text.split(stamp, Qt::SkipEmptyParts);
        for (QString& entry : entries) {
            entry.chop(2);  // the CR LF every entry ends with
        }
        return entries;
    }

    void Connect(const QString& server) {
        quillane::engine::Connect(connection, u"sa"_s, server,
                                  [this](const QString& text) { Show(text); });
    }

    QString logFolder;
    QStringList shown;
    std::function<void()> whileShown;
    Connection connection{std::make_unique<OdbcDriver>()};
    Query check{u"ADOQAttach"_s, connection};
    Query attach{u"ADOQAdd"_s, connection};
    quillane::log::RunLog log;
    quillane::engine::AttachRun run;
};

QStringList Sent(const testsrv::TestServer& server, const std::string& login = "alice@TEST.LOCAL") {
    QStringList texts;
    for (const testsrv::Batch& batch : server.Transcript()) {
        EXPECT_EQ(batch.login, login);
        texts << FromU16(batch.text);
    }
    return texts;
}

std::vector<std::vector<std::string>> Attached(const testsrv::TestServer& server) {
    std::vector<std::vector<std::string>> out;
    for (const auto& row : server.Databases()) {
        QStringList fields;
        for (const auto& field : row) {
            fields << FromU16(field);
        }
        out.push_back(Std(fields));
    }
    return out;
}

std::vector<std::vector<std::string>> Std(const std::vector<QStringList>& rows) {
    std::vector<std::vector<std::string>> out;
    for (const QStringList& row : rows) {
        out.push_back(Std(row));
    }
    return out;
}

QString Server(const testsrv::TestServer& server) {
    return u"127.0.0.1,"_s + QString::number(server.Port());
}

// What a run must have left where a DBA would look: the log, the message boxes, the batches the
// server received and the databases it attached.
void ExpectTrail(const Desk& desk, const testsrv::TestServer& server, const Expected& expected) {
    EXPECT_EQ(Std(desk.LogEntries()), Std(expected.log));
    EXPECT_EQ(Std(desk.shown), Std(expected.shown));
    EXPECT_EQ(Std(Sent(server)), Std(expected.sent));
    EXPECT_EQ(Attached(server), Std(expected.attached));
}

class Integration : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testkdc::Ready()) << "the test KDC is not running: run through ctest, which "
                                         "starts the kdc fixture";
        testkdc::UseTicket();
        ASSERT_TRUE(temp_.isValid());
    }

    QString Dir(const QString& name) const { return temp_.path() + u'/' + name; }

    QTemporaryDir temp_;
};

// ---------------------------------------------------------------------------------------------
// Connecting

// The start-up text and an empty server box both mean this machine, port 1433. Whatever else
// holds 127.0.0.1:1433 on this machine (try-it.sh, run-local.sh, a local SQL Server), the test
// runs itself again in a private network namespace, where that port is surely free; the
// Kerberos service ticket for MSSQLSvc/127.0.0.1:1433 is fetched beforehand, since the test KDC
// cannot be reached from in there.
constexpr char kInPrivateNetwork[] = "QUILLANE_TEST_IN_PRIVATE_NETWORK";

void LocalMachineOnPort1433Body() {
    std::unique_ptr<testsrv::TestServer> server;
    try {
        server = std::make_unique<testsrv::TestServer>(testsrv::Options{.port = 1433});
    } catch (const std::exception& error) {
        FAIL() << "this test needs TCP port 1433 on 127.0.0.1 free for the test server: "
               << error.what();
    }

    Connection connection(std::make_unique<OdbcDriver>());
    Query check(u"ADOQAttach"_s, connection);
    connection.SetConnectionString(quillane::engine::InitialConnectionText());
    check.SQL().Add(u"SELECT name FROM sys.databases"_s);
    check.Open();  // opens the closed connection with the start-up text first
    EXPECT_TRUE(connection.Connected());
    ASSERT_EQ(check.FieldNames(), QStringList{u"name"_s});
    EXPECT_EQ(check.Fields(0).AsString(), u"master"_s);

    QStringList shown;
    quillane::engine::Connect(connection, u"sa"_s, u" \t"_s,
                              [&](const QString& text) { shown << text; });
    EXPECT_TRUE(shown.isEmpty()) << shown.join(u'\n').toStdString();
    EXPECT_TRUE(connection.Connected());
    check.Open();
    EXPECT_EQ(Sent(*server), QStringList(2, u"SELECT name FROM sys.databases\r\n"_s));
}

// Output of a command, for messages.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        ::pclose(pipe);
    }
    return out;
}

// Runs this test again in a child with a network namespace of its own (loopback up). Returns
// the child's exit status, or -1 with `why` set when no namespace could be made.
int RunInPrivateNetwork(const std::string& ccache, std::string& why) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return -1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        why = std::strerror(errno);
        return -1;
    }
    if (child == 0) {
        ::close(report[0]);
        auto fail = [&](const char* step) {
            const std::string text = std::string(step) + ": " + std::strerror(errno);
            (void)!::write(report[1], text.data(), text.size());
            ::_exit(127);
        };
        if (::unshare(CLONE_NEWNET) != 0) {
            fail("unshare(CLONE_NEWNET)");
        }
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq lo{};
        std::strncpy(lo.ifr_name, "lo", IFNAMSIZ - 1);
        if (fd < 0 || ::ioctl(fd, SIOCGIFFLAGS, &lo) != 0) {
            fail("reading the loopback interface");
        }
        lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP | IFF_RUNNING);
        if (::ioctl(fd, SIOCSIFFLAGS, &lo) != 0) {
            fail("bringing the loopback interface up");
        }
        // The run in there uses this ticket cache in place of the fixture's.
        ::setenv(kInPrivateNetwork, ccache.c_str(), 1);
        const std::string filter =
            "--gtest_filter=" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) +
            "." + testing::UnitTest::GetInstance()->current_test_info()->name();
        char* const argv[] = {const_cast<char*>("quillane_integration_test"),
                              const_cast<char*>(filter.c_str()), nullptr};
        ::execv("/proc/self/exe", argv);
        fail("execv");
    }
    ::close(report[1]);
    char buffer[256];
    const ssize_t n = ::read(report[0], buffer, sizeof buffer);
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (n > 0) {
        why.assign(buffer, static_cast<std::size_t>(n));
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(Integration, LocalMachineOnPort1433) {
    if (const char* ccache = std::getenv(kInPrivateNetwork)) {
        ::setenv("KRB5CCNAME", (std::string("FILE:") + ccache).c_str(), 1);
        LocalMachineOnPort1433Body();
        return;
    }
    // A ticket cache of this test's own, holding alice's ticket and the service ticket.
    const std::string ccache = (fs::path(temp_.path().toStdString()) / "alice.ccache").string();
    fs::copy_file(testkdc::Dir() / "alice.ccache", ccache);
    const std::string kvno = "KRB5CCNAME=FILE:" + ccache + " kvno -q MSSQLSvc/127.0.0.1:1433@" +
                             testkdc::Realm() + " 2>&1";
    std::string why;
    int status = -1;
    if (const std::string out = Output(kvno + "; echo $?"); out != "0\n") {
        why = "no service ticket for MSSQLSvc/127.0.0.1:1433: " + out;
    } else {
        status = RunInPrivateNetwork(ccache, why);
    }
    if (status >= 0) {
        EXPECT_EQ(status, 0)
            << "the run in a private network namespace failed (its output is above)";
        return;
    }
    // No namespace to be had (no privilege for it): the machine's own 1433, if it is free.
    try {
        testsrv::TestServer probe(testsrv::Options{.port = 1433});
    } catch (const std::exception&) {
        GTEST_SKIP() << "cannot make a private network namespace (" << why
                     << ") and 127.0.0.1:1433 is held by another program:\n"
                     << Output("ss -Htlnp 'sport = :1433' 2>&1");
    }
    LocalMachineOnPort1433Body();
}

// A port on 127.0.0.1 that the system gave this process and that nobody listens on: the socket
// is bound but never listens, and is held until the process ends, so no other program can take
// the port meanwhile and a connect to it is refused.
int RefusingPort() {
    static const int port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot bind a port on 127.0.0.1");
        }
        return static_cast<int>(ntohs(address.sin_port));
    }();
    return port;
}

struct ConnectCase {
    const char* label;
    std::function<QString(int port)> serverBox;
    bool ticket;
    QString failure;  // empty: connects
};

void PrintTo(const ConnectCase& c, std::ostream* os) {
    *os << c.label;
}

class ConnectButton : public Integration, public testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectButton, ConnectsOrSaysWhy) {
    const ConnectCase& c = GetParam();
    testsrv::TestServer server;
    if (!c.ticket) {
        testkdc::UseNoTicket();
    }
    Desk desk(temp_.path());
    desk.Connect(c.serverBox(server.Port()));
    if (c.failure.isEmpty()) {
        EXPECT_TRUE(desk.shown.isEmpty()) << desk.shown.join(u'\n').toStdString();
        ASSERT_TRUE(desk.connection.Connected());
        desk.check.SQL().Add(u"SELECT name FROM sys.databases"_s);
        desk.check.Open();
        EXPECT_EQ(Sent(server), QStringList{u"SELECT name FROM sys.databases\r\n"_s});
    } else {
        EXPECT_EQ(Std(desk.shown), Std({u"数据库连接失败！"_s + c.failure}));
        EXPECT_FALSE(desk.connection.Connected());
        EXPECT_TRUE(server.Transcript().empty());
    }
    // The button never writes to the log.
    EXPECT_TRUE(desk.LogEntries().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ConnectButton,
    testing::Values(
        ConnectCase{"HostCommaPort",
                    [](int port) { return u"127.0.0.1,"_s + QString::number(port); },
                    true,
                    {}},
        ConnectCase{"BlanksAroundTheBox",
                    [](int port) { return u"  127.0.0.1,"_s + QString::number(port) + u"\t "_s; },
                    true,
                    {}},
        ConnectCase{"NobodyListens",
                    [](int) { return u"127.0.0.1,"_s + QString::number(RefusingPort()); }, true,
                    kUnreachable},
        ConnectCase{"NoKerberosTicket",
                    [](int port) { return u"127.0.0.1,"_s + QString::number(port); }, false,
                    kNoTicket}),
    [](const auto& info) { return std::string(info.param.label); });

// Takes TCP connections on a port the system gives and never says a word.
class SilentListener {
  public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, 16) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd_); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int Port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

// A server that takes the connection and never answers costs the log-in time-out ("Connect
// Timeout" typed into the server box, as the OLE DB provider reads it), then the usual report.
// "General Timeout=0" lifts the session's other wait, so only the log-in time-out can end this
// connect: without it the test hangs until CTest stops it, and no clock is read here.
TEST_F(Integration, ASilentServerCostsTheLoginTimeout) {
    SilentListener listener;
    Desk desk(temp_.path());
    desk.Connect(u"127.0.0.1,"_s + QString::number(listener.Port()) +
                 u";Connect Timeout=2;General Timeout=0"_s);

    EXPECT_EQ(Std(desk.shown), Std({u"数据库连接失败！"_s + kLoginTimedOut}));
    EXPECT_FALSE(desk.connection.Connected());
}

// Pressing the button while connected ends the session (closing the check query with it) and
// opens a new one.
TEST_F(Integration, ConnectWhileConnectedReopens) {
    testsrv::TestServer server;
    Desk desk(temp_.path());
    desk.Connect(Server(server));
    desk.check.SQL().Add(u"SELECT name FROM sys.databases"_s);
    desk.check.Open();
    ASSERT_TRUE(desk.check.Active());

    desk.Connect(Server(server));
    EXPECT_TRUE(desk.shown.isEmpty()) << desk.shown.join(u'\n').toStdString();
    EXPECT_FALSE(desk.check.Active());
    EXPECT_TRUE(desk.connection.Connected());
    desk.check.Open();
    EXPECT_EQ(desk.check.Fields(0).AsString(), u"master"_s);
    EXPECT_EQ(Sent(server), QStringList(2, u"SELECT name FROM sys.databases\r\n"_s));
}

// A SQL login (no integrated security) whose name and password hold ";", "{" and "}" reaches the
// server intact: the mapping's quoting agrees with how unixODBC and FreeTDS read the text.
TEST_F(Integration, SqlLoginWithAwkwardCharacters) {
    testsrv::TestServer server(testsrv::Options{.sqlLogins = {"a}b=c:{p;w x"}});
    OdbcDriver driver;
    driver.Open(u"Provider=SQLOLEDB.1;User ID=a}b=c;Password='{p;w x';Data Source=127.0.0.1,"_s +
                QString::number(server.Port()));
    driver.Execute(u"SELECT name FROM sys.databases"_s);
    EXPECT_EQ(Sent(server, "a}b=c"), QStringList{u"SELECT name FROM sys.databases"_s});
}

// Hostile texts typed into the server or user box. Whatever they hold, the connection is made by
// the FreeTDS driver with alice's Kerberos ticket, or not at all: no other driver is loaded (the
// stand-in driver below would connect without reaching the test server) and no other login is
// made (mallory exists on the test server, so a switch to her would show in its transcript).
struct BoxCase {
    const char* label;
    std::function<QString(const QString& hostPort)> server;
    QString user = u"sa"_s;
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.label;
}

class HostileBoxes : public Integration, public testing::WithParamInterface<BoxCase> {};

const QString kOtherDriver = QString::fromUtf8(QUILLANE_FAKE_ODBC_DRIVER);

TEST_P(HostileBoxes, KeepTheKerberosLoginOrDoNotConnect) {
    testsrv::TestServer server(testsrv::Options{.sqlLogins = {"mallory:pw"}});
    Desk desk(temp_.path());
    quillane::engine::Connect(desk.connection, GetParam().user, GetParam().server(Server(server)),
                              [&](const QString& text) { desk.Show(text); });
    if (desk.connection.Connected()) {
        EXPECT_TRUE(desk.shown.isEmpty()) << desk.shown.join(u'\n').toStdString();
        desk.check.SQL().Add(u"SELECT name FROM sys.databases"_s);
        desk.check.Open();
        // Sent() checks that every batch came from alice.
        EXPECT_EQ(Sent(server), QStringList{u"SELECT name FROM sys.databases\r\n"_s});
    } else {
        ASSERT_EQ(desk.shown.size(), 1);
        EXPECT_TRUE(desk.shown[0].startsWith(u"数据库连接失败！"_s)) << desk.shown[0].toStdString();
        EXPECT_TRUE(server.Transcript().empty());
    }
}

const BoxCase kBoxes[] = {
    {"Semicolon", [](const QString& s) { return s + u";"_s; }},
    {"EqualsSign", [](const QString& s) { return s + u"=1"_s; }},
    {"OpeningBrace", [](const QString& s) { return u"{"_s + s; }},
    {"ClosingBrace", [](const QString& s) { return s + u"}"_s; }},
    {"BraceSemicolonDriver",
     [](const QString& s) { return u"\""_s + s + u"};Driver={"_s + kOtherDriver + u"\""_s; }},
    {"BraceThenDriverWithoutSemicolonAfterBrace",
     [](const QString& s) { return u"\""_s + s + u"}Driver="_s + kOtherDriver + u";\""_s; }},
    {"DriverKey", [](const QString& s) { return s + u";Driver="_s + kOtherDriver; }},
    {"OdbcLoginKeys", [](const QString& s) { return s + u";UID=mallory;PWD=pw"_s; }},
    {"BraceThenOdbcLogin",
     [](const QString& s) {
         return u"\""_s + s + u"};UID=mallory;PWD=pw;Trusted_Connection=No;x={\""_s;
     }},
    {"ControlCharacter", [](const QString& s) { return s + u"\x01x"_s; }},
    {"NulThenDriver",
     [](const QString& s) { return s + QChar(u'\0') + u"x;Driver="_s + kOtherDriver; }},
    {"TwoThousandCharacters", [](const QString&) { return QString(2000, u'a'); }},
    {"UserBoxBraceSemicolon", [](const QString& s) { return s; },
     u"\"sa};Driver={"_s + kOtherDriver + u"\""_s},
    {"UserBoxOdbcLogin", [](const QString& s) { return s; }, u"mallory;PWD=pw"_s},
};

INSTANTIATE_TEST_SUITE_P(Boxes, HostileBoxes, testing::ValuesIn(kBoxes),
                         [](const auto& info) { return std::string(info.param.label); });

// The driver's own view of a file query: column names, integers as decimal text, and a file name
// padded to 260 characters that arrives in more than one chunk and must come back whole.
TEST_F(Integration, FileQueryFieldsComeWhole) {
    testsrv::TestServer server;
    MakeDb(Dir(u"d"_s), u"db1.mdf"_s, u"db1"_s);
    OdbcDriver driver;
    driver.Open(quillane::engine::ComposeConnectionText(u"sa"_s, Server(server)));
    const quillane::db::ResultSet result = driver.Execute(FileSql(Dir(u"d/db1.mdf"_s)));
    EXPECT_EQ(result.columns, QStringList({u"status"_s, u"fileid"_s, u"name"_s, u"filename"_s}));
    ASSERT_EQ(result.rows.size(), 2);
    EXPECT_EQ(result.rows[0], QStringList({u"2"_s, u"1"_s, u"data"_s.leftJustified(128),
                                           u"E:\\old\\db1.mdf"_s.leftJustified(260)}));
    EXPECT_EQ(result.rows[1][1], u"2"_s);
}

// ---------------------------------------------------------------------------------------------
// Attach runs

struct RunCase {
    const char* label;
    testsrv::Options options;
    bool ticket;
    std::function<void(Expected&)> prepare;  // makes the files, says what must happen
    QString afterServer = {};                // typed into the server box after host,port
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.label;
}

class AttachRuns : public Integration, public testing::WithParamInterface<RunCase> {};

TEST_P(AttachRuns, LeaveTheExpectedTrail) {
    const RunCase& c = GetParam();
    testsrv::TestServer server(c.options);
    Expected expected;
    expected.dir = Dir(u"restore"_s);
    fs::create_directories(ToPath(expected.dir));
    c.prepare(expected);
    if (IsSkipped()) {
        return;
    }

    if (!c.ticket) {
        testkdc::UseNoTicket();
    }
    Desk desk(Dir(u"app"_s));
    fs::create_directories(ToPath(desk.logFolder));
    desk.Connect(Server(server) + c.afterServer);
    ASSERT_EQ(desk.connection.Connected(), c.ticket) << desk.shown.join(u'\n').toStdString();
    desk.shown.clear();
    if (c.options.exitAfter > 0) {
        // While the user reads the first report the server finishes going away, so the entries
        // after it meet a machine where nothing listens (and not a half-closed listener).
        desk.whileShown = [&server] {
            for (int i = 0; i < 400 && server.Running(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        };
    }

    desk.run.Run(expected.entries, expected.dir);

    ExpectTrail(desk, server, expected);
}

const QString kSamples = QString::fromUtf8(QUILLANE_SAMPLES_DIR);

// A real detached file copied in, with a log file made for it (none came with the samples).
void CopySample(const Expected& e, const QString& sample, const QString& as, const QString& log) {
    const fs::path from = ToPath(kSamples + u'/' + sample);
    if (!fs::exists(from)) {
        GTEST_SKIP() << "no sample " << from << " (set QUILLANE_SAMPLES_DIR)";
    }
    fs::copy_file(from, ToPath(e.Path(as)));
    mdf::WriteMatchingLogFile(ToPath(e.Path(as)), ToPath(e.Path(log)));
}

const QString k1802 =
    u"CREATE DATABASE failed. Some file names listed could not be created. Check related errors."_s;
const QString k5173 =
    u"One or more files do not match the primary file of the database. If you are attempting to "
    u"attach a database, retry the operation with the correct files. If this is an existing "
    u"database, the file may be corrupted and should be restored from a backup."_s;

QString NotFound(const QString& path) {
    return u"Unable to open the physical file \""_s + path +
           u"\". Operating system error 2: \"2(The system cannot find the file specified.)\"."_s;
}

QString InUse(const QString& path) {
    return u"Unable to open the physical file \""_s + path +
           u"\". Operating system error 32: \"32(The process cannot access the file because it "
           u"is being used by another process.)\"."_s;
}

const RunCase kRuns[] = {
    {"WorkedExampleMovedFiles",
     {},
     true,
     [](Expected& e) {
         MakeDb(e.dir, u"db1.mdf"_s, u"db1"_s);
         e.AttachesFixture(u"db1.mdf"_s, u"db1"_s);
     }},
    {"RealSamplePubs",
     {},
     true,
     [](Expected& e) {
         CopySample(e, u"pubs.mdf"_s, u"pubs.mdf"_s, u"pubs_log.ldf"_s);
         e.Attaches(u"pubs.mdf"_s, u"C:\\DBS\\PUBS.MDF"_s, u"C:\\dbs\\pubs.mdf"_s,
                    u"C:\\dbs\\pubs_log.ldf"_s);
     }},
    {"RealSampleWithCyrillicPaths",
     {},
     true,
     [](Expected& e) {
         CopySample(e, u"database1-2014.mdf"_s, u"Database1.mdf"_s, u"Database1_log.ldf"_s);
         e.Attaches(u"Database1.mdf"_s,
                    u"C:\\USERS\\ЯН\\DESKTOP\\WEBFORMS\\APP_DATA\\DATABASE1.MDF"_s,
                    u"C:\\Users\\Ян\\Desktop\\WebForms\\App_Data\\Database1.mdf"_s,
                    u"C:\\Users\\Ян\\Desktop\\WebForms\\App_Data\\Database1_log.ldf"_s);
     }},
    {"SameNameTwice",
     {},
     true,
     [](Expected& e) {
         MakeDb(e.dir, u"a.mdf"_s, u"Sales"_s);
         MakeDb(e.dir, u"b.mdf"_s, u"Sales"_s);
         e.AttachesFixture(u"a.mdf"_s, u"Sales"_s);
         e.AttachesFixture(u"b.mdf"_s, u"Sales"_s,
                           u"Database 'Sales' already exists. Choose a different database name."_s);
     }},
    {"SameFileTwice",
     {},
     true,
     [](Expected& e) {
         MakeDb(e.dir, u"db1.mdf"_s, u"db1"_s);
         e.AttachesFixture(u"db1.mdf"_s, u"db1"_s);
         e.NameFails(u"db1.mdf"_s, InUse(e.Path(u"db1.mdf"_s)));
     }},
    {"MissingFileThenGoodOne",
     {},
     true,
     [](Expected& e) {
         MakeDb(e.dir, u"db1.mdf"_s, u"db1"_s);
         e.NameFails(u"nosuch.mdf"_s, NotFound(e.Path(u"nosuch.mdf"_s)));
         e.AttachesFixture(u"db1.mdf"_s, u"db1"_s);
     }},
    {"MissingLogFile",
     {},
     true,
     [](Expected& e) {
         MakeDb(e.dir, u"db1.mdf"_s, u"db1"_s, LogFile::None);
         e.AttachesFixture(u"db1.mdf"_s, u"db1"_s,
                           NotFound(e.Path(u"db1_log.ldf"_s)) + u"\r\n"_s + k1802);
     }},
    {"LogFileOfAnotherDatabase",
     {},
     true,
     [](Expected& e) {
         MakeDb(e.dir, u"db2.mdf"_s, u"db2"_s, LogFile::Foreign);
         e.AttachesFixture(
             u"db2.mdf"_s, u"db2"_s,
             k5173 + u"\r\nCould not open new database 'db2'. CREATE DATABASE is aborted."_s);
     }},
    // The server drops the session on receiving the 4th batch (b's name query): b is reported,
    // the driver sees the dead session, and c's name query opens a new one.
    {"ServerDropsTheSession",
     {.closeAfter = 4},
     true,
     [](Expected& e) {
         for (const QString& n : {u"a"_s, u"b"_s, u"c"_s}) {
             MakeDb(e.dir, n + u".mdf"_s, n);
         }
         e.AttachesFixture(u"a.mdf"_s, u"a"_s);
         e.NameFails(u"b.mdf"_s, kDropped);
         e.AttachesFixture(u"c.mdf"_s, u"c"_s);
     }},
    // The server goes away for good: every later entry still gets its report.
    {"ServerExitsMidRun",
     {.exitAfter = 4},
     true,
     [](Expected& e) {
         for (const QString& n : {u"a"_s, u"b"_s, u"c"_s, u"d"_s}) {
             MakeDb(e.dir, n + u".mdf"_s, n);
         }
         e.AttachesFixture(u"a.mdf"_s, u"a"_s);
         e.NameFails(u"b.mdf"_s, kDropped);
         e.NameFails(u"c.mdf"_s, kUnreachable, false);
         e.NameFails(u"d.mdf"_s, kUnreachable, false);
     }},
    // The server never answers b's name query (the 4th batch): after the command time-out the
    // driver cancels it, b gets its one report, and c attaches on the same session.
    {"StatementNeverAnswered",
     {.delayMs = 600000, .delayBatch = 4},
     true,
     [](Expected& e) {
         for (const QString& n : {u"a"_s, u"b"_s, u"c"_s}) {
             MakeDb(e.dir, n + u".mdf"_s, n);
         }
         e.AttachesFixture(u"a.mdf"_s, u"a"_s);
         e.NameFails(u"b.mdf"_s, kTimedOut);
         e.AttachesFixture(u"c.mdf"_s, u"c"_s);
     },
     u";General Timeout=2"_s},
    {"NoKerberosTicket",
     {},
     false,
     [](Expected& e) {
         MakeDb(e.dir, u"a.mdf"_s, u"a"_s);
         MakeDb(e.dir, u"b.mdf"_s, u"b"_s);
         e.NameFails(u"a.mdf"_s, kNoTicket, false);
         e.NameFails(u"b.mdf"_s, kNoTicket, false);
     }},
};

INSTANTIATE_TEST_SUITE_P(Runs, AttachRuns, testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------
// Hostile names: each one travels through the driver intact and as a single statement, and the
// right database ends up attached.

struct HostileCase {
    const char* label;
    QString directory;
    QString file;
    QString database;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.label;
}

class HostileNames : public Integration, public testing::WithParamInterface<HostileCase> {};

TEST_P(HostileNames, AttachTheRightDatabase) {
    const HostileCase& c = GetParam();
    testsrv::TestServer server;
    Expected expected;
    expected.dir = Dir(c.directory);
    MakeDb(expected.dir, c.file, c.database);
    expected.AttachesFixture(c.file, c.database);

    Desk desk(Dir(u"app"_s));
    fs::create_directories(ToPath(desk.logFolder));
    desk.Connect(Server(server));
    desk.run.Run(expected.entries, expected.dir);

    ExpectTrail(desk, server, expected);
}

const HostileCase kHostile[] = {
    {"Apostrophes", u"O'Brien's"_s, u"it's.mdf"_s, u"it's"_s},
    {"ClosingBrackets", u"x]y"_s, u"a]b.mdf"_s, u"a]]b]"_s},
    {"CommentAfterQuote", u"';--"_s, u"x';--.mdf"_s, u"x';-- DROP DATABASE master"_s},
    {"Chinese", u"数据库备份"_s, u"销售.mdf"_s, u"销售"_s},
    {"Cyrillic", u"Базы данных"_s, u"Продажи.mdf"_s, u"Продажи"_s},
    {"TwoHundredCharacters", QString(200, u'd'), QString(196, u'n') + u".mdf"_s,
     QString(128, u'n')},
};

// On Linux ":" is an ordinary character of a file name: "prod:sales.mdf" is its own file and its
// own database, even with "sales.mdf" (another database) lying beside it. Its server recorded
// Linux paths, whose file names keep their ":" too.
TEST_F(Integration, AColonIsPartOfALocalFileName) {
    testsrv::TestServer server;
    Expected expected;
    expected.dir = Dir(u"restore"_s);
    const QString recorded = u"/var/opt/mssql/data/"_s;
    MakeDb(expected.dir, u"sales.mdf"_s, u"sales"_s, LogFile::Matching, recorded);
    MakeDb(expected.dir, u"prod:sales.mdf"_s, u"prod"_s, LogFile::Matching, recorded);
    expected.Attaches(u"prod:sales.mdf"_s, u"prod"_s, recorded + u"prod:sales.mdf"_s,
                      recorded + u"prod:sales_log.ldf"_s);

    Desk desk(Dir(u"app"_s));
    fs::create_directories(ToPath(desk.logFolder));
    desk.Connect(Server(server));
    desk.run.Run(expected.entries, expected.dir);

    ExpectTrail(desk, server, expected);
}

// A line break in a file name reaches the server as it is, and comes back inside the server's
// message; in the log and the message box it is shown as a control picture, so that the report
// stays one entry and nothing in it passes for a line of its own.
TEST_F(Integration, ALineBreakInAFileNameIsShownNotObeyed) {
    testsrv::TestServer server;
    const QString dir = Dir(u"restore"_s);
    fs::create_directories(ToPath(dir));
    const QString path = dir + u"/a\r\n[x] 附加数据库【y】成功！.mdf"_s;
    const QString shown = dir + u"/a␍␊[x] 附加数据库【y】成功！.mdf"_s;

    Desk desk(Dir(u"app"_s));
    fs::create_directories(ToPath(desk.logFolder));
    desk.Connect(Server(server));
    desk.run.Run({path.sliced(dir.size() + 1)}, dir);

    const QString report =
        u"检查数据库名出错！错误："_s + NotFound(shown) + u"\r\n Sql:"_s + NameSql(shown);
    EXPECT_EQ(Std(desk.LogEntries()), Std({u"选中第【0】文件,选中文件名："_s + shown, report}));
    EXPECT_EQ(Std(desk.shown), Std({report}));
    EXPECT_EQ(Std(Sent(server)), Std({NameSql(path)}));
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNames, testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
