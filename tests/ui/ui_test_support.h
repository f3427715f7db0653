#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <ostream>

#include "support/qt_printers.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}
QT_END_NAMESPACE

namespace uitest {

// A message box as the user saw it.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QRect frame;
    QStringList buttonTexts;
    bool iconOnAButton = false;
};

// Closes every modal message box that comes up while it lives, by its first button, after
// noting what it showed. It looks from a timer, which runs inside the box's own event loop.
class BoxCloser {
  public:
    BoxCloser() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start();
    }

    const QList<SeenBox>& Seen() const { return seen_; }

  private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        SeenBox seen{box->windowTitle(),   box->text(), box->icon(), {},
                     box->frameGeometry(), {},          false};
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.append(box->standardButton(button));
            seen.buttonTexts.append(button->text());
            seen.iconOnAButton = seen.iconOnAButton || !button->icon().isNull();
        }
        seen_.append(seen);
        box->buttons().constFirst()->click();
    }

    QTimer timer_;
    QList<SeenBox> seen_;
};

#ifdef QUILLANE_UI_SCREENSHOT
// Saves a picture of the window after a run against the test server (the README's screenshot).
// Returns the process's exit status.
int ScreenshotAfterARun(const QString& target);
#endif

}  // namespace uitest
