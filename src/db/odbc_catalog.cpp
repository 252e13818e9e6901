#include "db/odbc_catalog.h"

#include "app/errors.h"
#include "db/connection.h"

#include <QSqlDriver>

#include <sql.h>
#include <sqlext.h>

namespace {
QString diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    SQLCHAR state[6] = {};
    SQLCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (SQLGetDiagRec(handleType, handle, 1, state, &native, text, sizeof text, &length) != SQL_SUCCESS)
        return QStringLiteral("ODBC 驅動程式無法列出資料表。");
    return QString::fromUtf8(reinterpret_cast<const char*>(text), length);
}

// Text of one column, read as UTF-16 so names in any language arrive intact.
QVariant columnText(SQLHSTMT stmt, SQLUSMALLINT column) {
    QString value;
    SQLWCHAR chunk[256];
    SQLLEN indicator = 0;
    for (;;) {
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, chunk, sizeof chunk, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法讀取資料表清單"),
                                     diagnostics(SQL_HANDLE_STMT, stmt));
        if (indicator == SQL_NULL_DATA)
            return QVariant();
        const SQLLEN capacity = SQLLEN(sizeof chunk - sizeof(SQLWCHAR));
        const SQLLEN bytes = (indicator == SQL_NO_TOTAL || indicator > capacity) ? capacity : indicator;
        value +=
            QString::fromUtf16(reinterpret_cast<const char16_t*>(chunk), qsizetype(bytes / sizeof(SQLWCHAR)));
        if (rc == SQL_SUCCESS)
            break;
    }
    return value;
}
} // namespace

QList<CatalogRow> odbcTablesCatalogue(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || !handle.constData())
        throw AppError(ErrNo::DbStatementRejected, QStringLiteral("無法取得 ODBC 連線代碼。"));
    SQLHDBC dbc = *static_cast<const SQLHDBC*>(handle.constData());
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)))
        throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法讀取資料表清單"),
                                 diagnostics(SQL_HANDLE_DBC, dbc));
    QList<CatalogRow> rows;
    try {
        if (!SQL_SUCCEEDED(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)))
            throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法讀取資料表清單"),
                                     diagnostics(SQL_HANDLE_STMT, stmt));
        for (;;) {
            const SQLRETURN rc = SQLFetch(stmt);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法讀取資料表清單"),
                                         diagnostics(SQL_HANDLE_STMT, stmt));
            rows.append(
                {columnText(stmt, 1), columnText(stmt, 2), columnText(stmt, 3), columnText(stmt, 4), {}});
        }
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rows;
}

QString odbcServerName(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || !handle.constData())
        return {};
    SQLHDBC dbc = *static_cast<const SQLHDBC*>(handle.constData());
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length)))
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(name)).trimmed();
}
