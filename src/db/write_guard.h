#pragma once

#include "db/engine_route.h"

#include <QString>

#include <optional>

class Connection;
class QSqlDatabase;

// Whether a transaction is open on the connection (the operator's, after a BEGIN of theirs), asked
// the way each server can tell; nullopt when it has no way to say. Throws AppError (nothing sent)
// when a PostgreSQL transaction has failed and takes no more statements.
std::optional<bool> operatorsTransactionOpen(const QSqlDatabase& db, ServerKind server);

// Keeps one write undoable until it is known to have reached the right rows, without ending a
// transaction the operator opened: outside one, the write runs in a transaction of its own;
// inside one, it runs to a savepoint, so the operator's earlier work and the decision to commit
// stay the operator's. What is neither kept nor undone is undone when the guard goes.
class WriteGuard {
public:
    // Throws AppError (nothing sent) when the operator's transaction has failed and takes no
    // more statements.
    explicit WriteGuard(Connection& connection);
    ~WriteGuard();
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

    // False when neither a transaction nor a savepoint could be had: a write is then final as
    // soon as it runs.
    bool canUndo() const { return m_mode != Mode::None; }
    // True when the write runs inside the operator's transaction and is committed only with it.
    bool insideOperatorsTransaction() const { return m_mode == Mode::Savepoint; }
    // Makes the write stand (commits its own transaction, or releases the savepoint); throws
    // AppError with the database's text when it cannot.
    void keep();
    // Takes the write back; "" when done, else the database's text of why it could not be.
    QString undo();

private:
    // SqliteTransaction: a SQLite savepoint that opened the transaction itself.
    enum class Mode { None, Transaction, Savepoint, SqliteTransaction };
    bool run(const QString& sql, QString* failure = nullptr);

    Connection& m_connection;
    Mode m_mode = Mode::None;
    bool m_open = false;
};
