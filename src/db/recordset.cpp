#include "db/recordset.h"

#include "app/errors.h"
#include "db/ado_types.h"
#include "db/driver_wait.h"
#include "db/postgres_wait.h"
#include "db/statement_wait.h"

#include <QSqlError>
#include <QSqlResult>

#include <libpq-fe.h>
#include <sqlite3.h>

Recordset::Recordset(std::unique_ptr<QSqlQuery> query, QList<FieldInfo> fields)
    : m_query(std::move(query)), m_fields(std::move(fields)) {
    m_open = m_query && m_query->isSelect();
    if (m_open)
        moveNext();
}

Recordset::Recordset(sqlite3_stmt* statement, QList<FieldInfo> fields)
    : m_statement(statement), m_fields(std::move(fields)) {
    m_open = true;
    try {
        moveNext();
    } catch (...) {
        close();
        throw;
    }
}

Recordset::Recordset(pg_result* result, QList<FieldInfo> fields)
    : m_pgResult(result), m_postgres(true), m_fields(std::move(fields)) {
    m_open = true;
    moveNext();
}

Recordset::Recordset(pg_conn* streaming, pg_result* firstRow, QList<FieldInfo> fields)
    : m_pgResult(firstRow), m_pgConn(streaming), m_postgres(true), m_fields(std::move(fields)) {
    m_open = true;
    m_eof = false;
    m_pgRow = 0;
    m_position = 1;
}

Recordset::~Recordset() {
    close();
}

void Recordset::moveNext() {
    if (!m_open || (m_eof && m_position > 0))
        return;
    if (m_pgConn)
        return nextStreamedRow();
    if (m_pgResult) {
        m_eof = ++m_pgRow >= PQntuples(m_pgResult);
        if (!m_eof)
            ++m_position;
        return;
    }
    if (m_statement) {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW) {
            m_eof = false;
            ++m_position;
            return;
        }
        m_eof = true;
        // Stopped by the operator between two rows: the rows read so far are the result.
        if (rc == SQLITE_INTERRUPT && m_position > 0 && StatementWait::cancelled())
            return;
        if (rc != SQLITE_DONE)
            throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("讀取資料列時資料庫回報錯誤"),
                                     QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement))));
        return;
    }
    if (m_query->next()) {
        m_eof = false;
        ++m_position;
        return;
    }
    m_eof = true;
    if (m_query->lastError().isValid())
        throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("讀取資料列時資料庫回報錯誤"),
                                 m_query->lastError().text());
}

void Recordset::nextStreamedRow() {
    if (m_pgResult) {
        PQclear(m_pgResult);
        m_pgResult = nullptr;
    }
    m_eof = true;
    if (m_pgDone)
        return;
    PGresult* result = PostgresWait::nextResult(m_pgConn);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_TUPLES_OK;
    if (status == PGRES_SINGLE_TUPLE) {
        m_pgResult = result;
        m_pgRow = 0;
        m_eof = false;
        ++m_position;
        return;
    }
    m_pgDone = true;
    if (status == PGRES_TUPLES_OK) {
        PQclear(result);
        return;
    }
    const QString why = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
    PQclear(result);
    PostgresWait::discardResults(m_pgConn);
    // Stopped by the operator between two rows: the rows read so far are the result.
    if (StatementWait::cancelled() && m_position > 0)
        return;
    throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("讀取資料列時資料庫回報錯誤"), why);
}

QVariant Recordset::value(int i) const {
    if (eof())
        throw Errors::noCurrentRecord();
    if (m_pgResult)
        return exactValue(i);
    if (!m_statement)
        return m_query->value(i);
    switch (sqlite3_column_type(m_statement, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_statement, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_statement, i));
    case SQLITE_TEXT:
        return QVariant(
            QString::fromUtf16(static_cast<const char16_t*>(sqlite3_column_text16(m_statement, i)),
                               sqlite3_column_bytes16(m_statement, i) / 2));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, i)),
                                   sqlite3_column_bytes(m_statement, i)));
    default:
        return QVariant();
    }
}

QVariant Recordset::exactValue(int i) const {
    if (!m_postgres)
        return value(i);
    if (eof())
        return value(i); // throws the no-current-record error
    const RawCell cell = rawCell(i);
    switch (cell.kind) {
    case RawCell::Null:
        return {};
    case RawCell::Blob:
        return QByteArray(cell.bytes, cell.size);
    default:
        return QString::fromUtf8(cell.bytes, cell.size);
    }
}

Recordset::RawCell Recordset::rawCell(int i) const {
    RawCell cell;
    if (!m_statement) {
        // Qt keeps the server's result; in single-row mode it holds just the current row.
        const PGresult* result = m_pgResult;
        int row = m_pgRow;
        if (!result) {
            const QVariant handle = m_query->result()->handle();
            result = handle.isValid() && handle.constData()
                         ? *static_cast<PGresult* const*>(handle.constData())
                         : nullptr;
            if (!result)
                throw AppError(ErrNo::DbStatementRejected, QStringLiteral("無法取得伺服器傳回的結果。"));
            row = PQntuples(result) == 1 ? 0 : m_query->at();
        }
        if (PQgetisnull(result, row, i))
            return cell;
        const int type = m_fields[i].type;
        if (type == AdoType::LongVarBinary || type == AdoType::VarBinary || type == AdoType::Binary) {
            // Bytes come escaped, in whichever form the session asked for.
            size_t length = 0;
            unsigned char* bytes =
                PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, i)), &length);
            m_bytes = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
            PQfreemem(bytes);
            cell.kind = RawCell::Blob;
            cell.bytes = m_bytes.constData();
            cell.size = int(m_bytes.size());
            return cell;
        }
        cell.kind = RawCell::Text;
        cell.serverText = true;
        cell.bytes = PQgetvalue(result, row, i);
        cell.size = PQgetlength(result, row, i);
        return cell;
    }
    switch (sqlite3_column_type(m_statement, i)) {
    case SQLITE_INTEGER:
        cell.kind = RawCell::Integer;
        cell.integer = sqlite3_column_int64(m_statement, i);
        break;
    case SQLITE_FLOAT:
        cell.kind = RawCell::Real;
        cell.real = sqlite3_column_double(m_statement, i);
        break;
    case SQLITE_TEXT:
        cell.kind = RawCell::Text;
        cell.bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, i));
        cell.size = sqlite3_column_bytes(m_statement, i);
        break;
    case SQLITE_BLOB:
        cell.kind = RawCell::Blob;
        cell.bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, i));
        cell.size = sqlite3_column_bytes(m_statement, i);
        break;
    default:
        break;
    }
    return cell;
}

qint64 Recordset::skipLaterResults() {
    qint64 affected = 0;
    // Only a batch through ODBC has later results; the driver runs them while the window answers.
    while (m_query && DriverWait::run([this] { return m_query->nextResult(); },
                                      [this] { return DriverWait::cancelOdbcStatement(*m_query); }))
        if (!m_query->isSelect() && m_query->numRowsAffected() > 0)
            affected += m_query->numRowsAffected();
    return affected;
}

void Recordset::close() {
    if (m_pgConn && !m_pgDone) {
        // Rows still on their way: the server is told to stop, and what it sent is dropped.
        PostgresWait::cancel(m_pgConn);
        PostgresWait::discardResults(m_pgConn);
        m_pgDone = true;
    }
    if (m_pgResult) {
        PQclear(m_pgResult);
        m_pgResult = nullptr;
    }
    if (m_statement) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
    if (m_query) {
        m_query->finish();
        m_query.reset();
    }
    m_open = false;
    m_eof = true;
}
