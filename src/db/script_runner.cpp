#include "db/script_runner.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "db/connection.h"
#include "db/import_reader.h"
#include "db/line_source.h"
#include "db/script_reader.h"
#include "db/script_syntax.h"
#include "db/session.h"
#include "db/statement_stream.h"

#include <QFile>

namespace {
// The script ended with a transaction of its own still open: the operator says what becomes of it.
void endLeftTransaction(StatementStream& stream, LineRun& run) {
    const QString question =
        QStringLiteral("腳本在第 %1 行開始的交易到檔案結尾都沒有結束 (其中已執行 %2 個陳述式)。\r\n\r\n"
                       "是: 確定交易 (COMMIT)\r\n否: 復原交易 (ROLLBACK)")
            .arg(stream.openTransactionLine())
            .arg(stream.openTransactionStatements());
    const bool commit = currentOperator().messageBox(question, MsgButtons::YesNo, MsgIcon::Question,
                                                     ProgramInfo::appTitle()) == MsgAnswer::Yes;
    stream.endOpenTransaction(commit);
    run.endNote = commit ? QStringLiteral("腳本留下的交易已確定 (COMMIT)")
                         : QStringLiteral("腳本留下的交易已復原 (ROLLBACK)");
}

// A line of psql's own between the statements: those that change no data are passed over, as they
// change nothing here either (pg_dump writes \restrict and \unrestrict around its script); the
// others are refused, with what ran before them standing.
void psqlCommand(const ScriptReader::Statement& command, StatementStream& stream) {
    const QString name = command.sql.section(u' ', 0, 0);
    for (const char* passed : {"\\restrict", "\\unrestrict", "\\set", "\\unset", "\\echo", "\\qecho",
                               "\\warn", "\\pset", "\\timing", "\\encoding"})
        if (name == QLatin1String(passed))
            return;
    stream.stopHere();
    throw AppError(
        ErrNo::InvalidCall,
        QStringLiteral(
            "這是 psql 的指令 %1, 只有 psql 能執行 (例如 \\connect 要換資料庫, 請在「資料庫連接」頁連線)")
            .arg(name));
}

} // namespace

// Bytes that no code page tried could read would go to the database as U+FFFD: asked first.
bool readAnyway(const QString& fileName, const LineRun& run) {
    if (run.codecExact)
        return true;
    return currentOperator().messageBox(QStringLiteral("%1 含有以 %2、UTF-8 或 Big5 都無法辨識的位元組, "
                                                       "執行時會以 U+FFFD (�) 代替。\r\n仍要執行嗎?")
                                            .arg(fileName, QString::fromLatin1(run.codec)),
                                        MsgButtons::YesNo, MsgIcon::Question,
                                        ProgramInfo::appTitle()) == MsgAnswer::Yes;
}

void runScriptFile(const QString& fileName, Connection& connection, LineRun& run) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throwReadError(fileName, fileErrorReason(file));
    run.codec = detectCodec(file, &run.codecExact);
    if (!readAnyway(fileName, run)) {
        run.stopped = true;
        return;
    }
    LineSource lines(file, run.codec);
    ScriptReader reader(ScriptSyntax::of(connection.serverKind()));
    const std::unique_ptr<StatementStream> stream = StatementStream::open(connection);
    stream->setWaitCheck([&run] { return run.goesOn(); });
    bool streamFailed = false; // a statement failed: the stream has kept what stands
    QList<ScriptReader::Statement> ready;
    // The rows of a COPY ... FROM STDIN: the lines after it, up to one that reads \. or the end.
    const auto copyRows = [&](QByteArray& row) {
        QStringView line;
        QStringView lineEnd;
        if (!lines.next(line, lineEnd))
            return false;
        ++run.lines;
        reader.passLine();
        if (line == u"\\.")
            return false;
        row = line.toUtf8();
        return true;
    };
    const bool postgres = connection.serverKind() == ServerKind::Postgres;
    const auto runReady = [&] {
        for (const ScriptReader::Statement& statement : std::as_const(ready)) {
            CurrentSql() = statement.sql;
            streamFailed = true;
            if (statement.psqlCommand)
                psqlCommand(statement, *stream);
            else if (postgres && copiesFromScript(statement.sql))
                stream->runCopy(statement.sql, statement.line, copyRows);
            else
                stream->run(statement.sql, statement.line);
            streamFailed = false;
            if (stream->outcome().stopped)
                break;
        }
        ready.clear();
    };
    const auto stopHere = [&] {
        streamFailed = true;
        stream->stopHere();
        streamFailed = false;
    };
    int readingLine = 0; // the line a failure to read the script names
    try {
        QStringView line;
        QStringView lineEnd;
        while ((readingLine = int(run.lines) + 1, lines.next(line, lineEnd))) {
            ++run.lines;
            reader.addLine(line, lineEnd, ready);
            runReady();
            if (stream->outcome().stopped || !run.goesOn()) {
                run.stopped = true;
                stopHere();
                run.outcome = stream->outcome();
                return;
            }
        }
        readingLine = reader.openedLine();
        reader.finish(ready);
        runReady();
        streamFailed = true;
        stream->finish();
        streamFailed = false;
        if (stream->outcome().stopped) { // while the last statements ran
            run.stopped = true;
            stopHere();
        } else if (stream->openTransactionLine() > 0) {
            endLeftTransaction(*stream, run);
        }
        run.outcome = stream->outcome();
    } catch (const AppError& error) {
        // The script could not be read on: what ran stands, a transaction it opened is rolled back.
        if (!streamFailed) {
            try {
                stopHere();
            } catch (const AppError&) {
                // The first failure is the one to tell.
            }
        }
        run.outcome = stream->outcome();
        const int failedLine = !streamFailed                ? readingLine
                               : run.outcome.failedLine > 0 ? run.outcome.failedLine
                                                            : int(run.lines);
        run.outcome.failedLine = failedLine;
        run.lines = std::min<qint64>(run.lines, failedLine); // the lines after the failure were not run
        QString text =
            error.description().startsWith(fileName)
                ? error.description()
                : QStringLiteral("%1 第 %2 行: %3").arg(fileName).arg(failedLine).arg(error.description());
        text += QStringLiteral("\r\n已執行並確定的陳述式數: %1").arg(run.outcome.kept);
        if (const QString notes = outcomeNotes(run.outcome); !notes.isEmpty())
            text += QStringLiteral("\r\n") + notes;
        throw AppError(error.number(), text);
    }
}
