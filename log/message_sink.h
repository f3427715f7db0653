#pragma once

#include <QString>
#include <functional>

namespace quillane {

// Where the engine and the log show a message to the user: the window's modal message box,
// which returns when the user has closed it. Tests collect the texts instead.
using MessageSink = std::function<void(const QString& text)>;

}  // namespace quillane
