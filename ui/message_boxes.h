#pragma once

// The two boxes every message of the program goes through: the message box (the engine's and the
// log's MessageSink) and the error box for errors that escape a handler.

#include <QString>

namespace quillane::ui {

// The caption of both boxes: the executable's file name without its extension.
QString ApplicationTitle();

// The error box's text: the message with a full stop appended, unless it is empty or already
// ends with a character whose code is 46 (".") or lower (a line break, a blank, "-", ...).
QString WithFullStop(const QString& message);

// Modal, centred on the screen, the text and one OK button; returns when the user closes it.
void ShowMessageBox(const QString& text);

// Modal, centred on the screen, an error icon, WithFullStop(message) and one OK button.
void ShowErrorBox(const QString& message);

}  // namespace quillane::ui
