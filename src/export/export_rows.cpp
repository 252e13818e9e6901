#include "export/export_rows.h"

#include "db/updatable_recordset.h"
#include "grid/grid_model.h"
#include "grid/result_loader.h"

int GridExportRows::columnCount() const {
    return m_grid.cols();
}

QString GridExportRows::columnName(int col) const {
    return m_grid.text(0, col);
}

int GridExportRows::columnType(int col) const {
    return m_grid.colDataType(col);
}

qint64 GridExportRows::rowCount() const {
    return m_grid.rows() > 0 ? m_grid.rows() - 1 : 0;
}

QString GridExportRows::text(qint64 row, int col) const {
    return m_grid.text(int(row + 1), col);
}

int RecordExportRows::columnCount() const {
    return m_records.fieldCount();
}

QString RecordExportRows::columnName(int col) const {
    return m_records.column(col).field.name;
}

int RecordExportRows::columnType(int col) const {
    return m_records.column(col).field.type;
}

qint64 RecordExportRows::rowCount() const {
    return m_records.recordCount();
}

QString RecordExportRows::text(qint64 row, int col) const {
    const QVariant held = value(row, col);
    if (m_records.holdsServerText() && held.typeId() == QMetaType::QString)
        return serverValueText(held.toString(), columnType(col));
    return cellText(held, columnType(col));
}

QVariant RecordExportRows::value(qint64 row, int col) const {
    return m_records.value(int(row), col);
}
