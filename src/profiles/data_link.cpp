#include "profiles/data_link.h"

#include "app/errors.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/engine_route.h"
#include "db/odbc_driver_registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

namespace DataLink {

namespace {
constexpr unsigned kServerFields = Server | Port | Database | User | Password;

QString pair(const QString& key, const QString& value) {
    return key + u'=' + ConnectionString::quoteValue(value);
}

// The file as the string names it: relative to the program folder when it lies inside it.
QString fileForString(const QString& file, const QString& programFolder) {
    if (file.isEmpty())
        return file;
    const QString absolute = QDir(programFolder).absoluteFilePath(file);
    const QString relative = QDir(programFolder).relativeFilePath(absolute);
    return relative.startsWith(QLatin1String("..")) || QDir::isAbsolutePath(relative) ? absolute : relative;
}

// The registered ODBC driver for MySQL or MariaDB when there is one; the name routes to Qt's own
// MySQL driver either way.
QString mysqlDriverName() {
    const QString registered =
        OdbcDriverRegistry::firstMatching({QStringLiteral("MySQL"), QStringLiteral("MariaDB")});
    return registered.isEmpty() ? QStringLiteral("MySQL") : registered;
}
} // namespace

const QList<KindInfo>& kinds() {
    static const QList<KindInfo> list = {
        {Kind::Sqlite, QStringLiteral("SQLite 資料庫檔案"), File, 0},
        {Kind::Postgres, QStringLiteral("PostgreSQL 伺服器"), kServerFields, 5432},
        {Kind::SqlServer, QStringLiteral("SQL Server 伺服器"), kServerFields, 1433},
        {Kind::Access, QStringLiteral("Access 資料庫檔案 (唯讀)"), File, 0},
        {Kind::Mysql, QStringLiteral("MySQL / MariaDB 伺服器"), kServerFields, 3306},
        {Kind::Oracle, QStringLiteral("Oracle 資料庫"), Server | User | Password, 0},
        {Kind::Dsn, QStringLiteral("ODBC 資料來源 (DSN)"), DataSourceName | User | Password, 0},
        {Kind::OdbcDriver, QStringLiteral("其他 ODBC 驅動程式"), Driver | kServerFields, 0},
    };
    return list;
}

const KindInfo& infoOf(Kind kind) {
    for (const KindInfo& info : kinds())
        if (info.kind == kind)
            return info;
    return kinds().first();
}

std::optional<QString> problemOf(const Source& source, const QString& programFolder) {
    const unsigned fields = infoOf(source.kind).fields;
    if (fields & File) {
        if (source.file.trimmed().isEmpty())
            return QStringLiteral("請選擇資料庫檔案。");
        const QFileInfo file(QDir(programFolder).absoluteFilePath(source.file.trimmed()));
        if (file.isDir())
            return QStringLiteral("這是資料夾, 不是資料庫檔案: ") + file.absoluteFilePath();
        if (!file.isFile())
            return QStringLiteral("資料庫檔案不存在: ") + file.absoluteFilePath();
    }
    if ((fields & Driver) && source.driver.trimmed().isEmpty())
        return QStringLiteral("請選擇 ODBC 驅動程式。");
    if ((fields & DataSourceName) && source.dataSourceName.trimmed().isEmpty())
        return QStringLiteral("請選擇 ODBC 資料來源。");
    if ((fields & Server) && source.kind != Kind::OdbcDriver && source.server.trimmed().isEmpty())
        return source.kind == Kind::Oracle ? QStringLiteral("請輸入資料來源 (TNS 名稱或 主機:埠/服務)。")
                                           : QStringLiteral("請輸入伺服器名稱或位址。");
    if ((fields & Port) && !source.port.trimmed().isEmpty()) {
        bool ok = false;
        const int port = source.port.trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return QStringLiteral("連接埠必須是 1 到 65535 的整數: ") + source.port.trimmed();
    }
    if (source.kind == Kind::Postgres && source.database.trimmed().isEmpty())
        return QStringLiteral("請輸入資料庫名稱。");
    const QString extra = source.extra.trimmed();
    if (!extra.isEmpty()) {
        const ConnectionString parsed = ConnectionString::parse(extra);
        for (const ConnectionString::Pair& p : parsed.pairs())
            if (p.key.trimmed().isEmpty())
                return QStringLiteral("其他參數須是 名稱=值 的形式, 以分號分開: ") + extra;
    }
    return std::nullopt;
}

QString connectionString(const Source& source, const QString& programFolder, bool withPassword) {
    const QString server = source.server.trimmed();
    const QString port = source.port.trimmed();
    const QString database = source.database.trimmed();
    const QString user = source.user.trimmed();
    const bool password = withPassword && !source.password.isEmpty();
    QStringList pairs;
    // The keywords each kind's own drivers use, so the string reads as one the operator knows.
    const auto serverPairs = [&](const char* serverKey, const char* databaseKey, const char* userKey,
                                 const char* passwordKey) {
        if (!server.isEmpty())
            pairs << pair(QLatin1String(serverKey), server);
        if (!port.isEmpty())
            pairs << pair(QStringLiteral("Port"), port);
        if (!database.isEmpty())
            pairs << pair(QLatin1String(databaseKey), database);
        if (!user.isEmpty())
            pairs << pair(QLatin1String(userKey), user);
        if (password)
            pairs << pair(QLatin1String(passwordKey), source.password);
    };
    switch (source.kind) {
    case Kind::Sqlite:
        pairs << QStringLiteral("Driver={SQLite3 ODBC Driver}")
              << pair(QStringLiteral("Database"), fileForString(source.file.trimmed(), programFolder));
        break;
    case Kind::Postgres:
        pairs << QStringLiteral("Driver={PostgreSQL Unicode}");
        serverPairs("Server", "Database", "Uid", "Pwd");
        break;
    case Kind::SqlServer:
        // The server's port goes after a comma, as SQL Server's own clients write it.
        pairs << QStringLiteral("Provider=SQLOLEDB.1")
              << pair(QStringLiteral("Data Source"), port.isEmpty() ? server : server + u',' + port);
        if (!database.isEmpty())
            pairs << pair(QStringLiteral("Initial Catalog"), database);
        if (!user.isEmpty())
            pairs << pair(QStringLiteral("User ID"), user);
        if (password)
            pairs << pair(QStringLiteral("Password"), source.password);
        break;
    case Kind::Access:
        pairs << QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0")
              << pair(QStringLiteral("Data Source"), fileForString(source.file.trimmed(), programFolder));
        break;
    case Kind::Mysql:
        pairs << QStringLiteral("Driver={%1}").arg(mysqlDriverName());
        serverPairs("Server", "Database", "Uid", "Pwd");
        break;
    case Kind::Oracle:
        pairs << QStringLiteral("Provider=MSDAORA.1") << pair(QStringLiteral("Data Source"), server);
        if (!user.isEmpty())
            pairs << pair(QStringLiteral("User ID"), user);
        if (password)
            pairs << pair(QStringLiteral("Password"), source.password);
        break;
    case Kind::Dsn:
        pairs << pair(QStringLiteral("DSN"), source.dataSourceName.trimmed());
        if (!user.isEmpty())
            pairs << pair(QStringLiteral("UID"), user);
        if (password)
            pairs << pair(QStringLiteral("PWD"), source.password);
        break;
    case Kind::OdbcDriver:
        pairs << QStringLiteral("Driver={%1}").arg(source.driver.trimmed());
        serverPairs("Server", "Database", "UID", "PWD");
        break;
    }
    QString extra = source.extra.trimmed();
    while (extra.startsWith(u';'))
        extra.remove(0, 1);
    while (extra.endsWith(u';'))
        extra.chop(1);
    if (!extra.isEmpty())
        pairs << extra;
    return pairs.join(u';') + u';';
}

QString routeDescription(const QString& connectionString, const QString& programFolder) {
    try {
        const EngineRoute route = planRoute(connectionString, programFolder);
        if (route.qtDriver == QLatin1String("QODBC"))
            return QStringLiteral("%1, 經由 unixODBC: %2")
                .arg(route.kind, ConnectionString::masked(route.databaseName));
        QString where = route.databaseName;
        if (!route.host.isEmpty())
            where = route.host + (route.port > 0 ? u':' + QString::number(route.port) : QString()) +
                    QStringLiteral(", 資料庫 ") + route.databaseName;
        return QStringLiteral("%1, 經由 Qt %2: %3").arg(route.kind, route.qtDriver, where);
    } catch (const AppError& error) {
        return QStringLiteral("無法開啟: ") + error.description();
    }
}

QString testNow(const QString& connectionString) {
    try {
        Connection connection;
        connection.open(connectionString);
        connection.close();
        return {};
    } catch (const AppError& error) {
        return error.description();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
}

void testInBackground(const QString& connectionString, QObject* receiver,
                      std::function<void(const QString& failure)> done) {
    QPointer<QObject> target(receiver);
    // The connection lives and dies on the pool's thread: a database connection belongs to the
    // thread that made it. The outcome goes back through the application object, which outlives
    // the dialog; whether the receiver still exists is asked there, on its own thread. The pool
    // is waited for when the program ends.
    QThreadPool::globalInstance()->start([connectionString, target, done = std::move(done)] {
        const QString failure = testNow(connectionString);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [target, done, failure] {
                if (target)
                    done(failure);
            },
            Qt::QueuedConnection);
    });
}

} // namespace DataLink
