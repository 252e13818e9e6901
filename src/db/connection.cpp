#include "db/connection.h"

#include "app/errors.h"
#include "app/program_info.h"
#include "db/ado_types.h"
#include "db/driver_wait.h"
#include "db/odbc_catalog.h"
#include "db/script_syntax.h"
#include "db/server_reach.h"
#include "db/sql_text.h"
#include "db/statement_wait.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <QThread>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {
// Runs the window's events while SQLite works, and stops the statement when the operator asks,
// unless it is one of transaction control, which always finishes.
int sqliteProgress(void* handle) {
    if (!StatementWait::stopAsked())
        return 0;
    auto* db = static_cast<sqlite3*>(handle);
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
        if (sqlite3_stmt_busy(s) &&
            scriptStatementKind(QString::fromUtf8(sqlite3_sql(s)).trimmed(), ServerKind::Sqlite) ==
                ScriptStatementKind::TransactionControl)
            return 0;
    StatementWait::noteCancelled();
    return 1;
}

// Another program holds the database locked: the wait goes in short steps while the window
// answers, and ends when the operator asks to stop or the connection's timeout has passed; the
// statement then fails as "database is locked".
int sqliteBusy(void*, int count) {
    thread_local QElapsedTimer waited;
    if (count == 0)
        waited.start();
    // Once the operator has stopped the command, nothing in it waits for a lock any more.
    if (waited.elapsed() >= kConnectTimeoutSeconds * 1000 || StatementWait::cancelled())
        return 0;
    QThread::msleep(20);
    if (StatementWait::stopAsked()) {
        StatementWait::noteCancelled();
        return 0;
    }
    return 1;
}

QString nextConnectionName() {
    static QAtomicInt counter;
    return QStringLiteral("orvik-%1").arg(counter.fetchAndAddRelaxed(1));
}

template <typename T> T nativeHandle(const QVariant& handle) {
    if (!handle.isValid() || !handle.data())
        return nullptr;
    return *static_cast<T const*>(handle.constData());
}

// SQLite keeps the declared type and the origin of each result column.
void describeSqliteColumns(sqlite3* handle, sqlite3_stmt* stmt, QList<FieldInfo>& fields) {
    if (!stmt || !handle)
        return;
    for (int i = 0; i < fields.size() && i < sqlite3_column_count(stmt); ++i) {
        FieldInfo& field = fields[i];
        if (const char* declared = sqlite3_column_decltype(stmt, i)) {
            const int code = AdoType::fromDeclaredType(QString::fromUtf8(declared));
            if (code != AdoType::Empty)
                field.type = code;
        }
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* column = sqlite3_column_origin_name(stmt, i);
        const char* schema = sqlite3_column_database_name(stmt, i);
        if (!table || !column)
            continue;
        field.baseTable = QString::fromUtf8(table);
        field.baseColumn = QString::fromUtf8(column);
        const char* type = nullptr;
        int notNull = 0, primaryKey = 0, autoInc = 0;
        if (sqlite3_table_column_metadata(handle, schema, table, column, &type, nullptr, &notNull,
                                          &primaryKey, &autoInc) == SQLITE_OK) {
            field.attributes = notNull ? 0 : AdoType::MayBeNull;
            // An INTEGER PRIMARY KEY is the row id: the engine fills it like an identity.
            field.autoIncrement = autoInc || (primaryKey && type &&
                                              QString::fromUtf8(type).compare(QLatin1String("INTEGER"),
                                                                              Qt::CaseInsensitive) == 0);
            if (field.autoIncrement)
                field.attributes = 0;
        }
    }
}

QList<FieldInfo> describeFields(const QSqlDatabase& db, const QSqlQuery& query) {
    const QSqlRecord record = query.record();
    const Engine engine = engineOf(db);
    QList<FieldInfo> fields;
    fields.reserve(record.count());
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField f = record.field(i);
        FieldInfo info;
        info.name = f.name();
        info.attributes = f.requiredStatus() == QSqlField::Required ? 0 : AdoType::MayBeNull;
        info.autoIncrement = f.isAutoValue();
        // Some drivers hand the table name over with stray bytes after a NUL.
        info.baseTable = f.tableName().section(QChar(0), 0, 0);
        if (engine == Engine::Postgres)
            info.type = AdoType::fromPostgresOid(f.typeID());
        else if (engine == Engine::Odbc)
            info.type = AdoType::fromOdbcSqlType(f.typeID());
        else if (engine == Engine::Mysql)
            info.type = AdoType::fromMysqlType(f.typeID());
        else
            info.type = AdoType::fromMetaType(f.metaType());
        fields << info;
    }
    if (engine == Engine::Sqlite)
        describeSqliteColumns(nativeHandle<sqlite3*>(db.driver()->handle()),
                              nativeHandle<sqlite3_stmt*>(query.result()->handle()), fields);
    return fields;
}

// A statement that returns rows, prepared on the engine itself so its rows are read without
// Qt's per-value copies; null when the statement returns no rows (the caller runs it through Qt).
std::unique_ptr<Recordset> sqliteRowsStatement(const QSqlDatabase& db, const QString& sql) {
    auto* handle = nativeHandle<sqlite3*>(db.driver()->handle());
    if (!handle)
        return nullptr;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        throw Errors::statementRejected(QString::fromUtf8(sqlite3_errmsg(handle)));
    if (!stmt)
        return nullptr; // only blanks or comments
    if (sqlite3_column_count(stmt) == 0) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    QList<FieldInfo> fields;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        FieldInfo info;
        info.name = QString::fromUtf8(sqlite3_column_name(stmt, i));
        info.attributes = AdoType::MayBeNull;
        info.type = AdoType::VarWChar;
        fields << info;
    }
    describeSqliteColumns(handle, stmt, fields);
    auto rows = std::make_unique<Recordset>(stmt, std::move(fields));
    // Columns without a declared type (expressions) take their type from the first value.
    for (int i = 0; i < rows->fieldCount() && !rows->eof(); ++i)
        if (!sqlite3_column_decltype(stmt, i)) {
            const Recordset::RawCell cell = rows->rawCell(i);
            rows->setFieldType(i, cell.kind == Recordset::RawCell::Integer ? AdoType::Integer
                                  : cell.kind == Recordset::RawCell::Real  ? AdoType::Double
                                  : cell.kind == Recordset::RawCell::Blob  ? AdoType::LongVarBinary
                                                                           : AdoType::VarWChar);
        }
    return rows;
}

bool isPlainIdentifier(const QString& name) {
    static const QStringList keywords = {
        "ALL",    "ALTER", "AND",   "AS",    "BY",    "CASE",   "CHECK",  "COLUMN", "CREATE", "DEFAULT",
        "DELETE", "DESC",  "DROP",  "FROM",  "GRANT", "GROUP",  "HAVING", "IN",     "INDEX",  "INSERT",
        "INTO",   "JOIN",  "KEY",   "LIMIT", "NOT",   "NULL",   "ON",     "OR",     "ORDER",  "PRIMARY",
        "SELECT", "SET",   "TABLE", "TO",    "UNION", "UNIQUE", "UPDATE", "USER",   "VALUES", "WHERE"};
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == u'_'))
        return false;
    for (const QChar c : name)
        if (!c.isLetterOrNumber() && c != u'_')
            return false;
    return !keywords.contains(name.toUpper());
}

ServerKind serverKindOf(const QSqlDatabase& db) {
    switch (engineOf(db)) {
    case Engine::Sqlite:
        return ServerKind::Sqlite;
    case Engine::Postgres:
        return ServerKind::Postgres;
    case Engine::Mysql:
        return ServerKind::Mysql;
    case Engine::Oracle:
        return ServerKind::Other;
    case Engine::Odbc:
        break;
    }
    const QString server = odbcServerName(db);
    if (server.startsWith(QLatin1String("PostgreSQL"), Qt::CaseInsensitive))
        return ServerKind::Postgres;
    if (server.startsWith(QLatin1String("SQLite"), Qt::CaseInsensitive))
        return ServerKind::Sqlite;
    if (server.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
        return ServerKind::SqlServer;
    if (server.startsWith(QLatin1String("MySQL"), Qt::CaseInsensitive) ||
        server.startsWith(QLatin1String("MariaDB"), Qt::CaseInsensitive))
        return ServerKind::Mysql;
    return ServerKind::Other;
}

QString sqliteCatalogType(const QString& type, const QString& name) {
    if (name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
        return type == QLatin1String("view") ? QStringLiteral("SYSTEM VIEW") : QStringLiteral("SYSTEM TABLE");
    return type.toUpper();
}
} // namespace

Engine engineOf(const QSqlDatabase& db) {
    static const QHash<QString, Engine> engines = {{QStringLiteral("QSQLITE"), Engine::Sqlite},
                                                   {QStringLiteral("QPSQL"), Engine::Postgres},
                                                   {QStringLiteral("QMYSQL"), Engine::Mysql},
                                                   {QStringLiteral("QOCI"), Engine::Oracle}};
    return engines.value(db.driverName(), Engine::Odbc);
}

Connection::Connection() : m_name(nextConnectionName()) {
}

Connection::~Connection() {
    close();
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_name, false);
}

bool Connection::isOpen() const {
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

void Connection::open(const QString& connectionString, int commandTimeoutSeconds) {
    close();
    m_connectionString = connectionString;
    m_commandTimeout = commandTimeoutSeconds;
    m_route = planRoute(connectionString, ProgramInfo::programFolder());
    if (m_route.engine == Engine::Sqlite && !QFileInfo(m_route.databaseName).isFile())
        throw AppError(ErrNo::DbOpenFailed,
                       QStringLiteral("SQLite 資料庫檔案不存在: ") + m_route.databaseName);

    // A server host that does not answer is found out while the window keeps answering, and the
    // operator may give the attempt up; the driver itself would hold the window until its timeout.
    if (!m_route.serverHost.isEmpty()) {
        const QString& host = m_route.serverHost;
        const int port = m_route.serverPort;
        switch (waitForServer(host, port, kConnectTimeoutSeconds)) {
        case ServerReach::Cancelled:
            throw AppError(3712, QStringLiteral("已放棄連接 (操作者取消)。"));
        case ServerReach::Silent:
            throw AppError(ErrNo::DbOpenFailed, QStringLiteral("伺服器 %1 (連接埠 %2) 在 %3 秒內沒有回應。")
                                                    .arg(host)
                                                    .arg(port)
                                                    .arg(kConnectTimeoutSeconds));
        case ServerReach::Answered:
        case ServerReach::Refused:
            break;
        }
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(m_route.qtDriver, m_name);
    if (!db.isValid())
        throw AppError(ErrNo::DbOpenFailed,
                       QStringLiteral("無法載入 Qt 資料庫驅動程式 %1。").arg(m_route.qtDriver));
    db.setDatabaseName(m_route.databaseName);
    if (!m_route.host.isEmpty())
        db.setHostName(m_route.host);
    if (m_route.port > 0)
        db.setPort(m_route.port);
    db.setUserName(m_route.user);
    db.setPassword(m_route.password);
    QString options = m_route.connectOptions;
    if (m_route.engine == Engine::Odbc)
        options = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(kConnectTimeoutSeconds) +
                  (m_route.readOnly ? QStringLiteral(";SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY") : QString());
    else if (m_route.engine == Engine::Sqlite)
        options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kConnectTimeoutSeconds * 1000);
    db.setConnectOptions(options);
    if (!db.open()) {
        const QString text = db.lastError().text();
        db = QSqlDatabase();
        close();
        throw Errors::fromEngine(ErrNo::DbOpenFailed, QStringLiteral("無法開啟資料庫連線"), text);
    }
    m_serverKind = serverKindOf(db);
    // SQLite reads the file only when first asked: a file that is no database is refused here,
    // as a failed open, not at the first statement.
    if (m_route.engine == Engine::Sqlite) {
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const QString text = probe.lastError().text();
            probe = QSqlQuery();
            db = QSqlDatabase();
            close();
            throw Errors::fromEngine(ErrNo::DbOpenFailed, QStringLiteral("無法開啟 SQLite 資料庫"), text);
        }
    }
    if (sqlite3* handle = sqliteConnection(db)) {
        sqlite3_progress_handler(handle, 4096, sqliteProgress, handle);
        sqlite3_busy_handler(handle, sqliteBusy, handle);
    }
}

void prepareEngineLibraries() {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); // refused, harmlessly, once SQLite has started
}

sqlite3* sqliteConnection(const QSqlDatabase& db) {
    return engineOf(db) == Engine::Sqlite ? nativeHandle<sqlite3*>(db.driver()->handle()) : nullptr;
}

pg_conn* postgresConnection(const QSqlDatabase& db) {
    if (engineOf(db) != Engine::Postgres)
        return nullptr;
    const QVariant handle = db.driver()->handle();
    return handle.isValid() && handle.constData() ? *static_cast<PGconn* const*>(handle.constData())
                                                  : nullptr;
}

QString sqlIdentifier(const QString& name, const QSqlDriver* driver) {
    return isPlainIdentifier(name) ? name : driver->escapeIdentifier(name, QSqlDriver::TableName);
}

QString failureText(const QSqlError& error, const QSqlDatabase& db) {
    QString text = error.text().trimmed();
    if (text.isEmpty())
        text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (engineOf(db) == Engine::Postgres) {
        PGconn* conn = postgresConnection(db);
        if (conn && text.isEmpty())
            text = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        if (!conn || PQstatus(conn) == CONNECTION_BAD)
            text = QStringLiteral("與 PostgreSQL 伺服器的連線已中斷") +
                   (text.isEmpty() ? QStringLiteral("。") : QStringLiteral(": ") + text);
    }
    if (text.isEmpty() && !db.isOpen())
        text = QStringLiteral("資料庫連線已關閉。");
    return text.isEmpty() ? QStringLiteral("(資料庫沒有說明原因)") : text;
}

void Connection::close() {
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

std::unique_ptr<Recordset> Connection::execute(const QString& sql, qint64* recordsAffected) {
    if (!isOpen())
        throw Errors::connectionUnusable();
    QSqlDatabase db = database();
    const Engine engine = engineOf(db);
    if (engine == Engine::Sqlite) {
        if (auto rows = sqliteRowsStatement(db, sql)) {
            if (recordsAffected)
                *recordsAffected = -1;
            return rows;
        }
    }
    // psqlODBC spins for ever on a COPY that sends its rows to or from the client.
    if (engine == Engine::Odbc && m_serverKind == ServerKind::Postgres && copiesThroughClient(sql.trimmed()))
        throw AppError(
            ErrNo::DbStatementRejected,
            QStringLiteral("經由 ODBC 無法執行 COPY ... FROM STDIN / TO STDOUT, 未執行: 請以 PostgreSQL "
                           "連線字串直接連線, 或改用 INSERT 與 SELECT"));
    auto query = std::make_unique<QSqlQuery>(db);
    query->setForwardOnly(true);
    // Decimals through ODBC come as the driver's text, every digit kept, not as doubles.
    if (engine == Engine::Odbc)
        query->setNumericalPrecisionPolicy(QSql::HighPrecision);
    // SQLite keeps the count of the last statement that changed rows: a BEGIN or CREATE after an
    // UPDATE would report the UPDATE's count. The engine's running total tells whether this one did.
    auto* sqlite = engine == Engine::Sqlite ? nativeHandle<sqlite3*>(db.driver()->handle()) : nullptr;
    const qint64 changesBefore = sqlite ? sqlite3_total_changes64(sqlite) : 0;
    if (!runStatement(*query, engine, sql))
        throw Errors::statementRejected(failureText(query->lastError(), db));
    if (recordsAffected)
        *recordsAffected = query->isSelect() ? -1
                           : sqlite && sqlite3_total_changes64(sqlite) == changesBefore
                               ? 0
                               : query->numRowsAffected();
    return adopt(std::move(query));
}

bool waitForDriver(QSqlQuery& query, Engine engine, const std::function<bool()>& call) {
    switch (engine) {
    case Engine::Odbc:
        return DriverWait::run(call, [&query] { return DriverWait::cancelOdbcStatement(query); });
    case Engine::Postgres: {
        // The cancel request travels on a connection of its own, so it may be sent while the
        // statement's connection waits.
        PGconn* conn = query.driver() ? nativeHandle<PGconn*>(query.driver()->handle()) : nullptr;
        PGcancel* request = conn ? PQgetCancel(conn) : nullptr;
        if (!request)
            return call();
        const std::unique_ptr<PGcancel, void (*)(PGcancel*)> owned(request, PQfreeCancel);
        return DriverWait::run(call, [request] {
            char why[256];
            PQcancel(request, why, sizeof why);
            return true;
        });
    }
    case Engine::Sqlite: // the engine calls back into the window from its own waits
    case Engine::Mysql:
    case Engine::Oracle:
        break;
    }
    return call();
}

bool runStatement(QSqlQuery& query, Engine engine, const QString& sql) {
    return waitForDriver(query, engine, [&] { return sql.isNull() ? query.exec() : query.exec(sql); });
}

bool waitGaveUp(const QSqlError& error) {
    if (StatementWait::cancelled())
        return true;
    const QString code = error.nativeErrorCode();
    bool number = false;
    const int sqliteCode = code.toInt(&number) & 0xFF;
    if (number)
        return sqliteCode == SQLITE_BUSY || sqliteCode == SQLITE_LOCKED;
    // PostgreSQL's and ODBC's states: a lock not granted, a deadlock, a serialization failure,
    // a statement cancelled or timed out.
    for (const char* state : {"55P03", "40P01", "40001", "57014", "HY008", "HYT00"})
        if (code == QLatin1String(state))
            return true;
    return false;
}

std::unique_ptr<Recordset> Connection::adopt(std::unique_ptr<QSqlQuery> query) {
    QSqlDatabase db = database();
    QList<FieldInfo> fields = query->isSelect() ? describeFields(db, *query) : QList<FieldInfo>();
    auto rows = std::make_unique<Recordset>(std::move(query), std::move(fields));
    if (engineOf(db) == Engine::Postgres)
        rows->readPostgresText();
    return rows;
}

QList<CatalogRow> Connection::tables() {
    if (!isOpen())
        throw Errors::connectionUnusable();
    QSqlDatabase db = database();
    const Engine engine = engineOf(db);
    if (engine == Engine::Odbc) {
        QList<CatalogRow> rows = odbcTablesCatalogue(db);
        for (CatalogRow& row : rows)
            row.sqlName = sqlIdentifier(row.name.toString(), db.driver());
        return rows;
    }

    QList<CatalogRow> rows;
    QString sql;
    if (engine == Engine::Sqlite)
        sql = QStringLiteral(
            "SELECT NULL, NULL, name, type FROM sqlite_master WHERE type IN ('table', 'view') "
            "ORDER BY CASE WHEN name LIKE 'sqlite\\_%' ESCAPE '\\' THEN 1 ELSE 0 END, type, name");
    else if (engine == Engine::Postgres)
        // Tables the session finds bare keep their bare names; the others are named with their
        // schema, as SQL must name them.
        sql = QStringLiteral(
            "SELECT t.table_catalog, t.table_schema, "
            "CASE WHEN pg_table_is_visible(c.oid) THEN t.table_name "
            "ELSE quote_ident(t.table_schema) || '.' || quote_ident(t.table_name) END, "
            "CASE WHEN t.table_schema IN ('pg_catalog', 'information_schema') THEN 'SYSTEM ' ELSE '' END || "
            "CASE t.table_type WHEN 'BASE TABLE' THEN 'TABLE' WHEN 'LOCAL TEMPORARY' THEN 'LOCAL TEMPORARY' "
            "ELSE t.table_type END AS table_type, "
            "CASE WHEN pg_table_is_visible(c.oid) THEN quote_ident(t.table_name) "
            "ELSE quote_ident(t.table_schema) || '.' || quote_ident(t.table_name) END "
            "FROM information_schema.tables t JOIN pg_namespace n ON n.nspname = t.table_schema "
            "JOIN pg_class c ON c.relnamespace = n.oid AND c.relname = t.table_name ORDER BY 4, 1, 2, 3");
    else if (engine == Engine::Mysql)
        sql = QStringLiteral("SELECT table_catalog, table_schema, table_name, "
                             "CASE table_type WHEN 'BASE TABLE' THEN 'TABLE' ELSE table_type END "
                             "FROM information_schema.tables WHERE table_schema = DATABASE() ORDER BY 4, 3");
    if (sql.isEmpty()) {
        for (const QString& name : db.tables(QSql::Tables))
            rows.append(
                {QVariant(), QVariant(), name, QStringLiteral("TABLE"), sqlIdentifier(name, db.driver())});
        for (const QString& name : db.tables(QSql::Views))
            rows.append(
                {QVariant(), QVariant(), name, QStringLiteral("VIEW"), sqlIdentifier(name, db.driver())});
        return rows;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法讀取資料表清單"),
                                 query.lastError().text());
    while (query.next()) {
        QVariant type = query.value(3);
        if (engine == Engine::Sqlite)
            type = sqliteCatalogType(type.toString(), query.value(2).toString());
        const QString sqlName = engine == Engine::Postgres
                                    ? query.value(4).toString()
                                    : sqlIdentifier(query.value(2).toString(), db.driver());
        rows.append({query.value(0), query.value(1), query.value(2), type, sqlName});
    }
    return rows;
}
