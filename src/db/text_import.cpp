#include "db/text_import.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/helpers.h"
#include "app/operator.h"
#include "db/connection.h"
#include "db/import_reader.h"
#include "db/script_runner.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "db/statement_stream.h"
#include "db/statement_wait.h"
#include "db/write_guard.h"

#include <QFile>

bool LineRun::goesOn() {
    if (!progress || progress(lines))
        return true;
    StatementWait::noteCancelled();
    return false;
}

namespace {
// Whether the table takes the columns: when the first line is refused, the table name or the
// column list may be the cause rather than the line's values. Asked where it can change nothing.
QString tableRefusal(Connection& connection, const QString& tableName, const QString& columnList) {
    try {
        WriteGuard guard(connection);
        QString why;
        try {
            connection.execute(QStringLiteral("SELECT ") + columnList + QStringLiteral(" FROM ") + tableName +
                               QStringLiteral(" WHERE 1 = 0"));
        } catch (const AppError& error) {
            why = error.description();
        }
        guard.undo();
        return why;
    } catch (const AppError&) {
        return {}; // the probe itself could not be made: the line's own failure is told
    }
}

// The import itself; throws AppError naming the file and line of a failure.
void importFile(const QString& fileName, const QString& tableName, Connection* connection, LineRun& run) {
    if (!connection || !connection->isOpen())
        throw Errors::connectionUnusable();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throwReadError(fileName, fileErrorReason(file));
    run.codec = detectCodec(file, &run.codecExact);
    if (!readAnyway(fileName, run)) {
        run.stopped = true;
        return;
    }
    ImportReader reader(file, run.codec);
    const std::unique_ptr<StatementStream> stream = StatementStream::open(*connection);
    stream->setWaitCheck([&run] { return run.goesOn(); });
    QString columnList;
    int firstDataLine = 0;
    // What stands after a failure: said in the message, as a lost connection takes back more
    // than the failing line.
    const auto failed = [&](int line, const AppError& error, bool sent) {
        if (!sent) {
            try {
                stream->stopHere();
            } catch (const AppError&) {
                // The first failure is the one to tell.
            }
        }
        run.outcome = stream->outcome();
        if (sent && run.outcome.failedLine > 0)
            line = run.outcome.failedLine;
        run.outcome.failedLine = line;
        QString why = QStringLiteral("%1 第 %2 行: %3").arg(fileName).arg(line).arg(error.description());
        if (sent && line == firstDataLine)
            if (const QString refusal = tableRefusal(*connection, tableName, columnList); !refusal.isEmpty())
                why = QStringLiteral("資料表 %1 (欄位 %2) 無法寫入: %3").arg(tableName, columnList, refusal);
        why += QStringLiteral("\r\n已寫入並確定的資料行數: %1").arg(run.outcome.kept);
        if (const QString notes = outcomeNotes(run.outcome); !notes.isEmpty())
            why += QStringLiteral("\r\n") + notes;
        return AppError(error.number(), why);
    };
    std::optional<ImportReader::Record> record;
    const auto read = [&] {
        try {
            record = reader.next();
        } catch (const AppError& error) {
            throw failed(reader.recordLine(), error, false);
        }
    };
    read();
    QStringList columns;
    if (record)
        for (const QString& piece : record->pieces())
            columns << UnquoteStr(piece);
    columnList = columns.join(u',');
    currentOperator().processEvents();
    const bool sqlite = Dialect().DBType == QLatin1String("SQLITE");
    const bool fixedPartsHoldSemicolon = tableName.contains(u';') || columnList.contains(u';');
    if (fixedPartsHoldSemicolon) { // a table name or header that would end the INSERT and run more
        ImportReader::Record probe;
        probe.text = QStringLiteral("NULL");
        if (countStatements(importStatement(tableName, columnList, probe, sqlite)) > 1)
            throw failed(
                1,
                AppError(ErrNo::DbStatementRejected,
                         QStringLiteral("資料表名稱 %1 或第 1 行的欄位會結束 INSERT 又接著其他陳述式, 未執行")
                             .arg(tableName)),
                false);
    }
    // The statement of each line, built where the last one was; the run's working text
    // (CurrentSql) holds the last line's, or the one that failed, when the run ends.
    QString statement;
    const struct LastStatement {
        QString& sql;
        ~LastStatement() {
            if (!sql.isEmpty())
                CurrentSql() = sql;
        }
    } last{statement};
    for (read(); record; read()) {
        if (firstDataLine == 0)
            firstDataLine = record->line;
        writeImportStatement(statement, tableName, columnList, *record, sqlite);
        // One line is one INSERT: a line whose values close the statement and open another
        // (1,'x');DELETE ... is refused, never run. Only a ";" can do that.
        if ((fixedPartsHoldSemicolon || record->text.contains(u';')) && countStatements(statement) > 1)
            throw failed(
                record->line,
                AppError(ErrNo::DbStatementRejected,
                         QStringLiteral("這一行的值結束了 INSERT 又接著其他陳述式, 未執行: ") + statement),
                false);
        try {
            stream->run(statement, record->line, ScriptStatementKind::Plain);
        } catch (const AppError& error) {
            throw failed(record->line, error, true);
        }
        ++run.lines;
        if (stream->outcome().stopped || !run.goesOn()) {
            run.stopped = true;
            try {
                stream->stopHere();
            } catch (const AppError& error) {
                throw failed(record->line, error, true);
            }
            run.outcome = stream->outcome();
            return;
        }
    }
    try {
        stream->finish();
    } catch (const AppError& error) {
        throw failed(int(run.lines) + 1, error, true);
    }
    run.stopped = stream->outcome().stopped;
    run.outcome = stream->outcome();
}
} // namespace

bool LoadTextToDB(const QString& fileName, const QString& tableName, Connection* connection, qint64& count,
                  LineRun* run) {
    LineRun own;
    LineRun& r = run ? *run : own;
    const bool ok =
        guarded(QStringLiteral("LoadTextToDB"), [&] { importFile(fileName, tableName, connection, r); });
    if (ok && !r.stopped)
        count = r.lines;
    return ok && !r.stopped;
}
