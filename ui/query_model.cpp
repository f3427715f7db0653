#include "ui/query_model.h"

#include "db/query.h"

namespace quillane::ui {

QueryModel::QueryModel(db::Query& query, QObject* parent)
    : QAbstractTableModel(parent), query_(query) {
    Sync();
}

void QueryModel::Hold() {
    held_ = true;
}

void QueryModel::Release() {
    held_ = false;
    Sync();
}

void QueryModel::Sync() {
    const bool active = query_.Active();
    const QStringList columns = active ? query_.FieldNames() : QStringList();
    const QList<QStringList> rows = active ? query_.Rows() : QList<QStringList>();
    // The query reports every step of a walk; only a new result resets the view. A result that
    // came and went while held still resets it, as following every step would have.
    resetPending_ = resetPending_ || columns != columns_ || rows != rows_;
    if (held_) {
        return;
    }
    if (resetPending_) {
        resetPending_ = false;
        beginResetModel();
        columns_ = columns;
        rows_ = rows;
        current_ = query_.RecNo();
        endResetModel();
        return;
    }
    const qsizetype previous = current_;
    current_ = query_.RecNo();
    if (previous != current_ && !rows_.isEmpty()) {
        emit headerDataChanged(Qt::Vertical, 0, static_cast<int>(rows_.size()) - 1);
    }
}

int QueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int QueryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant QueryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    const QStringList& row = rows_.at(index.row());
    if (index.column() >= row.size()) {
        return QString();
    }
    // Fixed-width columns come padded with blanks (DBCC's names and paths to 128 and 260
    // characters). Nothing of them would show but an ellipsis where the padding does not fit, and
    // the column would be as wide as the padding.
    QStringView value = row.at(index.column());
    while (!value.isEmpty() && value.back() == u' ') {
        value.chop(1);
    }
    return value.toString();
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section < columns_.size() ? columns_.at(section) : QString();
    }
    return section == current_ ? QStringLiteral("▶") : QString();
}

Qt::ItemFlags QueryModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace quillane::ui
