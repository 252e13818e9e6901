#include "db/import_reader.h"

#include "app/errors.h"
#include "app/helpers.h"
#include "app/local_codec.h"

#include <QDateTime>
#include <QIODevice>
#include <QVarLengthArray>

namespace {
constexpr qint64 kChunkBytes = 1 << 16;

bool validIn(QIODevice& device, const QByteArray& codec) {
    QStringDecoder decoder(codec.constData());
    if (!decoder.isValid())
        return false;
    device.seek(0);
    while (!device.atEnd()) {
        const QString text = decoder.decode(device.read(kChunkBytes));
        if (decoder.hasError())
            return false;
    }
    return true;
}
} // namespace

ImportReader::ImportReader(QIODevice& device, const QByteArray& codec) : m_in(device, codec) {
}

bool ImportReader::more() {
    while (m_in.pos >= m_in.text.size())
        if (!m_in.fill())
            return false;
    return true;
}

QChar ImportReader::peek() {
    return more() ? m_in.text[m_in.pos] : QChar();
}

QStringView ImportReader::Record::piece(qsizetype i) const {
    const qsizetype from = i == 0 ? 0 : commas[i - 1] + 1;
    const qsizetype to = i < commas.size() ? commas[i] : text.size();
    return QStringView(text).mid(from, to - from);
}

QStringList ImportReader::Record::pieces() const {
    QStringList list;
    for (qsizetype i = 0; i < size(); ++i)
        list << piece(i).toString();
    return list;
}

std::optional<ImportReader::Record> ImportReader::next() {
    // Empty lines are skipped.
    for (;;) {
        const QChar c = peek();
        if (c != u'\r' && c != u'\n')
            break;
        ++m_in.pos;
        if (c == u'\r' && peek() == u'\n')
            ++m_in.pos;
        ++m_line;
    }
    if (!more())
        return std::nullopt;
    Record record;
    record.line = m_recordLine = m_line + 1;
    // The record is found in the text read, then cut: each piece is made once. Offsets are kept from
    // the record's start, since reading more of the file moves the text.
    QVarLengthArray<qsizetype, 16> commas;
    bool inLiteral = false;
    int literalLine = 0;
    int breaksInside = 0; // line ends inside literals
    qsizetype at = 0;     // from m_in.pos
    // True when the character after `at` is there to look at, reading more of the file if needed.
    const auto lookAhead = [&] {
        while (m_in.pos + at + 1 >= m_in.text.size())
            if (!m_in.fill())
                return false;
        return true;
    };
    for (;; ++at) {
        while (m_in.pos + at >= m_in.text.size())
            if (!m_in.fill()) {
                if (inLiteral)
                    throw AppError(
                        ErrNo::InvalidCall,
                        literalLine != record.line
                            ? QStringLiteral("第 %1 行開始的資料行中, 第 %2 行開始的引號到檔案結尾都沒有結束")
                                  .arg(record.line)
                                  .arg(literalLine)
                            : QStringLiteral("第 %1 行開始的引號到檔案結尾都沒有結束").arg(literalLine));
                goto cut; // a last line without a line end
            }
        const char16_t c = m_in.text.at(m_in.pos + at).unicode();
        if (c == 0) // a NUL is no text: a binary or UTF-16 file, read on, would become one endless value
            throw AppError(ErrNo::InvalidCall,
                           QStringLiteral("第 %1 行含有 NUL 字元: 這不是文字檔 (或是 UTF-16 編碼)")
                               .arg(m_line + 1 + breaksInside));
        if (c == u'\'') {
            if (inLiteral && lookAhead() && m_in.text.at(m_in.pos + at + 1) == u'\'') {
                ++at; // a doubled quote stands for itself
            } else {
                inLiteral = !inLiteral;
                if (inLiteral)
                    literalLine = m_line + 1 + breaksInside;
            }
        } else if (c == u',' && !inLiteral) {
            commas.append(at);
        } else if (c == u'\r' || c == u'\n') {
            if (!inLiteral)
                break;
            if (c == u'\r' && lookAhead() && m_in.text.at(m_in.pos + at + 1) == u'\n')
                ++at;
            ++breaksInside;
        }
    }
cut:
    record.text = m_in.text.mid(m_in.pos, std::min(at, m_in.text.size() - m_in.pos));
    record.commas = std::move(commas);
    m_in.pos += record.text.size();
    m_line += breaksInside;
    // The line end, read past.
    if (const QChar end = peek(); end == u'\r' || end == u'\n') {
        ++m_in.pos;
        if (end == u'\r' && peek() == u'\n')
            ++m_in.pos;
        ++m_line;
    }
    return record;
}

namespace {
// "yyyy/MM/dd" or "yyyy/MM/dd HH:mm:ss" naming a real day and time, as the CSV export writes dates.
// Read digit by digit: a parse through QDate costs more than the INSERT it goes into.
bool isSlashDate(QStringView text) {
    const auto number = [&](qsizetype at, qsizetype length) {
        int n = 0;
        for (qsizetype i = at; i < at + length; ++i) {
            if (i >= text.size() || text[i] < u'0' || text[i] > u'9')
                return -1;
            n = n * 10 + (text[i].unicode() - u'0');
        }
        return n;
    };
    if ((text.size() != 10 && text.size() != 19) || text[4] != u'/' || text[7] != u'/')
        return false;
    if (!QDate(number(0, 4), number(5, 2), number(8, 2)).isValid())
        return false;
    if (text.size() == 10)
        return true;
    return text[10] == u' ' && text[13] == u':' && text[16] == u':' &&
           QTime(number(11, 2), number(14, 2), number(17, 2)).isValid();
}
} // namespace

QByteArray detectCodec(QIODevice& device, bool* exact) {
    if (exact)
        *exact = true;
    // A byte-order mark says it: SQL Server's tools save scripts as UTF-16 with one.
    device.seek(0);
    const QByteArray head = device.peek(3);
    for (const auto& [mark, codec] : {std::pair{QByteArray("\xEF\xBB\xBF"), QByteArray("UTF-8")},
                                      std::pair{QByteArray("\xFF\xFE"), QByteArray("UTF-16LE")},
                                      std::pair{QByteArray("\xFE\xFF"), QByteArray("UTF-16BE")}})
        if (head.startsWith(mark)) {
            device.seek(mark.size());
            return codec;
        }
    for (const QByteArray& codec : {LocalCodec::codecName(), QByteArray("UTF-8"), QByteArray("Big5")})
        if (validIn(device, codec)) {
            device.seek(0);
            return codec;
        }
    if (exact)
        *exact = false;
    device.seek(0);
    return LocalCodec::codecName();
}

void appendImportValue(QString& sql, QStringView piece, bool sqlite) {
    if (piece.isEmpty()) {
        sql += QLatin1String("NULL");
        return;
    }
    const qsizetype start = sql.size();
    sql += piece;
    const auto replaceFromStart = [&](QChar from, QChar to) {
        QChar* text = sql.data();
        for (qsizetype i = start; i < sql.size(); ++i)
            if (text[i] == from)
                text[i] = to;
    };
    if (piece.startsWith(u'#'))
        replaceFromStart(u'#', u'\'');
    // A date quoted as the CSV export writes it, 12 or 21 characters with its quotes.
    const QStringView value = QStringView(sql).mid(start);
    const auto isQuote = [](QChar c) { return c == u'\'' || c == u'"'; };
    if (sqlite && (value.size() == 12 || value.size() == 21) && isQuote(value.front()) &&
        isQuote(value.back()) && isSlashDate(value.mid(1, value.size() - 2)))
        replaceFromStart(u'/', u'-');
}

QString importValue(const QString& piece, bool sqlite) {
    QString value;
    appendImportValue(value, piece, sqlite);
    return value;
}

QString importStatement(const QString& table, const QString& columns, const ImportReader::Record& record,
                        bool sqlite) {
    QString sql;
    writeImportStatement(sql, table, columns, record, sqlite);
    return sql;
}

void writeImportStatement(QString& sql, const QString& table, const QString& columns,
                          const ImportReader::Record& record, bool sqlite) {
    sql.resize(0);
    sql.reserve(table.size() + columns.size() + record.text.size() + 32 + 4 * record.size());
    sql += QLatin1String("INSERT INTO ");
    sql += table;
    sql += QLatin1String(" ( ");
    sql += columns;
    sql += QLatin1String(" )  Values ( ");
    for (qsizetype i = 0; i < record.size(); ++i) {
        if (i > 0)
            sql += u',';
        appendImportValue(sql, record.piece(i), sqlite);
    }
    sql += QLatin1String(" ) ");
}
