#pragma once

#include <functional>

class QSqlQuery;

// Waiting for a database driver without blocking the window: a call that may wait on the server
// (a statement, its next result) runs on a thread of its own while the window's events run
// (StatementWait), and a stop the operator asks for reaches the server through the driver's own
// way of cancelling, asked from the window's thread.
namespace DriverWait {
// Runs call and returns what it returns (an exception it throws is thrown here). When the operator
// asks to stop, cancel is called until it answers true: it may be asked before the driver has
// begun and then answers false, to be asked again a moment later.
bool run(const std::function<bool()>& call, const std::function<bool()>& cancel);
// Cancels the statement under way on an ODBC query (SQLCancel); false while the driver has not
// made its statement yet.
bool cancelOdbcStatement(const QSqlQuery& query);
} // namespace DriverWait
