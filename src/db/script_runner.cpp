#include "db/script_runner.h"

#include "app/errors.h"
#include "db/grouped_writes.h"
#include "db/import_reader.h"
#include "db/script_reader.h"
#include "db/session.h"
#include "db/sql_text.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {
constexpr qint64 kChunkBytes = 1 << 16;

// The lines of a file as its code page reads them, ended by CR LF, a lone CR or a lone LF.
class LineSource {
public:
    LineSource(QIODevice& device, const QByteArray& codec) : m_device(device), m_decoder(codec.constData()) {
        if (!m_decoder.isValid())
            m_decoder = QStringDecoder(QStringDecoder::Utf8);
    }
    std::optional<QString> next() {
        for (;;) {
            for (qsizetype i = m_pos; i < m_text.size(); ++i) {
                const QChar c = m_text[i];
                if (c != u'\n' && c != u'\r')
                    continue;
                if (c == u'\r' && i + 1 == m_text.size() && !m_atEnd && fill())
                    return next(); // the LF of a CR LF may be in the next piece
                QString line = m_text.mid(m_pos, i - m_pos);
                m_pos = i + 1 + (c == u'\r' && i + 1 < m_text.size() && m_text[i + 1] == u'\n' ? 1 : 0);
                return line;
            }
            if (!fill()) {
                if (m_pos >= m_text.size())
                    return std::nullopt;
                QString line = m_text.mid(m_pos);
                m_pos = m_text.size();
                return line;
            }
        }
    }

private:
    bool fill() {
        if (m_atEnd)
            return false;
        const QByteArray bytes = m_device.read(kChunkBytes);
        if (bytes.isEmpty()) {
            m_atEnd = true;
            return false;
        }
        m_text = m_text.mid(m_pos) + m_decoder.decode(bytes);
        m_pos = 0;
        return true;
    }

    QIODevice& m_device;
    QStringDecoder m_decoder;
    QString m_text;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
};

// Statements that no transaction can hold.
bool runsOutsideTransactions(const QString& statement) {
    static const QRegularExpression words(
        QStringLiteral("^(VACUUM|PRAGMA|ALTER\\s+SYSTEM|(CREATE|DROP|ALTER)\\s+(DATABASE|TABLESPACE)|"
                       "REINDEX\\s+(DATABASE|SYSTEM))\\b|\\bCONCURRENTLY\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return words.match(statement).hasMatch();
}
} // namespace

void runScriptFile(const QString& fileName, Connection& connection, LineRun& run) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(ErrNo::PathFileAccess, file.errorString() + QStringLiteral(": ") + fileName);
    run.codec = detectCodec(file, &run.codecExact);
    LineSource lines(file, run.codec);
    ScriptReader reader;
    GroupedWrites writes(connection);
    bool scriptRulesTransactions = false;
    const auto runBatch = [&](const ScriptReader::Batch& batch) {
        CurrentSql() = batch.sql;
        qsizetype searchFrom = 0;
        for (const QString& statement : splitStatements(batch.sql)) {
            // The file line the statement starts on: the batch's first line and the breaks before it.
            const qsizetype at = batch.sql.indexOf(statement, searchFrom);
            const int line =
                batch.firstLine + int(QStringView(batch.sql).left(std::max<qsizetype>(at, 0)).count(u'\n'));
            if (at >= 0)
                searchFrom = at + statement.size();
            try {
                if (isTransactionControl(statement))
                    scriptRulesTransactions = true;
                if (scriptRulesTransactions || runsOutsideTransactions(statement))
                    writes.runAlone(statement);
                else
                    writes.run(statement);
            } catch (const AppError& error) {
                run.failedLine = line;
                throw AppError(error.number(), QStringLiteral("%1 第 %2 行 (第 %3-%4 行的批次): %5")
                                                   .arg(fileName)
                                                   .arg(line)
                                                   .arg(batch.firstLine)
                                                   .arg(batch.lastLine)
                                                   .arg(error.description()));
            }
        }
    };
    try {
        while (const std::optional<QString> line = lines.next()) {
            ++run.lines;
            if (const auto batch = reader.addLine(*line))
                runBatch(*batch);
            if (run.progress && !run.progress(run.lines)) {
                run.stopped = true;
                writes.keep();
                run.kept = writes.kept();
                return;
            }
        }
        if (const auto batch = reader.finish())
            runBatch(*batch);
    } catch (const AppError& error) {
        writes.keep(); // what ran before the failure stands, and the message says how much that is
        run.kept = writes.kept();
        if (run.failedLine == 0)
            run.failedLine = int(run.lines);
        const QString where =
            error.description().startsWith(fileName) ? QString() : fileName + QStringLiteral(": ");
        throw AppError(error.number(), where + error.description() +
                                           QStringLiteral("\r\n已執行並確定的陳述式數: %1").arg(run.kept));
    }
    writes.keep();
    run.kept = writes.kept();
}
