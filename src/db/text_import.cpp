#include "db/text_import.h"

#include "app/errors.h"
#include "app/helpers.h"
#include "app/operator.h"
#include "db/connection.h"
#include "db/grouped_writes.h"
#include "db/import_reader.h"
#include "db/session.h"
#include "db/sql_text.h"

#include <QFile>

namespace {
// The import itself; throws AppError naming the file and line of a failure.
void importFile(const QString& fileName, const QString& tableName, Connection* connection, LineRun& run) {
    if (!connection || !connection->isOpen())
        throw AppError(3709, QStringLiteral("The connection cannot be used to perform this operation. "
                                            "It is either closed or invalid in this context."));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(ErrNo::PathFileAccess, file.errorString() + QStringLiteral(": ") + fileName);
    run.codec = detectCodec(file, &run.codecExact);
    ImportReader reader(file, run.codec);
    GroupedWrites writes(*connection);
    // What stands after a failure: said in the message, as a lost connection takes back more
    // than the failing line.
    const auto failed = [&](int line, const AppError& error) {
        writes.keep();
        run.kept = writes.kept();
        run.failedLine = line;
        return AppError(error.number(), QStringLiteral("%1 第 %2 行: %3\r\n已寫入並確定的資料行數: %4")
                                            .arg(fileName)
                                            .arg(line)
                                            .arg(error.description())
                                            .arg(run.kept));
    };
    std::optional<ImportReader::Record> record;
    const auto read = [&] {
        try {
            record = reader.next();
        } catch (const AppError& error) {
            throw failed(reader.recordLine(), error);
        }
    };
    read();
    QStringList columns;
    if (record)
        for (const QString& piece : std::as_const(record->pieces))
            columns << UnquoteStr(piece);
    const QString columnList = columns.join(u',');
    currentOperator().processEvents();
    const bool sqlite = Dialect().DBType == QLatin1String("SQLITE");
    for (read(); record; read()) {
        QStringList values;
        values.reserve(record->pieces.size());
        for (const QString& piece : std::as_const(record->pieces))
            values << importValue(piece, sqlite);
        CurrentSql() = importStatement(tableName, columnList, values);
        try {
            // One line is one INSERT: a line whose values close the statement and open another
            // (1,'x');DELETE ... is refused, never run.
            if (countStatements(CurrentSql()) > 1)
                throw AppError(ErrNo::DbStatementRejected,
                               QStringLiteral("這一行的值結束了 INSERT 又接著其他陳述式, 未執行: ") +
                                   CurrentSql());
            writes.run(CurrentSql());
        } catch (const AppError& error) {
            throw failed(record->line, error);
        }
        ++run.lines;
        if (run.progress && !run.progress(run.lines)) {
            run.stopped = true;
            break;
        }
    }
    writes.keep();
    run.kept = writes.kept();
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
