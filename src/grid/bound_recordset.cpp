#include "grid/bound_recordset.h"

#include "app/errors.h"
#include "db/ado_types.h"
#include "db/updatable_recordset.h"
#include "grid/result_loader.h"

#include <charconv>
#include <cmath>

BoundRecordset::BoundRecordset(UpdatableRecordset& records, Refused refused)
    : m_records(records), m_refused(std::move(refused)) {
}

int BoundRecordset::count() const {
    return m_records.recordCount();
}

QString BoundRecordset::text(int record, int col) const {
    const QVariant value = m_records.value(record, col);
    const int type = m_records.column(col).field.type;
    if (m_records.holdsServerText() && value.typeId() == QMetaType::QString)
        return serverValueText(value.toString(), type);
    return cellText(value, type);
}

QString BoundRecordset::editText(int record, int col) const {
    const QVariant value = m_records.value(record, col);
    const int type = m_records.column(col).field.type;
    if (value.typeId() == QMetaType::Double && std::isfinite(value.toDouble())) {
        char digits[64]; // the shortest text that reads back as the same number
        const auto done = std::to_chars(digits, digits + sizeof digits, value.toDouble());
        return QString::fromLatin1(digits, done.ptr - digits);
    }
    if (value.typeId() != QMetaType::QString)
        return text(record, col);
    QString exact = value.toString();
    if (AdoType::isDateType(type) && exact.size() >= 10 && exact[4] == u'-' && exact[7] == u'-') {
        exact[4] = u'/'; // the date as the grid writes dates, the rest (time, fraction, zone) in full
        exact[7] = u'/';
        return exact;
    }
    return type == AdoType::Boolean || !m_records.holdsServerText() ? text(record, col) : exact;
}

int BoundRecordset::longestRecord(int col) const {
    return m_records.longestRecord(col);
}

bool BoundRecordset::setText(int record, int col, const QString& text) {
    if (text == this->text(record, col) || text == editText(record, col))
        return true;
    try {
        m_records.setValue(record, col, text);
        return true;
    } catch (...) {
        m_refused(record, col, currentError(std::current_exception()));
        return false;
    }
}
