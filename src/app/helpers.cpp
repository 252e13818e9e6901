#include "app/helpers.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/global_settings.h"
#include "app/local_codec.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QThread>

#include <cmath>

namespace {
const QString kFormats[] = {
    QStringLiteral("yyyy/M/d H:m:s"), QStringLiteral("yyyy/M/d H:m"), QStringLiteral("yyyy/M/d"),
    QStringLiteral("yyyy-M-d H:m:s"), QStringLiteral("yyyy-M-d H:m"), QStringLiteral("yyyy-M-d"),
    QStringLiteral("yyyy.M.d"),       QStringLiteral("yyyyMMdd"),
};

std::optional<QDate> dateOf(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().isValid() ? std::optional(value.toDate()) : std::nullopt;
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() ? std::optional(value.toDateTime().date()) : std::nullopt;
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return std::nullopt;
        if (const QDateTime iso = QDateTime::fromString(text, Qt::ISODateWithMs); iso.isValid())
            return iso.date();
        for (const QString& format : kFormats) {
            const QDateTime parsed = QDateTime::fromString(text, format);
            if (parsed.isValid())
                return parsed.date();
            const QDate date = QDate::fromString(text, format);
            if (date.isValid())
                return date;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString rocYear(const QDate& date) {
    return QStringLiteral("%1").arg(date.year() - 1911, 2, 10, QLatin1Char('0'));
}
QString two(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Date patterns outside the fixed set use the old formatter's letters (case-insensitive y, m, d);
// other characters stand for themselves.
QString formatDateByPattern(const QDate& date, const QString& pattern) {
    QString qtFormat;
    QString literal;
    const auto flushLiteral = [&] {
        if (!literal.isEmpty()) {
            qtFormat += QLatin1Char('\'') +
                        QString(literal).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
            literal.clear();
        }
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i].toLower();
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run].toLower() == c)
            ++run;
        if (c == u'y' || c == u'm' || c == u'd') {
            flushLiteral();
            const qsizetype width = c == u'y' ? (run >= 3 ? 4 : 2) : std::min<qsizetype>(run, 4);
            qtFormat += QString(width, c == u'm' ? QLatin1Char('M') : QLatin1Char(c.toLatin1()));
        } else {
            literal += pattern.mid(i, run);
        }
        i += run;
    }
    flushLiteral();
    return QLocale::c().toString(date, qtFormat);
}

qsizetype lastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}
} // namespace

QString DisplayDateTime(const QDateTime& moment) {
    return QLocale::c().toString(moment, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString DBDateDisp(const QVariant& value, const QString& pattern) {
    QString result;
    guarded(QStringLiteral("DBDateDisp"), [&] {
        const std::optional<QDate> date = dateOf(value);
        if (!date)
            return;
        const QString p = pattern.isEmpty() ? GlobalSettings().Calendar : pattern;
        const QString& sep = GlobalSettings().DateSep;
        const QString yyyy = QStringLiteral("%1").arg(date->year(), 4, 10, QLatin1Char('0'));
        const QString yy = two(date->year() % 100);
        const QString mm = two(date->month());
        const QString dd = two(date->day());
        if (p == QLatin1String("CCMMDD"))
            result = rocYear(*date) + mm + dd;
        else if (p == QLatin1String("YYYY/MM"))
            result = yyyy + QLatin1Char('/') + mm;
        else if (p == QLatin1String("YYMMDD"))
            result = yy + mm + dd;
        else if (p == QLatin1String("CC/MM/DD"))
            result = rocYear(*date) + sep + mm + sep + dd;
        else if (p == QLatin1String("YYYY/MM/DD"))
            result = yyyy + sep + mm + sep + dd;
        else if (p == QLatin1String("YY/MM/DD"))
            result = yy + sep + mm + sep + dd;
        else
            result = formatDateByPattern(*date, p);
    });
    return result;
}

QString GetPath(const QString& path) {
    const qsizetype at = lastSeparator(path);
    return at < 0 ? QString() : path.left(at);
}

QString GetFileName(const QString& path) {
    if (path.isEmpty())
        return {};
    const qsizetype at = lastSeparator(path);
    if (at <= 0)
        return path;
    return path.mid(at + 1);
}

QString GetFileNameNoExt(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

std::optional<QString> TxtLoadFile(const QString& path) {
    std::optional<QString> text;
    guarded(QStringLiteral("TxtLoadFile"), [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(ErrNo::FileNotFound,
                           QStringLiteral("無法讀取檔案 %1: %2").arg(path, fileErrorReason(file)));
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throwReadError(path, fileErrorReason(file));
        QString loaded = LocalCodec::toUnicodeBestEffort(bytes);
        loaded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        loaded.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        text = std::move(loaded);
    });
    return text;
}

bool TxtSaveFile(const QString& path, const QString& text) {
    return guarded(QStringLiteral("TxtSaveFile"), [&] {
        QString content = text;
        content.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        content.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        if (!content.endsWith(QLatin1Char('\n')) && !content.endsWith(QLatin1Char('\r')))
            content += QStringLiteral("\r\n");
        replaceFileContents(path, LocalCodec::fromUnicode(content));
    });
}

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QStringView TrimSpaces(QStringView text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

QString TrimSpaces(const QString& text) {
    return TrimSpaces(QStringView(text)).toString();
}

QString QuoteStr(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("''");
    QString text = value.toString();
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + TrimSpaces(text) + QLatin1Char('\'');
}

QVariant QuoteStrValue(const QVariant& value) {
    return QVariant(QuoteStr(value));
}

QString UnquoteStr(const QString& value) {
    if (value.size() < 2)
        return value;
    if (value == QLatin1String("''"))
        return {};
    const auto isQuote = [](QChar c) { return c == u'\'' || c == u'"'; };
    qsizetype first = isQuote(value.front()) ? 1 : 0;
    qsizetype last = isQuote(value.back()) ? value.size() - 1 : value.size();
    if (last <= first)
        return value;
    return value.mid(first, last - first);
}

void SleepSeconds(double seconds) {
    const long long ms = std::llround(seconds * 1000.0);
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}
