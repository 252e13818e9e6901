#pragma once

#include <functional>

class QSqlQuery;

// Waiting for an ODBC driver without blocking the window: the driver's call runs on a thread of
// its own while the window's events run (StatementWait), and a stop the operator asks for goes to
// the driver as SQLCancel on the query's statement.
namespace OdbcWait {
// Runs call, a call into the driver on query (exec, nextResult), and returns what it returns.
bool run(QSqlQuery& query, const std::function<bool()>& call);
} // namespace OdbcWait
