#include "ui/directory_list.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>

namespace quillane::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIndentStep = 8;  // pixels per level, the classic tree's stagger

// A yellow folder in the classic manner, drawn on a 16 × 16 grid: closed, or open with its
// front flap folded down.
QPixmap DrawFolder(bool open, int scale) {
    QPixmap pixmap(16 * scale, 16 * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor edge(0x8a, 0x6a, 0x1c);
    const QColor back(0xe3, 0xb6, 0x45);
    const QColor front(0xf8, 0xdc, 0x82);
    painter.setPen(QPen(edge, 1));
    QPainterPath body;
    body.moveTo(1.5, 3.5);
    body.lineTo(6, 3.5);
    body.lineTo(7.5, 5);
    body.lineTo(14.5, 5);
    body.lineTo(14.5, 13.5);
    body.lineTo(1.5, 13.5);
    body.closeSubpath();
    painter.setBrush(open ? back : front);
    painter.drawPath(body);
    if (open) {
        QPainterPath flap;
        flap.moveTo(4, 7.5);
        flap.lineTo(15.5, 7.5);
        flap.lineTo(13, 13.5);
        flap.lineTo(1.5, 13.5);
        flap.closeSubpath();
        painter.setBrush(front);
        painter.drawPath(flap);
    } else {
        painter.drawLine(QPointF(1.5, 6.5), QPointF(14.5, 6.5));
    }
    return pixmap;
}

QIcon FolderIcon(bool open) {
    QIcon icon;
    for (const int scale : {1, 2}) {
        icon.addPixmap(DrawFolder(open, scale));
    }
    return icon;
}

// Draws each line, icon and text together, indented by its level.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(indented.rect.left() + Indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(Indent(index), 0);
    }

  private:
    static int Indent(const QModelIndex& index) {
        return index.data(kLevelRole).toInt() * kIndentStep;
    }
};

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setItemDelegate(new IndentDelegate(this));
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
    const QIcon open = FolderIcon(true);
    const QIcon closed = FolderIcon(false);
    int level = 0;
    for (const QString& ancestor : ancestors) {
        // A root shows itself whole ("/", "C:\"); every other level only its own name.
        const QString name = level == 0 ? ancestor : QFileInfo(ancestor).fileName();
        auto* item = new QListWidgetItem(open, name, this);
        item->setData(kPathRole, ancestor);
        item->setData(kLevelRole, level);
        ++level;
    }
    setCurrentRow(count() - 1);
    for (const QString& name : listing_.subdirectories) {
        auto* item = new QListWidgetItem(closed, name, this);
        item->setData(kPathRole, ChildPath(directory_, name));
        item->setData(kLevelRole, level);
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
