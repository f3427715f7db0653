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
QString ToOdbcConnectionString(const QString& oledbText);

}  // namespace quillane::db::odbc
