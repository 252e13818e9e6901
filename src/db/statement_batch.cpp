#include "db/statement_batch.h"

#include "app/errors.h"
#include "db/ado_types.h"
#include "db/connection.h"
#include "db/driver_wait.h"
#include "db/postgres_wait.h"
#include "db/sql_text.h"
#include "db/statement_wait.h"

#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {
// The first statement of a text and the rest, as SQLite divides them; an empty first when the text
// holds only blanks and comments.
std::pair<QByteArray, QByteArray> firstSqliteStatement(sqlite3* handle, const QByteArray& text) {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, &tail) != SQLITE_OK)
        throw Errors::statementRejected(QString::fromUtf8(sqlite3_errmsg(handle)));
    const bool any = statement != nullptr;
    sqlite3_finalize(statement);
    const qsizetype used = tail ? qsizetype(tail - text.constData()) : text.size();
    return {any ? text.left(used) : QByteArray(), text.mid(used)};
}
} // namespace

StatementBatch::StatementBatch(Connection& connection, const QString& sql) : m_connection(connection) {
    // PostgreSQL's statements go out without blocking, so the window answers while the server works.
    if (connection.engine() == Engine::Postgres && postgresConnection(connection.database())) {
        runPostgresBatch(sql);
        return;
    }
    if (countStatements(sql) <= 1) {
        qint64 affected = -1;
        auto result = connection.execute(sql, &affected);
        if (result->isOpen())
            m_rows = std::move(result);
        add(affected);
        return;
    }
    switch (connection.engine()) {
    case Engine::Sqlite:
        m_sqliteRest = sql.toUtf8();
        runSqliteUntilRows();
        return;
    case Engine::Postgres:
        runPostgresBatch(sql);
        return;
    case Engine::Odbc:
        if (connection.serverKind() == ServerKind::Postgres ||
            connection.serverKind() == ServerKind::SqlServer) {
            runOdbcBatch(sql);
            return;
        }
        break;
    case Engine::Mysql:
    case Engine::Oracle:
        break;
    }
    throw AppError(ErrNo::DbStatementRejected,
                   QStringLiteral("這個資料來源一次只能執行一個陳述式, 而這段文字有 %1 個, 未執行: "
                                  "請選取其中一個再執行, 或逐一執行。")
                       .arg(countStatements(sql)));
}

StatementBatch::~StatementBatch() = default;

void StatementBatch::abandon() {
    // Closing rows still on their way cancels the query on the server.
    m_postgresStreaming = nullptr;
    m_rows.reset();
    m_sqliteRest.clear();
    m_odbcBatch = false;
}

void StatementBatch::add(qint64 affected) {
    if (affected > 0)
        m_affected += affected;
}

void StatementBatch::runSqliteUntilRows() {
    sqlite3* handle = sqliteConnection(m_connection.database());
    while (handle && !m_sqliteRest.trimmed().isEmpty()) {
        const auto [first, rest] = firstSqliteStatement(handle, m_sqliteRest);
        m_sqliteRest = rest;
        if (first.isEmpty()) { // only blanks and comments were left
            m_sqliteRest.clear();
            break;
        }
        qint64 affected = -1;
        auto result = m_connection.execute(QString::fromUtf8(first), &affected);
        add(affected);
        if (result->isOpen() && !m_rows) {
            m_rows = std::move(result);
            return; // the rest runs once these rows have been read
        }
    }
}

namespace {
QList<FieldInfo> postgresFields(const PGresult* result) {
    QList<FieldInfo> fields;
    for (int i = 0; i < PQnfields(result); ++i)
        fields.append({QString::fromUtf8(PQfname(result, i)),
                       AdoType::fromPostgresOid(int(PQftype(result, i))),
                       AdoType::MayBeNull,
                       false,
                       {},
                       {}});
    return fields;
}
} // namespace

void StatementBatch::runPostgresBatch(const QString& sql) {
    PGconn* conn = postgresConnection(m_connection.database());
    if (!conn || !PQsendQuery(conn, sql.toUtf8().constData()))
        throw AppError(ErrNo::DbStatementRejected,
                       conn ? QStringLiteral("資料庫無法執行陳述式: ") +
                                  QString::fromUtf8(PQerrorMessage(conn)).trimmed()
                            : QStringLiteral("與 PostgreSQL 伺服器的連線已關閉。"));
    // Rows come one at a time as the server sends them: a big result never sits in memory twice.
    PQsetSingleRowMode(conn);
    takePostgresResults(conn, true);
}

void StatementBatch::takePostgresResults(pg_conn* conn, bool keepFirstRows) {
    // Every result is taken, whatever happens, so that the connection is free again afterwards.
    QString failure;
    while (PGresult* result = PostgresWait::nextResult(conn)) {
        const ExecStatusType status = PQresultStatus(result);
        const bool wanted = keepFirstRows && !m_rows && failure.isEmpty();
        if (status == PGRES_SINGLE_TUPLE && wanted) {
            // The rows are read by whoever shows them; the statements after them wait for finish().
            m_rows = std::make_unique<Recordset>(conn, result, postgresFields(result));
            m_postgresStreaming = conn;
            return;
        }
        if (status == PGRES_TUPLES_OK && wanted) { // a result set without rows
            m_rows = std::make_unique<Recordset>(result, postgresFields(result));
            continue;
        }
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            add(QByteArray(PQcmdTuples(result)).toLongLong());
        else if (status != PGRES_SINGLE_TUPLE && failure.isEmpty())
            failure = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        PQclear(result);
    }
    if (!failure.isEmpty()) {
        m_rows.reset();
        throw Errors::statementRejected(failure);
    }
}

void StatementBatch::runOdbcBatch(const QString& sql) {
    QSqlDatabase db = m_connection.database();
    auto query = std::make_unique<QSqlQuery>(db);
    query->setForwardOnly(true);
    query->setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!runStatement(*query, Engine::Odbc, sql))
        throw Errors::statementRejected(failureText(query->lastError(), db));
    for (;;) {
        if (query->isSelect()) {
            m_rows = m_connection.adopt(std::move(query));
            m_odbcBatch = true;
            return;
        }
        add(query->numRowsAffected());
        if (!DriverWait::run([&] { return query->nextResult(); },
                             [&] { return DriverWait::cancelOdbcStatement(*query); }))
            return;
    }
}

void StatementBatch::finish() {
    if (pg_conn* conn = std::exchange(m_postgresStreaming, nullptr)) {
        // The rows not read yet are read past; the statements after them have run by then.
        while (m_rows && !m_rows->postgresRowsDone())
            m_rows->moveNext();
        m_rows.reset();
        takePostgresResults(conn, false);
        return;
    }
    if (m_odbcBatch && m_rows)
        add(m_rows->skipLaterResults());
    m_odbcBatch = false;
    m_rows.reset();
    if (!m_sqliteRest.isEmpty()) {
        // Later result sets are read past: only the first is shown.
        while (!m_sqliteRest.trimmed().isEmpty()) {
            runSqliteUntilRows();
            m_rows.reset();
        }
    }
}
