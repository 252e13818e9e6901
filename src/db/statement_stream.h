#pragma once

#include "db/engine_route.h"
#include "db/script_syntax.h"

#include <QString>

#include <functional>
#include <memory>

class Connection;

// What a run of statements came to.
struct StreamOutcome {
    qint64 kept = 0;                       // statements that stand, committed
    qint64 inOperatorsTransaction = 0;     // statements standing in the operator's open transaction
    qint64 rolledBack = 0;                 // statements of a transaction the script opened, taken back
    int rolledBackFrom = 0;                // the line that transaction began on
    qint64 groupRolledBack = 0;            // statements the engine took back with the run's own group
    int groupRolledBackFrom = 0;           // the line of the first of them
    bool operatorsTransactionLost = false; // the engine took back the operator's transaction
    int operatorsTransactionEnded = 0;     // the line of a statement that ended the operator's transaction
    bool operatorsTransactionDiscarded = false; // ... with a ROLLBACK
    int failedLine = 0;                         // the line of the statement that failed (0: none)
    bool stopped = false; // the operator stopped the run; a statement stopped was taken back
};

// What stands beyond the count of kept statements, a line each: transactions rolled back, and
// statements left in the operator's open transaction. Empty when there is nothing to add.
QString outcomeNotes(const StreamOutcome& outcome);

// Runs the statements of a script or an import one after another with the outcome of running each
// by itself, as the engine's own shell runs a file and stops at its first failure: when a statement
// fails, everything before it stands and nothing after it runs. Nothing is ever run twice.
//
// Statements outside any transaction run in groups, each group in one transaction of the stream's
// (a commit costs once a group, not once a statement); a failing statement is taken back alone,
// through the engine's own statement rollback (SQLite) or a savepoint before each statement, and the
// group commits what stands. Inside the operator's own transaction every statement has a savepoint,
// and what stands is the operator's to commit. Statements that rule transactions (BEGIN, COMMIT...)
// run by themselves, and so do those no transaction may hold (ScriptStatementKind); in a transaction
// the statements opened themselves, they run as they come, and a failure or a stop rolls it back.
class StatementStream {
public:
    // The stream for the connection's engine: SQLite straight through the engine, PostgreSQL
    // through a pipeline that sends statements without waiting for each answer, ODBC and the rest
    // through the driver. Throws AppError, with nothing run, when the operator's transaction has
    // failed and takes no more statements.
    static std::unique_ptr<StatementStream> open(Connection& connection);
    virtual ~StatementStream();
    StatementStream(const StatementStream&) = delete;
    StatementStream& operator=(const StatementStream&) = delete;

    // Asked while the stream waits for the database; false when the operator wants to stop, and
    // run() then returns without waiting further.
    void setWaitCheck(std::function<bool()> keepGoing) { m_keepGoing = std::move(keepGoing); }

    // Runs the statement that starts on file line `line`, or sends it on. Throws AppError with the
    // database's text once a statement has failed, this one or one sent before it, after keeping
    // what stands (outcome().failedLine says which). A statement the operator's stop cancelled is
    // taken back and the run ends as stopped (outcome().stopped), with no throw.
    void run(const QString& sql, int line) { run(sql, line, scriptStatementKind(sql, m_server)); }
    // The same for a statement whose kind the caller knows (an import's INSERT is Plain).
    virtual void run(const QString& sql, int line, ScriptStatementKind kind) = 0;
    // After the last statement: waits for those sent and keeps what stands. A transaction the
    // statements opened and did not end is left open (openTransactionLine()). Throws as run() does.
    virtual void finish() = 0;
    // The run ends early (the operator stopped it, or the script could not be read on): what ran
    // stands, and a transaction the statements opened is rolled back.
    virtual void stopHere() = 0;
    // Runs COPY ... FROM STDIN with its rows, as psql reads them from the lines that follow it:
    // nextRow gives each (false after the last). Throws as run() does; where the engine takes no
    // rows from the client, says so with nothing run.
    virtual void runCopy(const QString& sql, int line, const std::function<bool(QByteArray&)>& nextRow) = 0;
    // Ends the transaction the statements left open: COMMIT or ROLLBACK.
    virtual void endOpenTransaction(bool commit) = 0;

    // The line of the statement that opened a transaction left open at the end; 0 when none is.
    int openTransactionLine() const { return m_context == Context::Scripts ? m_scriptFrom : 0; }
    qint64 openTransactionStatements() const { return m_scriptStatements; }
    const StreamOutcome& outcome() const { return m_outcome; }

protected:
    // Where the next statement runs.
    enum class Context { None, OwnGroup, Operators, Scripts };
    static constexpr int kGroupSize = 10000;

    explicit StatementStream(ServerKind server) : m_server(server) {}
    bool keepGoing() const { return !m_keepGoing || m_keepGoing(); }

    // The accounting, as outcomes become known, in the order the statements ran.
    void statementStood(Context context, int line);
    void groupCommitted();
    void rolledBack(Context context);
    // A transaction-control statement ran; `open` says whether a transaction is open after it.
    void transactionControlRan(QStringView statement, int line, bool open);
    void failedAt(int line) { m_outcome.failedLine = line; }

    const ServerKind m_server;
    Context m_context = Context::None;
    StreamOutcome m_outcome;

private:
    std::function<bool()> m_keepGoing;
    qint64 m_groupStatements = 0; // stood in the open group, not yet committed
    int m_groupFrom = 0;
    qint64 m_scriptStatements = 0; // stood in the transaction the statements opened
    int m_scriptFrom = 0;
};
