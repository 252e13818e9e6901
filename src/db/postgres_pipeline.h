#pragma once

#include <memory>

class StatementStream;
struct pg_conn;

// The statement stream of a PostgreSQL connection: statements go to the server through libpq's
// pipeline mode without waiting for each answer, each with its own savepoint inside the group's
// transaction, and every answer is read in order, so the outcome of each statement is known as if
// it had run alone. A failure skips what was sent after it; the savepoint before it takes it back.
std::unique_ptr<StatementStream> makePostgresPipelineStream(pg_conn* conn);
