#pragma once

#include <QApplication>

namespace quillane::ui {

// The program's application object, carrying its icon. A failure that no handler catches (a
// directory that cannot be read, a refresh the server refuses) ends up here: it is shown in the
// error box and the window carries on with the next event, so no handler has to guard itself.
class Application : public QApplication {
    Q_OBJECT
  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quillane::ui
