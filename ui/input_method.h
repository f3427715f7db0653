#pragma once

class QWidget;

namespace quillane::ui {

// The input method the window's text and list controls name.
inline constexpr char16_t kInputMethodName[] = u"中文 (简体) - 搜狗拼音输入法";

// Switches the named input method on whenever `widget` gets the focus, where it is installed.
// Windows only: elsewhere the input method is the desktop's business and nothing is switched.
void UseInputMethod(QWidget* widget);

}  // namespace quillane::ui
