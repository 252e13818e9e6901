#pragma once

#include "db/engine_route.h"
#include "db/recordset.h"

#include <QList>
#include <QSqlDatabase>

class QSqlDriver;
class QSqlError;
#include <QString>

#include <functional>
#include <memory>

// One row of the tables catalogue: catalog, schema, name and type ("TABLE", "VIEW",
// "SYSTEM TABLE", ...), as the standard tables rowset lists them.
// name is the table as the operator reads it; sqlName the same table as SQL writes it, quoted
// where the name is no plain identifier and qualified where the session would not find it bare.
struct CatalogRow {
    QVariant catalog;
    QVariant schema;
    QVariant name;
    QVariant type;
    QString sqlName;
};

// The name as SQL writes it: as it is when it is a plain identifier (letters, digits and "_",
// not a keyword), else quoted in the driver's way, so that one name is always one table.
QString sqlIdentifier(const QString& name, const QSqlDriver* driver);

// A database connection opened from an ADO-style connection string.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Throws AppError with the driver's text when the connection cannot be opened.
    void open(const QString& connectionString, int commandTimeoutSeconds = 0);
    void close();
    bool isOpen() const;

    QString provider() const { return m_route.provider; }
    QString connectionString() const { return m_connectionString; }
    QString dataSource() const { return m_route.dataSource; }
    const EngineRoute& route() const { return m_route; }
    // The kind of server the connection reaches, for SQL that differs between them.
    ServerKind serverKind() const { return m_serverKind; }
    Engine engine() const { return m_route.engine; }
    int commandTimeout() const { return m_commandTimeout; }

    // Runs a statement. The recordset is open only when rows came back; recordsAffected receives
    // the count of changed rows (-1 when the driver cannot tell).
    std::unique_ptr<Recordset> execute(const QString& sql, qint64* recordsAffected = nullptr);
    // The tables catalogue, in the order the data source lists it.
    QList<CatalogRow> tables();

    // For the layer's own statement code.
    QSqlDatabase database() const;
    // The rows of a query the layer ran itself, read as execute() reads them.
    std::unique_ptr<Recordset> adopt(std::unique_ptr<QSqlQuery> query);

private:
    QString m_name;
    QString m_connectionString;
    EngineRoute m_route;
    int m_commandTimeout = 0;
    ServerKind m_serverKind = ServerKind::Other;
};

// Runs a query: the text given, or the statement prepared when sql is null. Through ODBC and
// PostgreSQL the driver works on a thread of its own while the window answers, and Esc cancels the
// statement on the server; SQLite calls back into the window from its own waits.
bool runStatement(QSqlQuery& query, Engine engine, const QString& sql = QString());
// The same for any call into the query's driver that may wait on the server (prepare, next result).
bool waitForDriver(QSqlQuery& query, Engine engine, const std::function<bool()>& call);
// Whether a statement failed because it waited in vain (a lock held elsewhere, a deadlock) or the
// operator stopped it, rather than because the database refused it.
bool waitGaveUp(const QSqlError& error);

// The engine of an open database, for code that holds the database rather than the connection.
Engine engineOf(const QSqlDatabase& db);

// Sets up the engines' libraries before their first use: SQLite keeps no statistics of its memory,
// which would take a lock around every allocation it makes (a tenth of the time of an INSERT).
void prepareEngineLibraries();

struct sqlite3;
// The SQLite connection under a connection opened with Qt's SQLite driver; null for others.
sqlite3* sqliteConnection(const QSqlDatabase& db);

struct pg_conn;
// The libpq connection under a connection opened with Qt's PostgreSQL driver; null for others.
pg_conn* postgresConnection(const QSqlDatabase& db);

// The driver's or server's text of a failure, never blank: when the driver gives none, what the
// connection's state tells (a lost server, above all).
QString failureText(const QSqlError& error, const QSqlDatabase& db);
