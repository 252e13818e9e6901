#pragma once

#include "app/chunk_memory.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <vector>

// The texts of a grid, kept compactly: each row is one block holding its cells as UTF-8 with an
// offset table, and blocks are cut from large chunks, so a million rows cost a little over their
// text rather than a string object and an allocation per cell. A row may hold fewer cells than the
// grid has columns; the missing ones read as empty. Space of replaced or dropped rows is taken back
// by repacking once it outweighs the rows still held.
class CellStore {
public:
    CellStore() = default;
    CellStore(const CellStore&) = delete;
    CellStore& operator=(const CellStore&) = delete;

    int rows() const { return int(m_rows.size()); }
    int cols() const { return m_cols; }

    // Rows beyond the new count are dropped, new rows are empty; cells beyond the new column
    // count are dropped.
    void setRows(int rows);
    void setCols(int cols);

    QString text(int row, int col) const;
    // The first maxChars characters of a cell, decoding no more of it than they need.
    QString textPrefix(int row, int col, int maxChars) const;
    void setText(int row, int col, QStringView text);
    // Appends a row of cells (cells beyond the column count are dropped).
    void appendRow(const QString* cells, int count);
    void appendRow(const QStringList& cells) { appendRow(cells.constData(), int(cells.size())); }
    void appendEmptyRow() { m_rows.push_back(nullptr); }
    void insertEmptyRow(int at);
    void removeRow(int row);
    void moveRow(int from, int to);
    void clear();

    // The row holding the longest cell of a column among the rows appended since the rows were
    // last cut back; -1 when none is known. What fits that cell fits every row of the column.
    int longestRow(int col) const {
        return col >= 0 && size_t(col) < m_longestRow.size() ? m_longestRow[size_t(col)] : -1;
    }

    // Building a row cell by cell, straight from text or from UTF-8 bytes, with no strings between.
    void beginRow();
    void addCell(QStringView text);
    void addCellUtf8(const char* bytes, size_t length);
    void endRow();

private:
    QByteArrayView utf8(int row, int col) const;
    static int cellCount(const char* block);
    static size_t blockBytes(const char* block);
    const char* finishBlock(); // packs the row being built into a block (nullptr when all empty)
    char* allocate(size_t bytes);
    void release(const char* block);
    void repackIfWasteful();

    std::vector<const char*> m_rows; // nullptr: an empty row
    std::vector<quint32> m_longestBytes;
    std::vector<int> m_longestRow;
    int m_cols = 0;

    std::vector<ChunkMemory::Chunk> m_chunks;
    size_t m_chunkFree = 0;
    char* m_chunkNext = nullptr;
    size_t m_heldBytes = 0;
    size_t m_wastedBytes = 0;

    // The row being built: its UTF-8 text (grown by hand, so nothing is zero-filled) and cell starts.
    std::unique_ptr<char[]> m_text;
    size_t m_textSize = 0;
    size_t m_textCapacity = 0;
    std::vector<quint32> m_offsets;
    char* reserveText(size_t more);
};
