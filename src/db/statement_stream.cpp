#include "db/statement_stream.h"

#include "app/errors.h"
#include "db/connection.h"
#include "db/postgres_pipeline.h"
#include "db/script_syntax.h"
#include "db/write_guard.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>

#include <sqlite3.h>

QString outcomeNotes(const StreamOutcome& outcome) {
    QStringList notes;
    if (outcome.rolledBack > 0)
        notes << (outcome.rolledBackFrom > 0
                      ? QStringLiteral(
                            "第 %1 行開始的交易已復原 (ROLLBACK), 其中已執行的 %2 個陳述式不再生效")
                            .arg(outcome.rolledBackFrom)
                            .arg(outcome.rolledBack)
                      : QStringLiteral("交易已復原 (ROLLBACK), 其中已執行的 %1 個陳述式不再生效")
                            .arg(outcome.rolledBack));
    if (outcome.inOperatorsTransaction > 0)
        notes << QStringLiteral("另有 %1 個陳述式在你開啟的交易中, 待你 COMMIT 或 ROLLBACK")
                     .arg(outcome.inOperatorsTransaction);
    return notes.join(QStringLiteral("\r\n"));
}

StatementStream::~StatementStream() = default;

void StatementStream::runCopy(const QString&, int line, const std::function<bool(QByteArray&)>&) {
    failedAt(line);
    throw AppError(ErrNo::DbStatementRejected,
                   QStringLiteral("COPY ... FROM STDIN 與其後的資料行只能在 PostgreSQL 連線上執行"));
}

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
    qint64 none = 0;
    qint64& count = context == Context::OwnGroup    ? m_groupStatements
                    : context == Context::Scripts   ? m_scriptStatements
                    : context == Context::Operators ? m_outcome.inOperatorsTransaction
                                                    : none;
    const int from = context == Context::OwnGroup  ? m_groupFrom
                     : context == Context::Scripts ? m_scriptFrom
                                                   : 0;
    if (count > 0) {
        m_outcome.rolledBack += count;
        if (from > 0 && (m_outcome.rolledBackFrom == 0 || from < m_outcome.rolledBackFrom))
            m_outcome.rolledBackFrom = from;
    }
    count = 0;
}

void StatementStream::transactionControlRan(QStringView statement, int line, bool open) {
    switch (m_context) {
    case Context::None:
    case Context::OwnGroup:
        if (open) {
            m_context = Context::Scripts;
            m_scriptFrom = line;
            m_scriptStatements = 1;
        } else {
            ++m_outcome.kept;
        }
        return;
    case Context::Scripts:
    case Context::Operators:
        if (open) {
            statementStood(m_context, line);
            return;
        }
        // The transaction ended: what ran in it stands with a COMMIT and goes with a ROLLBACK.
        if (!discardsTransaction(statement))
            m_outcome.kept +=
                m_context == Context::Scripts ? m_scriptStatements : m_outcome.inOperatorsTransaction;
        m_scriptStatements = 0;
        m_outcome.inOperatorsTransaction = 0;
        ++m_outcome.kept;
        m_context = Context::None;
        return;
    }
}

namespace {
// The statements of a run one at a time, each finished before the next: the engine's outcome of a
// statement is known when run() returns.
class SyncStream : public StatementStream {
public:
    explicit SyncStream(ServerKind server) : m_server(server) {}

    void run(const QString& sql, int line) override {
        const ScriptStatementKind kind = scriptStatementKind(sql, m_server);
        if (kind == ScriptStatementKind::TransactionControl) {
            keepGroup(line);
            try {
                execute(sql);
            } catch (...) {
                failed(line, false);
                throw;
            }
            transactionControlRan(sql, line, transactionOpen());
            return;
        }
        if (m_context == Context::OwnGroup && kind == ScriptStatementKind::RunsAlone)
            keepGroup(line);
        if (m_context == Context::None && kind == ScriptStatementKind::Plain && beginGroup())
            m_context = Context::OwnGroup;
        const bool guarded = (m_context == Context::OwnGroup || m_context == Context::Operators) &&
                             !statementsUndoThemselves();
        if (guarded)
            savepoint(true);
        try {
            execute(sql);
        } catch (...) {
            failed(line, guarded);
            throw;
        }
        if (guarded)
            savepoint(false);
        statementStood(m_context, line);
        if (m_context == Context::OwnGroup && ++m_inGroup >= kGroupSize)
            keepGroup(line);
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
    // Sets (true) or releases (false) the savepoint before a statement.
    virtual void savepoint(bool set) = 0;
    virtual void rollbackToSavepoint() = 0;

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
        m_context = Context::None;
        m_inGroup = 0;
        try {
            commitGroup();
        } catch (...) {
            rollbackAll();
            rolledBack(Context::OwnGroup);
            if (line > 0 && outcome().failedLine == 0)
                failedAt(line);
            throw;
        }
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

    ServerKind m_server;
    int m_inGroup = 0;
};

class SqliteStream final : public SyncStream {
public:
    explicit SqliteStream(sqlite3* handle) : SyncStream(ServerKind::Sqlite), m_handle(handle) {
        if (transactionOpen())
            m_context = Context::Operators;
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
                throw AppError(ErrNo::DbStatementRejected, QString::fromUtf8(sqlite3_errmsg(m_handle)));
            if (!statement)
                return; // only blanks and comments were left
            int step = SQLITE_ROW;
            while (step == SQLITE_ROW)
                step = sqlite3_step(statement);
            if (step != SQLITE_DONE) {
                const QString why = QString::fromUtf8(sqlite3_errmsg(m_handle));
                sqlite3_finalize(statement);
                throw AppError(ErrNo::DbStatementRejected, why);
            }
            sqlite3_finalize(statement);
            next = tail;
        }
    }
    bool transactionOpen() override { return !sqlite3_get_autocommit(m_handle); }
    bool beginGroup() override {
        execute(QStringLiteral("BEGIN"));
        return true;
    }
    void commitGroup() override { execute(QStringLiteral("COMMIT")); }
    void rollbackAll() override {
        if (transactionOpen())
            sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool statementsUndoThemselves() const override { return true; }
    void savepoint(bool) override {}
    void rollbackToSavepoint() override {}

private:
    sqlite3* m_handle;
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
        if (m_server == ServerKind::Other || !m_db.driver()->hasFeature(QSqlDriver::Transactions))
            return false;
        return m_db.transaction();
    }
    void commitGroup() override {
        if (!m_db.commit())
            throw AppError(ErrNo::DbStatementRejected, failureText(m_db.lastError(), m_db));
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
    void savepoint(bool set) override {
        if (m_server == ServerKind::SqlServer) {
            if (set)
                execute(QStringLiteral("SAVE TRANSACTION orvik_statement"));
            return;
        }
        execute(set ? QStringLiteral("SAVEPOINT orvik_statement")
                    : QStringLiteral("RELEASE SAVEPOINT orvik_statement"));
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
        throw AppError(3709, QStringLiteral("The connection cannot be used to perform this operation. "
                                            "It is either closed or invalid in this context."));
    const QSqlDatabase db = connection.database();
    if (connection.engine() == Engine::Sqlite)
        if (sqlite3* handle = sqliteConnection(db))
            return std::make_unique<SqliteStream>(handle);
    if (connection.engine() == Engine::Postgres)
        if (pg_conn* conn = postgresConnection(db))
            return makePostgresPipelineStream(conn);
    return std::make_unique<DriverStream>(connection);
}
