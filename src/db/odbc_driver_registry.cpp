#include "db/odbc_driver_registry.h"

#include <odbcinst.h>

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

} // namespace OdbcDriverRegistry
