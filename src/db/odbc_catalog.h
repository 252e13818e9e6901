#pragma once

#include <QList>
#include <QSqlDatabase>

struct CatalogRow;

// The ODBC driver's own tables catalogue (SQLTables), with the table types exactly as the driver
// writes them.
QList<CatalogRow> odbcTablesCatalogue(const QSqlDatabase& db);
