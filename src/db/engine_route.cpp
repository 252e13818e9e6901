#include "db/engine_route.h"

#include "app/errors.h"
#include "db/connection_string.h"
#include "db/odbc_driver_registry.h"

#include <QDir>
#include <QSqlDatabase>
#include <QStringList>

namespace {
bool startsWith(const QString& text, const char* prefix) {
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}
bool mentions(const QString& text, const char* word) {
    return text.contains(QLatin1String(word), Qt::CaseInsensitive);
}

QString stripBraces(QString value) {
    value = value.trimmed();
    if (value.startsWith(u'{') && value.endsWith(u'}'))
        value = value.mid(1, value.size() - 2);
    return value;
}

[[noreturn]] void noDriver(const QString& asked, const QString& what) {
    const QStringList odbc = OdbcDriverRegistry::installedDrivers();
    throw AppError(
        ErrNo::DbOpenFailed,
        QStringLiteral("沒有已安裝的驅動程式能開啟%1 (連線參數指定: %2)。已安裝的 ODBC 驅動程式: %3; "
                       "已安裝的 Qt 資料庫驅動程式: %4。")
            .arg(what, asked, odbc.isEmpty() ? QStringLiteral("(無)") : odbc.join(QStringLiteral(", ")),
                 QSqlDatabase::drivers().join(QStringLiteral(", "))));
}

void requireQtDriver(const QString& driver, const QString& asked, const QString& what) {
    if (!QSqlDatabase::isDriverAvailable(driver))
        noDriver(asked, what);
}

// The value of the first of keys the string holds; a clear error naming them when it holds none.
QString required(const ConnectionString& cs, std::initializer_list<const char*> keys, const QString& what) {
    const QString value = cs.firstOf(keys).value_or(QString()).trimmed();
    if (!value.isEmpty())
        return value;
    QStringList names;
    for (const char* key : keys)
        names << QLatin1String(key) + u'=';
    throw AppError(ErrNo::DbOpenFailed,
                   QStringLiteral("連線參數沒有 %1 (或 %2): %3需要它。")
                       .arg(names.first(), names.mid(1).join(QStringLiteral(", ")), what));
}

// The Port= of the string, -1 when it has none; a clear error when it is no port number.
int portOf(const ConnectionString& cs) {
    const auto text = cs.value(QStringLiteral("Port"));
    if (!text)
        return -1;
    bool ok = false;
    const int port = text->trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw AppError(ErrNo::DbOpenFailed,
                       QStringLiteral("連線參數中的 Port=%1 不是連接埠號碼 (1 到 65535)。").arg(*text));
    return port;
}

QString odbcPair(const QString& key, const QString& value) {
    return key + u'=' + ConnectionString::quoteValue(value) + u';';
}

EngineRoute sqliteRoute(const ConnectionString& cs, const QString& programFolder) {
    EngineRoute route;
    route.kind = QStringLiteral("SQLite");
    route.qtDriver = QStringLiteral("QSQLITE");
    route.engine = Engine::Sqlite;
    const QString file = cs.firstOf({"Database", "Data Source", "DBQ"}).value_or(QString());
    if (file.isEmpty())
        throw AppError(ErrNo::DbOpenFailed, QStringLiteral("連線參數沒有指定 SQLite 資料庫檔案 "
                                                           "(Database=, Data Source= 或 DBQ=)。"));
    route.databaseName = QDir(programFolder).absoluteFilePath(file);
    route.dataSource = route.databaseName;
    return route;
}

void splitHostPort(const QString& server, QString* host, int* port) {
    *host = server;
    const qsizetype comma = server.lastIndexOf(u',');
    const qsizetype colon = server.lastIndexOf(u':');
    const qsizetype at = comma >= 0 ? comma : (colon > 0 && !server.contains(u'\\') ? colon : -1);
    if (at < 0)
        return;
    bool ok = false;
    const int value = server.mid(at + 1).trimmed().toInt(&ok);
    if (ok) {
        *host = server.left(at).trimmed();
        *port = value;
    }
}

EngineRoute postgresRoute(const ConnectionString& cs, const QString& asked) {
    requireQtDriver(QStringLiteral("QPSQL"), asked, QStringLiteral("PostgreSQL 資料庫"));
    EngineRoute route;
    route.kind = QStringLiteral("PostgreSQL");
    route.qtDriver = QStringLiteral("QPSQL");
    route.engine = Engine::Postgres;
    const QString what = QStringLiteral("PostgreSQL 連線");
    splitHostPort(required(cs, {"Server", "Host", "Data Source", "Address", "Servername"}, what), &route.host,
                  &route.port);
    if (const int port = portOf(cs); port > 0)
        route.port = port;
    route.databaseName = required(cs, {"Database", "Initial Catalog", "dbname"}, what);
    route.user = cs.firstOf({"Uid", "User ID", "User", "Username", "User Name"}).value_or(QString());
    route.password = cs.firstOf({"Pwd", "Password"}).value_or(QString());
    QStringList options{QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds)};
    if (const auto ssl = cs.firstOf({"SSLmode", "sslmode"}))
        options << QStringLiteral("sslmode=") + *ssl;
    route.connectOptions = options.join(u';');
    route.dataSource = route.host;
    return route;
}

EngineRoute mysqlRoute(const ConnectionString& cs, const QString& asked) {
    requireQtDriver(QStringLiteral("QMYSQL"), asked, QStringLiteral("MySQL 或 MariaDB 資料庫"));
    EngineRoute route;
    route.kind = QStringLiteral("MySQL");
    route.qtDriver = QStringLiteral("QMYSQL");
    route.engine = Engine::Mysql;
    splitHostPort(required(cs, {"Server", "Host", "Data Source", "Address"}, QStringLiteral("MySQL 連線")),
                  &route.host, &route.port);
    if (const int port = portOf(cs); port > 0)
        route.port = port;
    route.databaseName = cs.firstOf({"Database", "Initial Catalog"}).value_or(QString());
    route.user = cs.firstOf({"Uid", "User ID", "User"}).value_or(QString());
    route.password = cs.firstOf({"Pwd", "Password"}).value_or(QString());
    route.connectOptions = QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1").arg(kConnectTimeoutSeconds);
    route.dataSource = route.host;
    return route;
}

EngineRoute odbcRoute(const QString& kind, const QString& odbcString, const QString& dataSource) {
    EngineRoute route;
    route.kind = kind;
    route.qtDriver = QStringLiteral("QODBC");
    route.databaseName = odbcString;
    route.dataSource = dataSource;
    return route;
}

EngineRoute sqlServerRoute(const ConnectionString& cs, const QString& asked) {
    requireQtDriver(QStringLiteral("QODBC"), asked, QStringLiteral("SQL Server 資料庫"));
    QString driver = OdbcDriverRegistry::firstMatching({QStringLiteral("ODBC Driver 18 for SQL Server"),
                                                        QStringLiteral("ODBC Driver 17 for SQL Server"),
                                                        QStringLiteral("for SQL Server")});
    const bool freeTds = driver.isEmpty();
    if (freeTds)
        driver = OdbcDriverRegistry::firstMatching({QStringLiteral("FreeTDS")});
    if (driver.isEmpty())
        noDriver(asked, QStringLiteral("SQL Server 資料庫"));
    const QString server =
        required(cs, {"Data Source", "Server", "Address", "Addr"}, QStringLiteral("SQL Server 連線"));
    QString odbc = odbcPair(QStringLiteral("Driver"), driver);
    if (freeTds) {
        QString host;
        int port = -1;
        splitHostPort(server, &host, &port);
        odbc += odbcPair(QStringLiteral("Server"), host);
        if (port > 0)
            odbc += odbcPair(QStringLiteral("Port"), QString::number(port));
    } else {
        odbc += odbcPair(QStringLiteral("Server"), server);
    }
    if (const auto database = cs.firstOf({"Initial Catalog", "Database"}))
        odbc += odbcPair(QStringLiteral("Database"), *database);
    if (const auto user = cs.firstOf({"User ID", "UID", "User"}))
        odbc += odbcPair(QStringLiteral("UID"), *user);
    if (const auto password = cs.firstOf({"Password", "PWD"}))
        odbc += odbcPair(QStringLiteral("PWD"), *password);
    const QString integrated = cs.firstOf({"Integrated Security", "Trusted_Connection"}).value_or(QString());
    if (integrated.compare(QLatin1String("SSPI"), Qt::CaseInsensitive) == 0 ||
        integrated.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
        integrated.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        odbc += QStringLiteral("Trusted_Connection=yes;");
    if (freeTds)
        odbc += QStringLiteral("TDS_Version=7.4;ClientCharset=UTF-8;");
    return odbcRoute(QStringLiteral("SQL Server"), odbc, server);
}

EngineRoute accessRoute(const ConnectionString& cs, const QString& asked, const QString& programFolder) {
    requireQtDriver(QStringLiteral("QODBC"), asked, QStringLiteral("Access 資料庫檔案"));
    const QString driver = OdbcDriverRegistry::firstMatching({QStringLiteral("MDBTools")});
    if (driver.isEmpty())
        noDriver(asked, QStringLiteral("Access 資料庫檔案"));
    const QString file = QDir(programFolder)
                             .absoluteFilePath(required(cs, {"Data Source", "DBQ", "Database"},
                                                        QStringLiteral("Access 資料庫檔案")));
    EngineRoute route =
        odbcRoute(QStringLiteral("Access"),
                  odbcPair(QStringLiteral("Driver"), driver) + odbcPair(QStringLiteral("DBQ"), file), file);
    route.readOnly = true;
    return route;
}

EngineRoute oracleRoute(const ConnectionString& cs, const QString& asked) {
    const QString source = cs.firstOf({"Data Source", "DBQ", "Server"}).value_or(QString());
    const QString user = cs.firstOf({"User ID", "UID", "User"}).value_or(QString());
    const QString password = cs.firstOf({"Password", "PWD"}).value_or(QString());
    const QString driver = OdbcDriverRegistry::firstMatching({QStringLiteral("Oracle")});
    if (!driver.isEmpty() && QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        return odbcRoute(QStringLiteral("Oracle"),
                         odbcPair(QStringLiteral("Driver"), driver) +
                             odbcPair(QStringLiteral("DBQ"), source) + odbcPair(QStringLiteral("UID"), user) +
                             odbcPair(QStringLiteral("PWD"), password),
                         source);
    requireQtDriver(QStringLiteral("QOCI"), asked, QStringLiteral("Oracle 資料庫"));
    EngineRoute route;
    route.kind = QStringLiteral("Oracle");
    route.qtDriver = QStringLiteral("QOCI");
    route.engine = Engine::Oracle;
    route.databaseName = source;
    route.user = user;
    route.password = password;
    route.dataSource = source;
    return route;
}

// Qt's ODBC driver passes a string holding "DRIVER=" or "SERVER=" on as it is and puts "DSN=" in
// front of anything else, so a data-source string goes to it as the name followed by the other pairs.
QString qtOdbcDatabaseName(const QString& connectionString, const ConnectionString& cs) {
    if (connectionString.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
        connectionString.contains(QLatin1String("SERVER="), Qt::CaseInsensitive) ||
        !cs.value(QStringLiteral("DSN")))
        return connectionString;
    QString name = *cs.value(QStringLiteral("DSN"));
    for (const ConnectionString::Pair& pair : cs.pairs())
        if (pair.key.compare(QLatin1String("DSN"), Qt::CaseInsensitive) != 0)
            name += u';' + pair.key + u'=' + ConnectionString::quoteValue(pair.value);
    return name;
}

EngineRoute passThroughRoute(const QString& connectionString, const ConnectionString& cs,
                             const QString& asked) {
    requireQtDriver(QStringLiteral("QODBC"), asked, QStringLiteral("ODBC 資料來源"));
    return odbcRoute(QStringLiteral("ODBC"), qtOdbcDatabaseName(connectionString, cs),
                     cs.firstOf({"DSN", "Server", "Data Source", "DBQ", "Database"}).value_or(QString()));
}
// Where an ODBC driver will connect: from the string's own pairs, else from its data source's
// settings. FreeTDS's "Servername" names an entry of its own configuration, not a host.
void odbcServerAddress(const EngineRoute& route, const ConnectionString& cs, QString* host, int* port,
                       int* usualPort) {
    if (route.kind == QLatin1String("SQL Server")) {
        // A named instance (host\instance) is found through the server's browser service instead.
        if (!route.dataSource.contains(u'\\'))
            splitHostPort(route.dataSource, host, port);
        *usualPort = 1433;
        return;
    }
    if (route.kind != QLatin1String("ODBC"))
        return;
    const QString dsn = cs.value(QStringLiteral("DSN")).value_or(QString()).trimmed();
    const auto setting = [&](const char* key) {
        const auto own = cs.value(QLatin1String(key));
        return own             ? own->trimmed()
               : dsn.isEmpty() ? QString()
                               : OdbcDriverRegistry::dataSourceSetting(dsn, QLatin1String(key));
    };
    const QString driver = stripBraces(setting("Driver"));
    const bool freeTds = mentions(driver, "FreeTDS") || mentions(driver, "tdsodbc");
    *host = setting("Server");
    if (host->isEmpty())
        *host = setting("Host");
    if (host->isEmpty() && !freeTds)
        *host = setting("Servername");
    *port = setting("Port").toInt();
    if (mentions(driver, "PostgreSQL") || mentions(driver, "psqlodbc"))
        *usualPort = 5432;
    else if (freeTds || mentions(driver, "SQL Server"))
        *usualPort = 1433;
    else if (mentions(driver, "MySQL") || mentions(driver, "MariaDB"))
        *usualPort = 3306;
}

void settleServerAddress(EngineRoute& route, const ConnectionString& cs) {
    QString host;
    int port = -1;
    int usualPort = -1;
    switch (route.engine) {
    case Engine::Postgres:
    case Engine::Mysql:
        host = route.host;
        port = route.port;
        usualPort = route.engine == Engine::Postgres ? 5432 : 3306;
        break;
    case Engine::Odbc:
        odbcServerAddress(route, cs, &host, &port, &usualPort);
        break;
    case Engine::Sqlite:
    case Engine::Oracle:
        return;
    }
    // A path is a local socket, reached at once.
    if (host.isEmpty() || host.startsWith(u'/'))
        return;
    route.serverPort = port > 0 && port <= 65535 ? port : usualPort;
    if (route.serverPort > 0)
        route.serverHost = host;
}
} // namespace

QString reportedProviderName(const QString& connectionString) {
    const QString provider =
        ConnectionString::parse(connectionString).value(QStringLiteral("Provider")).value_or(QString());
    if (provider.isEmpty() || provider.compare(QLatin1String("MSDASQL"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("MSDASQL.1");
    for (const char* name : {"SQLOLEDB", "MSDAORA"})
        if (provider.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QLatin1String(name) + QStringLiteral(".1");
    return provider;
}

EngineRoute planRoute(const QString& connectionString, const QString& programFolder) {
    const ConnectionString cs = ConnectionString::parse(connectionString);
    const QString provider = cs.value(QStringLiteral("Provider")).value_or(QString()).trimmed();
    const QString driver = stripBraces(cs.value(QStringLiteral("Driver")).value_or(QString()));
    const QString asked = !provider.isEmpty() ? QStringLiteral("Provider=") + provider
                          : !driver.isEmpty() ? QStringLiteral("Driver={") + driver + u'}'
                          : cs.value(QStringLiteral("DSN"))
                              ? QStringLiteral("DSN=") + *cs.value(QStringLiteral("DSN"))
                              : QStringLiteral("沒有 Provider, Driver 或 DSN");
    EngineRoute route;
    bool decided = true;
    if (!provider.isEmpty() && !startsWith(provider, "MSDASQL")) {
        if (startsWith(provider, "SQLite"))
            route = sqliteRoute(cs, programFolder);
        else if (startsWith(provider, "PostgreSQL") || startsWith(provider, "PGNP"))
            route = postgresRoute(cs, asked);
        else if (startsWith(provider, "SQLOLEDB") || startsWith(provider, "SQLNCLI") ||
                 startsWith(provider, "MSOLEDBSQL"))
            route = sqlServerRoute(cs, asked);
        else if (startsWith(provider, "Microsoft.Jet.OLEDB") || startsWith(provider, "Microsoft.ACE.OLEDB"))
            route = accessRoute(cs, asked, programFolder);
        else if (startsWith(provider, "MSDAORA") || startsWith(provider, "OraOLEDB"))
            route = oracleRoute(cs, asked);
        else
            noDriver(asked, QStringLiteral("資料提供者 ") + provider);
    } else if (!driver.isEmpty()) {
        if (mentions(driver, "SQLite"))
            route = sqliteRoute(cs, programFolder);
        else if (mentions(driver, "PostgreSQL") || mentions(driver, "psqlODBC"))
            route = postgresRoute(cs, asked);
        else if (mentions(driver, "SQL Server") || mentions(driver, "SQL Native Client"))
            route = sqlServerRoute(cs, asked);
        else if (mentions(driver, "Microsoft Access Driver"))
            route = accessRoute(cs, asked, programFolder);
        else if (mentions(driver, "Oracle"))
            route = oracleRoute(cs, asked);
        else if (mentions(driver, "MySQL") || mentions(driver, "MariaDB"))
            route = mysqlRoute(cs, asked);
        else
            decided = false;
        if (!decided) {
            if (!OdbcDriverRegistry::isInstalled(driver))
                noDriver(asked, QStringLiteral("ODBC 驅動程式 ") + driver);
            route = passThroughRoute(connectionString, cs, asked);
        }
    } else if (cs.value(QStringLiteral("DSN"))) {
        route = passThroughRoute(connectionString, cs, asked);
    } else {
        noDriver(asked, QStringLiteral("這個連線參數"));
    }
    route.provider = reportedProviderName(connectionString);
    settleServerAddress(route, cs);
    return route;
}
