#include "ui/input_method.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <QEvent>
#include <QObject>
#include <QString>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, whose types it uses.
#include <imm.h>
#endif

namespace quillane::ui {

#ifdef Q_OS_WIN

namespace {

// The name Windows gives an input method in its lists ("中文 (简体) - 搜狗拼音输入法"): the
// layout's "Layout Text" in the registry, under the layout's identifier. The input method's own
// description (ImmGetDescriptionW) is only the part after the language, so it never equals it.
QString LayoutText(HKL layout) {
    const QString key =
        QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\%1")
            .arg(reinterpret_cast<quintptr>(layout) & 0xffffffffu, 8, 16, QChar(u'0'))
            .toUpper();
    wchar_t text[256] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(key.utf16()), L"Layout Text",
                     RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return QString::fromWCharArray(text);
}

// The input method's layout that carries the name, or none. The list is read on every focus
// change: input methods can be installed or removed while the program runs.
HKL FindLayout(const QString& name) {
    const int count = GetKeyboardLayoutList(0, nullptr);
    if (count <= 0) {
        return nullptr;
    }
    std::vector<HKL> layouts(static_cast<std::size_t>(count));
    const int got = GetKeyboardLayoutList(count, layouts.data());
    for (int i = 0; i < got; ++i) {
        const HKL layout = layouts[static_cast<std::size_t>(i)];
        if (ImmIsIME(layout) && LayoutText(layout) == name) {
            return layout;
        }
    }
    return nullptr;
}

// Switches the input method on when a watched control gets the focus, and the layout that was in
// use back when the control loses it, so that only these controls type through it.
class InputMethodSwitch : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            auto* widget = static_cast<QWidget*>(watched);
            if (HKL layout = FindLayout(QString::fromUtf16(kInputMethodName))) {
                const HKL current = GetKeyboardLayout(0);
                if (current != layout && ActivateKeyboardLayout(layout, 0) != nullptr) {
                    previous_ = current;
                }
                const auto window = reinterpret_cast<HWND>(widget->window()->winId());
                if (HIMC context = ImmGetContext(window)) {
                    ImmSetOpenStatus(context, TRUE);
                    ImmReleaseContext(window, context);
                }
            }
        } else if (event->type() == QEvent::FocusOut && previous_ != nullptr) {
            ActivateKeyboardLayout(previous_, 0);
            previous_ = nullptr;
        }
        return false;
    }

  private:
    HKL previous_ = nullptr;  // the layout to go back to, when this switch changed it
};

}  // namespace

void UseInputMethod(QWidget* widget) {
    widget->installEventFilter(new InputMethodSwitch(widget));
}

#else

void UseInputMethod(QWidget* /*widget*/) {}

#endif

}  // namespace quillane::ui
