#pragma once

#include <QString>
#include <memory>

#include "db/driver.h"

namespace quillane::db::odbc {

// The real server session: the platform's SQL Server ODBC driver (FreeTDS through unixODBC on
// Linux), spoken to through the wide (UTF-16) calls so that paths and names in any script reach
// the server unchanged.
class OdbcDriver final : public Driver {
  public:
    OdbcDriver();
    ~OdbcDriver() override;
    OdbcDriver(const OdbcDriver&) = delete;
    OdbcDriver& operator=(const OdbcDriver&) = delete;

    // Never prompts. Throws DbError with the driver's own words when no session can be made.
    void Open(const QString& connectionText) override;
    void Close() noexcept override;
    // False as soon as the driver knows the server has dropped the session, so that the next
    // query opens a fresh one.
    bool IsOpen() const override;
    ResultSet Execute(const QString& statement) override;

  private:
    struct Session;
    std::unique_ptr<Session> session_;
};

}  // namespace quillane::db::odbc
