#include "db/recordset.h"

#include "app/errors.h"

#include <QSqlError>

Recordset::Recordset(std::unique_ptr<QSqlQuery> query, QList<FieldInfo> fields)
    : m_query(std::move(query)), m_fields(std::move(fields)) {
    m_open = m_query && m_query->isSelect();
    if (m_open)
        moveNext();
}

Recordset::~Recordset() { close(); }

void Recordset::moveNext() {
    if (!m_open || (m_eof && m_position > 0))
        return;
    if (m_query->next()) {
        m_eof = false;
        ++m_position;
        return;
    }
    m_eof = true;
    if (m_query->lastError().isValid())
        throw AppError(ErrNo::DbStatementRejected, m_query->lastError().text());
}

QVariant Recordset::value(int i) const {
    if (eof())
        throw AppError(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    return m_query->value(i);
}

void Recordset::close() {
    if (m_query) {
        m_query->finish();
        m_query.reset();
    }
    m_open = false;
    m_eof = true;
}
