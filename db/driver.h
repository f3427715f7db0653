#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quillane::db {

// The first result set of a statement, held whole (the tool only ever walks small DBCC results).
struct ResultSet {
    QStringList columns;      // column names, for the grid's headings
    QList<QStringList> rows;  // every value as text: integers as decimal digits, NULL as ""
};

// One server session: the part of server access that differs between the real ODBC client and
// the tests' scripted double. Connection and Query build the data-set behaviour on top of it.
class Driver {
  public:
    virtual ~Driver() = default;

    // Opens a session described by an OLE DB style connection text. Throws DbError.
    virtual void Open(const QString& connectionText) = 0;
    virtual void Close() noexcept = 0;
    virtual bool IsOpen() const = 0;

    // Runs one statement text on the open session and returns its first result set (no columns
    // when it returns none). Every error of the statement, in any of its results, throws DbError.
    virtual ResultSet Execute(const QString& statement) = 0;
};

}  // namespace quillane::db
