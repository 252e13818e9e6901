#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <vector>

// The texts of a grid, kept compactly: each row is one block holding its cells as UTF-8 with an
// offset table, so a million rows cost a little over their text, not a string object per cell.
// A row may hold fewer cells than the grid has columns; the missing ones read as empty.
class CellStore {
public:
    int rows() const { return int(m_rows.size()); }
    int cols() const { return m_cols; }

    // Rows beyond the new count are dropped, new rows are empty; cells beyond the new column
    // count are dropped.
    void setRows(int rows);
    void setCols(int cols);

    QString text(int row, int col) const;
    void setText(int row, int col, QStringView text);
    // Appends a row of cells (cells beyond the column count are dropped).
    void appendRow(const QString* cells, int count) {
        m_rows.push_back(packStrings(cells, std::min(count, m_cols)));
    }
    void appendRow(const QStringList& cells) { appendRow(cells.constData(), int(cells.size())); }
    void appendEmptyRow() { m_rows.emplace_back(); }
    void insertEmptyRow(int at);
    void removeRow(int row);
    void moveRow(int from, int to);
    void clear();

    // Bytes held by the cell blocks, for the benchmarks.
    size_t heldBytes() const;

private:
    using Block = std::unique_ptr<char[]>;
    Block packStrings(const QString* first, int count) const;
    static int cellCount(const Block& block);

    std::vector<Block> m_rows;
    int m_cols = 0;
};

