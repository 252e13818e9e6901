#pragma once

#include "db/recordset.h"

#include <QByteArray>
#include <QString>

#include <memory>

class Connection;

// The statements of one text, run in order on every engine: SQLite's one by one as the engine
// itself divides the text, PostgreSQL's and ODBC's as one batch. The first result set is kept for
// showing; the statements after it run once its rows have been read, so they cannot change them.
// An engine that cannot run several statements at once refuses such a text before running any.
class StatementBatch {
public:
    // Runs the statements up to and including the first that returns rows (all of them when none
    // does); throws AppError with the database's text when one fails.
    StatementBatch(Connection& connection, const QString& sql);
    ~StatementBatch();
    StatementBatch(const StatementBatch&) = delete;
    StatementBatch& operator=(const StatementBatch&) = delete;

    // The first result set; null when no statement returned rows.
    Recordset* rows() const { return m_rows.get(); }
    // Rows changed by the statements run so far.
    qint64 affected() const { return m_affected; }
    // Runs the statements after the first result set.
    void finish();
    // Drops the rows not read and what follows them: the operator stopped reading. On PostgreSQL
    // the server is asked to cancel the rest.
    void abandon();

private:
    void runSqliteUntilRows();
    void runPostgresBatch(const QString& sql);
    // Takes the query's results in order, up to the first rows to show (keepFirstRows) or all.
    void takePostgresResults(struct pg_conn* conn, bool keepFirstRows);
    void runOdbcBatch(const QString& sql);
    void add(qint64 affected);

    Connection& m_connection;
    std::unique_ptr<Recordset> m_rows;
    qint64 m_affected = 0;
    QByteArray m_sqliteRest; // SQLite: the text still to run
    bool m_odbcBatch = false;
    struct pg_conn* m_postgresStreaming = nullptr; // the rows shown still come from it
};
