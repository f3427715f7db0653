#include "ui/directory_list.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include "ui/browsing.h"

namespace quillane::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kIndentStep = 2;  // blanks per level, the classic tree's stagger

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

QString DirectoryList::PathOf(const QListWidgetItem* item) {
    return item == nullptr ? QString() : item->data(kPathRole).toString();
}

void DirectoryList::SetDirectory(const QString& path) {
    const QString target = DirectoryText(path);
    // Read everything before touching the list, so a failure leaves it showing what it showed.
    SetDirectory(target, ListDirectory(target));
}

void DirectoryList::SetDirectory(const QString& path, DirectoryListing listing) {
    const QString target = DirectoryText(path);
    const bool changed = target != directory_;
    directory_ = target;
    listing_ = std::move(listing);
    Populate(Ancestors(target));
    if (changed) {
        emit DirectoryChanged();
    }
}

void DirectoryList::Populate(const QStringList& ancestors) {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    int level = 0;
    for (const QString& ancestor : ancestors) {
        // A root shows itself whole ("/", "C:\"); every other level only its own name.
        const QString name = level == 0 ? ancestor : QFileInfo(ancestor).fileName();
        auto* item = new QListWidgetItem(open, QString(level * kIndentStep, u' ') + name, this);
        item->setData(kPathRole, ancestor);
        ++level;
    }
    setCurrentRow(count() - 1);
    for (const QString& name : listing_.subdirectories) {
        auto* item = new QListWidgetItem(closed, QString(level * kIndentStep, u' ') + name, this);
        item->setData(kPathRole, ChildPath(directory_, name));
    }
}

void DirectoryList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (QListWidgetItem* item = itemAt(event->position().toPoint())) {
        SetDirectory(PathOf(item));
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        SetDirectory(PathOf(currentItem()));
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace quillane::ui
