#pragma once

#include "grid/bound_rows.h"
#include "grid/cell_store.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QStringList>

#include <functional>

// The one model behind every grid. Rows and columns count as the grid counts them: row 0 is the
// header row and, with a fixed column, column 0 the row labels. The view sees only the data part;
// the fixed row and column are shown as its headers, so they stay in place while scrolling.
class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit GridModel(QObject* parent = nullptr);

    int rows() const { return m_bound ? m_fixedRows + m_bound->count() : m_store.rows(); }
    int cols() const { return m_store.cols(); }
    void setRows(int rows);
    void setCols(int cols);
    int fixedRows() const { return m_fixedRows; }
    int fixedCols() const { return m_fixedCols; }
    void setFixedRows(int fixedRows);
    void setFixedCols(int fixedCols);

    QString text(int row, int col) const;
    void setText(int row, int col, const QString& text);
    // Appends a row whose cells are the tab-separated parts of text.
    void addItem(const QString& text);
    // Appends a row of cells set directly (a TAB inside a value stays in its cell).
    void appendRow(const QString* cells, int count);
    void removeItem(int row);
    void moveRow(int from, int to);

    // While redraw is off, changes are gathered and the views are told once when it comes back on.
    void setRedraw(bool redraw);
    bool redraw() const { return m_redraw; }

    // Bound mode: the data rows are the given records (the header row stays the grid's own);
    // nullptr returns to free mode with the header row alone. While bound, rows change only
    // through insertBoundRow and removeBoundRow, each around the change the records make.
    void bind(BoundRows* rows);
    // Back to free mode keeping what the bound rows show, as texts of the grid's own.
    void unbindKeepingTexts();
    bool isBound() const { return m_bound != nullptr; }
    // The grid row holding the longest cell of a column, as far as it is known; -1 otherwise.
    int longestRow(int col) const;
    void insertBoundRow(int row, const std::function<void()>& addRecord);
    void removeBoundRow(int row, const std::function<void()>& dropRecord);
    // The records of a row changed: the views show them anew.
    void boundRowChanged(int row);

    // A cell shows at most this many characters: laying out more costs time and shows nothing.
    static constexpr int kShownChars = 1000;

    bool editable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }

    int colDataType(int col) const { return m_colTypes.value(col, 0); }
    void setColDataType(int col, int type) { m_colTypes[col] = type; }
    void setColFormat(int col, const QString& format) { m_colFormats[col] = format; }

    void setCellBackground(int row1, int col1, int row2, int col2, const QColor& colour);
    void clearCellFormatting(int row1, int col1, int row2, int col2);
    QColor cellBackground(int row, int col) const;

    // Grid coordinates of a view index and back.
    int gridRow(const QModelIndex& index) const { return index.row() + m_fixedRows; }
    int gridCol(const QModelIndex& index) const { return index.column() + m_fixedCols; }
    QModelIndex viewIndex(int row, int col) const { return index(row - m_fixedRows, col - m_fixedCols); }

    // The store itself, for loaders that fill many rows at once between setRedraw(false) and (true).
    CellStore& store() { return m_store; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    static quint64 key(int row, int col) { return (quint64(quint32(row)) << 32) | quint32(col); }
    void changeShape(const std::function<void()>& change);
    void shiftFormatting(const std::function<int(int)>& newRowOf);

    CellStore m_store;
    int m_fixedRows = 1;
    int m_fixedCols = 0;
    bool m_redraw = true;
    bool m_editable = false;
    QHash<int, int> m_colTypes;
    QHash<int, QString> m_colFormats;
    QHash<quint64, QColor> m_cellColours;
    BoundRows* m_bound = nullptr;
    void requireFree() const;
};
