#include "db/connection.h"

#include <algorithm>

#include "db/db_error.h"
#include "db/query.h"

namespace quillane::db {

Connection::Connection(std::unique_ptr<Driver> driver) : driver_(std::move(driver)) {}

Connection::~Connection() {
    for (Query* query : queries_) {
        query->active_ = false;
    }
    driver_->Close();
}

void Connection::SetConnectionString(const QString& text) {
    if (Connected()) {
        throw DbError(QStringLiteral("Operation is not allowed when the object is open."));
    }
    connectionString_ = text;
}

bool Connection::Connected() const {
    return driver_->IsOpen();
}

void Connection::Open() {
    if (!Connected()) {
        driver_->Open(connectionString_);
    }
}

void Connection::Close() {
    // A copy: closing a query may call back into code that opens another.
    const std::vector<Query*> queries = queries_;
    for (Query* query : queries) {
        query->Close();
    }
    driver_->Close();
}

ResultSet Connection::Execute(const QString& statement) {
    Open();
    return driver_->Execute(statement);
}

void Connection::Register(Query* query) {
    queries_.push_back(query);
}

void Connection::Unregister(Query* query) {
    queries_.erase(std::remove(queries_.begin(), queries_.end(), query), queries_.end());
}

}  // namespace quillane::db
