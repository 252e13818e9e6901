#include "grid/cell_store.h"

#include "app/errors.h"

#include <QStringEncoder>

#include <cstring>

// Block layout: uint32 n, uint32 offsets[n + 1] (from the start of the text), then the UTF-8 text.

namespace {
[[noreturn]] void outOfRange() { throw AppError(381, QStringLiteral("Subscript out of range")); }

const quint32* header(const char* block) { return reinterpret_cast<const quint32*>(block); }
} // namespace

int CellStore::cellCount(const Block& block) { return block ? int(header(block.get())[0]) : 0; }

CellStore::Block CellStore::packStrings(const QString* first, int count) const {
    int last = count;
    while (last > 0 && first[last - 1].isEmpty()) // trailing empty cells need no room
        --last;
    if (last == 0)
        return nullptr;
    // UTF-8 takes at most three bytes per UTF-16 unit; encode straight into one scratch buffer.
    qsizetype units = 0;
    for (int i = 0; i < last; ++i)
        units += first[i].size();
    const size_t headBytes = sizeof(quint32) * size_t(last + 2);
    thread_local std::vector<char> scratch;
    if (scratch.size() < size_t(units) * 3)
        scratch.resize(size_t(units) * 3);
    thread_local std::vector<quint32> offsets;
    offsets.resize(size_t(last + 1));
    QStringEncoder encoder(QStringEncoder::Utf8);
    char* out = scratch.data();
    for (int i = 0; i < last; ++i) {
        offsets[size_t(i)] = quint32(out - scratch.data());
        out = encoder.appendToBuffer(out, first[i]);
    }
    const size_t textBytes = size_t(out - scratch.data());
    offsets[size_t(last)] = quint32(textBytes);
    Block block(new char[headBytes + textBytes]);
    auto* head = reinterpret_cast<quint32*>(block.get());
    head[0] = quint32(last);
    std::memcpy(head + 1, offsets.data(), sizeof(quint32) * size_t(last + 1));
    std::memcpy(block.get() + headBytes, scratch.data(), textBytes);
    return block;
}

void CellStore::setRows(int rows) {
    if (rows < 0)
        outOfRange();
    m_rows.resize(size_t(rows));
}

void CellStore::setCols(int cols) {
    if (cols < 0)
        outOfRange();
    if (cols < m_cols) {
        for (Block& block : m_rows) {
            const int n = cellCount(block);
            if (n <= cols)
                continue;
            std::vector<QString> kept;
            kept.reserve(size_t(cols));
            for (int c = 0; c < cols; ++c)
                kept.push_back(text(int(&block - m_rows.data()), c));
            block = packStrings(kept.data(), cols);
        }
    }
    m_cols = cols;
}

QString CellStore::text(int row, int col) const {
    if (row < 0 || row >= rows() || col < 0 || col >= m_cols)
        outOfRange();
    const Block& block = m_rows[size_t(row)];
    if (col >= cellCount(block))
        return {};
    const quint32* head = header(block.get());
    const char* text = block.get() + sizeof(quint32) * (head[0] + 2);
    return QString::fromUtf8(text + head[1 + col], qsizetype(head[2 + col] - head[1 + col]));
}

void CellStore::setText(int row, int col, QStringView value) {
    if (row < 0 || row >= rows() || col < 0 || col >= m_cols)
        outOfRange();
    Block& block = m_rows[size_t(row)];
    const int n = std::max(cellCount(block), col + 1);
    std::vector<QString> cells(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c)
        cells[size_t(c)] = c == col ? value.toString() : text(row, c);
    block = packStrings(cells.data(), n);
}

void CellStore::insertEmptyRow(int at) {
    if (at < 0 || at > rows())
        outOfRange();
    m_rows.insert(m_rows.begin() + at, Block());
}

void CellStore::removeRow(int row) {
    if (row < 0 || row >= rows())
        outOfRange();
    m_rows.erase(m_rows.begin() + row);
}

void CellStore::moveRow(int from, int to) {
    if (from < 0 || from >= rows() || to < 0 || to >= rows())
        outOfRange();
    Block moving = std::move(m_rows[size_t(from)]);
    m_rows.erase(m_rows.begin() + from);
    m_rows.insert(m_rows.begin() + to, std::move(moving));
}

void CellStore::clear() {
    m_rows.clear();
    m_rows.shrink_to_fit();
}

size_t CellStore::heldBytes() const {
    size_t bytes = m_rows.capacity() * sizeof(Block);
    for (const Block& block : m_rows)
        if (block) {
            const quint32* head = header(block.get());
            bytes += sizeof(quint32) * (head[0] + 2) + head[1 + head[0]];
        }
    return bytes;
}
