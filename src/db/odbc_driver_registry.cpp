#include "db/odbc_driver_registry.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

namespace OdbcDriverRegistry {

QStringList installedDrivers() {
    // The list comes back as NUL-separated names ending in a double NUL.
    char buffer[16384] = {};
    WORD written = 0;
    if (!SQLGetInstalledDrivers(buffer, sizeof buffer - 1, &written))
        return {};
    QStringList names;
    for (const char* p = buffer; *p; p += qstrlen(p) + 1)
        names << QString::fromLocal8Bit(p);
    return names;
}

bool isInstalled(const QString& driverName) {
    return installedDrivers().contains(driverName, Qt::CaseInsensitive);
}

QString firstMatching(const QStringList& words) {
    const QStringList drivers = installedDrivers();
    for (const QString& word : words)
        for (const QString& driver : drivers)
            if (driver.contains(word, Qt::CaseInsensitive))
                return driver;
    return {};
}

QStringList dataSourceNames() {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return {};
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    QStringList names;
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                        sizeof description, &descriptionLength))) {
        names << QString::fromLocal8Bit(reinterpret_cast<const char*>(name));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    names.removeDuplicates();
    return names;
}

QString dataSourceSetting(const QString& dataSource, const QString& key) {
    char value[1024] = {};
    const int length =
        SQLGetPrivateProfileString(dataSource.toLocal8Bit().constData(), key.toLocal8Bit().constData(), "",
                                   value, sizeof value, "odbc.ini");
    return length > 0 ? QString::fromLocal8Bit(value, length).trimmed() : QString();
}

} // namespace OdbcDriverRegistry
