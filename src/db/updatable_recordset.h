#pragma once

#include "db/recordset.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

class Connection;

// The rows of one SELECT held in memory for maintenance, with the knowledge of which table and
// columns they can be written back to. Every write runs in a transaction and is committed only
// when it touched exactly one row; the row is then read back, so what is held is what the table
// holds. Values always travel as bound parameters.
class UpdatableRecordset {
public:
    struct Column {
        FieldInfo field; // as the SELECT reported it; attributes and autoIncrement from the table
        bool writable = false;
        QString tableColumn; // the table's own name for it, when writable
    };

    // Reads every row of sql; throws AppError when the statement fails.
    static std::unique_ptr<UpdatableRecordset> open(Connection& connection, const QString& sql);

    int fieldCount() const { return int(m_columns.size()); }
    const Column& column(int i) const { return m_columns.at(i); }
    int recordCount() const { return int(m_rows.size()); }
    QVariant value(int record, int field) const { return m_rows.at(record).at(field); }
    QString table() const { return m_table; }
    // Why nothing can be written ("" when the table can be written).
    QString readOnlyReason() const { return m_readOnlyReason; }

    // Changes the given fields of a record; throws AppError, leaving the table unchanged, when the
    // record cannot be located exactly once or the database refuses the change.
    void update(int record, const QHash<int, QVariant>& changes);
    // Adds a record with the given field values and returns its index (the last one).
    int insert(const QHash<int, QVariant>& values);
    void remove(int record);

    // Splits "SELECT ... FROM table [alias] [WHERE|ORDER BY|LIMIT ...]" into its table; empty with
    // a reason when the statement reads more than one plain table.
    static QString singleTable(const QString& sql, QString* reason);

private:
    UpdatableRecordset(Connection& connection) : m_connection(connection) {}
    void learnTable(const QString& sql);
    QString quotedTable() const;
    QString quotedColumn(int field) const;
    // WHERE text and its values that find `record` as it was read, plus the original values of
    // the fields being changed.
    QString locate(int record, const QList<int>& changed, QVariantList* values) const;
    void runExactlyOnce(const QString& sql, const QVariantList& values, const QString& verb);
    void reread(int record, const QString& where, const QVariantList& values);
    void requireWritable(int field) const;

    Connection& m_connection;
    QList<Column> m_columns;
    QList<QVariantList> m_rows;
    QString m_table;
    QString m_readOnlyReason;
    QList<int> m_keyFields; // fields holding the table's primary key, when all of it was read
};
