#pragma once

#include <QString>

// The engine a connection is opened with: which of Qt's drivers, decided once by the route.
enum class Engine { Sqlite, Postgres, Odbc, Mysql, Oracle };

// The kind of server behind a connection, as far as the SQL it takes differs: decided once, from
// the Qt driver and, through ODBC, from the name the driver gives its server.
enum class ServerKind { Sqlite, Postgres, SqlServer, Mysql, Other };

// How an ADO-style connection string is opened on this platform: which Qt driver, with what
// settings, and which provider name the connection reports (the dialect test reads it).
struct EngineRoute {
    QString kind;     // what was asked for, for messages: "SQLite", "PostgreSQL", "SQL Server", ...
    QString qtDriver; // QSQLITE, QPSQL, QODBC, QMYSQL, QOCI
    Engine engine = Engine::Odbc;
    QString databaseName; // the file (SQLite), the database (PostgreSQL, MySQL) or the ODBC string
    QString host;
    int port = -1;
    QString user;
    QString password;
    QString connectOptions;
    QString provider;   // as the old data layer reported it
    QString dataSource; // the connection's "Data Source"
    bool readOnly = false;
    // The TCP address the driver will reach, where the string or its data source tells it: a
    // connection first tries it, so that a host that does not answer can be given up.
    QString serverHost;
    int serverPort = -1;
};

// The provider name the old layer reported for a string: "SQLOLEDB" reads "SQLOLEDB.1", "MSDASQL"
// or no Provider at all reads "MSDASQL.1", "MSDAORA" reads "MSDAORA.1", anything else as written.
QString reportedProviderName(const QString& connectionString);

// Decides the route; throws AppError (a failed open) naming what was asked for and which drivers
// are installed when no installed driver can open it. Relative SQLite and Access file names are
// taken from programFolder.
EngineRoute planRoute(const QString& connectionString, const QString& programFolder);

// Seconds a connection attempt may take.
inline constexpr int kConnectTimeoutSeconds = 9;
