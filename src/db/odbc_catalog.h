#pragma once

#include <QList>
#include <QSqlDatabase>

struct CatalogRow;

// The ODBC driver's own tables catalogue (SQLTables), with the table types exactly as the driver
// writes them.
QList<CatalogRow> odbcTablesCatalogue(const QSqlDatabase& db);

// The name the ODBC driver gives the server behind the connection (SQL_DBMS_NAME: "PostgreSQL",
// "SQLite", "Microsoft SQL Server", ...); "" when it cannot tell.
QString odbcServerName(const QSqlDatabase& db);
