#include "db/query.h"

#include "db/connection.h"
#include "db/db_error.h"

namespace quillane::db {

void Strings::Clear() {
    lines_.clear();
    owner_.StatementChanged();
}

void Strings::Add(const QString& line) {
    lines_.append(line);
    owner_.StatementChanged();
}

QString Strings::Text() const {
    QString text;
    for (const QString& line : lines_) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

Query::Query(QString name, Connection& connection)
    : name_(std::move(name)), connection_(connection), sql_(*this) {
    connection_.Register(this);
}

Query::~Query() {
    connection_.Unregister(this);
}

void Query::StatementChanged() {
    Close();
}

void Query::Open() {
    if (active_) {
        return;
    }
    data_ = connection_.Execute(sql_.Text());
    active_ = true;
    row_ = 0;
    bof_ = true;
    eof_ = data_.rows.isEmpty();
    Changed();
}

void Query::Close() {
    if (!active_) {
        return;
    }
    active_ = false;
    data_ = ResultSet{};
    row_ = 0;
    bof_ = eof_ = true;
    Changed();
}

void Query::Refresh() {
    CheckActive();
    const qsizetype keep = row_;
    active_ = false;
    try {
        data_ = connection_.Execute(sql_.Text());
    } catch (...) {
        data_ = ResultSet{};
        row_ = 0;
        bof_ = eof_ = true;
        Changed();
        throw;
    }
    active_ = true;
    MoveTo(keep);
}

void Query::ExecSQL() {
    connection_.Execute(sql_.Text());
}

void Query::CheckActive() const {
    if (!active_) {
        throw DbError(name_ +
                      QStringLiteral(": Cannot perform this operation on a closed dataset"));
    }
}

bool Query::Eof() const {
    return !active_ || eof_;
}
bool Query::Bof() const {
    return !active_ || bof_;
}

void Query::First() {
    MoveTo(0);
}

void Query::Last() {
    CheckActive();
    MoveTo(data_.rows.size() - 1);
    eof_ = true;
}

void Query::Prior() {
    CheckActive();
    if (row_ == 0) {
        bof_ = true;
        return;
    }
    MoveTo(row_ - 1);
}

void Query::Next() {
    CheckActive();
    if (row_ + 1 >= data_.rows.size()) {
        // Past the last row the cursor stays on it, as a data set's does.
        eof_ = true;
        return;
    }
    MoveTo(row_ + 1);
}

void Query::MoveTo(qsizetype row) {
    CheckActive();
    const qsizetype count = data_.rows.size();
    row_ = count == 0 ? 0 : std::clamp<qsizetype>(row, 0, count - 1);
    bof_ = row_ == 0;
    eof_ = count == 0;
    Changed();
}

qsizetype Query::RecNo() const {
    return active_ && !data_.rows.isEmpty() ? row_ : -1;
}

qsizetype Query::RecordCount() const {
    return active_ ? data_.rows.size() : 0;
}

qsizetype Query::FieldCount() const {
    return active_ ? data_.columns.size() : 0;
}

Field Query::Fields(qsizetype i) const {
    CheckActive();
    if (i < 0 || i >= data_.columns.size()) {
        throw DbError(QStringLiteral("List index out of bounds (%1)").arg(i));
    }
    if (data_.rows.isEmpty()) {
        return Field(QString());
    }
    const QStringList& row = data_.rows[row_];
    return Field(i < row.size() ? row[i] : QString());
}

void Query::Changed() {
    if (onChange_) {
        onChange_();
    }
}

}  // namespace quillane::db
