#pragma once

#include <QListWidget>
#include <QString>

#include "ui/browsing.h"

namespace quillane::ui {

// The directory tree in the classic style: the current directory's ancestors from the root down,
// each with an open folder and indented one step further than its parent, then its
// sub-directories with closed folders one step further still. Selecting a line changes nothing;
// double-clicking it or pressing Enter on it moves there.
class DirectoryList : public QListWidget {
    Q_OBJECT
  public:
    explicit DirectoryList(QWidget* parent = nullptr);

    // The directory shown, without trailing separator except at a root.
    const QString& Directory() const { return directory_; }

    // What the last move read of the directory shown: its sub-directories, and the files that the
    // file list shows, so that a move reads the directory once for both.
    const DirectoryListing& Listing() const { return listing_; }

    // Moves to `path` and emits DirectoryChanged when that is a different directory. Throws
    // std::runtime_error, leaving the list as it was, when the directory cannot be read.
    void SetDirectory(const QString& path);
    // The same, with `listing` read from `path` by the caller.
    void SetDirectory(const QString& path, DirectoryListing listing);

    // The directory a line stands for.
    static QString PathOf(const QListWidgetItem* item);

  signals:
    void DirectoryChanged();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Populate(const QStringList& ancestors);

    QString directory_;
    DirectoryListing listing_;
};

}  // namespace quillane::ui
