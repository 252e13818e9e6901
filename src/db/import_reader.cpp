#include "db/import_reader.h"

#include "app/errors.h"
#include "app/helpers.h"
#include "app/local_codec.h"

#include <QDateTime>
#include <QIODevice>

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

ImportReader::ImportReader(QIODevice& device, const QByteArray& codec)
    : m_device(device), m_decoder(codec.constData()) {
    if (!m_decoder.isValid())
        m_decoder = QStringDecoder(QStringDecoder::Utf8);
}

bool ImportReader::fill() {
    if (m_atEnd)
        return false;
    const QByteArray bytes = m_device.read(kChunkBytes);
    if (bytes.isEmpty()) {
        if (!m_device.atEnd() && !m_device.errorString().isEmpty())
            throw AppError(ErrNo::PathFileAccess, m_device.errorString());
        m_atEnd = true;
        return false;
    }
    m_text = m_text.mid(m_pos) + m_decoder.decode(bytes);
    m_pos = 0;
    return true;
}

bool ImportReader::more() {
    while (m_pos >= m_text.size())
        if (!fill())
            return false;
    return true;
}

QChar ImportReader::peek() {
    return more() ? m_text[m_pos] : QChar();
}

std::optional<ImportReader::Record> ImportReader::next() {
    Record record;
    QString piece;
    bool inLiteral = false;
    int literalLine = 0;
    bool started = false; // the record has begun: something other than a line end was read
    for (;;) {
        // A run of ordinary characters goes over at once.
        qsizetype run = m_pos;
        for (; run < m_text.size(); ++run) {
            const QChar d = m_text[run];
            if ((d == u',' && !inLiteral) || d == u'\'' || d == u'\r' || d == u'\n' || d.isNull())
                break;
        }
        if (run > m_pos) {
            if (!started) {
                started = true;
                record.line = m_recordLine = m_line + 1;
            }
            piece += QStringView(m_text).mid(m_pos, run - m_pos);
            m_pos = run;
            continue;
        }
        if (!more()) {
            if (inLiteral)
                throw AppError(ErrNo::InvalidCall,
                               QStringLiteral("第 %1 行開始的引號到檔案結尾都沒有結束").arg(literalLine));
            if (!started)
                return std::nullopt;
            record.pieces.append(piece);
            return record;
        }
        const QChar c = m_text[m_pos++];
        // A NUL is no text: a binary or UTF-16 file, read on, would become one endless value.
        if (c.isNull())
            throw AppError(
                ErrNo::InvalidCall,
                QStringLiteral("第 %1 行含有 NUL 字元: 這不是文字檔 (或是 UTF-16 編碼)").arg(m_line + 1));
        const bool lineEnd = c == u'\n' || c == u'\r';
        if (!started && !lineEnd) {
            started = true;
            record.line = m_recordLine = m_line + 1;
        }
        if (lineEnd) {
            QString end(c);
            if (c == u'\r' && peek() == u'\n')
                end += m_text[m_pos++];
            ++m_line;
            if (inLiteral) {
                piece += end;
                continue;
            }
            if (!started)
                continue; // an empty line
            record.pieces.append(piece);
            return record;
        }
        if (c == u'\'') {
            if (inLiteral && peek() == u'\'') {
                piece += c;
                piece += m_text[m_pos++];
                continue;
            }
            inLiteral = !inLiteral;
            if (inLiteral)
                literalLine = m_line + 1;
            piece += c;
        } else if (c == u',' && !inLiteral) {
            record.pieces.append(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
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

QString importValue(const QString& piece, bool sqlite) {
    if (piece.isEmpty())
        return QStringLiteral("NULL");
    QString value = piece;
    if (value.startsWith(u'#'))
        value.replace(u'#', u'\'');
    if (sqlite && (value.size() == 12 || value.size() == 21) && isSlashDate(UnquoteStr(value)))
        value.replace(u'/', u'-');
    return value;
}

QString importStatement(const QString& table, const QString& columns, const QStringList& values) {
    return QStringLiteral("INSERT INTO ") + table + QStringLiteral(" ( ") + columns + QStringLiteral(" ) ") +
           QStringLiteral(" Values ( ") + values.join(u',') + QStringLiteral(" ) ");
}
