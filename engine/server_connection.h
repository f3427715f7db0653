#pragma once

#include <QString>

#include "log/message_sink.h"

namespace quillane::db {
class Connection;
}

namespace quillane::engine {

// The workstation name that the connection reports before the user first connects.
inline constexpr char16_t kInitialWorkstation[] = u"QUILLANE";

// The text the connection holds from start-up: the local server, Windows authentication.
QString InitialConnectionText();

// The text the connect button composes from the user and server boxes (trimmed here). The
// password box has no part in it: the login is always the Windows account of the user.
QString ComposeConnectionText(const QString& user, const QString& server);

// The connect button: reopens `connection` with the composed text. A failure is shown as
// "数据库连接失败！" followed by the driver's or server's message; nothing is logged.
void Connect(db::Connection& connection, const QString& user, const QString& server,
             const MessageSink& showMessage);

}  // namespace quillane::engine
