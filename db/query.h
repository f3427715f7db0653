#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "db/driver.h"

namespace quillane::db {

class Connection;
class Query;

// A query's statement as a list of lines. Changing it closes the query, so that the next open
// runs the new statement.
class Strings {
  public:
    void Clear();
    void Add(const QString& line);
    // Every line followed by CR LF.
    QString Text() const;
    qsizetype Count() const { return lines_.size(); }

  private:
    friend class Query;
    explicit Strings(Query& owner) : owner_(owner) {}
    Query& owner_;
    QStringList lines_;
};

class Field {
  public:
    explicit Field(QString value) : value_(std::move(value)) {}
    const QString& AsString() const { return value_; }

  private:
    QString value_;
};

// A query on a connection (ADOQAttach, ADOQAdd). Open runs the statement and holds all of its
// rows (a static cursor); Eof/Next walk them.
class Query {
  public:
    Query(QString name, Connection& connection);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const QString& Name() const { return name_; }
    Strings& SQL() { return sql_; }
    const Strings& SQL() const { return sql_; }

    bool Active() const { return active_; }
    // Runs the statement and exposes its first result set; opens a closed connection first.
    // Does nothing when already open.
    void Open();
    void Close();
    // Runs the statement again and shows its fresh rows (the navigator's refresh).
    void Refresh();
    // Runs a statement that returns no rows; the query stays closed.
    void ExecSQL();

    bool Eof() const;
    bool Bof() const;
    void First();
    void Prior();
    void Next();
    void Last();
    // The current row, from 0; -1 while closed or empty.
    qsizetype RecNo() const;
    qsizetype RecordCount() const;
    void MoveTo(qsizetype row);

    // Column i of the current row.
    Field Fields(qsizetype i) const;
    qsizetype FieldCount() const;
    const QStringList& FieldNames() const { return data_.columns; }
    const QList<QStringList>& Rows() const { return data_.rows; }

    // Called after every change of state, rows or current row (the grid follows it).
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  private:
    friend class Strings;
    friend class Connection;
    void StatementChanged();
    void CheckActive() const;
    void Changed();

    QString name_;
    Connection& connection_;
    Strings sql_;
    bool active_ = false;
    ResultSet data_;
    qsizetype row_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    std::function<void()> onChange_;
};

}  // namespace quillane::db
