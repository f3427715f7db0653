#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "db/driver.h"

namespace quillane::db {

class Query;

// The server connection (AdoCnn): a connection text and, while Connected(), a session.
class Connection {
  public:
    explicit Connection(std::unique_ptr<Driver> driver);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& ConnectionString() const { return connectionString_; }
    // Only while closed, as with ADO: a session keeps the text it was opened with.
    void SetConnectionString(const QString& text);

    bool Connected() const;
    // Opens a session with the current text; does nothing when already connected.
    void Open();
    // Ends the session; every query on this connection is closed with it.
    void Close();

    // Runs a statement, opening the connection first when it is closed.
    ResultSet Execute(const QString& statement);

  private:
    friend class Query;
    void Register(Query* query);
    void Unregister(Query* query);

    std::unique_ptr<Driver> driver_;
    QString connectionString_;
    std::vector<Query*> queries_;
};

}  // namespace quillane::db
