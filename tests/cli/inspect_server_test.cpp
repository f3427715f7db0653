// What inspect says an attach will meet, held against what a server answers when the same files
// are attached: every row of the generated table is inspected with quillane-attach and attached
// from the paths inspect planned through the real client stack (unixODBC, FreeTDS, a Kerberos
// ticket from the test KDC) to the loopback test server, and the error numbers must agree.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <iostream>
#include <set>

#include "db/odbc/connection_mapping.h"
#include "engine/server_connection.h"
#include "inspect_table.h"
#include "kdc_env.h"
#include "support/expected_statements.h"
#include "support/qt_printers.h"
#include "test_server.h"

namespace {

using namespace Qt::Literals::StringLiterals;

// Root reads any file whatever its permission bits say. To see what a user who may not read a
// file sees, and what a server running as such a user answers, this process gives up the two
// capabilities that allow it (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH): from its own sets and from
// the bounding set, so the test server and quillane-attach, started afterwards, lack them too.
// False when the process may not give them up.
bool ReadOnlyWhatPermissionsAllow() {
    if (::geteuid() != 0) {
        return true;
    }
    constexpr int kCaps[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH};
    for (const int cap : kCaps) {
        if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) {
            return false;
        }
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, 2> data{};
    if (::syscall(SYS_capget, &header, data.data()) != 0) {
        return false;
    }
    for (const int cap : kCaps) {
        const auto bit = ~(1u << (cap % 32));
        data[cap / 32].effective &= bit;
        data[cap / 32].permitted &= bit;
        data[cap / 32].inheritable &= bit;
    }
    return ::syscall(SYS_capset, &header, data.data()) == 0;
}

struct Diagnostic {
    int native;
    QString text;
};

SQLWCHAR* Wide(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<QChar*>(text.constData()));
}

// One session with the server through the ODBC driver manager, keeping every diagnostic record
// a statement brings (the native error is the server's message number).
class Session {
  public:
    explicit Session(const QString& connectionString) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, Wide(connectionString), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        connected_ = SQL_SUCCEEDED(rc);
        if (!connected_) {
            for (const Diagnostic& d : Records(SQL_HANDLE_DBC, dbc_)) {
                error_ += d.text + u'\n';
            }
        }
    }
    ~Session() {
        if (connected_) {
            SQLDisconnect(dbc_);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }

    bool Connected() const { return connected_; }
    const QString& Error() const { return error_; }

    std::vector<Diagnostic> Execute(const QString& statement) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
        std::vector<Diagnostic> all;
        SQLRETURN rc = SQLExecDirectW(stmt, Wide(statement), SQL_NTS);
        while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) {
            for (Diagnostic& d : Records(SQL_HANDLE_STMT, stmt)) {
                all.push_back(std::move(d));
            }
            if (rc == SQL_ERROR && all.empty()) {
                break;
            }
            rc = SQLMoreResults(stmt);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return all;
    }

  private:
    static std::vector<Diagnostic> Records(SQLSMALLINT type, SQLHANDLE handle) {
        std::vector<Diagnostic> records;
        for (SQLSMALLINT i = 1;; ++i) {
            std::array<SQLWCHAR, 6> state{};
            std::array<SQLWCHAR, 2048> text{};
            SQLINTEGER native = 0;
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, i, state.data(), &native, text.data(),
                                              static_cast<SQLSMALLINT>(text.size()), &length))) {
                return records;
            }
            records.push_back(
                {static_cast<int>(native),
                 QString(reinterpret_cast<const QChar*>(text.data()),
                         std::min<qsizetype>(length, static_cast<qsizetype>(text.size()) - 1))});
        }
    }

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    QString error_;
};

using testsupport::AttachSql;

QJsonObject InspectJson(const QString& argument) {
    QProcess process;
    process.start(QStringLiteral(QUILLANE_ATTACH_PATH), {u"inspect"_s, u"--json"_s, argument});
    EXPECT_TRUE(process.waitForFinished(60000));
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    EXPECT_GE(lines.size(), 1);
    return QJsonDocument::fromJson(lines.value(0)).object();
}

// The error numbers that say why, without the follow-ups that only say the statement failed
// (1802 "CREATE DATABASE failed", 1813 "Could not open new database"); 5120 with the operating
// system error it quotes.
std::set<QString> Causes(const std::vector<Diagnostic>& diagnostics) {
    std::set<QString> causes;
    for (const Diagnostic& d : diagnostics) {
        if (d.native == 1802 || d.native == 1813 || d.native == 0) {
            continue;
        }
        QString cause = QString::number(d.native);
        if (d.native == 5120) {
            const qsizetype at = d.text.indexOf(u"Operating system error "_s);
            cause += u'/' + d.text.mid(at + 23).section(u':', 0, 0);
        }
        causes.insert(cause);
    }
    return causes;
}

QString Cause(const QJsonObject& inspected) {
    const QJsonValue error = inspected[u"error"_s];
    if (error.isNull()) {
        return {};
    }
    QString cause = QString::number(error[u"number"_s].toInt());
    if (error[u"number"_s].toInt() == 5120) {
        cause += u'/' + QString::number(error[u"osError"_s].toInt());
    }
    return cause;
}

TEST(InspectAgainstServer, VerdictsAreWhatTheServerAnswers) {
    ASSERT_TRUE(testkdc::Ready()) << "the test KDC is not running: run through ctest, which "
                                     "starts the kdc fixture";
    testkdc::UseTicket();
    const bool asUser = ReadOnlyWhatPermissionsAllow();

    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::vector<inspecttable::Row> rows =
        inspecttable::MakeTable(QDir(temp.path()).canonicalPath());

    testsrv::TestServer server;
    Session session(quillane::db::odbc::ToOdbcConnection(
                        quillane::engine::ComposeConnectionText(
                            u"sa"_s, u"127.0.0.1,"_s + QString::number(server.Port())))
                        .text);
    ASSERT_TRUE(session.Connected()) << session.Error().toStdString();

    std::vector<std::vector<std::u16string>> attached;
    for (const inspecttable::Row& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.unreadable && !asUser) {
            std::cout << "[ skipped  ] " << row.label
                      << ": running as root and cannot give up reading every file\n";
            continue;
        }
        const QJsonObject inspected = InspectJson(row.argument);
        ASSERT_FALSE(inspected.isEmpty());

        QStringList files{inspected[u"file"_s].toString()};
        for (const QJsonValue& f : inspected[u"files"_s].toArray()) {
            if (f[u"fileId"_s].toInt() != 1) {
                files << f[u"attachPath"_s].toString();
            }
        }
        QString name = inspected[u"databaseName"_s].toString();
        if (name.isEmpty()) {
            name = u"row_"_s + QString::fromStdString(row.label);
        }
        const QString sql = AttachSql(name, files);
        const std::vector<Diagnostic> answer = session.Execute(sql);
        QStringList said;
        for (const Diagnostic& d : answer) {
            said << QString::number(d.native) + u' ' + d.text;
        }

        const std::set<QString> causes = Causes(answer);
        const QString predicted = Cause(inspected);
        if (predicted.isEmpty()) {
            EXPECT_TRUE(causes.empty()) << said.join(u'\n').toStdString();
            std::vector<std::u16string> database{name.toStdU16String()};
            for (const QString& f : files) {
                database.push_back(f.toStdU16String());
            }
            attached.push_back(database);
        } else {
            EXPECT_EQ(causes, std::set<QString>{predicted}) << sql.toStdString() << "\n"
                                                            << said.join(u'\n').toStdString();
        }
        // Both agree with the table, not only with each other.
        QString expected;
        if (row.error != 0) {
            expected = QString::number(row.error);
            if (row.error == 5120) {
                expected += u'/' + QString::number(row.osError);
            }
        }
        EXPECT_EQ(predicted, expected);
    }
    // Exactly the databases inspect called ready were attached, from the paths it planned.
    EXPECT_EQ(server.Databases(), attached);
}

}  // namespace
