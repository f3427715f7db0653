#include "ui/application.h"

#include <QIcon>
#include <exception>

#include "db/db_error.h"
#include "ui/message_boxes.h"

// The resources live in a static library; Q_INIT_RESOURCE must be used outside any namespace.
static void InitialiseResources() {
    Q_INIT_RESOURCE(quillane);
}

namespace quillane::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    InitialiseResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/quillane-%1.png").arg(size), QSize(size, size));
    }
    setWindowIcon(icon);
    // The installed desktop entry's name, by which desktops match the window to its menu entry
    // and icon (on Wayland there is nothing else to match by).
    setDesktopFileName(QStringLiteral("org.quillane.Quillane"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorBox(db::MessageOf(error));
    }
    return false;
}

}  // namespace quillane::ui
