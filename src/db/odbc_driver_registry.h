#pragma once

#include <QStringList>

// The ODBC drivers registered with unixODBC (odbcinst.ini, or the one ODBCSYSINI points at).
namespace OdbcDriverRegistry {
QStringList installedDrivers();
bool isInstalled(const QString& driverName);
// The first installed driver whose name contains one of the words (case-insensitive), in the
// order of the words; empty when none is.
QString firstMatching(const QStringList& words);
// The data sources unixODBC knows (the user's and the system's odbc.ini), by name.
QStringList dataSourceNames();
// A setting of a data source in odbc.ini (the user's, else the system's); empty when it has none.
QString dataSourceSetting(const QString& dataSource, const QString& key);
} // namespace OdbcDriverRegistry
