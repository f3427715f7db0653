#include "ui/input_method.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <QEvent>
#include <QObject>
#include <QString>
#include <iterator>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <imm.h>
#include <windows.h>
#endif

namespace quillane::ui {

#ifdef Q_OS_WIN

namespace {

// The keyboard layout whose input method carries the name, or none. The list is read on every
// focus change: input methods can be installed or removed while the program runs.
HKL FindLayout(const QString& name) {
    const int count = GetKeyboardLayoutList(0, nullptr);
    if (count <= 0) {
        return nullptr;
    }
    std::vector<HKL> layouts(static_cast<std::size_t>(count));
    const int got = GetKeyboardLayoutList(count, layouts.data());
    for (int i = 0; i < got; ++i) {
        wchar_t description[256] = {};
        const UINT length = ImmGetDescriptionW(layouts[static_cast<std::size_t>(i)], description,
                                               static_cast<UINT>(std::size(description)));
        if (length > 0 &&
            QString::fromWCharArray(description, static_cast<qsizetype>(length)) == name) {
            return layouts[static_cast<std::size_t>(i)];
        }
    }
    return nullptr;
}

class InputMethodSwitch : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            auto* widget = static_cast<QWidget*>(watched);
            if (HKL layout = FindLayout(QString::fromUtf16(kInputMethodName))) {
                ActivateKeyboardLayout(layout, 0);
                const auto window = reinterpret_cast<HWND>(widget->window()->winId());
                if (HIMC context = ImmGetContext(window)) {
                    ImmSetOpenStatus(context, TRUE);
                    ImmReleaseContext(window, context);
                }
            }
        }
        return false;
    }
};

}  // namespace

void UseInputMethod(QWidget* widget) {
    widget->installEventFilter(new InputMethodSwitch(widget));
}

#else

void UseInputMethod(QWidget* /*widget*/) {}

#endif

}  // namespace quillane::ui
