// A stand-in ODBC driver for unixODBC that fails on demand without leaving a diagnostic record,
// as some drivers do. It exists to prove that the product never takes such a failure for success.
//
// QUILLANE_FAKE_ODBC_FAIL="<function>=<return code>" names the one call that fails (for example
// "SQLFetch=-1"); every other call succeeds. A statement returns one column "x" with one row "1".
// Diagnostics are never given.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Env {};
struct Dbc {};
struct Stmt {
    int fetched = 0;
    bool read = false;
};

// The return code the named call should give, or SQL_SUCCESS.
SQLRETURN Outcome(const char* function) {
    const char* setting = std::getenv("QUILLANE_FAKE_ODBC_FAIL");
    if (setting == nullptr) {
        return SQL_SUCCESS;
    }
    const std::string text = setting;
    const auto eq = text.find('=');
    if (eq == std::string::npos || text.compare(0, eq, function) != 0) {
        return SQL_SUCCESS;
    }
    return static_cast<SQLRETURN>(std::atoi(text.c_str() + eq + 1));
}

void CopyWide(const char* text, SQLWCHAR* out, SQLSMALLINT capacity, SQLSMALLINT* length) {
    const auto n = static_cast<SQLSMALLINT>(std::strlen(text));
    if (length != nullptr) {
        *length = n;
    }
    if (out != nullptr && capacity > 0) {
        SQLSMALLINT i = 0;
        for (; i < n && i < capacity - 1; ++i) {
            out[i] = static_cast<SQLWCHAR>(text[i]);
        }
        out[i] = 0;
    }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE, SQLHANDLE* out) {
    switch (type) {
        case SQL_HANDLE_ENV:
            *out = new Env;
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC:
            *out = new Dbc;
            return SQL_SUCCESS;
        case SQL_HANDLE_STMT:
            *out = new Stmt;
            return SQL_SUCCESS;
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    switch (type) {
        case SQL_HANDLE_ENV:
            delete static_cast<Env*>(handle);
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC:
            delete static_cast<Dbc*>(handle);
            return SQL_SUCCESS;
        case SQL_HANDLE_STMT:
            delete static_cast<Stmt*>(handle);
            return SQL_SUCCESS;
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT, SQLUSMALLINT) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER value, SQLINTEGER, SQLINTEGER*) {
    if (value != nullptr) {
        *static_cast<SQLINTEGER*>(value) = SQL_OV_ODBC3;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                     SQLINTEGER*) {
    if (value != nullptr) {
        *static_cast<SQLUINTEGER*>(value) =
            attribute == SQL_ATTR_CONNECTION_DEAD ? SQL_CD_FALSE : 0;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC, SQLHWND, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* out,
                                    SQLSMALLINT capacity, SQLSMALLINT* length, SQLUSMALLINT) {
    CopyWide("", out, capacity, length);
    return Outcome("SQLDriverConnectW");
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC) {
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity,
                              SQLSMALLINT* length) {
    if (type == SQL_DRIVER_ODBC_VER) {
        SQLSMALLINT chars = 0;
        CopyWide("03.80", static_cast<SQLWCHAR*>(value), capacity / 2, &chars);
        if (length != nullptr) {
            *length = static_cast<SQLSMALLINT>(chars * 2);
        }
        return SQL_SUCCESS;
    }
    if (value != nullptr && capacity >= 4) {
        std::memset(value, 0, 4);
    }
    if (length != nullptr) {
        *length = 4;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT handle, SQLWCHAR*, SQLINTEGER) {
    auto* stmt = static_cast<Stmt*>(handle);
    stmt->fetched = 0;
    return Outcome("SQLExecDirectW");
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT, SQLSMALLINT* columns) {
    *columns = 1;
    return Outcome("SQLNumResultCols");
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT, SQLUSMALLINT, SQLWCHAR* name, SQLSMALLINT capacity,
                                  SQLSMALLINT* length, SQLSMALLINT* type, SQLULEN* size,
                                  SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    CopyWide("x", name, capacity, length);
    *type = SQL_WVARCHAR;
    *size = 10;
    *digits = 0;
    *nullable = SQL_NULLABLE;
    return Outcome("SQLDescribeColW");
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT handle) {
    auto* stmt = static_cast<Stmt*>(handle);
    if (stmt->fetched++ > 0) {
        return SQL_NO_DATA;
    }
    stmt->read = false;
    return Outcome("SQLFetch");
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER value,
                             SQLLEN capacity, SQLLEN* indicator) {
    auto* stmt = static_cast<Stmt*>(handle);
    if (stmt->read) {
        return SQL_NO_DATA;
    }
    stmt->read = true;
    if (capacity >= 4) {
        static_cast<SQLWCHAR*>(value)[0] = u'1';
        static_cast<SQLWCHAR*>(value)[1] = 0;
    }
    *indicator = sizeof(SQLWCHAR);
    return Outcome("SQLGetData");
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT) {
    const SQLRETURN rc = Outcome("SQLMoreResults");
    return rc == SQL_SUCCESS ? SQL_NO_DATA : rc;
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*,
                                 SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*) {
    return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT field,
                                   SQLPOINTER value, SQLSMALLINT, SQLSMALLINT*) {
    if (field == SQL_DIAG_NUMBER && value != nullptr) {
        *static_cast<SQLINTEGER*>(value) = 0;
        return SQL_SUCCESS;
    }
    return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE, SQLSMALLINT) {
    return SQL_SUCCESS;
}

}  // extern "C"
