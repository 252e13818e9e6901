#include "db/postgres_pipeline.h"

#include "app/errors.h"
#include "db/postgres_wait.h"
#include "db/script_syntax.h"
#include "db/statement_stream.h"
#include "db/statement_wait.h"

#include <QElapsedTimer>

#include <libpq-fe.h>

#include <deque>
#include <functional>
#include <optional>
#include <poll.h>

namespace {
constexpr int kInFlight = 512;  // statements sent ahead of their answers
constexpr int kFlushEvery = 64; // commands after which the server is asked to send its answers
constexpr qint64 kCancelAfterMs = 500;

class PostgresPipelineStream final : public StatementStream {
public:
    explicit PostgresPipelineStream(PGconn* conn) : StatementStream(ServerKind::Postgres), m_conn(conn) {
        switch (PQtransactionStatus(conn)) {
        case PQTRANS_INTRANS:
            m_context = Context::Operators;
            break;
        case PQTRANS_INERROR:
            throw AppError(
                ErrNo::DbStatementRejected,
                QStringLiteral(
                    "以 BEGIN 開始的交易已失敗, 不再接受陳述式; 請先以 ROLLBACK 結束它。未執行任何陳述式。"));
        default:
            break;
        }
    }

    ~PostgresPipelineStream() override {
        try {
            if (m_context == Context::OwnGroup)
                send(Item::Commit, QByteArrayLiteral("COMMIT"), 0);
            drain();
        } catch (...) {
            // What could not be kept here has nobody left to tell.
        }
        leavePipeline();
    }

    using StatementStream::run;
    void run(const QString& sql, int line, ScriptStatementKind kind) override {
        if (kind != ScriptStatementKind::Plain) {
            runAlone(sql, line, kind, nullptr);
            return;
        }
        if (m_context == Context::None) {
            send(Item::Begin, QByteArrayLiteral("BEGIN"), line);
            m_context = Context::OwnGroup;
            // A deferred constraint is checked where the statement ends, as it would be alone.
            send(Item::Begin, QByteArrayLiteral("SET CONSTRAINTS ALL IMMEDIATE"), line);
            m_inGroup = 0;
        }
        const bool guarded = m_context != Context::Scripts;
        if (guarded)
            send(Item::Savepoint, QByteArrayLiteral("SAVEPOINT orvik_statement"), line);
        send(Item::Statement, sql.toUtf8(), line);
        if (guarded)
            send(Item::Release, QByteArrayLiteral("RELEASE SAVEPOINT orvik_statement"), line);
        if (m_context == Context::OwnGroup && ++m_inGroup >= kGroupSize) {
            send(Item::Commit, QByteArrayLiteral("COMMIT"), line);
            m_context = Context::None;
        }
        readResults(false);
        while (m_statementsInFlight > kInFlight && !m_failure && keepGoing())
            readResults(true);
        if (m_failure)
            recover(); // throws, or the run ends stopped
    }

    void finish() override {
        if (m_context == Context::OwnGroup) {
            send(Item::Commit, QByteArrayLiteral("COMMIT"), 0);
            m_context = Context::None;
        }
        drain();
        if (m_failure)
            recover();
        leavePipeline();
    }

    void stopHere() override {
        m_stopping.start();
        finish();
        if (m_context == Context::Scripts) {
            exec(QByteArrayLiteral("ROLLBACK"));
            rolledBack(Context::Scripts);
            m_context = Context::None;
        }
    }

    void runCopy(const QString& sql, int line, const std::function<bool(QByteArray&)>& nextRow) override {
        runAlone(sql, line, ScriptStatementKind::RunsAlone, &nextRow);
    }

    void endOpenTransaction(bool commit) override {
        if (m_context != Context::Scripts)
            return;
        const QByteArray sql = commit ? QByteArrayLiteral("COMMIT") : QByteArrayLiteral("ROLLBACK");
        QString why;
        const bool ok = exec(sql, &why);
        if (!ok || !commit) {
            if (PQtransactionStatus(m_conn) != PQTRANS_IDLE)
                exec(QByteArrayLiteral("ROLLBACK"));
            rolledBack(Context::Scripts);
            m_context = Context::None;
            if (!ok)
                throw Errors::statementRejected(why);
            return;
        }
        transactionControlRan(QString::fromLatin1(sql), 0, PQtransactionStatus(m_conn) != PQTRANS_IDLE);
    }

private:
    enum class Item : quint8 { Begin, Savepoint, Statement, Release, Commit, Sync };
    struct Sent {
        Item item;
        Context context; // where it runs
        int line;        // the line of the statement it belongs to
    };
    struct Failure {
        Sent sent;
        QString message;
        bool byStop = false; // the cancel the operator's stop sent
    };

    void enterPipeline() {
        if (m_inPipeline)
            return;
        if (!PQenterPipelineMode(m_conn))
            throw Errors::statementRejected(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        PQsetnonblocking(m_conn, 1);
        m_inPipeline = true;
    }

    void leavePipeline() {
        if (!m_inPipeline || !m_sent.empty())
            return;
        PQexitPipelineMode(m_conn);
        PQsetnonblocking(m_conn, 0);
        m_inPipeline = false;
    }

    void send(Item item, const QByteArray& sql, int line) {
        enterPipeline();
        if (!PQsendQueryParams(m_conn, sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0))
            throw Errors::statementRejected(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        m_sent.push_back({item, m_context, line});
        if (item == Item::Statement)
            ++m_statementsInFlight;
        if (++m_sinceFlush >= kFlushEvery) {
            PQsendFlushRequest(m_conn);
            m_sinceFlush = 0;
        }
    }

    // Takes the answers that have come; with `wait`, first waits a moment for more while the
    // window's events run.
    void readResults(bool wait) {
        const bool unsent = PQflush(m_conn) > 0;
        if (wait) {
            pollfd socket = {PQsocket(m_conn), short(POLLIN | (unsent ? POLLOUT : 0)), 0};
            ::poll(&socket, 1, 30);
            StatementWait::pumpDue();
            if (m_stopping.isValid() && !m_cancelSent && m_stopping.elapsed() > kCancelAfterMs &&
                !m_sent.empty()) {
                // A statement that runs on after the operator stopped is cancelled; its savepoint
                // takes it back. (The server holds its answers until the statement ends, so the
                // one under way is not known here; a cancel between commands is ignored.)
                PostgresWait::cancel(m_conn);
                m_cancelSent = true;
            }
        }
        if (!PQconsumeInput(m_conn) || PQstatus(m_conn) == CONNECTION_BAD) {
            connectionLost();
            return;
        }
        while (!m_sent.empty() && !PQisBusy(m_conn)) {
            PGresult* result = PQgetResult(m_conn);
            if (!result) {
                if (!m_answered)
                    break;
                takeFront();
                continue;
            }
            const ExecStatusType status = PQresultStatus(result);
            if (status == PGRES_FATAL_ERROR && !m_failure) {
                const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
                m_failure = Failure{m_sent.front(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
                                    m_cancelSent && state && qstrcmp(state, "57014") == 0};
            }
            m_frontOk =
                status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
            PQclear(result);
            m_answered = true;
            if (m_sent.front().item == Item::Sync) // a sync's answer has no end mark after it
                takeFront();
        }
    }

    void takeFront() {
        const Sent front = m_sent.front();
        m_sent.pop_front();
        const bool ok = m_frontOk;
        m_answered = m_frontOk = false;
        switch (front.item) {
        case Item::Statement:
            --m_statementsInFlight;
            if (ok && front.context == Context::Scripts)
                statementStood(front.context, front.line);
            break;
        case Item::Release:
            if (ok)
                statementStood(front.context, front.line);
            break;
        case Item::Commit:
            if (ok)
                groupCommitted();
            break;
        case Item::Begin:
        case Item::Savepoint:
        case Item::Sync:
            break;
        }
    }

    void connectionLost() {
        const QString why = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        if (!m_failure && !m_sent.empty())
            m_failure = Failure{m_sent.front(), QStringLiteral("與 PostgreSQL 伺服器的連線已中斷: ") + why};
        m_sent.clear();
        m_statementsInFlight = 0;
    }

    // Ends what was sent with a sync and reads every answer up to it.
    void drain() {
        if (!m_inPipeline)
            return;
        if (m_sent.empty() || m_sent.back().item != Item::Sync) {
            if (!PQpipelineSync(m_conn)) {
                connectionLost();
                return;
            }
            m_sent.push_back({Item::Sync, m_context, 0});
        }
        while (!m_sent.empty()) {
            readResults(true);
            if (!m_stopping.isValid() && !keepGoing()) {
                m_stopping.start();
                m_outcome.stopped = true; // what was sent still runs, and stands
            }
        }
    }

    // After the first failure: everything sent after it was skipped; what stood before it is
    // kept and the failing statement is taken back. Throws the failure, unless it was the cancel
    // of a stop: the run then ends as stopped.
    void recover() {
        drain();
        leavePipeline();
        const Failure failure = *m_failure;
        m_failure.reset();
        m_stopping.invalidate();
        failedAt(failure.sent.line);
        const Context where = failure.sent.context;
        const bool open =
            PQtransactionStatus(m_conn) == PQTRANS_INERROR || PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
        const bool atStatement = failure.sent.item == Item::Statement;
        if (where == Context::OwnGroup) {
            if (open && atStatement && exec("ROLLBACK TO SAVEPOINT orvik_statement") && exec("COMMIT")) {
                groupCommitted();
            } else {
                if (PQtransactionStatus(m_conn) != PQTRANS_IDLE)
                    exec("ROLLBACK");
                rolledBack(Context::OwnGroup);
            }
            m_context = Context::None;
        } else if (where == Context::Operators) {
            if (!(open && atStatement && exec("ROLLBACK TO SAVEPOINT orvik_statement") &&
                  exec("RELEASE SAVEPOINT orvik_statement")))
                rolledBack(Context::Operators);
            m_context = PQtransactionStatus(m_conn) == PQTRANS_INTRANS ? Context::Operators : Context::None;
        } else {
            if (open)
                exec("ROLLBACK");
            rolledBack(Context::Scripts);
            m_context = Context::None;
        }
        if (failure.byStop) {
            m_outcome.failedLine = 0;
            m_outcome.stopped = true;
            return;
        }
        throw Errors::statementRejected(failure.message);
    }

    // Runs a statement by itself, outside the pipeline, as psql sends it; false with the server's
    // text when it fails. The rows of a COPY ... FROM STDIN come from copyRows.
    bool exec(const QByteArray& sql, QString* why = nullptr,
              const std::function<bool(QByteArray&)>* copyRows = nullptr) {
        if (!PQsendQuery(m_conn, sql.constData())) {
            if (why)
                *why = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
            return false;
        }
        bool ok = true;
        while (PGresult* result = PostgresWait::nextResult(m_conn)) {
            const ExecStatusType status = PQresultStatus(result);
            if (status == PGRES_COPY_IN) {
                sendCopyRows(copyRows);
            } else if (status == PGRES_COPY_OUT) {
                char* row = nullptr;
                while (PQgetCopyData(m_conn, &row, 0) > 0)
                    PQfreemem(row); // the rows go nowhere, as a SELECT's do
            }
            const bool fine = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ||
                              status == PGRES_EMPTY_QUERY || status == PGRES_COPY_IN ||
                              status == PGRES_COPY_OUT;
            if (!fine && ok) {
                ok = false;
                if (why)
                    *why = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
            }
            PQclear(result);
        }
        return ok;
    }

    // The data of COPY ... FROM STDIN, as psql reads it from the lines after the statement.
    void sendCopyRows(const std::function<bool(QByteArray&)>* copyRows) {
        if (!copyRows) {
            PQputCopyEnd(m_conn, "此處的 COPY ... FROM STDIN 之後沒有資料");
            return;
        }
        QByteArray row;
        for (int rows = 1; (*copyRows)(row); ++rows) {
            row += '\n';
            if (PQputCopyData(m_conn, row.constData(), int(row.size())) != 1)
                break;
            if (rows % 1000 == 0 && !keepGoing()) {
                m_copyStopped = true;
                PQputCopyEnd(m_conn, "操作者已停止 (Esc)");
                return;
            }
        }
        PQputCopyEnd(m_conn, nullptr);
    }

    // Runs a statement by itself, after what was sent before it; in the operator's transaction with
    // a savepoint before it.
    void runAlone(const QString& sql, int line, ScriptStatementKind kind,
                  const std::function<bool(QByteArray&)>* copyRows) {
        // What was sent before it runs, and the group is kept, first.
        if (m_context == Context::OwnGroup) {
            send(Item::Commit, QByteArrayLiteral("COMMIT"), line);
            m_context = Context::None;
        }
        drain();
        if (m_failure) {
            recover();
            return; // stopped
        }
        if (m_outcome.stopped)
            return; // the operator stopped the run while what came before it ran
        leavePipeline();
        const bool guarded =
            m_context == Context::Operators && kind != ScriptStatementKind::TransactionControl;
        if (guarded)
            exec("SAVEPOINT orvik_statement");
        QString why;
        m_copyStopped = false;
        const bool ok = exec(sql.toUtf8(), &why, copyRows);
        const PGTransactionStatusType status = PQtransactionStatus(m_conn);
        if (!ok) {
            if (guarded) {
                exec("ROLLBACK TO SAVEPOINT orvik_statement");
                exec("RELEASE SAVEPOINT orvik_statement");
            } else if (m_context == Context::Scripts ||
                       (m_context == Context::None && status != PQTRANS_IDLE)) {
                if (status != PQTRANS_IDLE)
                    exec("ROLLBACK"); // the transaction the statements opened (a failed COMMIT ended it)
                rolledBack(Context::Scripts);
                m_context = Context::None;
            } else if (m_context == Context::Operators && status != PQTRANS_INTRANS) {
                // A COMMIT of the operator's transaction that failed took it back; one that
                // failed inside it left it refusing every statement until a ROLLBACK.
                rolledBack(Context::Operators);
                if (status == PQTRANS_IDLE)
                    m_context = Context::None;
            }
            if (m_copyStopped || StatementWait::cancelled()) {
                m_outcome.stopped = true;
                return;
            }
            failedAt(line);
            throw Errors::statementRejected(why);
        }
        if (guarded)
            exec("RELEASE SAVEPOINT orvik_statement");
        if (kind == ScriptStatementKind::TransactionControl)
            transactionControlRan(sql, line, status != PQTRANS_IDLE);
        else
            statementStood(m_context, line);
    }

    PGconn* m_conn;
    std::deque<Sent> m_sent;
    std::optional<Failure> m_failure;
    bool m_inPipeline = false;
    bool m_answered = false; // the front command has had its answer, its end mark is to come
    bool m_frontOk = false;
    qint64 m_statementsInFlight = 0;
    int m_sinceFlush = 0;
    int m_inGroup = 0;
    QElapsedTimer m_stopping; // valid once the operator has stopped the run
    bool m_cancelSent = false;
    bool m_copyStopped = false; // the operator stopped the rows of a COPY
};
} // namespace

std::unique_ptr<StatementStream> makePostgresPipelineStream(pg_conn* conn) {
    return std::make_unique<PostgresPipelineStream>(conn);
}
