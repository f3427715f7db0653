#pragma once

#include <QWidget>
#include <array>

class QToolButton;

namespace quillane::db {
class Query;
}

namespace quillane::ui {

// The record navigator over the grid's query: ten buttons side by side, none of which takes the
// focus. First, prior, next and last move the current row; refresh runs the query's statement
// again. The rows are server output that cannot be written back, so insert, delete, edit, post
// and cancel are always disabled rather than pretending to save.
class RecordNavigator : public QWidget {
    Q_OBJECT
  public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh, Count };

    RecordNavigator(db::Query& query, QWidget* parent = nullptr);

    QToolButton* ButtonAt(Button which) const { return buttons_[which]; }

    // Enables the buttons that make sense for the query's state and current row.
    void Sync();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Press(Button which);

    db::Query& query_;
    std::array<QToolButton*, Count> buttons_{};
};

}  // namespace quillane::ui
