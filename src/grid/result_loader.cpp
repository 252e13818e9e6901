#include "grid/result_loader.h"

#include "app/errors.h"
#include "app/operator.h"
#include "db/ado_types.h"
#include "db/recordset.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <vector>

namespace {
constexpr int kProgressEveryMs = 250;
constexpr int kRowsBetweenClockChecks = 2048;

// Watches for Esc while a load lets window events run.
class EscapeWatch : public QObject {
public:
    EscapeWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~EscapeWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool pressed = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            pressed = true;
            return true;
        }
        return false;
    }
};

QString dateText(const QDate& date) { return date.toString(QStringLiteral("yyyy/MM/dd")); }

QString dateTimeText(const QDateTime& when) {
    if (when.time() == QTime(0, 0))
        return dateText(when.date());
    return when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// Date columns of engines that keep dates as text (SQLite) read "2016-11-25[ 09:30:00]".
QString isoTextAsDate(const QString& text) {
    if (text.size() < 10 || text[4] != u'-' || text[7] != u'-')
        return text;
    const QDateTime when = QDateTime::fromString(text.left(19).replace(u'T', u' '),
                                                 text.size() >= 19 ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                                                                   : QStringLiteral("yyyy-MM-dd"));
    return when.isValid() ? dateTimeText(when) : text;
}
} // namespace

QString cellText(const QVariant& value, int adoType) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QString:
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
        return QString::number(value.toDouble(), 'g', 15);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDate:
        return dateText(value.toDate());
    case QMetaType::QDateTime:
        return dateTimeText(value.toDateTime());
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QByteArray:
        return AdoType::isDateType(adoType) || adoType == AdoType::VarWChar || adoType == AdoType::LongVarWChar
                   ? QString::fromUtf8(value.toByteArray())
                   : QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return value.toString();
    }
}

bool FGLoadRST(FlexGrid* grid, Recordset& rs, qint64* count, ElasticPanel* progress, bool* stopped) {
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
        std::vector<QString> cells(static_cast<size_t>(fields));
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
        while (!rs.eof()) {
            for (int i = 0; i < fields; ++i)
                cells[size_t(i)] = cellText(rs.value(i), types[size_t(i)]);
            store.appendRow(cells.data(), fields);
            ++rows;
            rs.moveNext();
            if (progress && rows % kRowsBetweenClockChecks == 0 && clock.elapsed() - lastShown >= kProgressEveryMs) {
                if (!escape)
                    escape = std::make_unique<EscapeWatch>();
                lastShown = clock.elapsed();
                progress->setCaption(QStringLiteral("已讀入資料行數: ") + QString::number(rows));
                progress->setFloodPercent(100);
                currentOperator().processEvents();
                progress->setFloodPercent(0);
                if (escape->pressed) {
                    if (stopped)
                        *stopped = true;
                    break;
                }
            }
        }
        if (count)
            *count = rows;
        loaded = true;
    });
    model->setRedraw(true);
    return loaded;
}
