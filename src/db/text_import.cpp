#include "db/text_import.h"

#include "app/errors.h"
#include "app/helpers.h"
#include "app/operator.h"
#include "db/connection.h"
#include "db/grouped_writes.h"
#include "db/import_reader.h"
#include "db/session.h"

#include <QFile>

namespace {
AppError atLine(const QString& fileName, int line, const AppError& error) {
    return AppError(error.number(),
                    QStringLiteral("%1 第 %2 行: %3").arg(fileName).arg(line).arg(error.description()));
}
} // namespace

bool LoadTextToDB(const QString& fileName, const QString& tableName, Connection* connection, qint64& count,
                  LineRun* run) {
    LineRun own;
    LineRun& r = run ? *run : own;
    return guarded(
               QStringLiteral("LoadTextToDB"),
               [&] {
                   if (!connection || !connection->isOpen())
                       throw AppError(
                           3709, QStringLiteral("The connection cannot be used to perform this operation. "
                                                "It is either closed or invalid in this context."));
                   QFile file(fileName);
                   if (!file.open(QIODevice::ReadOnly))
                       throw AppError(ErrNo::PathFileAccess,
                                      file.errorString() + QStringLiteral(": ") + fileName);
                   r.codec = detectCodec(file);
                   ImportReader reader(file, r.codec);
                   GroupedWrites writes(*connection);
                   std::optional<ImportReader::Record> record;
                   const auto read = [&] {
                       try {
                           record = reader.next();
                       } catch (const AppError& error) {
                           writes.keep(); // the lines before stand; nothing after the last whole line is sent
                           throw AppError(error.number(),
                                          fileName + QStringLiteral(": ") + error.description());
                       }
                   };
                   read();
                   QStringList columns;
                   if (record)
                       for (const QString& piece : std::as_const(record->pieces))
                           columns << UnquoteStr(piece);
                   currentOperator().processEvents();
                   const bool sqlite = Dialect().DBType == QLatin1String("SQLITE");
                   qint64 lines = 0;
                   for (read(); record; read()) {
                       QStringList values;
                       values.reserve(record->pieces.size());
                       for (const QString& piece : std::as_const(record->pieces))
                           values << importValue(piece, sqlite);
                       CurrentSql() = importStatement(tableName, columns.join(u','), values);
                       try {
                           writes.run(CurrentSql());
                       } catch (const AppError& error) {
                           r.lines = lines;
                           throw atLine(fileName, record->line, error);
                       }
                       r.lines = ++lines;
                       if (r.progress && !r.progress(lines)) {
                           r.stopped = true;
                           break;
                       }
                   }
                   writes.keep();
                   count = lines;
               }) &&
           !r.stopped;
}
