#include "ui/message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace quillane::ui {

namespace {

// No parent: a parentless dialog is centred on the screen rather than on a window.
void Show(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

}  // namespace

QString ApplicationTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString WithFullStop(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') {
        return message;
    }
    return message + u'.';
}

void ShowMessageBox(const QString& text) {
    Show(QMessageBox::NoIcon, text);
}

void ShowErrorBox(const QString& message) {
    Show(QMessageBox::Critical, WithFullStop(message));
}

}  // namespace quillane::ui
