#pragma once

#include <QString>

namespace quillane::db::odbc {

// Turns the OLE DB style connection text the window holds ("Provider=SQLOLEDB.1;Integrated
// Security=SSPI;...;Data Source=.;...") into a DSN-less ODBC connection string for this platform's
// SQL Server driver: FreeTDS on Linux, the "SQL Server" driver on Windows. The single place where
// the platform shows in server access.
//
// Keys are matched without regard to case, values are trimmed, quoted values ("…" or '…' with the
// quote doubled inside) are honoured. Keys that mean nothing to ODBC are dropped.
//
// The waits come along: the OLE DB provider's defaults (15 s to log in, 30 s per command) unless
// the text's "Connect Timeout" or "General Timeout" says otherwise (0: no limit, as there).
struct OdbcConnection {
    QString text;           // the DSN-less ODBC connection string
    int loginTimeout = 15;  // seconds; SQL_ATTR_LOGIN_TIMEOUT
    // Seconds; SQL_ATTR_QUERY_TIMEOUT of every statement, and SQL_ATTR_CONNECTION_TIMEOUT for
    // the session's other requests.
    int commandTimeout = 30;
    // Not empty when a value cannot be given to the driver safely: which value (by the box or key
    // it came from) and which character. The text is empty then and nothing may be sent.
    QString refusal;
};

OdbcConnection ToOdbcConnection(const QString& oledbText);

}  // namespace quillane::db::odbc
