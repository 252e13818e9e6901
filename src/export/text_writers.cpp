#include "export/text_writers.h"

#include "app/helpers.h"
#include "db/ado_types.h"
#include "export/line_output.h"
#include "grid/number_text.h"
#include "grid/result_loader.h"

#include <QDateTime>
#include <QRegularExpression>

#include <charconv>
#include <cmath>

namespace {
constexpr int kRowsBetweenProgress = 1024;

bool isCharacterType(int type) {
    return type == 8 || type == 129 || type == 130 || (type >= 200 && type <= 203);
}

bool isExactNumberType(int type) {
    return type == 2 || type == 3 || type == 6 || type == 14 || (type >= 16 && type <= 21) || type == 131;
}

bool isFloatingType(int type) {
    return type == AdoType::Single || type == AdoType::Double;
}

// A number as SQL reads it: optional sign, digits with at most one point, optional exponent.
bool isNumberLiteral(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        return i - from;
    };
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < n && text[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

// A date and time as the text of a value reads, by the forms engines write: "2003-05-07 14:03:09",
// with T, slashes or dots, fractions and a zone after the seconds (left as written), or a time alone.
// A date read from text, and whether the text gave a time of day.
struct ReadDate {
    QDateTime value;
    bool withTime = true;
};

std::optional<ReadDate> readDateTime(const QString& text) {
    static const QRegularExpression dated(QStringLiteral(
        "^(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})(?:[ T](\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:[.,]\\d+)?)?)?"
        "\\s*(?:Z|[+-]\\d{2}(?::?\\d{2})?)?$"));
    static const QRegularExpression timed(QStringLiteral(
        "^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:[.,]\\d+)?)?\\s*(?:Z|[+-]\\d{2}(?::?\\d{2})?)?$"));
    const QString trimmed = text.trimmed();
    const auto number = [](const QRegularExpressionMatch& m, int group) { return m.captured(group).toInt(); };
    if (const auto m = dated.match(trimmed); m.hasMatch()) {
        const QDate date(number(m, 1), number(m, 2), number(m, 3));
        const QTime time(number(m, 4), number(m, 5), number(m, 6));
        if (date.isValid() && time.isValid())
            return ReadDate{QDateTime(date, time), m.capturedLength(4) > 0};
    } else if (const auto t = timed.match(trimmed); t.hasMatch()) {
        const QTime time(number(t, 1), number(t, 2), number(t, 3));
        if (time.isValid())
            return ReadDate{QDateTime(QDate(1899, 12, 30), time), true};
    }
    return std::nullopt;
}

// A value SQL reads unquoted: a number, TRUE or FALSE, or nothing (NULL). Anything else in a column
// of another kind (text SQLite keeps in a numeric column, a GUID) is written as a literal, so that
// the line keeps its fields and reads back.
bool isBareValue(QStringView text) {
    return text.isEmpty() || isNumberLiteral(text) || text.compare(u"True", Qt::CaseInsensitive) == 0 ||
           text.compare(u"False", Qt::CaseInsensitive) == 0;
}

// A date without a time of day is written as one ('2015/03/02'): with 00:00:00 added, a table that
// keeps dates as text would take back a different text than it gave.
QString dateLiteral(const QDateTime& value, bool withTime = true) {
    if (!withTime)
        return QuoteStr(value.toString(QStringLiteral("yyyy/MM/dd")));
    return QuoteStr(value.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
}

std::optional<double> doubleOf(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toDouble();
    default: {
        const QString text = value.toString().trimmed();
        if (!isNumberLiteral(text))
            return std::nullopt;
        return text.toDouble();
    }
    }
}

QString exactNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number))
            return QuoteStr(QString::number(number));
        char digits[64]; // the shortest text that reads back as the same number
        const auto done = std::to_chars(digits, digits + sizeof digits, number);
        return QString::fromLatin1(digits, done.ptr - digits);
    }
    default: {
        // Every digit as the engine gave it, without the zeros a decimal's scale adds.
        const QString text = value.toString().trimmed();
        return isNumberLiteral(text) ? NumberText::ofDecimalText(text) : QuoteStr(value);
    }
    }
}

// QuoteStr written straight onto the line: no string of its own per cell.
void appendQuoted(QString& line, QStringView text) {
    line += u'\'';
    const QStringView inner = TrimSpaces(text);
    if (inner.contains(u'\''))
        for (QChar ch : inner) {
            line += ch;
            if (ch == u'\'')
                line += ch;
        }
    else
        line += inner;
    line += u'\'';
}

// Lines of the rows: a header line of the column names from firstCol on, then one line per row,
// each cell appended to the line by `append`.
template <typename Append>
bool writeLines(const ExportRows& rows, QIODevice& device, const ExportProgress& progress, QChar separator,
                int firstCol, Append append) {
    LineOutput out(device);
    const int cols = rows.columnCount();
    QString line;
    for (int c = firstCol; c < cols; ++c) {
        if (c > firstCol)
            line += separator;
        line += rows.columnName(c);
    }
    out.writeLine(line);
    const qint64 count = rows.rowCount();
    for (qint64 r = 0; r < count; ++r) {
        line.resize(0);
        for (int c = firstCol; c < cols; ++c) {
            if (c > firstCol)
                line += separator;
            append(line, r, c);
        }
        out.writeLine(line);
        if (progress && (r + 1) % kRowsBetweenProgress == 0 && !progress(r + 1)) {
            out.finish();
            return false;
        }
    }
    out.finish();
    return true;
}

std::vector<int> columnTypes(const ExportRows& rows) {
    std::vector<int> types;
    for (int c = 0; c < rows.columnCount(); ++c)
        types.push_back(rows.columnType(c));
    return types;
}
} // namespace

namespace TextWriters {

QString recordCsvField(const QVariant& value, int adoType) {
    if (value.isNull())
        return QStringLiteral("NULL");
    if (isCharacterType(adoType))
        return QuoteStr(value);
    if (AdoType::isDateType(adoType)) {
        switch (value.typeId()) {
        case QMetaType::QDateTime:
            return dateLiteral(value.toDateTime());
        case QMetaType::QDate:
            return dateLiteral(QDateTime(value.toDate(), QTime(0, 0)), false);
        case QMetaType::QTime:
            return dateLiteral(QDateTime(QDate(1899, 12, 30), value.toTime()));
        default:
            break;
        }
        const QString text = value.toString();
        if (text.isEmpty())
            return QStringLiteral("NULL");
        // A text no date can be read from is kept whole, as a literal.
        const auto read = readDateTime(text);
        return read ? dateLiteral(read->value, read->withTime) : QuoteStr(text);
    }
    if (isExactNumberType(adoType))
        return exactNumber(value);
    if (isFloatingType(adoType)) {
        const auto number = doubleOf(value);
        return number && std::isfinite(*number) ? NumberText::ofDouble(*number) : QuoteStr(value);
    }
    const QString text = value.typeId() == QMetaType::QString ? serverValueText(value.toString(), adoType)
                                                              : cellText(value, adoType);
    return isBareValue(text) ? text : QuoteStr(text);
}

bool writeGridCsv(const ExportRows& rows, QIODevice& device, const ExportProgress& progress) {
    const int firstCol = rows.columnCount() > 0 && rows.columnName(0) == QLatin1String("RNo") ? 1 : 0;
    const std::vector<int> types = columnTypes(rows);
    return writeLines(rows, device, progress, u',', firstCol, [&](QString& line, qint64 r, int c) {
        const QString text = rows.text(r, c);
        const int type = types[size_t(c)];
        // An empty date is no date: left empty, it reads back as NULL, where '' is refused by most engines.
        if (isCharacterType(type) || (AdoType::isDateType(type) && !text.isEmpty()) || !isBareValue(text))
            appendQuoted(line, text);
        else
            line += text;
    });
}

bool writeRecordCsv(const ExportRows& rows, QIODevice& device, const ExportProgress& progress) {
    const int firstCol =
        rows.columnCount() > 0 && rows.columnName(0).toUpper() == QLatin1String("RNO") ? 1 : 0;
    const std::vector<int> types = columnTypes(rows);
    return writeLines(rows, device, progress, u',', firstCol, [&](QString& line, qint64 r, int c) {
        line += recordCsvField(rows.value(r, c), types[size_t(c)]);
    });
}

bool writeTabText(const ExportRows& rows, QIODevice& device, const ExportProgress& progress) {
    return writeLines(rows, device, progress, u'\t', 0,
                      [&](QString& line, qint64 r, int c) { line += rows.text(r, c); });
}

} // namespace TextWriters
