#include "db/odbc/odbc_driver.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <QStringList>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "db/db_error.h"
#include "db/odbc/connection_mapping.h"

namespace quillane::db::odbc {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "wide ODBC calls must take UTF-16");

// Owns one ODBC handle. Freeing never throws; a failure to free is of no use to anybody.
template <SQLSMALLINT Type>
class Handle {
  public:
    Handle() = default;
    ~Handle() { Reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, SQL_NULL_HANDLE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, SQL_NULL_HANDLE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLHANDLE Get() const { return handle_; }
    SQLHANDLE* Out() {
        Reset();
        return &handle_;
    }
    void Reset() noexcept {
        if (handle_ != SQL_NULL_HANDLE) {
            SQLFreeHandle(Type, handle_);
            handle_ = SQL_NULL_HANDLE;
        }
    }

  private:
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

SQLWCHAR* Wide(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(
        const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16())));
}

// An integer attribute value, passed in the pointer as ODBC wants it.
SQLPOINTER Seconds(int seconds) {
    return reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds));
}

QString FromWide(const SQLWCHAR* text, qsizetype length) {
    return QString(reinterpret_cast<const QChar*>(text), length);
}

struct Diagnostic {
    QString state;
    QString text;
    int native = 0;  // the server's message number, for the server's own messages
};

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<Diagnostic> records;
    if (handle == SQL_NULL_HANDLE) {
        return records;
    }
    std::vector<SQLWCHAR> text(1024);
    for (SQLSMALLINT record = 1;; ++record) {
        std::array<SQLWCHAR, 6> state{};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state.data(), &native, text.data(),
                                      static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size()) &&
            length < 32766) {
            text.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, record, state.data(), &native, text.data(),
                                static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        const qsizetype kept = std::min<qsizetype>(length, static_cast<qsizetype>(text.size()) - 1);
        records.push_back({FromWide(state.data(), 5),
                           FromWide(text.data(), std::max<qsizetype>(kept, 0)),
                           static_cast<int>(native)});
    }
    return records;
}

// "[unixODBC][FreeTDS][SQL Server]Login failed…" → "Login failed…": the user is shown the server's
// own words. Only short groups of name characters count as a prefix, so a message that happens
// to start with a bracketed path is left alone.
QString WithoutPrefixes(QString text) {
    for (;;) {
        if (!text.startsWith(u'[')) {
            return text;
        }
        const qsizetype close = text.indexOf(u']');
        if (close < 2 || close > 48) {
            return text;
        }
        for (qsizetype i = 1; i < close; ++i) {
            const QChar c = text[i];
            if (!(c.isLetterOrNumber() || c == u' ' || c == u'.' || c == u'-' || c == u'_')) {
                return text;
            }
        }
        text.remove(0, close + 1);
    }
}

// The error records of a failure, joined in the order the server sent them. Class 01 records
// (informational messages such as "Changed database context", warnings) may ride along in the same
// list and are not part of the failure.
//
// Records are joined by CR LF, so a record's own control characters (a server message quoting a
// path that holds a line break) are shown as pictures: one record stays one line.
QStringList ErrorTexts(const std::vector<Diagnostic>& records) {
    QStringList errors;
    for (const Diagnostic& record : records) {
        if (!record.state.startsWith(u"01")) {
            errors.append(ControlsShown(WithoutPrefixes(record.text)));
        }
    }
    if (errors.isEmpty()) {
        for (const Diagnostic& record : records) {
            errors.append(ControlsShown(WithoutPrefixes(record.text)));
        }
    }
    return errors;
}

QString Joined(const QStringList& errors) {
    return errors.join(QStringLiteral("\r\n"));
}

// The error texts of a failed call. A driver may fail without leaving a diagnostic record; the
// failure stands all the same, and the text says which call failed and how.
// The number of the first error the server itself sent. Information (01), the connection's
// failures (08), the driver's (HY) and the driver manager's (IM) carry the client's own numbers,
// which are not the server's.
int FirstServerError(const std::vector<Diagnostic>& records) {
    for (const Diagnostic& record : records) {
        const QStringView cls = QStringView(record.state).first(2);
        if (cls != u"01" && cls != u"08" && cls != u"HY" && cls != u"IM" && record.native > 0) {
            return record.native;
        }
    }
    return 0;
}

QStringList FailureTexts(const char* call, SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle,
                         int* serverError = nullptr) {
    const std::vector<Diagnostic> records = Diagnostics(type, handle);
    if (serverError != nullptr && *serverError == 0) {
        *serverError = FirstServerError(records);
    }
    QStringList texts = ErrorTexts(records);
    if (texts.isEmpty()) {
        texts.append(QStringLiteral("%1 failed with return code %2 and the ODBC driver gave no "
                                    "message.")
                         .arg(QLatin1String(call))
                         .arg(rc));
    }
    return texts;
}

QStringList StatementFailure(const char* call, SQLRETURN rc, const StmtHandle& stmt,
                             int* serverError = nullptr) {
    return FailureTexts(call, rc, SQL_HANDLE_STMT, stmt.Get(), serverError);
}

// Reads one column of the current row as text, in chunks so that values of any length come whole.
// False (and the errors added) when the driver fails.
bool ReadField(const StmtHandle& stmt, SQLUSMALLINT column, QString& value, QStringList& errors,
               int* serverError) {
    value.clear();
    // Small enough that a padded file name column (260 characters) already comes in two chunks,
    // so the joining is exercised by every file query.
    std::array<SQLWCHAR, 256> buffer{};
    constexpr SQLLEN kBytes = sizeof(buffer);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(stmt.Get(), column, SQL_C_WCHAR, buffer.data(), kBytes, &indicator);
        if (rc == SQL_NO_DATA) {
            return true;
        }
        if (!SQL_SUCCEEDED(rc)) {
            errors += StatementFailure("SQLGetData", rc, stmt, serverError);
            return false;
        }
        if (indicator == SQL_NULL_DATA) {
            value.clear();
            return true;
        }
        // A truncated chunk fills the buffer but for its terminating zero.
        const bool truncated = indicator == SQL_NO_TOTAL || indicator >= kBytes;
        const qsizetype chars = truncated ? static_cast<qsizetype>(buffer.size()) - 1
                                          : static_cast<qsizetype>(indicator / sizeof(SQLWCHAR));
        value += FromWide(buffer.data(), chars);
        if (!truncated) {
            return true;
        }
    }
}

// Column names and every row of the current result. False (and the errors added) on a failure.
bool ReadResult(const StmtHandle& stmt, SQLSMALLINT columnCount, ResultSet& result,
                QStringList& errors, int* serverError) {
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columnCount); ++i) {
        std::vector<SQLWCHAR> name(256);
        SQLSMALLINT length = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        SQLRETURN rc =
            SQLDescribeColW(stmt.Get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                            &length, &type, &size, &digits, &nullable);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(name.size())) {
            name.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLDescribeColW(stmt.Get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                 &length, &type, &size, &digits, &nullable);
        }
        if (!SQL_SUCCEEDED(rc)) {
            errors += StatementFailure("SQLDescribeColW", rc, stmt, serverError);
            return false;
        }
        result.columns.append(FromWide(name.data(), std::max<SQLSMALLINT>(length, 0)));
    }
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.Get());
        if (rc == SQL_NO_DATA) {
            return true;
        }
        if (!SQL_SUCCEEDED(rc)) {
            errors += StatementFailure("SQLFetch", rc, stmt, serverError);
            return false;
        }
        QStringList row;
        row.reserve(columnCount);
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columnCount); ++i) {
            QString value;
            if (!ReadField(stmt, i, value, errors, serverError)) {
                return false;
            }
            row.append(std::move(value));
        }
        result.rows.append(std::move(row));
    }
}

}  // namespace

struct OdbcDriver::Session {
    EnvHandle env;
    DbcHandle dbc;
    bool connected = false;
    int commandTimeout = 0;

    ~Session() {
        if (connected) {
            SQLDisconnect(dbc.Get());
        }
    }

    bool Dead() const {
        SQLUINTEGER dead = SQL_CD_FALSE;
        const SQLRETURN rc =
            SQLGetConnectAttr(dbc.Get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
        return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
    }
};

OdbcDriver::OdbcDriver() = default;
OdbcDriver::~OdbcDriver() = default;

void OdbcDriver::Open(const QString& connectionText) {
    // A session the server dropped is still held here: let it go before making the new one.
    Close();
    const OdbcConnection odbc = ToOdbcConnection(connectionText);
    if (!odbc.refusal.isEmpty()) {
        throw DbError(odbc.refusal);
    }
    auto session = std::make_unique<Session>();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, session->env.Out()))) {
        throw DbError(QStringLiteral("The ODBC driver manager could not be loaded."));
    }
    SQLRETURN rc = SQLSetEnvAttr(session->env.Get(), SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (SQL_SUCCEEDED(rc)) {
        rc = SQLAllocHandle(SQL_HANDLE_DBC, session->env.Get(), session->dbc.Out());
    }
    if (!SQL_SUCCEEDED(rc)) {
        throw DbError(
            Joined(FailureTexts("SQLAllocHandle", rc, SQL_HANDLE_ENV, session->env.Get())));
    }
    // A server that takes the connection and then never answers costs the log-in time-out, not
    // the rest of the day. FreeTDS counts it over the whole log-in, pre-login and TLS included.
    rc = SQLSetConnectAttrW(session->dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT, Seconds(odbc.loginTimeout),
                            SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc)) {
        throw DbError(
            Joined(FailureTexts("SQLSetConnectAttrW", rc, SQL_HANDLE_DBC, session->dbc.Get())));
    }
    // Requests of the session other than log-in and statements (SQLOLEDB's "General Timeout").
    // Not every driver has it, and nothing waits on it that the other two do not bound.
    (void)SQLSetConnectAttrW(session->dbc.Get(), SQL_ATTR_CONNECTION_TIMEOUT,
                             Seconds(odbc.commandTimeout), SQL_IS_UINTEGER);
    session->commandTimeout = odbc.commandTimeout;
    SQLSMALLINT outLength = 0;
    // No prompt ever: a login that fails is reported, never asked for.
    rc = SQLDriverConnectW(session->dbc.Get(), nullptr, Wide(odbc.text), SQL_NTS, nullptr, 0,
                           &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        int serverError = 0;
        const QStringList texts =
            FailureTexts("SQLDriverConnectW", rc, SQL_HANDLE_DBC, session->dbc.Get(), &serverError);
        throw DbError(Joined(texts), serverError);
    }
    session->connected = true;
    session_ = std::move(session);
}

void OdbcDriver::Close() noexcept {
    session_.reset();
}

bool OdbcDriver::IsOpen() const {
    return session_ != nullptr && !session_->Dead();
}

ResultSet OdbcDriver::Execute(const QString& statement) {
    if (!IsOpen()) {
        throw DbError(QStringLiteral("Operation is not allowed when the object is closed."));
    }
    StmtHandle stmt;
    if (const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, session_->dbc.Get(), stmt.Out());
        !SQL_SUCCEEDED(rc)) {
        const QString message =
            Joined(FailureTexts("SQLAllocHandle", rc, SQL_HANDLE_DBC, session_->dbc.Get()));
        if (session_->Dead()) {
            Close();
        }
        throw DbError(message);
    }

    // A statement the server never answers fails after the command time-out; FreeTDS then cancels
    // it, so the session is fit for the next statement.
    if (const SQLRETURN rc = SQLSetStmtAttrW(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                                             Seconds(session_->commandTimeout), SQL_IS_UINTEGER);
        !SQL_SUCCEEDED(rc)) {
        throw DbError(Joined(StatementFailure("SQLSetStmtAttrW", rc, stmt)));
    }

    ResultSet result;
    bool haveResult = false;
    QStringList errors;
    int serverError = 0;
    const char* call = "SQLExecDirectW";
    SQLRETURN rc =
        SQLExecDirectW(stmt.Get(), Wide(statement), static_cast<SQLINTEGER>(statement.size()));
    // Every result of the batch is visited: rows of the first result set are kept, and errors of
    // any result (an attach sends 5120 and then 1802) are all collected, in order. The bound only
    // keeps a driver that never ends its list of results from hanging the run.
    for (int results = 0; results < 100000; ++results) {
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            SQLSMALLINT columns = 0;
            if (const SQLRETURN described = SQLNumResultCols(stmt.Get(), &columns);
                !SQL_SUCCEEDED(described)) {
                errors += StatementFailure("SQLNumResultCols", described, stmt, &serverError);
            } else if (columns > 0 && !haveResult) {
                haveResult = true;
                ReadResult(stmt, columns, result, errors, &serverError);
            }
        } else if (rc == SQL_ERROR) {
            const bool silent = Diagnostics(SQL_HANDLE_STMT, stmt.Get()).empty();
            errors += StatementFailure(call, rc, stmt, &serverError);
            if (silent) {
                // A driver that fails without a word cannot be trusted to move on to a next
                // result either.
                break;
            }
        } else if (rc != SQL_NO_DATA) {
            // SQL_NEED_DATA, SQL_STILL_EXECUTING, SQL_INVALID_HANDLE: nothing this statement
            // should ever give, and nothing to go on with.
            errors += StatementFailure(call, rc, stmt, &serverError);
            break;
        }
        // Past a lost session every further call only repeats "Communication link failure".
        if (session_->Dead()) {
            break;
        }
        call = "SQLMoreResults";
        rc = SQLMoreResults(stmt.Get());
        if (rc == SQL_NO_DATA) {
            break;
        }
    }
    stmt.Reset();
    if (session_->Dead()) {
        // The next query opens a fresh session with the connection's text.
        Close();
    }
    if (!errors.isEmpty()) {
        throw DbError(Joined(errors), serverError);
    }
    return result;
}

}  // namespace quillane::db::odbc
