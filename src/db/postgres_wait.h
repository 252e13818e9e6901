#pragma once

struct pg_conn;
struct pg_result;

// Reading a PostgreSQL connection's results without blocking the window: while the server works,
// the window's events run (StatementWait), and a stop the operator asks for is sent to the server
// as a cancel request; the results then end with the server's message.
namespace PostgresWait {
// The next result of the query under way, or null when it has none left.
pg_result* nextResult(pg_conn* conn);
// Asks the server to stop the query under way.
void cancel(pg_conn* conn);
// Reads and drops every result still to come, so the connection is free for the next query.
void discardResults(pg_conn* conn);
} // namespace PostgresWait
