#pragma once

#include "app/errors.h"
#include "db/packed_values.h"
#include "db/recordset.h"
#include "db/table_reference.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

#include <memory>

class Connection;

// The rows of one SELECT held for maintenance, in the order the grid shows them, each with the
// operator's changes not yet written. A record is written whole, in one guarded statement that
// must reach exactly one row of the table, and takes back what the table then holds; a record
// that cannot be found again exactly is never written. Values always travel as bound parameters.
// One record of a maintained result.
struct MaintainedRecord {
    PackedValues values;        // as the table holds them
    QHash<int, QVariant> edits; // by field, not yet written
    bool isNew = false;
    bool unlocatable = false; // a new row that cannot be told apart from others until F5
};
// Its parts hold no pointer into themselves: a growing list of a million of them moves its memory
// as it is, without moving each record.
Q_DECLARE_TYPEINFO(MaintainedRecord, Q_RELOCATABLE_TYPE);

class UpdatableRecordset {
public:
    struct Column {
        FieldInfo field; // as the SELECT reported it; attributes and autoIncrement from the table
        bool writable = false;
        QString tableColumn; // the table's own name for it, when writable
        QString serverType;  // PostgreSQL: the column's type as the server writes it
    };

    // Reads every row of sql; throws AppError when the statement fails.
    // progress, when given, hears the count of rows read every 1,024 rows; answering true stops
    // the reading there, keeping the rows read (the statement is cancelled on the server).
    static std::unique_ptr<UpdatableRecordset> open(Connection& connection, const QString& sql,
                                                    const std::function<bool(qint64 rows)>& progress = {});

    int fieldCount() const { return int(m_columns.size()); }
    const Column& column(int i) const { return m_columns.at(i); }
    QString table() const { return m_table.displayName(); }
    // Why nothing can be written ("" when the table can be written).
    QString readOnlyReason() const { return m_readOnlyReason; }
    // PostgreSQL values are held as the server's text (bytes as bytes).
    bool holdsServerText() const { return m_serverText; }

    int recordCount() const { return int(m_records.size()); }
    // The record read with the longest value of a field (-1 when none is known), for fitting widths.
    int longestRecord(int field) const { return field < m_longest.size() ? m_longest[field].first : -1; }
    // What the record holds now: the operator's unsaved value when there is one, else the table's.
    QVariant value(int record, int field) const;
    bool isNew(int record) const { return m_records.at(record).isNew; }
    bool isEdited(int record, int field) const { return m_records.at(record).edits.contains(field); }
    // Records with something not yet written: changes, or a new record not yet added to the table.
    QList<int> unsavedRecords() const;
    bool isUnsaved(int record) const {
        return m_records.at(record).isNew || !m_records.at(record).edits.isEmpty();
    }
    // The record's unsaved values as "name=value, ...", for telling the operator what was lost.
    QString describeUnsaved(int record) const;

    // Takes the operator's text for a field, checked and converted for its column. Throws AppError,
    // changing nothing, when the column cannot be written or the text is no value of it.
    void setValue(int record, int field, const QString& text);
    // Adds an empty record at the end, not yet in the table; returns its index.
    int addNew();
    // Writes the record's unsaved values (an INSERT for a new record). Throws AppError, keeping
    // them, when the database refuses or the record cannot be found exactly once.
    void save(int record);
    // Writes several records in one transaction, each row to a savepoint of its own: a refused row
    // is taken back alone and handed to refused, the others stand together. When the transaction
    // cannot be committed, nothing of it stands and every record keeps its unsaved values; the
    // AppError then says so.
    void saveTogether(const QList<int>& records,
                      const std::function<void(int record, const AppError&)>& refused);
    // Drops the record's unsaved values. Returns true when the record was new: it then holds
    // nothing and should be forgotten.
    bool discard(int record);
    // Deletes the record's row from the table (nothing for a new record); throws AppError,
    // changing nothing, when it cannot. The record stays until forgotten.
    void deleteFromTable(int record);
    // Removes the record from the list, the table untouched.
    void forget(int record) { m_records.removeAt(record); }

private:
    using Record = MaintainedRecord;

    explicit UpdatableRecordset(Connection& connection) : m_connection(connection) {}
    void learnTable(const QString& sql);
    void learnServerTypes();
    QString sqlTable() const;
    QString sqlColumn(int field) const;
    // The bound parameter for a value of the field: cast to the column's own type where values
    // travel as text, so they are read and compared as the server reads its own.
    QString parameter(int field) const;
    QList<int> writableFields() const;
    // The one WHERE text that finds a record as the table holds it: by its key when the whole key
    // was read, else by every writable column; plus the held values of `also`, so that a change
    // made by someone else in between is noticed.
    QString whereOf(const QVariantList& values, const QList<int>& also, QVariantList* bound) const;
    // Runs a write that must reach exactly one row, guarded; returns the row's values as the table
    // then holds them when the statement returns them (empty otherwise).
    QVariantList writeOneRow(const QString& sql, const QVariantList& bound, const QString& verb,
                             bool located);
    void insert(Record& record);
    void update(Record& record);
    // Finds a row just inserted without RETURNING again, by an identity the engine gives for
    // exactly that row, and reads it into values; false when there is none.
    bool identifyNewRow(QVariantList& values, const QList<int>& given);
    // Reads the writable fields of the row `where` finds into values; false when none is found.
    bool reread(QVariantList& values, const QString& where, const QVariantList& bound);
    QString returningClause() const;
    void requireWritable(int field) const;
    AppError unlocatableError() const;
    void noteLength(int record, int field, const QVariant& value);
    void noteDigits(int record, int field, qlonglong number);
    // Text counts its UTF-8 bytes: it only picks the record whose width is measured.
    void noteLength(int record, int field, qsizetype length);

    Connection& m_connection;
    QList<Column> m_columns;
    PackedValues::Arena m_arena; // the blocks of the records as read; outlives m_records
    QList<Record> m_records;
    TableReference m_table;
    QString m_readOnlyReason;
    QList<int> m_keyFields; // fields holding the table's primary key, when all of it was read
    bool m_serverText = false;
    bool m_returning = false;                   // the server hands written rows back (RETURNING)
    bool m_waitGaveUp = false;                  // the last write failed waiting, not refused
    QList<std::pair<int, qsizetype>> m_longest; // by field: the record and its value's length
};
