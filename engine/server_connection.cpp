#include "engine/server_connection.h"

#include "db/connection.h"
#include "db/db_error.h"
#include "engine/paths.h"

namespace quillane::engine {

QString InitialConnectionText() {
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
               "User ID=sa;Initial Catalog=master;Data Source=.;Use Procedure for Prepare=1;"
               "Auto Translate=True;Packet Size=4096;Workstation ID=") +
           QString::fromUtf16(kInitialWorkstation) +
           QStringLiteral(
               ";Use Encryption for Data=False;Tag with column collation when possible=False");
}

QString ComposeConnectionText(const QString& user, const QString& server) {
    const QString u = Trim(user);
    const QString s = Trim(server);
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=false;"
               "User ID=") +
           u + QStringLiteral(";Initial Catalog=master;Data Source=") + s +
           QStringLiteral(
               ";Use Procedure for Prepare=1;Auto Translate=True;Packet Size=4096;"
               "Workstation ID=") +
           s +
           QStringLiteral(
               ";Use Encryption for Data=False;Tag with column collation when possible=False ");
}

void Connect(db::Connection& connection, const QString& user, const QString& server,
             const MessageSink& showMessage) {
    try {
        if (connection.Connected()) {
            connection.Close();
        }
        connection.SetConnectionString(ComposeConnectionText(user, server));
        connection.Open();
    } catch (const std::exception& error) {
        showMessage(QStringLiteral("数据库连接失败！") + db::MessageOf(error));
    }
}

}  // namespace quillane::engine
