#include "db/updatable_recordset.h"

#include "app/errors.h"
#include "db/ado_types.h"
#include "db/connection.h"
#include "db/session.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>

namespace {
constexpr qint64 kRowNotLocated = -2147217864;
constexpr qint64 kTooManyRows = -2147217887;

QString unquoteIdentifier(const QString& name) {
    if (name.size() >= 2 &&
        ((name.front() == u'"' && name.back() == u'"') || (name.front() == u'[' && name.back() == u']') ||
         (name.front() == u'`' && name.back() == u'`')))
        return name.mid(1, name.size() - 2);
    return name;
}

// Columns of a PostgreSQL table the engine numbers itself (identity or a sequence default).
QStringList postgresGeneratedColumns(const QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("SELECT a.attname FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = "
                       "a.attrelid AND d.adnum = a.attnum "
                       "WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 "
                       "AND (a.attidentity <> '' OR pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%')"));
    q.addBindValue(table);
    QStringList names;
    if (q.exec())
        while (q.next())
            names << q.value(0).toString();
    return names;
}
} // namespace

QString UpdatableRecordset::singleTable(const QString& sql, QString* reason) {
    const QString text = sql.simplified();
    static const QRegularExpression combining(
        QStringLiteral("\\b(JOIN|UNION|INTERSECT|EXCEPT|GROUP\\s+BY|HAVING|DISTINCT)\\b|\\(\\s*SELECT\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = combining.match(text); m.hasMatch()) {
        *reason = QStringLiteral("The result is read-only: it combines or summarises rows (%1).")
                      .arg(m.captured(0).trimmed());
        return {};
    }
    static const QRegularExpression shape(
        QStringLiteral("^SELECT\\s.+?\\sFROM\\s+(\"[^\"]+\"|\\[[^\\]]+\\]|`[^`]+`|[^\\s,;()]+)"
                       "(?:\\s+(?:AS\\s+)?(?!WHERE\\b|ORDER\\b|LIMIT\\b)[^\\s,;()]+)?"
                       "\\s*(?:(?:WHERE|ORDER\\s+BY|LIMIT)\\b.*)?;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = shape.match(text);
    if (!m.hasMatch()) {
        *reason = QStringLiteral("The result is read-only: the statement does not read one plain table.");
        return {};
    }
    return unquoteIdentifier(m.captured(1));
}

std::unique_ptr<UpdatableRecordset> UpdatableRecordset::open(Connection& connection, const QString& sql) {
    std::unique_ptr<UpdatableRecordset> rs(new UpdatableRecordset(connection));
    {
        auto read = connection.execute(sql);
        if (!read->isOpen())
            throw AppError(ErrNo::DbStatementRejected,
                           QStringLiteral("The statement returned no rows to maintain."));
        for (const FieldInfo& field : read->fields())
            rs->m_columns.append({field, false, {}});
        while (!read->eof()) {
            QVariantList row;
            row.reserve(read->fieldCount());
            for (int i = 0; i < read->fieldCount(); ++i)
                row << read->value(i);
            rs->m_rows << row;
            read->moveNext();
        }
    }
    rs->learnTable(sql);
    return rs;
}

void UpdatableRecordset::learnTable(const QString& sql) {
    if (m_connection.route().readOnly) {
        m_readOnlyReason = QStringLiteral("The data source is read-only.");
        return;
    }
    m_table = singleTable(sql, &m_readOnlyReason);
    if (m_table.isEmpty())
        return;
    QSqlDatabase db = m_connection.database();
    // Asked for by the quoted name: unquoted, some drivers fold the case of the name first.
    const QSqlRecord tableRecord = db.record(quotedTable());
    if (tableRecord.isEmpty()) {
        m_readOnlyReason = QStringLiteral("The result is read-only: table %1 was not found.").arg(m_table);
        m_table.clear();
        return;
    }
    // Through ODBC the driver itself tells which columns number themselves (isAutoValue below).
    const QStringList generated =
        db.driverName() == QLatin1String("QPSQL") ? postgresGeneratedColumns(db, m_table) : QStringList();
    bool driverNamesTables = false;
    for (const Column& c : m_columns)
        driverNamesTables |= !c.field.baseTable.isEmpty();
    for (Column& c : m_columns) {
        const QString name = c.field.baseColumn.isEmpty() ? c.field.name : c.field.baseColumn;
        const int at = tableRecord.indexOf(name);
        const bool sameTable = !driverNamesTables ||
                               c.field.baseTable.compare(m_table, Qt::CaseInsensitive) == 0 ||
                               m_table.endsWith(u'.' + c.field.baseTable, Qt::CaseInsensitive);
        if (at < 0 || !sameTable)
            continue;
        const QSqlField column = tableRecord.field(at);
        c.writable = true;
        c.tableColumn = column.name();
        c.field.attributes = column.requiredStatus() == QSqlField::Required ? 0 : AdoType::MayBeNull;
        c.field.autoIncrement = c.field.autoIncrement || column.isAutoValue() ||
                                generated.contains(column.name(), Qt::CaseInsensitive);
        if (c.field.autoIncrement)
            c.field.attributes = 0;
    }
    const QSqlIndex key = db.primaryIndex(quotedTable());
    for (int k = 0; k < key.count(); ++k) {
        int found = -1;
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].writable &&
                m_columns[i].tableColumn.compare(key.fieldName(k), Qt::CaseInsensitive) == 0)
                found = i;
        if (found < 0) {
            m_keyFields.clear();
            break;
        }
        m_keyFields << found;
    }
    if (std::none_of(m_columns.begin(), m_columns.end(), [](const Column& c) { return c.writable; }))
        m_readOnlyReason =
            QStringLiteral("The result is read-only: none of its columns comes straight from table %1.")
                .arg(m_table);
}

QString UpdatableRecordset::quotedTable() const {
    QSqlDriver* driver = m_connection.database().driver();
    QStringList parts = m_table.split(u'.');
    for (QString& part : parts)
        part = driver->escapeIdentifier(part, QSqlDriver::TableName);
    return parts.join(u'.');
}

QString UpdatableRecordset::quotedColumn(int field) const {
    return m_connection.database().driver()->escapeIdentifier(m_columns[field].tableColumn,
                                                              QSqlDriver::FieldName);
}

void UpdatableRecordset::requireWritable(int field) const {
    if (!m_readOnlyReason.isEmpty())
        throw AppError(ErrNo::DbStatementRejected, m_readOnlyReason);
    if (field < 0 || field >= m_columns.size() || !m_columns[field].writable)
        throw AppError(ErrNo::DbStatementRejected,
                       QStringLiteral("The column %1 cannot be changed: it is not a column of table %2.")
                           .arg(field >= 0 && field < m_columns.size() ? m_columns[field].field.name
                                                                       : QString::number(field),
                                m_table));
}

QString UpdatableRecordset::locate(int record, const QList<int>& changed, QVariantList* values) const {
    QList<int> fields = m_keyFields;
    if (fields.isEmpty())
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].writable)
                fields << i;
    for (int f : changed)
        if (!fields.contains(f))
            fields << f;
    QStringList terms;
    for (int f : fields) {
        const QVariant original = m_rows[record][f];
        if (original.isNull()) {
            terms << quotedColumn(f) + QStringLiteral(" IS NULL");
        } else {
            terms << quotedColumn(f) + QStringLiteral(" = ?");
            *values << original;
        }
    }
    return terms.join(QStringLiteral(" AND "));
}

void UpdatableRecordset::runExactlyOnce(const QString& sql, const QVariantList& values, const QString& verb) {
    QSqlDatabase db = m_connection.database();
    const bool inTransaction = db.transaction();
    const auto rollBack = [&] {
        if (inTransaction)
            db.rollback();
    };
    qint64 touched = 0;
    {
        QSqlQuery q(db);
        if (!q.prepare(sql)) {
            const QString text = q.lastError().text();
            rollBack();
            throw AppError(ErrNo::DbStatementRejected, text);
        }
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            const QString text = q.lastError().text();
            q.finish();
            rollBack();
            throw AppError(ErrNo::DbStatementRejected, text);
        }
        touched = q.numRowsAffected();
    }
    if (touched == 1) {
        if (inTransaction && !db.commit())
            throw AppError(ErrNo::DbStatementRejected, db.lastError().text());
        return;
    }
    rollBack();
    if (touched == 0)
        throw AppError(kRowNotLocated, QStringLiteral("Row cannot be located for updating. Some values may "
                                                      "have been changed since it was last read."));
    throw AppError(kTooManyRows,
                   QStringLiteral("The %1 would reach %2 rows of %3 holding the same values, not one; "
                                  "nothing was changed.")
                       .arg(verb)
                       .arg(touched)
                       .arg(m_table));
}

void UpdatableRecordset::reread(int record, const QString& where, const QVariantList& values) {
    QList<int> fields;
    QStringList names;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].writable) {
            fields << i;
            names << quotedColumn(i);
        }
    QSqlQuery q(m_connection.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                       .arg(names.join(QStringLiteral(", ")), quotedTable(), where)))
        return;
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return;
    for (int i = 0; i < fields.size(); ++i)
        m_rows[record][fields[i]] = q.value(i);
}

namespace {
// The WHERE text that finds a row by the given field values.
QString matching(const QList<int>& fields, const QVariantList& row, const std::function<QString(int)>& column,
                 QVariantList* values) {
    QStringList terms;
    for (int f : fields) {
        if (row[f].isNull()) {
            terms << column(f) + QStringLiteral(" IS NULL");
        } else {
            terms << column(f) + QStringLiteral(" = ?");
            *values << row[f];
        }
    }
    return terms.join(QStringLiteral(" AND "));
}
} // namespace

void UpdatableRecordset::update(int record, const QHash<int, QVariant>& changes) {
    if (record < 0 || record >= m_rows.size())
        throw AppError(3021,
                       QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    if (changes.isEmpty())
        return;
    QList<int> changed = changes.keys();
    std::sort(changed.begin(), changed.end());
    QStringList sets;
    QVariantList values;
    for (int f : changed) {
        requireWritable(f);
        sets << quotedColumn(f) + QStringLiteral(" = ?");
        values << changes[f];
    }
    const QString where = locate(record, changed, &values);
    runExactlyOnce(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                       .arg(quotedTable(), sets.join(QStringLiteral(", ")), where),
                   values, QStringLiteral("update"));
    for (int f : changed)
        m_rows[record][f] = changes[f];
    QList<int> find = m_keyFields;
    if (find.isEmpty())
        for (int i = 0; i < m_columns.size(); ++i)
            if (m_columns[i].writable)
                find << i;
    QVariantList findValues;
    const QString again = matching(
        find, m_rows[record], [this](int f) { return quotedColumn(f); }, &findValues);
    reread(record, again, findValues);
}

int UpdatableRecordset::insert(const QHash<int, QVariant>& values) {
    if (!m_readOnlyReason.isEmpty())
        throw AppError(ErrNo::DbStatementRejected, m_readOnlyReason);
    QList<int> given = values.keys();
    std::sort(given.begin(), given.end());
    QStringList names, marks;
    QVariantList bound;
    for (int f : given) {
        requireWritable(f);
        names << quotedColumn(f);
        marks << QStringLiteral("?");
        bound << values[f];
    }
    const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedTable())
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                              .arg(quotedTable(), names.join(QStringLiteral(", ")),
                                                   marks.join(QStringLiteral(", ")));
    runExactlyOnce(sql, bound, QStringLiteral("insert"));

    QVariantList row;
    for (int i = 0; i < m_columns.size(); ++i)
        row << values.value(i);
    m_rows << row;
    const int record = int(m_rows.size()) - 1;

    // Find the new row again: by the number the engine gave it, else by its key when that was
    // given, else by the values given.
    QList<int> find;
    bool numbered = false;
    for (int i = 0; i < m_columns.size() && !numbered; ++i)
        if (m_columns[i].writable && m_columns[i].field.autoIncrement && !values.contains(i)) {
            numbered = true;
            QSqlQuery identity(m_connection.database());
            if (!Dialect().IdentityQuery.isEmpty() && identity.exec(Dialect().IdentityQuery) &&
                identity.next() && !identity.value(0).isNull()) {
                m_rows[record][i] = identity.value(0);
                find = {i};
            }
        }
    const bool keyGiven = !m_keyFields.isEmpty() && std::all_of(m_keyFields.begin(), m_keyFields.end(),
                                                                [&](int f) { return values.contains(f); });
    if (find.isEmpty())
        find = keyGiven ? m_keyFields : given;
    QVariantList findValues;
    const QString where = matching(
        find, m_rows[record], [this](int f) { return quotedColumn(f); }, &findValues);
    if (!where.isEmpty())
        reread(record, where, findValues);
    return record;
}

void UpdatableRecordset::remove(int record) {
    if (record < 0 || record >= m_rows.size())
        throw AppError(3021,
                       QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    if (!m_readOnlyReason.isEmpty())
        throw AppError(ErrNo::DbStatementRejected, m_readOnlyReason);
    QVariantList values;
    const QString where = locate(record, {}, &values);
    runExactlyOnce(QStringLiteral("DELETE FROM %1 WHERE %2").arg(quotedTable(), where), values,
                   QStringLiteral("delete"));
    m_rows.removeAt(record);
}
