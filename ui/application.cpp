#include "ui/application.h"

#include <exception>

#include "db/db_error.h"
#include "ui/message_boxes.h"

namespace quillane::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorBox(db::MessageOf(error));
    }
    return false;
}

}  // namespace quillane::ui
