#include "db/query.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include "db/connection.h"
#include "db/db_error.h"
#include "support/scripted_driver.h"

using namespace quillane::db;
using namespace Qt::Literals::StringLiterals;
using testsupport::ScriptedDriver;

namespace {

class QueryTest : public testing::Test {
  protected:
    QueryTest()
        : state_(std::make_shared<ScriptedDriver::State>()),
          connection_(std::make_unique<ScriptedDriver>(state_)),
          query_(u"ADOQAttach"_s, connection_) {
        state_->replies[u"two rows\r\n"_s].append(
            {{{u"a"_s, u"b"_s}, {{u"1"_s, u"x"_s}, {u"2"_s, u"y"_s}}}, {}});
        state_->replies[u"no rows\r\n"_s].append({{{u"a"_s}, {}}, {}});
    }

    void Open(const QString& statement) {
        query_.SQL().Clear();
        query_.SQL().Add(statement);
        query_.Open();
    }

    QString ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const DbError& error) {
            return error.Message();
        }
        return u"<no error>"_s;
    }

    std::shared_ptr<ScriptedDriver::State> state_;
    Connection connection_;
    Query query_;
};

TEST_F(QueryTest, OpenOpensTheConnectionWithItsCurrentTextAndHoldsEveryRow) {
    connection_.SetConnectionString(u"Data Source=."_s);
    Open(u"two rows"_s);

    EXPECT_TRUE(connection_.Connected());
    EXPECT_EQ(state_->openedWith, QStringList{u"Data Source=."_s});
    EXPECT_EQ(query_.FieldNames(), (QStringList{u"a"_s, u"b"_s}));
    QStringList walked;
    while (!query_.Eof()) {
        walked.append(query_.Fields(0).AsString() + query_.Fields(1).AsString());
        query_.Next();
    }
    EXPECT_EQ(walked, (QStringList{u"1x"_s, u"2y"_s}));
    query_.Next();  // past the end it stays at the end
    EXPECT_TRUE(query_.Eof());
    EXPECT_EQ(query_.Fields(1).AsString(), u"y"_s);
}

TEST_F(QueryTest, StatementTextEndsEachLineWithCrLfAndChangingItClosesTheQuery) {
    Open(u"two rows"_s);
    ASSERT_TRUE(query_.Active());
    query_.SQL().Add(u"second line"_s);
    EXPECT_FALSE(query_.Active());
    EXPECT_EQ(query_.SQL().Text(), u"two rows\r\nsecond line\r\n"_s);

    Open(u"two rows"_s);
    query_.SQL().Clear();
    EXPECT_FALSE(query_.Active());
    EXPECT_EQ(query_.SQL().Text(), QString());
}

TEST_F(QueryTest, AClosedQueryRefusesToMoveOrReadWithItsName) {
    const QString closed = u"ADOQAttach: Cannot perform this operation on a closed dataset"_s;
    EXPECT_EQ(ErrorOf([&] { query_.Next(); }), closed);
    EXPECT_EQ(ErrorOf([&] { query_.Fields(0); }), closed);
    EXPECT_TRUE(query_.Eof());
}

TEST_F(QueryTest, AFailedOpenLeavesTheQueryClosedWithTheServersMessage) {
    EXPECT_EQ(ErrorOf([&] { Open(u"unknown"_s); }), u"no reply scripted for: unknown\r\n"_s);
    EXPECT_FALSE(query_.Active());
    EXPECT_EQ(ErrorOf([&] { query_.Next(); }),
              u"ADOQAttach: Cannot perform this operation on a closed dataset"_s);
}

TEST_F(QueryTest, AnEmptyResultIsAtItsEndAtOnce) {
    Open(u"no rows"_s);
    EXPECT_TRUE(query_.Active());
    EXPECT_TRUE(query_.Eof());
    EXPECT_EQ(query_.RecNo(), -1);
}

TEST_F(QueryTest, ClosingTheConnectionClosesItsQueries) {
    Open(u"two rows"_s);
    connection_.Close();
    EXPECT_FALSE(connection_.Connected());
    EXPECT_FALSE(query_.Active());
    EXPECT_TRUE(query_.FieldNames().isEmpty());
}

TEST_F(QueryTest, TheConnectionTextCannotChangeUnderAnOpenSession) {
    connection_.Open();
    EXPECT_EQ(ErrorOf([&] { connection_.SetConnectionString(u"Data Source=x"_s); }),
              u"Operation is not allowed when the object is open."_s);
}

TEST_F(QueryTest, TheNavigatorMovesOverTheHeldRowsAndRefreshRunsTheStatementAgain) {
    Open(u"two rows"_s);
    query_.Last();
    EXPECT_EQ(query_.RecNo(), 1);
    query_.Prior();
    EXPECT_EQ(query_.RecNo(), 0);
    query_.Prior();
    EXPECT_TRUE(query_.Bof());
    query_.Next();
    query_.Refresh();
    EXPECT_EQ(query_.RecNo(), 1);
    EXPECT_EQ(state_->executed.size(), 2);
}

}  // namespace
