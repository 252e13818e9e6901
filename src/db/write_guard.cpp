#include "db/write_guard.h"

#include "app/errors.h"
#include "db/connection.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <optional>

namespace {
const QString kSavepoint = QStringLiteral("orvik_write");
} // namespace

std::optional<bool> operatorsTransactionOpen(const QSqlDatabase& db, ServerKind server) {
    const auto ask = [&db](const QString& sql) -> std::optional<bool> {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next())
            return std::nullopt;
        return q.value(0).toLongLong() != 0;
    };
    switch (server) {
    case ServerKind::Postgres:
        if (engineOf(db) == Engine::Postgres) {
            PGconn* conn = postgresConnection(db);
            if (!conn)
                return std::nullopt;
            const PGTransactionStatusType status = PQtransactionStatus(conn);
            if (status == PQTRANS_INERROR)
                throw AppError(ErrNo::DbStatementRejected,
                               QStringLiteral("以 BEGIN 開始的交易已失敗, 不再接受陳述式; 請先以 ROLLBACK "
                                              "結束它。未寫入任何資料。"));
            return status == PQTRANS_INTRANS;
        }
        // A statement inside a transaction block starts later than the transaction did.
        return ask(QStringLiteral("SELECT CASE WHEN now() <> statement_timestamp() THEN 1 ELSE 0 END"));
    case ServerKind::SqlServer:
        return ask(QStringLiteral("SELECT @@TRANCOUNT"));
    case ServerKind::Mysql:
        return ask(QStringLiteral("SELECT @@in_transaction"));
    case ServerKind::Sqlite:
    case ServerKind::Other:
        break;
    }
    return std::nullopt;
}

WriteGuard::WriteGuard(Connection& connection) : m_connection(connection) {
    QSqlDatabase db = connection.database();
    if (!db.isOpen())
        throw Errors::connectionUnusable();
    const ServerKind server = connection.serverKind();
    // SQLite's savepoint opens a transaction of its own when there is none, and nests in the
    // operator's when there is one: it serves both.
    if (server == ServerKind::Sqlite) {
        sqlite3* handle = sqliteConnection(db);
        const bool ownTransaction = handle && sqlite3_get_autocommit(handle);
        if (run(QStringLiteral("SAVEPOINT ") + kSavepoint))
            m_mode = ownTransaction ? Mode::SqliteTransaction : Mode::Savepoint;
        m_open = m_mode != Mode::None;
        return;
    }
    const std::optional<bool> open = operatorsTransactionOpen(db, server);
    if (open.value_or(false)) {
        const QString sql = server == ServerKind::SqlServer ? QStringLiteral("SAVE TRANSACTION ") + kSavepoint
                                                            : QStringLiteral("SAVEPOINT ") + kSavepoint;
        if (run(sql))
            m_mode = Mode::Savepoint;
    } else if (db.driver()->hasFeature(QSqlDriver::Transactions) && db.transaction()) {
        m_mode = Mode::Transaction;
    }
    m_open = m_mode != Mode::None;
}

WriteGuard::~WriteGuard() {
    if (m_open)
        undo();
}

bool WriteGuard::run(const QString& sql, QString* failure) {
    QSqlQuery q(m_connection.database());
    if (q.exec(sql))
        return true;
    if (failure)
        *failure = failureText(q.lastError(), m_connection.database());
    return false;
}

void WriteGuard::keep() {
    if (!m_open)
        return;
    QSqlDatabase db = m_connection.database();
    QString failure;
    bool kept = true;
    if (m_mode == Mode::Transaction) {
        kept = db.commit();
        if (!kept)
            failure = QStringLiteral("變更無法確定 (COMMIT): ") + failureText(db.lastError(), db);
    } else if (m_connection.serverKind() != ServerKind::SqlServer) {
        kept = run(QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint, &failure);
        if (!kept)
            failure = QStringLiteral("變更無法保留: ") + failure;
    }
    if (kept) {
        m_open = false;
        return;
    }
    // A commit that failed may leave the transaction open (SQLite's does when another program
    // reads the database): it is taken back, or every later write would join it and hold the
    // database locked until the program ends.
    undo();
    throw AppError(ErrNo::DbStatementRejected, failure);
}

QString WriteGuard::undo() {
    if (!m_open)
        return {};
    m_open = false;
    QSqlDatabase db = m_connection.database();
    QString failure;
    if (m_mode == Mode::Transaction) {
        if (!db.rollback())
            failure = failureText(db.lastError(), db);
    } else if (m_mode == Mode::SqliteTransaction) {
        // The whole transaction the savepoint opened: releasing it after rolling back to it would
        // be a commit, which waits for every reader of the database.
        run(QStringLiteral("ROLLBACK"), &failure);
    } else if (m_connection.serverKind() == ServerKind::SqlServer) {
        run(QStringLiteral("ROLLBACK TRANSACTION ") + kSavepoint, &failure);
    } else if (run(QStringLiteral("ROLLBACK TO SAVEPOINT ") + kSavepoint, &failure)) {
        run(QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint, &failure);
    }
    return failure;
}
