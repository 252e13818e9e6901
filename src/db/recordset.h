#pragma once

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3_stmt;
struct pg_conn;
struct pg_result;

// One column of a result as the windows see it.
struct FieldInfo {
    QString name;
    int type = 0;       // ADO data-type code
    int attributes = 0; // AdoType::MayBeNull when the column may hold NULL
    bool autoIncrement = false;
    QString baseTable; // the table and column the value comes from, when known
    QString baseColumn;
};

// The rows of an executed statement, read once from first to last. "Open" means the statement
// returned rows (a SELECT); a statement without rows gives a closed recordset.
class Recordset {
public:
    // Takes over an executed query.
    explicit Recordset(std::unique_ptr<QSqlQuery> query, QList<FieldInfo> fields);
    // Takes over a prepared SQLite statement that returns rows, read straight from the engine.
    Recordset(sqlite3_stmt* statement, QList<FieldInfo> fields);
    // Takes over a PostgreSQL result already in memory (a result of a batch of statements).
    Recordset(pg_result* result, QList<FieldInfo> fields);
    // Reads the rows of the query under way on a PostgreSQL connection as the server sends them,
    // one at a time (single-row mode); firstRow is the first. Closing before the last row cancels
    // the query and drops what is left of it.
    Recordset(pg_conn* streaming, pg_result* firstRow, QList<FieldInfo> fields);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool isOpen() const { return m_open; } // ADO State != 0
    bool eof() const { return !m_open || m_eof; }
    void moveNext(); // throws AppError when the driver fails mid-way
    int fieldCount() const { return int(m_fields.size()); }
    const FieldInfo& field(int i) const { return m_fields.at(i); }
    const QList<FieldInfo>& fields() const { return m_fields; }
    QVariant value(int i) const;
    // The value exactly as the engine holds it, for values that must be found again: PostgreSQL's
    // as the text the server sent (bytes unescaped), SQLite's in its own storage class; through
    // other drivers as Qt reads it.
    QVariant exactValue(int i) const;
    // Rows read so far (the old forward-only cursor reported -1 until the end).
    qint64 position() const { return m_position; }
    void close();

    // The current record's value as the engine holds it, without a QVariant or QString between,
    // for loaders that turn many rows into text; only where hasRawCells() says so.
    struct RawCell {
        enum Kind { Null, Integer, Real, Text, Blob } kind = Null;
        qint64 integer = 0;
        double real = 0;
        const char* bytes = nullptr; // UTF-8 for Text; valid until the next move
        bool serverText = false;     // Text as PostgreSQL writes every value, whatever its type
        int size = 0;
    };
    bool hasRawCells() const { return m_statement != nullptr || m_postgres; }
    RawCell rawCell(int i) const;
    // For the layer itself: a type learnt after the first row was read.
    void setFieldType(int i, int type) { m_fields[i].type = type; }

    // For the layer itself: the query runs on PostgreSQL, whose values can be read as the text
    // the server sent.
    void readPostgresText() { m_postgres = true; }
    // For the layer itself: the query ran a batch of statements; the results after this one are
    // stepped through (their statements have run) and their counts of changed rows added up.
    qint64 skipLaterResults();
    // Streaming from PostgreSQL: true once the last row has come (the connection then holds the
    // results of the statements after this one).
    bool postgresRowsDone() const { return m_pgDone; }

private:
    void nextStreamedRow();

    sqlite3_stmt* m_statement = nullptr;
    pg_result* m_pgResult = nullptr;
    pg_conn* m_pgConn = nullptr; // streaming: the connection the rows come from
    bool m_pgDone = false;
    int m_pgRow = -1;
    bool m_postgres = false;
    mutable QByteArray m_bytes; // the current binary value, unescaped
    std::unique_ptr<QSqlQuery> m_query;
    QList<FieldInfo> m_fields;
    bool m_open = false;
    bool m_eof = true;
    qint64 m_position = 0;
};
