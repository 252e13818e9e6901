#include "db/typed_input.h"

#include "app/errors.h"
#include "db/ado_types.h"

#include <QDate>
#include <QRegularExpression>

namespace {
enum class Kind { Text, Whole, Number, Boolean, Date, Time, Bytes };

Kind kindOf(int adoType) {
    switch (adoType) {
    case AdoType::SmallInt:
    case AdoType::Integer:
    case AdoType::TinyInt:
    case AdoType::UnsignedTinyInt:
    case AdoType::BigInt:
        return Kind::Whole;
    case AdoType::Single:
    case AdoType::Double:
    case AdoType::Currency:
    case AdoType::Numeric:
        return Kind::Number;
    case AdoType::Boolean:
        return Kind::Boolean;
    case AdoType::Date:
    case AdoType::DBDate:
    case AdoType::DBTimeStamp:
        return Kind::Date;
    case AdoType::DBTime:
        return Kind::Time;
    case AdoType::Binary:
    case AdoType::VarBinary:
    case AdoType::LongVarBinary:
        return Kind::Bytes;
    default:
        return Kind::Text;
    }
}

[[noreturn]] void refuse(const QString& text, const QString& column, const QString& needed) {
    const QString shown = text.size() > 40 ? text.left(40) + QStringLiteral("...") : text;
    throw AppError(
        ErrNo::DbStatementRejected,
        QStringLiteral("\"%1\" 不能存入欄位 %2: 這個欄位需要%3, 未寫入。").arg(shown, column, needed));
}

// "2016/1/5", "2016-01-05 9:30", "2016/01/05 09:30:15.25+08" as ISO text; the part after the time
// (a zone) is kept as typed. Empty when the text is not a date or names no real day.
QString isoDate(const QString& text, bool allowTail) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4})[-/](\d{1,2})[-/](\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2})(\.\d+)?)?)?(.*)$)"));
    const auto m = form.match(text);
    if (!m.hasMatch() || (!allowTail && !m.captured(8).trimmed().isEmpty()))
        return {};
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!day.isValid())
        return {};
    QString iso = day.toString(QStringLiteral("yyyy-MM-dd"));
    if (m.capturedLength(4) > 0) {
        const int hour = m.captured(4).toInt(), minute = m.captured(5).toInt(),
                  second = m.captured(6).toInt();
        if (hour > 23 || minute > 59 || second > 59)
            return {};
        iso += QStringLiteral(" %1:%2:%3")
                   .arg(hour, 2, 10, QLatin1Char('0'))
                   .arg(minute, 2, 10, QLatin1Char('0'))
                   .arg(second, 2, 10, QLatin1Char('0')) +
               m.captured(7);
    }
    return iso + m.captured(8);
}
} // namespace

QVariant typedValue(const QString& text, int adoType, const QString& column, ServerKind server) {
    if (text.isEmpty())
        return {};
    const bool strict = server == ServerKind::Sqlite;
    const QString trimmed = text.trimmed();
    switch (kindOf(adoType)) {
    case Kind::Text:
        return text;
    case Kind::Bytes: {
        static const QRegularExpression hex(QStringLiteral("^0[xX]((?:[0-9A-Fa-f]{2})*)$"));
        const auto m = hex.match(trimmed);
        if (!m.hasMatch())
            refuse(text, column, QStringLiteral("位元組, 以 0x 加上成對的十六進位數字輸入"));
        return QByteArray::fromHex(m.captured(1).toLatin1());
    }
    case Kind::Date:
        if (const QString iso = isoDate(trimmed, !strict); !iso.isEmpty())
            return iso;
        if (strict)
            refuse(text, column, QStringLiteral("日期, 以 2016/01/05 或 2016/01/05 13:45:00 的形式輸入"));
        return text;
    case Kind::Time: {
        static const QRegularExpression form(
            QStringLiteral(R"(^([01]?\d|2[0-3]):[0-5]\d(:[0-5]\d(\.\d+)?)?$)"));
        if (strict && !form.match(trimmed).hasMatch())
            refuse(text, column, QStringLiteral("時間, 以 13:45 或 13:45:30 的形式輸入"));
        return strict ? trimmed : text;
    }
    case Kind::Whole: {
        bool ok = false;
        const qlonglong value = trimmed.toLongLong(&ok);
        if (strict && !ok)
            refuse(text, column, QStringLiteral("整數"));
        return ok ? QVariant(value) : QVariant(text);
    }
    case Kind::Number: {
        static const QRegularExpression form(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
        if (strict && !form.match(trimmed).hasMatch())
            refuse(text, column, QStringLiteral("數字"));
        return strict ? trimmed : text;
    }
    case Kind::Boolean: {
        const QString word = trimmed.toLower();
        if (!strict)
            return text;
        if (word == QLatin1String("true") || word == QLatin1String("1"))
            return qlonglong(1);
        if (word == QLatin1String("false") || word == QLatin1String("0"))
            return qlonglong(0);
        refuse(text, column, QStringLiteral("True 或 False"));
    }
    }
    return text;
}
