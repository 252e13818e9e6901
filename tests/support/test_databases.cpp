#include "support/test_databases.h"

#include "db/connection_string.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

bool PgServer::load() {
    QFile file(QStringLiteral(ORVIK_PG_STATE_DIR "/env"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(line.mid(eq + 1)).trimmed();
        if (key == "ORVIK_PG_HOST")
            host = value;
        else if (key == "ORVIK_PG_PORT")
            port = value.toInt();
        else if (key == "ORVIK_PG_USER")
            user = value;
        else if (key == "ORVIK_PG_PASSWORD")
            password = value;
        else if (key == "ORVIK_PG_DATABASE")
            database = value;
    }
    return port > 0;
}

QString PgServer::connectionString() const {
    return connectionString(QStringLiteral("Pwd=") + ConnectionString::quoteValue(password));
}

QString PgServer::connectionString(const QString& passwordClause) const {
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;%5")
        .arg(host)
        .arg(port)
        .arg(database, user, passwordClause);
}

bool PgServer::exec(const QStringList& statements) const {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pg-setup"));
        db.setHostName(host);
        db.setPort(port);
        db.setDatabaseName(database);
        db.setUserName(user);
        db.setPassword(password);
        if (db.open()) {
            QSqlQuery query(db);
            ok = true;
            for (const QString& sql : statements) {
                if (query.exec(sql))
                    continue;
                qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
                ok = false;
                break;
            }
        } else {
            qWarning("cannot reach the PostgreSQL test server: %s", qPrintable(db.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pg-setup"));
    return ok;
}

namespace {
QString driverFile(const char* name) {
    for (const char* folder :
         {"/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/", "/usr/lib/odbc/"})
        if (QFile::exists(QLatin1String(folder) + QLatin1String(name)))
            return QLatin1String(folder) + QLatin1String(name);
    return QLatin1String(name);
}
} // namespace

void OdbcEnvironment::install(const PgServer* pg, const QString& sqliteFile) {
    QByteArray drivers;
    const auto driver = [&](const char* section, const char* file) {
        drivers += "[" + QByteArray(section) + "]\nDriver=" + driverFile(file).toUtf8() +
                   "\nDebug=0\nCommLog=0\nUsageCount=1\n\n";
    };
    driver("PostgreSQL Unicode", "psqlodbcw.so");
    driver("PG Alias Driver", "psqlodbcw.so"); // a registered driver the router does not recognise
    driver("SQLite3", "libsqlite3odbc.so");
    driver("FreeTDS", "libtdsodbc.so");
    driver("MDBTools", "libmdbodbc.so");
    QByteArray sources;
    if (pg)
        sources +=
            QStringLiteral("[orvik_pg]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n"
                           "Username=%4\nPassword=%5\nCommLog=0\nDebug=0\n\n")
                .arg(pg->host)
                .arg(pg->port)
                .arg(pg->database, pg->user, pg->password)
                .toUtf8();
    if (!sqliteFile.isEmpty())
        sources += QStringLiteral("[orvik_sqlite]\nDriver=SQLite3\nDatabase=%1\n\n").arg(sqliteFile).toUtf8();
    QFile inst(m_dir.filePath(QStringLiteral("odbcinst.ini")));
    QFile ini(m_dir.filePath(QStringLiteral("odbc.ini")));
    if (!inst.open(QIODevice::WriteOnly) || !ini.open(QIODevice::WriteOnly))
        qFatal("cannot write the ODBC configuration");
    inst.write(drivers);
    ini.write(sources);
    inst.close();
    ini.close();
    qputenv("ODBCSYSINI", m_dir.path().toUtf8());
    qputenv("ODBCINI", m_dir.filePath(QStringLiteral("odbc.ini")).toUtf8());
}

void makeSqliteDatabase(const QString& path, const QString& script) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make-sqlite"));
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot create %s", qPrintable(path));
        QSqlQuery query(db);
        for (const QString& statement : script.split(QStringLiteral(";\n"), Qt::SkipEmptyParts))
            if (!statement.trimmed().isEmpty() && !query.exec(statement))
                qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make-sqlite"));
}
