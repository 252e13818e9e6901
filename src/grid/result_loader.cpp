#include "grid/result_loader.h"

#include "app/errors.h"
#include "app/gui/escape_watch.h"
#include "app/operator.h"
#include "db/ado_types.h"
#include "db/recordset.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/number_text.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
constexpr int kProgressEveryMs = 250;
constexpr int kRowsBetweenClockChecks = 2048;

// Dates and times written digit by digit: formatting through QLocale costs a microsecond a value.
// Each writes ASCII into out and returns the count (0 for a date it cannot write so).
char* putDigits(char* out, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
    return out + width;
}

size_t timeChars(char* out, const QTime& time) {
    char* p = putDigits(out, time.hour(), 2);
    *p++ = ':';
    p = putDigits(p, time.minute(), 2);
    *p++ = ':';
    return size_t(putDigits(p, time.second(), 2) - out);
}

// "yyyy/MM/dd", and " HH:mm:ss" after it unless the time is midnight.
size_t dateTimeChars(char* out, const QDate& date, const QTime& time = QTime(0, 0)) {
    if (!date.isValid() || date.year() < 0 || date.year() > 9999)
        return 0;
    char* p = putDigits(out, date.year(), 4);
    *p++ = '/';
    p = putDigits(p, date.month(), 2);
    *p++ = '/';
    p = putDigits(p, date.day(), 2);
    if (time.isValid() && time != QTime(0, 0)) {
        *p++ = ' ';
        p += timeChars(p, time);
    }
    return size_t(p - out);
}

QString dateTimeText(const QDate& date, const QTime& time = QTime(0, 0)) {
    char out[32];
    const size_t n = dateTimeChars(out, date, time);
    return n ? QString::fromLatin1(out, qsizetype(n)) : date.toString(Qt::ISODate);
}

// Date columns of engines that keep dates as text (SQLite) read "2016-11-25[ 09:30:00]". Rewritten
// by hand: parsing through QDateTime consults the time zone for every value.
QString isoTextAsDate(const QString& text) {
    const auto digits = [&text](std::initializer_list<int> at) {
        for (int i : at)
            if (i >= text.size() || !text[i].isDigit())
                return false;
        return true;
    };
    if (text.size() < 10 || text[4] != u'-' || text[7] != u'-' || !digits({0, 1, 2, 3, 5, 6, 8, 9}))
        return text;
    QString shown = text.left(10);
    shown[4] = u'/';
    shown[7] = u'/';
    if (text.size() == 10)
        return shown;
    if (text.size() >= 19 && (text[10] == u' ' || text[10] == u'T') && text[13] == u':' && text[16] == u':' &&
        digits({11, 12, 14, 15, 17, 18})) {
        const QStringView time = QStringView(text).mid(11, 8);
        return time == u"00:00:00" ? shown : shown + u' ' + time.toString();
    }
    return text;
}

// The same rewrite on the engine's UTF-8 bytes, into out (at least 19 bytes); 0 when the text is
// not an ISO date and is shown as it is.
size_t isoBytesAsDate(const char* text, size_t size, char* out) {
    const auto digits = [text, size](std::initializer_list<size_t> at) {
        for (size_t i : at)
            if (i >= size || text[i] < '0' || text[i] > '9')
                return false;
        return true;
    };
    if (size < 10 || text[4] != '-' || text[7] != '-' || !digits({0, 1, 2, 3, 5, 6, 8, 9}))
        return 0;
    std::memcpy(out, text, 10);
    out[4] = '/';
    out[7] = '/';
    if (size == 10)
        return 10;
    if (size >= 19 && (text[10] == ' ' || text[10] == 'T') && text[13] == ':' && text[16] == ':' &&
        digits({11, 12, 14, 15, 17, 18})) {
        if (std::memcmp(text + 11, "00:00:00", 8) == 0)
            return 10;
        out[10] = ' ';
        std::memcpy(out + 11, text + 11, 8);
        return 19;
    }
    return 0;
}

// Numbers go straight into the row as digits, with no string made for them.
bool appendNumber(CellStore& store, const QVariant& value) {
    char digits[64];
    std::to_chars_result done{};
    switch (value.typeId()) {
    case QMetaType::Int:
        done = std::to_chars(digits, digits + sizeof digits, value.toInt());
        break;
    case QMetaType::LongLong:
        done = std::to_chars(digits, digits + sizeof digits, value.toLongLong());
        break;
    case QMetaType::Double:
        if (!std::isfinite(value.toDouble()))
            return false;
        done = NumberText::doubleChars(digits, digits + sizeof digits, value.toDouble());
        break;
    default:
        return false;
    }
    store.addCellUtf8(digits, size_t(done.ptr - digits));
    return true;
}

// Dates as ASCII digits straight into the row.
bool appendDate(CellStore& store, const QVariant& value) {
    char out[32];
    size_t n = 0;
    if (value.typeId() == QMetaType::QDate)
        n = dateTimeChars(out, value.toDate());
    else if (value.typeId() == QMetaType::QDateTime)
        n = dateTimeChars(out, value.toDateTime().date(), value.toDateTime().time());
    if (n == 0)
        return false;
    store.addCellUtf8(out, n);
    return true;
}

bool isDoubleType(int adoType) {
    return adoType == AdoType::Double || adoType == AdoType::Single;
}

bool isNumberType(int adoType) {
    return isDoubleType(adoType) || adoType == AdoType::Numeric || adoType == AdoType::Currency;
}

// Text read straight from the engine, shown as the same value read through Qt would be.
void appendText(CellStore& store, const Recordset::RawCell& cell, int adoType) {
    const char* bytes = cell.bytes;
    const size_t size = size_t(cell.size);
    char out[64];
    if (AdoType::isDateType(adoType) && adoType != AdoType::DBTime) {
        const size_t shown = isoBytesAsDate(bytes, size, out);
        if (shown > 0)
            store.addCellUtf8(out, shown);
        else
            store.addCellUtf8(bytes, size); // not an ISO date: shown as the engine wrote it
    } else if (isNumberType(adoType) && !isDoubleType(adoType)) {
        store.addCellUtf8(bytes, NumberText::decimalLength(bytes, size)); // every digit the engine gave
    } else if (isDoubleType(adoType) && size > 0 && size < 40) {
        double value = 0;
        const auto parsed = std::from_chars(bytes, bytes + size, value);
        if (parsed.ec == std::errc() && parsed.ptr == bytes + size && std::isfinite(value)) {
            const auto done = NumberText::doubleChars(out, out + sizeof out, value);
            store.addCellUtf8(out, size_t(done.ptr - out));
        } else {
            store.addCellUtf8(bytes, size);
        }
    } else if (cell.serverText && adoType == AdoType::Boolean && size == 1) {
        store.addCell(bytes[0] == 't' ? QStringLiteral("True") : QStringLiteral("False"));
    } else {
        store.addCellUtf8(bytes, size);
    }
}

// A value read straight from the engine: text goes in as the UTF-8 bytes it already is.
void appendRaw(CellStore& store, const Recordset::RawCell& cell, int adoType) {
    char out[64];
    switch (cell.kind) {
    case Recordset::RawCell::Null:
        store.addCellUtf8("", 0);
        return;
    case Recordset::RawCell::Integer: {
        const auto done = std::to_chars(out, out + sizeof out, cell.integer);
        store.addCellUtf8(out, size_t(done.ptr - out));
        return;
    }
    case Recordset::RawCell::Real:
        if (std::isfinite(cell.real)) {
            const auto done = NumberText::doubleChars(out, out + sizeof out, cell.real);
            store.addCellUtf8(out, size_t(done.ptr - out));
        } else {
            store.addCell(QString::number(cell.real));
        }
        return;
    case Recordset::RawCell::Text:
        appendText(store, cell, adoType);
        return;
    case Recordset::RawCell::Blob:
        store.addCell(cellText(QByteArray(cell.bytes, cell.size), adoType));
        return;
    }
}

void appendValue(CellStore& store, const QVariant& value, int adoType) {
    if (value.isNull())
        store.addCellUtf8("", 0);
    else if (appendDate(store, value))
        return;
    else if (value.typeId() == QMetaType::QString && isNumberType(adoType))
        store.addCell(
            NumberText::ofNumberText(*static_cast<const QString*>(value.constData()), isDoubleType(adoType)));
    else if (value.typeId() == QMetaType::QString && !AdoType::isDateType(adoType))
        store.addCell(*static_cast<const QString*>(value.constData()));
    else if (!appendNumber(store, value))
        store.addCell(cellText(value, adoType));
}
} // namespace

QString cellText(const QVariant& value, int adoType) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QString:
        if (isNumberType(adoType))
            return NumberText::ofNumberText(value.toString(), isDoubleType(adoType));
        return AdoType::isDateType(adoType) && adoType != AdoType::DBTime ? isoTextAsDate(value.toString())
                                                                          : value.toString();
    case QMetaType::Int:
        return QString::number(value.toInt());
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return std::isfinite(value.toDouble()) ? NumberText::ofDouble(value.toDouble()) : value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDate:
        return dateTimeText(value.toDate());
    case QMetaType::QDateTime:
        return dateTimeText(value.toDateTime().date(), value.toDateTime().time());
    case QMetaType::QTime: {
        char out[16];
        return QString::fromLatin1(out, qsizetype(timeChars(out, value.toTime())));
    }
    case QMetaType::QByteArray:
        return AdoType::isDateType(adoType) || adoType == AdoType::VarWChar ||
                       adoType == AdoType::LongVarWChar
                   ? QString::fromUtf8(value.toByteArray())
                   : QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return value.toString();
    }
}

QString serverValueText(const QString& text, int adoType) {
    if (AdoType::isDateType(adoType) && adoType != AdoType::DBTime)
        return isoTextAsDate(text);
    if (isNumberType(adoType))
        return NumberText::ofNumberText(text, isDoubleType(adoType));
    if (adoType == AdoType::Boolean && text.size() == 1)
        return text == u"t" ? QStringLiteral("True") : QStringLiteral("False");
    return text;
}

bool FGLoadRST(FlexGrid* grid, Recordset& rs, qint64* count, ElasticPanel* progress, bool* stopped,
               const std::function<bool()>& stopRequested) {
    if (stopped)
        *stopped = false;
    GridModel* model = grid->grid();
    bool loaded = false;
    guarded(QStringLiteral("FGLoadRST"), [&] {
        if (!rs.isOpen() || rs.eof())
            return;
        model->setRedraw(false);
        const int fields = rs.fieldCount();
        model->setRows(1);
        model->setCols(fields);
        std::vector<int> types(static_cast<size_t>(fields));
        for (int i = 0; i < fields; ++i) {
            types[size_t(i)] = rs.field(i).type;
            model->setColDataType(i, rs.field(i).type);
            model->setColFormat(i, QString());
            model->setText(0, i, rs.field(i).name);
        }
        std::unique_ptr<EscapeWatch> escape;
        QElapsedTimer clock;
        clock.start();
        qint64 lastShown = 0;
        qint64 rows = 0;
        CellStore& store = model->store();
        const bool raw = rs.hasRawCells();
        while (!rs.eof()) {
            store.beginRow();
            for (int i = 0; i < fields; ++i) {
                if (raw)
                    appendRaw(store, rs.rawCell(i), types[size_t(i)]);
                else
                    appendValue(store, rs.value(i), types[size_t(i)]);
            }
            store.endRow();
            ++rows;
            rs.moveNext();
            if (progress && rows % kRowsBetweenClockChecks == 0 &&
                clock.elapsed() - lastShown >= kProgressEveryMs) {
                if (!escape)
                    escape = std::make_unique<EscapeWatch>();
                lastShown = clock.elapsed();
                progress->setCaption(QStringLiteral("已讀入資料行數: ") + QString::number(rows));
                progress->setFloodPercent(100);
                currentOperator().processEvents();
                progress->setFloodPercent(0);
                if (escape->pressed || (stopRequested && stopRequested())) {
                    if (stopped)
                        *stopped = true;
                    break;
                }
            }
        }
        // A stop the database layer took (the statement was interrupted) ends the rows as well.
        if (stopped && !*stopped && stopRequested && stopRequested())
            *stopped = true;
        if (count)
            *count = rows;
        loaded = true;
    });
    model->setRedraw(true);
    return loaded;
}
