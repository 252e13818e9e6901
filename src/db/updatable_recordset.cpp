#include "db/updatable_recordset.h"

#include "app/errors.h"
#include "db/ado_types.h"
#include "db/connection.h"
#include "db/postgres_wait.h"
#include "db/session.h"
#include "db/typed_input.h"
#include "db/write_guard.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {
constexpr qint64 kRowNotLocated = -2147217864;
constexpr qint64 kTooManyRows = -2147217887;

// PostgreSQL types without an equality operator: their rows are found by the text of the value.
bool comparedAsText(const QString& serverType) {
    static const QStringList types = {"json", "xml",  "point",   "line",  "lseg",
                                      "box",  "path", "polygon", "circle"};
    return types.contains(serverType);
}

QString shortText(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("NULL");
    const QString text = value.typeId() == QMetaType::QByteArray
                             ? QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex())
                             : value.toString();
    return text.size() > 60 ? text.left(60) + QStringLiteral("...") : text;
}
} // namespace

std::unique_ptr<UpdatableRecordset>
UpdatableRecordset::open(Connection& connection, const QString& sql,
                         const std::function<bool(qint64 rows)>& progress) {
    std::unique_ptr<UpdatableRecordset> rs(new UpdatableRecordset(connection));
    rs->m_serverText = connection.engine() == Engine::Postgres;
    {
        auto read = connection.execute(sql);
        if (!read->isOpen())
            throw AppError(ErrNo::DbStatementRejected, QStringLiteral("這個陳述式沒有傳回可維護的資料列。"));
        for (const FieldInfo& field : read->fields())
            rs->m_columns.append({field, false, {}, {}});
        // Each record is packed as it is read: a million records cost about their data. Engines
        // that give their values as bytes are packed from those, with no variant between.
        PackedValues::Builder row;
        const bool raw = read->hasRawCells();
        while (!read->eof()) {
            const int at = int(rs->m_records.size());
            row.clear();
            for (int i = 0; i < read->fieldCount(); ++i) {
                if (!raw) {
                    const QVariant value = read->exactValue(i);
                    row.addVariant(value);
                    rs->noteLength(at, i, value);
                    continue;
                }
                const Recordset::RawCell cell = read->rawCell(i);
                switch (cell.kind) {
                case Recordset::RawCell::Null:
                    row.addNull();
                    break;
                case Recordset::RawCell::Integer:
                    row.addInteger(cell.integer);
                    rs->noteDigits(at, i, cell.integer);
                    break;
                case Recordset::RawCell::Real:
                    row.addReal(cell.real);
                    break;
                case Recordset::RawCell::Text:
                    row.addText(cell.bytes, cell.size);
                    rs->noteLength(at, i, qsizetype(cell.size));
                    break;
                case Recordset::RawCell::Blob:
                    row.addBytes(cell.bytes, cell.size);
                    rs->noteLength(at, i, qsizetype(2 * cell.size + 2));
                    break;
                }
            }
            Record record;
            record.values = row.take(rs->m_arena);
            rs->m_records << std::move(record);
            if (progress && rs->m_records.size() % 1024 == 0 && progress(rs->m_records.size())) {
                // The rows not read are not wanted: the server is told so rather than read through.
                if (PGconn* conn = connection.engine() == Engine::Postgres
                                       ? postgresConnection(connection.database())
                                       : nullptr)
                    PostgresWait::cancel(conn);
                break;
            }
            read->moveNext();
        }
    }
    rs->learnTable(sql);
    return rs;
}

void UpdatableRecordset::noteDigits(int record, int field, qlonglong number) {
    qsizetype length = 0;
    for (qint64 n = number; n != 0; n /= 10)
        ++length;
    noteLength(record, field, length);
}

void UpdatableRecordset::noteLength(int record, int field, qsizetype length) {
    if (m_longest.size() <= field)
        m_longest.resize(field + 1, {-1, 0});
    if (length > m_longest[field].second)
        m_longest[field] = {record, length};
}

void UpdatableRecordset::noteLength(int record, int field, const QVariant& value) {
    qsizetype length = 0;
    switch (value.typeId()) {
    case QMetaType::QString:
        length = value.toString().size();
        break;
    case QMetaType::QByteArray:
        length = 2 * value.toByteArray().size() + 2; // shown as hex
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
        for (qint64 n = value.toLongLong(); n != 0; n /= 10)
            ++length;
        break;
    default:
        return; // dates and doubles show in a width of their own
    }
    if (m_longest.size() <= field)
        m_longest.resize(field + 1, {-1, 0});
    if (length > m_longest[field].second)
        m_longest[field] = {record, length};
}

void UpdatableRecordset::learnTable(const QString& sql) {
    if (m_connection.route().readOnly) {
        m_readOnlyReason = QStringLiteral("這個資料來源是唯讀的。");
        return;
    }
    m_table = TableReference::ofSelect(sql, &m_readOnlyReason);
    if (m_table.isEmpty())
        return;
    QSqlDatabase db = m_connection.database();
    const QSqlRecord tableRecord = db.record(sqlTable());
    if (tableRecord.isEmpty()) {
        m_readOnlyReason = QStringLiteral("結果是唯讀的: 找不到資料表 %1。").arg(table());
        m_table = {};
        return;
    }
    bool driverNamesTables = false;
    for (const Column& c : m_columns)
        driverNamesTables |= !c.field.baseTable.isEmpty();
    for (Column& c : m_columns) {
        const QString name = c.field.baseColumn.isEmpty() ? c.field.name : c.field.baseColumn;
        const int at = tableRecord.indexOf(name);
        const QString base = c.field.baseTable;
        const bool sameTable = !driverNamesTables ||
                               base.compare(m_table.tableName(), Qt::CaseInsensitive) == 0 ||
                               base.compare(table(), Qt::CaseInsensitive) == 0 ||
                               table().endsWith(u'.' + base, Qt::CaseInsensitive);
        if (at < 0 || !sameTable)
            continue;
        const QSqlField column = tableRecord.field(at);
        c.writable = true;
        c.tableColumn = column.name();
        c.field.attributes = column.requiredStatus() == QSqlField::Required ? 0 : AdoType::MayBeNull;
        c.field.autoIncrement = c.field.autoIncrement || column.isAutoValue();
    }
    const ServerKind server = m_connection.serverKind();
    if (server == ServerKind::Postgres)
        learnServerTypes();
    for (Column& c : m_columns)
        if (c.field.autoIncrement)
            c.field.attributes = 0;
    const QSqlIndex key = db.primaryIndex(sqlTable());
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
    if (writableFields().isEmpty())
        m_readOnlyReason = QStringLiteral("結果是唯讀的: 沒有一個欄位直接來自資料表 %1。").arg(table());
    m_returning = server == ServerKind::Postgres ||
                  (server == ServerKind::Sqlite && sqlite3_libversion_number() >= 3035000);
}

void UpdatableRecordset::learnServerTypes() {
    // Columns the server numbers itself (identity, a sequence default) are not asked for on insert;
    // generated columns cannot be written at all. Types are taken without their length or scale:
    // a cast to varchar(20) would cut a longer value silently where the column refuses it.
    QSqlQuery q(m_connection.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT a.attname, format_type(a.atttypid, NULL), "
        "CASE WHEN a.attidentity <> '' OR COALESCE(pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%' "
        "THEN 1 ELSE 0 END, CASE WHEN a.attgenerated <> '' THEN 1 ELSE 0 END "
        "FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped"));
    q.addBindValue(sqlTable());
    if (!q.exec())
        return;
    while (q.next())
        for (Column& c : m_columns)
            if (c.writable && c.tableColumn == q.value(0).toString()) {
                c.serverType = q.value(1).toString();
                c.field.autoIncrement = c.field.autoIncrement || q.value(2).toInt() != 0;
                c.writable = q.value(3).toInt() == 0;
            }
}

QString UpdatableRecordset::sqlTable() const {
    return m_table.sqlName(m_connection.database().driver(), m_connection.serverKind());
}

QString UpdatableRecordset::sqlColumn(int field) const {
    return m_connection.database().driver()->escapeIdentifier(m_columns[field].tableColumn,
                                                              QSqlDriver::FieldName);
}

QString UpdatableRecordset::parameter(int field) const {
    const QString& type = m_columns[field].serverType;
    return type.isEmpty() ? QStringLiteral("?") : QStringLiteral("CAST(? AS %1)").arg(type);
}

QList<int> UpdatableRecordset::writableFields() const {
    QList<int> fields;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].writable)
            fields << i;
    return fields;
}

QString UpdatableRecordset::whereOf(const QVariantList& values, const QList<int>& also,
                                    QVariantList* bound) const {
    QList<int> fields = m_keyFields.isEmpty() ? writableFields() : m_keyFields;
    for (int f : also)
        if (!fields.contains(f))
            fields << f;
    QStringList terms;
    for (int f : fields) {
        if (values[f].isNull()) {
            terms << sqlColumn(f) + QStringLiteral(" IS NULL");
        } else if (comparedAsText(m_columns[f].serverType)) {
            terms << QStringLiteral("CAST(%1 AS text) = ?").arg(sqlColumn(f));
            *bound << values[f].toString();
        } else {
            terms << sqlColumn(f) + QStringLiteral(" = ") + parameter(f);
            *bound << values[f];
        }
    }
    return terms.join(QStringLiteral(" AND "));
}

QString UpdatableRecordset::returningClause() const {
    if (!m_returning)
        return {};
    QStringList names;
    for (int f : writableFields())
        names << sqlColumn(f);
    return QStringLiteral(" RETURNING ") + names.join(QStringLiteral(", "));
}

QVariantList UpdatableRecordset::writeOneRow(const QString& sql, const QVariantList& bound,
                                             const QString& verb, bool located) {
    WriteGuard guard(m_connection);
    if (!guard.canUndo() && !located)
        throw AppError(
            ErrNo::DbStatementRejected,
            QStringLiteral("%1未送出: 資料表 %2 讀出的欄位中沒有主鍵, 而這個連線無法開啟交易或儲存點, "
                           "無法收回影響一筆以上資料列的變更。")
                .arg(verb, table()));
    QSqlDatabase db = m_connection.database();
    auto query = std::make_unique<QSqlQuery>(db);
    query->setForwardOnly(true);
    const Engine engine = m_connection.engine();
    bool done = waitForDriver(*query, engine, [&] { return query->prepare(sql); });
    for (const QVariant& v : bound)
        query->addBindValue(v);
    done = done && runStatement(*query, engine);
    m_waitGaveUp = !done && waitGaveUp(query->lastError());
    if (!done) {
        // Taken back before the statement is let go: a server in a failed transaction refuses even
        // to let go of the statement.
        const QString text = failureText(query->lastError(), db);
        query->finish();
        guard.undo();
        query.reset();
        throw Errors::statementRejected(text);
    }
    qint64 touched = 0;
    QVariantList row;
    if (query->isSelect()) {
        QList<FieldInfo> fields;
        for (int f : writableFields())
            fields << m_columns[f].field;
        Recordset returned(std::move(query), fields);
        if (m_serverText)
            returned.readPostgresText();
        for (; !returned.eof(); returned.moveNext(), ++touched)
            if (touched == 0)
                for (int i = 0; i < fields.size(); ++i)
                    row << returned.exactValue(i);
    } else {
        touched = query->numRowsAffected();
        query.reset();
    }
    if (touched == 1) {
        guard.keep();
        return row;
    }
    const QString undoFailed = guard.undo();
    if (!undoFailed.isEmpty())
        throw AppError(kTooManyRows, QStringLiteral("%1影響了 %3 的 %2 筆資料列而不是一筆, 且無法收回 (%4): "
                                                    "這些資料列可能已被變更。")
                                         .arg(verb)
                                         .arg(touched)
                                         .arg(table(), undoFailed));
    if (touched == 0)
        throw AppError(kRowNotLocated,
                       QStringLiteral("找不到要更新的資料列: 自上次讀取後, 有些值可能已被變更。"));
    throw AppError(kTooManyRows,
                   QStringLiteral("%1會影響 %3 中值相同的 %2 筆資料列而不是一筆, 未做任何變更。")
                       .arg(verb)
                       .arg(touched)
                       .arg(table()));
}

bool UpdatableRecordset::reread(QVariantList& values, const QString& where, const QVariantList& bound) {
    const QList<int> fields = writableFields();
    QStringList names;
    for (int f : fields)
        names << sqlColumn(f);
    QSqlQuery q(m_connection.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                       .arg(names.join(QStringLiteral(", ")), sqlTable(), where)))
        return false;
    for (const QVariant& v : bound)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return false;
    for (int i = 0; i < fields.size(); ++i)
        values[fields[i]] = q.value(i);
    return true;
}

QVariant UpdatableRecordset::value(int record, int field) const {
    const Record& r = m_records.at(record);
    const auto edit = r.edits.constFind(field);
    return edit != r.edits.cend() ? *edit : r.values.at(field);
}

QList<int> UpdatableRecordset::unsavedRecords() const {
    QList<int> records;
    for (int i = 0; i < m_records.size(); ++i)
        if (isUnsaved(i))
            records << i;
    return records;
}

QString UpdatableRecordset::describeUnsaved(int record) const {
    const Record& r = m_records.at(record);
    QList<int> fields = r.edits.keys();
    std::sort(fields.begin(), fields.end());
    QStringList parts;
    for (int f : fields)
        parts << m_columns[f].field.name + u'=' + shortText(r.edits[f]);
    // The key the record had in the table tells which row the changes were for.
    QStringList key;
    for (int f : r.isNew ? QList<int>() : m_keyFields)
        key << m_columns[f].field.name + u'=' + shortText(r.values[f]);
    return (key.isEmpty() ? QString() : QStringLiteral("(%1) ").arg(key.join(QStringLiteral(", ")))) +
           parts.join(QStringLiteral(", "));
}

void UpdatableRecordset::requireWritable(int field) const {
    if (!m_readOnlyReason.isEmpty())
        throw AppError(ErrNo::DbStatementRejected, m_readOnlyReason);
    if (field < 0 || field >= m_columns.size() || !m_columns[field].writable)
        throw AppError(ErrNo::DbStatementRejected,
                       QStringLiteral("欄位 %1 不能變更: 它不是資料表 %2 中可寫入的欄位。")
                           .arg(field >= 0 && field < m_columns.size() ? m_columns[field].field.name
                                                                       : QString::number(field),
                                table()));
}

void UpdatableRecordset::setValue(int record, int field, const QString& text) {
    if (record < 0 || record >= m_records.size())
        throw Errors::noCurrentRecord();
    requireWritable(field);
    const Column& c = m_columns[field];
    m_records[record].edits.insert(field,
                                   typedValue(text, c.field.type, c.field.name, m_connection.serverKind()));
}

int UpdatableRecordset::addNew() {
    Record record;
    record.isNew = true;
    record.values = QVariantList(m_columns.size());
    m_records << std::move(record);
    return int(m_records.size()) - 1;
}

bool UpdatableRecordset::discard(int record) {
    Record& r = m_records[record];
    r.edits.clear();
    return r.isNew;
}

void UpdatableRecordset::save(int record) {
    if (record < 0 || record >= m_records.size())
        throw Errors::noCurrentRecord();
    Record& r = m_records[record];
    if (r.isNew)
        insert(r);
    else if (!r.edits.isEmpty())
        update(r);
}

void UpdatableRecordset::saveTogether(const QList<int>& records,
                                      const std::function<void(int record, const AppError&)>& refused) {
    // Engines whose transaction state can be asked nest each row's savepoint in the group's
    // transaction; elsewhere every row keeps a transaction of its own.
    std::unique_ptr<WriteGuard> group;
    if (records.size() > 1 && m_connection.serverKind() != ServerKind::Other) {
        group = std::make_unique<WriteGuard>(m_connection);
        if (!group->canUndo())
            group.reset();
    }
    QHash<int, Record> before;
    for (int record : records) {
        if (group && record >= 0 && record < m_records.size())
            before.insert(record, m_records[record]);
        m_waitGaveUp = false;
        try {
            save(record);
        } catch (...) {
            const AppError error = currentError(std::current_exception());
            if (!m_waitGaveUp) {
                refused(record, error);
                continue;
            }
            // The table was held by someone else, or the operator stopped the wait: that says
            // nothing of this row, so the rows are not refused one by one but left as typed.
            if (!group)
                throw AppError(error.number(),
                               error.description() + QStringLiteral(" 未寫入的資料列保留輸入的值。"));
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                m_records[it.key()] = it.value();
            group->undo();
            throw AppError(error.number(),
                           error.description() + QStringLiteral(" 所有資料列都未寫入, 保留輸入的值。"));
        }
    }
    if (!group)
        return;
    try {
        group->keep();
    } catch (const AppError& error) {
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            m_records[it.key()] = it.value();
        throw AppError(error.number(),
                       error.description() + QStringLiteral(" 所有資料列都未寫入, 保留輸入的值。"));
    }
}

void UpdatableRecordset::update(Record& record) {
    if (record.unlocatable)
        throw unlocatableError();
    QList<int> changed = record.edits.keys();
    std::sort(changed.begin(), changed.end());
    QStringList sets;
    QVariantList bound;
    for (int f : changed) {
        requireWritable(f);
        sets << sqlColumn(f) + QStringLiteral(" = ") + parameter(f);
        bound << record.edits[f];
    }
    const QString where = whereOf(record.values, changed, &bound);
    const QVariantList returned = writeOneRow(
        QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(sqlTable(), sets.join(QStringLiteral(", ")), where) +
            returningClause(),
        bound, QStringLiteral("更新"), !m_keyFields.isEmpty());
    QVariantList values = record.values;
    for (int f : changed)
        values[f] = record.edits[f];
    const QList<int> writable = writableFields();
    if (!returned.isEmpty()) {
        for (int i = 0; i < writable.size(); ++i)
            values[writable[i]] = returned[i];
    } else {
        QVariantList again;
        const QString found = whereOf(values, {}, &again);
        reread(values, found, again);
    }
    record.values = values;
    record.edits.clear();
}

void UpdatableRecordset::insert(Record& record) {
    if (!m_readOnlyReason.isEmpty())
        throw AppError(ErrNo::DbStatementRejected, m_readOnlyReason);
    QList<int> given = record.edits.keys();
    std::sort(given.begin(), given.end());
    QStringList names, marks;
    QVariantList bound;
    for (int f : given) {
        requireWritable(f);
        names << sqlColumn(f);
        marks << parameter(f);
        bound << record.edits[f];
    }
    const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(sqlTable())
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                              .arg(sqlTable(), names.join(QStringLiteral(", ")),
                                                   marks.join(QStringLiteral(", ")));
    const QVariantList returned = writeOneRow(sql + returningClause(), bound, QStringLiteral("新增"), true);
    QVariantList values = record.values;
    for (int f : given)
        values[f] = record.edits[f];
    const QList<int> writable = writableFields();
    record.unlocatable = false;
    if (!returned.isEmpty()) {
        for (int i = 0; i < writable.size(); ++i)
            values[writable[i]] = returned[i];
    } else if (!identifyNewRow(values, given)) {
        record.unlocatable = true;
    }
    record.values = values;
    record.edits.clear();
    record.isNew = false;
}

AppError UpdatableRecordset::unlocatableError() const {
    return AppError(kTooManyRows,
                    QStringLiteral("%1 的新資料列與值相同的資料列無法區分, 須重新讀取 (F5) 後才能變更; "
                                   "未做任何變更。")
                        .arg(table()));
}

bool UpdatableRecordset::identifyNewRow(QVariantList& values, const QList<int>& given) {
    QSqlDatabase db = m_connection.database();
    // A number the engine gave the row.
    for (int f : writableFields()) {
        if (!m_columns[f].field.autoIncrement || given.contains(f) || Dialect().IdentityQuery.isEmpty())
            continue;
        QSqlQuery identity(db);
        if (!identity.exec(Dialect().IdentityQuery) || !identity.next() || identity.value(0).isNull())
            break;
        values[f] = identity.value(0);
        return reread(values, sqlColumn(f) + QStringLiteral(" = ?"), {values[f]});
    }
    // SQLite's own number of the row just inserted.
    if (m_connection.serverKind() == ServerKind::Sqlite &&
        reread(values, QStringLiteral("rowid = last_insert_rowid()"), {}))
        return true;
    // The whole key, given by the operator.
    if (!m_keyFields.isEmpty() &&
        std::all_of(m_keyFields.begin(), m_keyFields.end(), [&](int f) { return given.contains(f); })) {
        QVariantList bound;
        const QString where = whereOf(values, {}, &bound);
        reread(values, where, bound);
        return true;
    }
    return false;
}

void UpdatableRecordset::deleteFromTable(int record) {
    if (record < 0 || record >= m_records.size())
        throw Errors::noCurrentRecord();
    const Record& r = m_records[record];
    if (r.isNew)
        return;
    if (!m_readOnlyReason.isEmpty())
        throw AppError(ErrNo::DbStatementRejected, m_readOnlyReason);
    if (r.unlocatable)
        throw unlocatableError();
    QVariantList bound;
    const QString where = whereOf(r.values, {}, &bound);
    writeOneRow(QStringLiteral("DELETE FROM %1 WHERE %2").arg(sqlTable(), where), bound,
                QStringLiteral("刪除"), !m_keyFields.isEmpty());
}
