#include "db/statement_stream.h"

#include "app/errors.h"
#include "db/connection.h"
#include "db/postgres_pipeline.h"
#include "db/script_syntax.h"
#include "db/statement_wait.h"
#include "db/write_guard.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>

#include <sqlite3.h>

QString outcomeNotes(const StreamOutcome& outcome) {
    QStringList notes;
    if (outcome.rolledBack > 0)
        notes << QStringLiteral("第 %1 行開始的交易已復原 (ROLLBACK), 其中已執行的 %2 個陳述式不再生效")
                     .arg(outcome.rolledBackFrom)
                     .arg(outcome.rolledBack);
    if (outcome.groupRolledBack > 0)
        notes << QStringLiteral("第 %1 行起同一組已執行的 %2 個陳述式已一併復原 (ROLLBACK)")
                     .arg(outcome.groupRolledBackFrom)
                     .arg(outcome.groupRolledBack);
    if (outcome.operatorsTransactionLost)
        notes << QStringLiteral("資料庫放棄了你開啟的交易, 其中的變更都已復原");
    if (outcome.operatorsTransactionEnded > 0)
        notes << (outcome.operatorsTransactionDiscarded
                      ? QStringLiteral("第 %1 行的陳述式復原 (ROLLBACK) 了你開啟的交易: 其中的變更, "
                                       "腳本的也在內, 都不再生效")
                      : QStringLiteral("第 %1 行的陳述式確定 (COMMIT) 了你開啟的交易"))
                     .arg(outcome.operatorsTransactionEnded);
    if (outcome.inOperatorsTransaction > 0)
        notes << QStringLiteral("另有 %1 個陳述式在你開啟的交易中, 待你 COMMIT 或 ROLLBACK")
                     .arg(outcome.inOperatorsTransaction);
    return notes.join(QStringLiteral("\r\n"));
}

StatementStream::~StatementStream() = default;

void StatementStream::statementStood(Context context, int line) {
    switch (context) {
    case Context::None:
        ++m_outcome.kept;
        break;
    case Context::OwnGroup:
        if (m_groupStatements++ == 0)
            m_groupFrom = line;
        break;
    case Context::Operators:
        ++m_outcome.inOperatorsTransaction;
        break;
    case Context::Scripts:
        ++m_scriptStatements;
        break;
    }
}

void StatementStream::groupCommitted() {
    m_outcome.kept += m_groupStatements;
    m_groupStatements = 0;
}

void StatementStream::rolledBack(Context context) {
    switch (context) {
    case Context::None:
        return;
    case Context::OwnGroup:
        if (m_groupStatements > 0 && m_outcome.groupRolledBack == 0)
            m_outcome.groupRolledBackFrom = m_groupFrom;
        m_outcome.groupRolledBack += m_groupStatements;
        m_groupStatements = 0;
        return;
    case Context::Scripts:
        if (m_scriptStatements > 0 && m_outcome.rolledBack == 0)
            m_outcome.rolledBackFrom = m_scriptFrom;
        m_outcome.rolledBack += m_scriptStatements;
        m_scriptStatements = 0;
        return;
    case Context::Operators:
        m_outcome.operatorsTransactionLost = true;
        m_outcome.inOperatorsTransaction = 0;
        return;
    }
}

void StatementStream::transactionControlRan(QStringView statement, int line, bool open) {
    // COMMIT AND CHAIN and ROLLBACK AND CHAIN end the transaction and begin the next at once.
    const bool chained = open && chainsTransaction(statement);
    if (m_context == Context::None || m_context == Context::OwnGroup) {
        if (open) {
            m_context = Context::Scripts;
            m_scriptFrom = line;
            m_scriptStatements = 1;
        } else {
            ++m_outcome.kept;
        }
        return;
    }
    if (open && !chained) {
        statementStood(m_context, line);
        return;
    }
    // The transaction ended: what ran in it stands with a COMMIT and goes with a ROLLBACK.
    const bool discarded = discardsTransaction(statement);
    if (m_context == Context::Operators) {
        m_outcome.operatorsTransactionEnded = line;
        m_outcome.operatorsTransactionDiscarded = discarded;
    }
    if (!discarded)
        m_outcome.kept +=
            m_context == Context::Scripts ? m_scriptStatements : m_outcome.inOperatorsTransaction;
    m_scriptStatements = 0;
    m_outcome.inOperatorsTransaction = 0;
    ++m_outcome.kept;
    m_context = Context::None;
    if (chained) { // the next is the script's own, from this line
        m_context = Context::Scripts;
        m_scriptFrom = line;
    }
}

namespace {
// The statements of a run one at a time, each finished before the next: the engine's outcome of a
// statement is known when run() returns.
class SyncStream : public StatementStream {
public:
    explicit SyncStream(ServerKind server) : StatementStream(server) {}

    using StatementStream::run;
    void run(const QString& sql, int line, ScriptStatementKind kind) override {
        if (kind == ScriptStatementKind::TransactionControl) {
            keepGroup(line);
            if (attempt(line, false, [&] { execute(sql); })) {
                transactionControlRan(sql, line, transactionOpen());
                ran(sql);
            }
            return;
        }
        if (m_context == Context::OwnGroup && kind == ScriptStatementKind::RunsAlone)
            keepGroup(line);
        if (m_context == Context::None && kind == ScriptStatementKind::Plain && beginGroup())
            m_context = Context::OwnGroup;
        const bool guarded = (m_context == Context::OwnGroup || m_context == Context::Operators) &&
                             !statementsUndoThemselves();
        if (!attempt(line, guarded, [&] { executeGuarded(sql, guarded); }))
            return;
        statementStood(m_context, line);
        ran(sql);
        if (m_context == Context::OwnGroup && ++m_inGroup >= kGroupSize)
            keepGroup(line);
    }

    void runCopy(const QString&, int line, const std::function<bool(QByteArray&)>&) override {
        // Nothing is sent: what ran before it stands, as after a statement the engine refused.
        failed(line, false);
        throw AppError(ErrNo::DbStatementRejected,
                       QStringLiteral("COPY ... FROM STDIN 與其後的資料行只能在 PostgreSQL 連線上執行"));
    }

    void finish() override { keepGroup(); }

    void stopHere() override {
        keepGroup();
        if (m_context == Context::Scripts) {
            rollbackAll();
            rolledBack(Context::Scripts);
            m_context = Context::None;
        }
    }

    void endOpenTransaction(bool commit) override {
        if (m_context != Context::Scripts)
            return;
        if (!commit) {
            rollbackAll();
            rolledBack(Context::Scripts);
            m_context = Context::None;
            return;
        }
        const QString sql = QStringLiteral("COMMIT");
        try {
            execute(sql);
        } catch (...) {
            failed(0, false);
            throw;
        }
        transactionControlRan(sql, 0, transactionOpen());
    }

protected:
    // Runs one statement, its rows read through and dropped; throws AppError with the engine's text.
    virtual void execute(const QString& sql) = 0;
    virtual bool transactionOpen() = 0;
    // Opens a transaction of the stream's own; false when the engine has none to give.
    virtual bool beginGroup() = 0;
    virtual void commitGroup() = 0;
    // Rolls back whatever transaction is open.
    virtual void rollbackAll() = 0;
    // True when a failing statement takes back its own changes and leaves the transaction going.
    virtual bool statementsUndoThemselves() const = 0;
    // Runs a statement with the savepoint before it set and released when `guarded`.
    virtual void executeGuarded(const QString& sql, bool guarded) = 0;
    virtual void rollbackToSavepoint() = 0;
    // A statement ran: what it changes of the way the next ones may run.
    virtual void ran(const QString&) {}

    // Runs a step of a statement; a failure is taken back (failed()) and thrown, unless the
    // operator's stop caused it: false then, and the run ends as stopped.
    bool attempt(int line, bool guarded, const std::function<void()>& step) {
        try {
            step();
            return true;
        } catch (const AppError&) {
            failed(line, guarded);
            if (!StatementWait::cancelled())
                throw;
        }
        m_outcome.failedLine = 0;
        m_outcome.stopped = true;
        return false;
    }

    // Whether the failure left the transaction it ran in open: an engine may take the whole of it
    // back by itself (SQLite does on an interrupt, a full disk or RAISE(ROLLBACK)).
    void failed(int line, bool guarded) {
        failedAt(line);
        switch (m_context) {
        case Context::None:
            return;
        case Context::Scripts:
            rollbackAll();
            rolledBack(Context::Scripts);
            m_context = Context::None;
            return;
        case Context::OwnGroup:
        case Context::Operators:
            break;
        }
        bool stillOpen = true;
        if (guarded) {
            try {
                rollbackToSavepoint();
            } catch (const AppError&) {
                stillOpen = false;
            }
        } else {
            stillOpen = transactionOpen();
        }
        if (!stillOpen) {
            if (m_context == Context::OwnGroup)
                rollbackAll();
            rolledBack(m_context);
            m_context = Context::None;
            m_inGroup = 0;
            return;
        }
        keepGroup(line);
    }

    // Commits the open group; a commit that fails is rolled back and thrown.
    void keepGroup(int line = 0) {
        if (m_context != Context::OwnGroup)
            return;
        m_inGroup = 0;
        try {
            commitGroup();
        } catch (const AppError& error) {
            rollbackAll();
            m_context = Context::None;
            rolledBack(Context::OwnGroup);
            const int from = outcome().groupRolledBackFrom > 0 ? outcome().groupRolledBackFrom : line;
            if (outcome().failedLine == 0)
                failedAt(from);
            throw AppError(
                error.number(),
                QStringLiteral("第 %1 行起的陳述式無法確定 (COMMIT): %2").arg(from).arg(error.description()));
        }
        m_context = Context::None;
        groupCommitted();
    }

    // For the destructor of a stream left without finish() or stopHere(): what ran stands.
    void keepQuietly() {
        try {
            keepGroup();
        } catch (...) {
            // A commit that fails here has nobody left to tell.
        }
    }

    int m_inGroup = 0;
};

class SqliteStream final : public SyncStream {
public:
    explicit SqliteStream(sqlite3* handle) : SyncStream(ServerKind::Sqlite), m_handle(handle) {
        if (transactionOpen())
            m_context = Context::Operators;
        m_groupsSafe = groupsAreSafe();
    }
    ~SqliteStream() override { keepQuietly(); }

protected:
    // As the engine divides the text: a statement the reader cut holds one, but nothing is lost
    // where the two would disagree.
    void execute(const QString& sql) override {
        const QByteArray text = sql.toUtf8();
        const char* next = text.constData();
        const char* const end = next + text.size();
        while (next < end) {
            sqlite3_stmt* statement = nullptr;
            const char* tail = nullptr;
            if (sqlite3_prepare_v2(m_handle, next, int(end - next), &statement, &tail) != SQLITE_OK)
                throw Errors::statementRejected(QString::fromUtf8(sqlite3_errmsg(m_handle)));
            if (!statement)
                return; // only blanks and comments were left
            // Interrupted, a statement that writes inside a transaction takes the whole of it
            // back: one that would take others of its group with it runs to its end, and the run
            // stops after it.
            const StatementWait::Shield shield(m_context == Context::OwnGroup && m_inGroup > 0 &&
                                               !sqlite3_stmt_readonly(statement));
            int step = SQLITE_ROW;
            while (step == SQLITE_ROW)
                step = sqlite3_step(statement);
            if (step != SQLITE_DONE) {
                const QString why = QString::fromUtf8(sqlite3_errmsg(m_handle));
                sqlite3_finalize(statement);
                throw Errors::statementRejected(why);
            }
            sqlite3_finalize(statement);
            next = tail;
        }
    }
    bool transactionOpen() override { return !sqlite3_get_autocommit(m_handle); }
    bool beginGroup() override {
        if (!m_groupsSafe)
            return false;
        execute(QStringLiteral("BEGIN"));
        return true;
    }
    void commitGroup() override { execute(QStringLiteral("COMMIT")); }
    void rollbackAll() override {
        if (transactionOpen())
            sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool statementsUndoThemselves() const override { return true; }
    void executeGuarded(const QString& sql, bool) override { execute(sql); }
    void rollbackToSavepoint() override {}
    void ran(const QString& sql) override {
        const char16_t first = sql.isEmpty() ? 0 : (sql[0].unicode() & ~char16_t(0x20));
        if (first != u'C' && first != u'A' && first != u'D' && first != u'P')
            return; // not one of the words below: the common case, decided at once
        for (const char* word : {"CREATE", "ALTER", "DROP", "PRAGMA", "ATTACH", "DETACH"})
            if (sql.startsWith(QLatin1String(word), Qt::CaseInsensitive)) {
                m_groupsSafe = groupsAreSafe();
                if (!m_groupsSafe)
                    keepGroup(); // the statements after it run each by itself
                return;
            }
    }

private:
    // The first column of a statement's rows, read as text.
    QList<QByteArray> firstColumn(const QByteArray& sql) {
        QList<QByteArray> values;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_handle, sql.constData(), int(sql.size()), &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                values << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        return values;
    }

    // Whether statements may share a transaction of the run's and each still have the outcome of
    // running alone: not where a failing one takes the whole transaction with it (a ROLLBACK
    // conflict: RAISE(ROLLBACK), ON CONFLICT ROLLBACK), nor where a deferred foreign key is checked
    // only when the transaction commits.
    bool groupsAreSafe() {
        if (firstColumn("PRAGMA defer_foreign_keys").value(0) == "1")
            return false;
        QList<QByteArray> schemas;
        sqlite3_stmt* list = nullptr;
        if (sqlite3_prepare_v2(m_handle, "PRAGMA database_list", -1, &list, nullptr) == SQLITE_OK)
            while (sqlite3_step(list) == SQLITE_ROW)
                schemas << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(list, 1)));
        sqlite3_finalize(list);
        for (QByteArray schema : std::as_const(schemas)) {
            schema.replace('"', "\"\"");
            if (!firstColumn("SELECT 1 FROM \"" + schema +
                             "\".sqlite_master WHERE sql LIKE '%ROLLBACK%' OR sql LIKE '%DEFERRED%' LIMIT 1")
                     .isEmpty())
                return false;
        }
        return true;
    }

    sqlite3* m_handle;
    bool m_groupsSafe = true;
};

// ODBC sources, MySQL and the rest, through Qt's driver.
class DriverStream final : public SyncStream {
public:
    explicit DriverStream(Connection& connection)
        : SyncStream(connection.serverKind()), m_connection(connection), m_db(connection.database()) {
        if (operatorsTransactionOpen(m_db, m_server).value_or(false))
            m_context = Context::Operators;
    }
    ~DriverStream() override { keepQuietly(); }

protected:
    void execute(const QString& sql) override { m_connection.execute(sql); }
    bool transactionOpen() override {
        if (m_context == Context::OwnGroup)
            return true;
        try {
            return operatorsTransactionOpen(m_db, m_server).value_or(false);
        } catch (const AppError&) {
            return true; // a failed transaction is still open
        }
    }
    bool beginGroup() override {
        // Without savepoints a failing statement would take its group with it: each runs alone.
        if (m_server == ServerKind::Other || !m_db.driver()->hasFeature(QSqlDriver::Transactions) ||
            !m_db.transaction())
            return false;
        // A deferred constraint is checked where the statement ends, as it would be alone.
        if (m_server == ServerKind::Postgres)
            execute(QStringLiteral("SET CONSTRAINTS ALL IMMEDIATE"));
        return true;
    }
    void commitGroup() override {
        if (!m_db.commit())
            throw Errors::statementRejected(failureText(m_db.lastError(), m_db));
    }
    void rollbackAll() override {
        if (m_context == Context::OwnGroup) {
            m_db.rollback();
            return;
        }
        try {
            m_connection.execute(QStringLiteral("ROLLBACK"));
        } catch (const AppError&) {
            // Nothing was open any more.
        }
    }
    bool statementsUndoThemselves() const override { return m_server == ServerKind::Other; }
    void executeGuarded(const QString& sql, bool guarded) override {
        if (!guarded) {
            execute(sql);
        } else if (m_server == ServerKind::Postgres) {
            // One round trip: the server stops at a failure, and the savepoint before it stands.
            execute(QStringLiteral("SAVEPOINT orvik_statement;\n") + sql +
                    QStringLiteral(";\nRELEASE SAVEPOINT orvik_statement"));
        } else if (m_server == ServerKind::SqlServer) {
            execute(QStringLiteral("SAVE TRANSACTION orvik_statement"));
            execute(sql);
        } else {
            execute(QStringLiteral("SAVEPOINT orvik_statement"));
            execute(sql);
            execute(QStringLiteral("RELEASE SAVEPOINT orvik_statement"));
        }
    }
    void rollbackToSavepoint() override {
        if (m_server == ServerKind::SqlServer) {
            execute(QStringLiteral("ROLLBACK TRANSACTION orvik_statement"));
            return;
        }
        execute(QStringLiteral("ROLLBACK TO SAVEPOINT orvik_statement"));
        execute(QStringLiteral("RELEASE SAVEPOINT orvik_statement"));
    }

private:
    Connection& m_connection;
    QSqlDatabase m_db;
};
} // namespace

std::unique_ptr<StatementStream> StatementStream::open(Connection& connection) {
    if (!connection.isOpen())
        throw Errors::connectionUnusable();
    const QSqlDatabase db = connection.database();
    if (connection.engine() == Engine::Sqlite)
        if (sqlite3* handle = sqliteConnection(db))
            return std::make_unique<SqliteStream>(handle);
    if (connection.engine() == Engine::Postgres)
        if (pg_conn* conn = postgresConnection(db))
            return makePostgresPipelineStream(conn);
    return std::make_unique<DriverStream>(connection);
}
