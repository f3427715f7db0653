// A driver that answers SQL_ERROR (or a return code no caller expects) without a single
// diagnostic record: every such call must still fail, and say which call it was.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "db/connection.h"
#include "db/db_error.h"
#include "db/odbc/odbc_driver.h"
#include "engine/server_connection.h"

namespace {

using namespace Qt::Literals::StringLiterals;
using quillane::db::DbError;
using quillane::db::odbc::OdbcDriver;

// Registers the fake driver under the name the mapping asks for, for this process alone.
class PrivateDriverRegistry : public testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QFile ini(dir_.filePath(u"odbcinst.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[FreeTDS]\nDescription=fails without diagnostics\nDriver=" QUILLANE_FAKE_ODBC_DRIVER
            "\n");
        ini.close();
        setenv("ODBCSYSINI", QFile::encodeName(dir_.path()).constData(), 1);
        setenv("ODBCINSTINI", "odbcinst.ini", 1);
    }

  private:
    QTemporaryDir dir_;
};

[[maybe_unused]] testing::Environment* const kRegistry =
    testing::AddGlobalTestEnvironment(new PrivateDriverRegistry);

const QString kText = u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=127.0.0.1,1"_s;

struct Case {
    const char* fail;  // QUILLANE_FAKE_ODBC_FAIL
    const char* message;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.fail;
}

class SilentFailures : public testing::TestWithParam<Case> {
  protected:
    void TearDown() override { unsetenv("QUILLANE_FAKE_ODBC_FAIL"); }
};

TEST_P(SilentFailures, AreFailuresThatNameTheCall) {
    OdbcDriver driver;
    driver.Open(kText);
    setenv("QUILLANE_FAKE_ODBC_FAIL", GetParam().fail, 1);
    try {
        driver.Execute(u"CREATE DATABASE [x] ON (FILENAME = N'/x.mdf') FOR ATTACH"_s);
        ADD_FAILURE() << "taken for success";
    } catch (const DbError& error) {
        EXPECT_EQ(error.Message().toStdString(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SilentFailures,
    testing::Values(
        Case{"SQLExecDirectW=-1",
             "SQLExecDirectW failed with return code -1 and the ODBC driver gave no message."},
        Case{"SQLExecDirectW=99",
             "SQLExecDirectW failed with return code 99 and the ODBC driver gave no message."},
        Case{"SQLNumResultCols=-1",
             "SQLNumResultCols failed with return code -1 and the ODBC driver gave no message."},
        Case{"SQLDescribeColW=-1",
             "SQLDescribeColW failed with return code -1 and the ODBC driver gave no message."},
        Case{"SQLFetch=-1",
             "SQLFetch failed with return code -1 and the ODBC driver gave no message."},
        Case{"SQLGetData=-1",
             "SQLGetData failed with return code -1 and the ODBC driver gave no message."},
        Case{"SQLMoreResults=-1",
             "SQLMoreResults failed with return code -1 and the ODBC driver gave no message."}),
    [](const auto& info) {
        std::string name = info.param.fail;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

// The same driver when nothing fails: one row comes back, so the cases above fail for the call
// they name and nothing else.
TEST(SilentDriver, AnswersWhenNothingFails) {
    OdbcDriver driver;
    driver.Open(kText);
    const quillane::db::ResultSet result = driver.Execute(u"SELECT 1"_s);
    EXPECT_EQ(result.columns, QStringList{u"x"_s});
    ASSERT_EQ(result.rows.size(), 1);
    EXPECT_EQ(result.rows[0], QStringList{u"1"_s});
}

TEST(SilentDriver, AFailedConnectIsReported) {
    setenv("QUILLANE_FAKE_ODBC_FAIL", "SQLDriverConnectW=-1", 1);
    quillane::db::Connection connection(std::make_unique<OdbcDriver>());
    QStringList shown;
    quillane::engine::Connect(connection, u"sa"_s, u"127.0.0.1,1"_s,
                              [&](const QString& text) { shown << text; });
    unsetenv("QUILLANE_FAKE_ODBC_FAIL");
    EXPECT_EQ(shown,
              QStringList{u"数据库连接失败！SQLDriverConnectW failed with return code -1 and "
                          u"the ODBC driver gave no message."_s});
    EXPECT_FALSE(connection.Connected());
}

}  // namespace
