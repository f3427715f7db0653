#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace quillane::db {
class Query;
}

namespace quillane::ui {

// What the grid shows of a query: its rows under its column names while it is open, nothing while
// it is closed, each value without the blanks that pad it to its column's width. Read-only: the
// rows are server output that cannot be written back. The vertical header marks the query's current
// row, as a data grid's indicator column does.
class QueryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit QueryModel(db::Query& query, QObject* parent = nullptr);

    // Catches up with the query (called whenever the query reports a change).
    void Sync();

    // While held, Sync only notes whether the rows would have been reset; Release catches up
    // once with everything noted. A batch run changes the query at every step of its walk, and
    // the window does not repaint before the run ends, so the view need not follow each step.
    void Hold();
    void Release();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    qsizetype CurrentRow() const { return current_; }

  private:
    db::Query& query_;
    QStringList columns_;
    QList<QStringList> rows_;
    qsizetype current_ = -1;
    bool held_ = false;
    bool resetPending_ = false;
};

}  // namespace quillane::ui
