#pragma once

#include <QString>
#include <QVariant>

#include <functional>

class GridModel;
class UpdatableRecordset;

// The rows an export writes, read cell by cell where they are held and never copied: the column
// names, each column's kind (an ADO data-type code), then the data rows.
class ExportRows {
public:
    virtual ~ExportRows() = default;
    virtual int columnCount() const = 0;
    virtual QString columnName(int col) const = 0;
    virtual int columnType(int col) const = 0;
    virtual qint64 rowCount() const = 0;
    // A data row's cell as text (NULL as "").
    virtual QString text(qint64 row, int col) const = 0;
    // A data row's cell as a value: a null value for NULL.
    virtual QVariant value(qint64 row, int col) const { return text(row, col); }
};

// The result grid as it is shown: row 0 holds the column names, the rows after it the data.
class GridExportRows : public ExportRows {
public:
    explicit GridExportRows(const GridModel& grid) : m_grid(grid) {}
    int columnCount() const override;
    QString columnName(int col) const override;
    int columnType(int col) const override;
    qint64 rowCount() const override;
    QString text(qint64 row, int col) const override;

private:
    const GridModel& m_grid;
};

// The maintenance records as they stand, the operator's unsaved values included.
class RecordExportRows : public ExportRows {
public:
    explicit RecordExportRows(const UpdatableRecordset& records) : m_records(records) {}
    int columnCount() const override;
    QString columnName(int col) const override;
    int columnType(int col) const override;
    qint64 rowCount() const override;
    QString text(qint64 row, int col) const override;
    QVariant value(qint64 row, int col) const override;

private:
    const UpdatableRecordset& m_records;
};

// Asked now and then while a writer goes through the rows, with the count of rows written so far;
// answers false to stop the writing.
using ExportProgress = std::function<bool(qint64 rowsWritten)>;
