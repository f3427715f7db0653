#include "ui/style.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/message_boxes.h"

// The resources live in a static library, so the linker would drop them unless something
// refers to them; Q_INIT_RESOURCE must be used outside any namespace.
static void InitialiseResources() {
    Q_INIT_RESOURCE(quillane);
}

namespace quillane::ui {

std::optional<QString> FindStyleSheet(const QString& name, const QString& directory) {
    InitialiseResources();
    const QDir dir(directory);
    const QStringList files = dir.entryList({QStringLiteral("*.qss")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        if (QFileInfo(file).completeBaseName().compare(name, Qt::CaseInsensitive) != 0) {
            continue;
        }
        QFile sheet(dir.filePath(file));
        if (sheet.open(QIODevice::ReadOnly)) {
            return QString::fromUtf8(sheet.readAll());
        }
    }
    return std::nullopt;
}

bool ApplyStyle(const QString& name, const QString& directory) {
    if (const auto sheet = FindStyleSheet(name, directory)) {
        qApp->setStyleSheet(*sheet);
        return true;
    }
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(),
                    QStringLiteral("Style '%1' not found").arg(name), QMessageBox::Close);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return false;
}

}  // namespace quillane::ui
