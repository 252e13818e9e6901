#include "grid/cell_store.h"

#include "app/chunk_memory.h"
#include "app/errors.h"

#include <QStringEncoder>

#include <cstdlib>
#include <cstring>

// Block layout: a narrow block (text under 64 KB, fewer than 32768 cells) holds uint16 n, then
// uint16 ends[n], then the UTF-8 text; a wide one holds uint16 kWide, two bytes of padding,
// uint32 n, uint32 ends[n], then the text. ends[i] is where cell i ends, counted from the start of
// the text; a cell starts where the one before it ends. Most rows are narrow: their head costs
// 2 + 2n bytes.

namespace {
using ChunkMemory::kChunkBytes;
constexpr size_t kAlignment = alignof(quint16);

[[noreturn]] void outOfRange() {
    throw Errors::subscriptOutOfRange();
}

constexpr quint16 kWide = 0x8000;

struct Block {
    size_t n = 0;
    bool wide = false;
    const char* ends = nullptr;
    const char* text = nullptr;

    explicit Block(const char* block) {
        quint16 head = 0;
        std::memcpy(&head, block, sizeof head);
        wide = head == kWide;
        if (wide) {
            quint32 count = 0;
            std::memcpy(&count, block + 4, sizeof count);
            n = count;
            ends = block + 8;
            text = ends + sizeof(quint32) * n;
        } else {
            n = head;
            ends = block + 2;
            text = ends + sizeof(quint16) * n;
        }
    }
    // Where cell i ends; 0 for the cell before the first.
    size_t end(qsizetype i) const {
        if (i < 0)
            return 0;
        if (wide) {
            quint32 value = 0;
            std::memcpy(&value, ends + sizeof(quint32) * size_t(i), sizeof value);
            return value;
        }
        quint16 value = 0;
        std::memcpy(&value, ends + sizeof(quint16) * size_t(i), sizeof value);
        return value;
    }
};
} // namespace

int CellStore::cellCount(const char* block) {
    return block ? int(Block(block).n) : 0;
}

size_t CellStore::blockBytes(const char* block) {
    if (!block)
        return 0;
    const Block b(block);
    return size_t(b.text - block) + b.end(qsizetype(b.n) - 1);
}

char* CellStore::allocate(size_t bytes) {
    bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
    if (bytes > m_chunkFree) {
        size_t size = 0;
        m_chunks.push_back(ChunkMemory::allocate(bytes, &size));
        m_chunkNext = m_chunks.back().get();
        m_chunkFree = size;
        m_heldBytes += size;
    }
    char* at = m_chunkNext;
    m_chunkNext += bytes;
    m_chunkFree -= bytes;
    return at;
}

void CellStore::release(const char* block) {
    m_wastedBytes += blockBytes(block);
}

void CellStore::beginRow() {
    m_textSize = 0;
    m_offsets.clear();
}

char* CellStore::reserveText(size_t more) {
    if (m_textSize + more > m_textCapacity) {
        const size_t capacity = std::max(m_textCapacity * 2, m_textSize + more + 256);
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (m_textSize)
            std::memcpy(grown.get(), m_text.get(), m_textSize);
        m_text = std::move(grown);
        m_textCapacity = capacity;
    }
    return m_text.get() + m_textSize;
}

void CellStore::addCell(QStringView text) {
    if (int(m_offsets.size()) >= m_cols)
        return;
    m_offsets.push_back(quint32(m_textSize));
    char* out = reserveText(size_t(text.size()) * 3);
    bool ascii = true;
    for (qsizetype i = 0; i < text.size(); ++i) { // most cells are plain ASCII: copy them byte by byte
        const char16_t c = text[i].unicode();
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        out[i] = char(c);
    }
    if (ascii) {
        m_textSize += size_t(text.size());
        return;
    }
    QStringEncoder encoder(QStringEncoder::Utf8);
    m_textSize = size_t(encoder.appendToBuffer(out, text) - m_text.get());
}

void CellStore::addCellUtf8(const char* bytes, size_t length) {
    if (int(m_offsets.size()) >= m_cols)
        return;
    m_offsets.push_back(quint32(m_textSize));
    std::memcpy(reserveText(length), bytes, length);
    m_textSize += length;
}

const char* CellStore::finishBlock() {
    // Trailing empty cells need no room.
    size_t n = m_offsets.size();
    while (n > 0 && m_offsets[n - 1] == m_textSize)
        --n;
    if (n == 0)
        return nullptr;
    const size_t textBytes = n == m_offsets.size() ? m_textSize : m_offsets[n];
    const bool wide = textBytes > 0xFFFF || n >= kWide;
    const size_t headBytes = wide ? 8 + sizeof(quint32) * n : 2 + sizeof(quint16) * n;
    char* block = allocate(headBytes + textBytes);
    char* ends = block + (wide ? 8 : 2);
    if (wide) {
        const quint16 marker = kWide;
        const quint32 count = quint32(n);
        std::memcpy(block, &marker, sizeof marker);
        std::memset(block + 2, 0, 2);
        std::memcpy(block + 4, &count, sizeof count);
    } else {
        const quint16 count = quint16(n);
        std::memcpy(block, &count, sizeof count);
    }
    for (size_t i = 0; i < n; ++i) {
        const size_t end = i + 1 < n ? m_offsets[i + 1] : textBytes;
        if (wide) {
            const quint32 value = quint32(end);
            std::memcpy(ends + sizeof value * i, &value, sizeof value);
        } else {
            const quint16 value = quint16(end);
            std::memcpy(ends + sizeof value * i, &value, sizeof value);
        }
    }
    std::memcpy(block + headBytes, m_text.get(), textBytes);
    return block;
}

void CellStore::endRow() {
    const size_t n = m_offsets.size();
    if (m_longestBytes.size() < n) {
        m_longestBytes.resize(n, 0);
        m_longestRow.resize(n, -1);
    }
    for (size_t c = 0; c < n; ++c) {
        const quint32 bytes = quint32(c + 1 < n ? m_offsets[c + 1] : m_textSize) - m_offsets[c];
        if (bytes > m_longestBytes[c]) {
            m_longestBytes[c] = bytes;
            m_longestRow[c] = int(m_rows.size());
        }
    }
    m_rows.push_back(finishBlock());
}

void CellStore::appendRow(const QString* cells, int count) {
    beginRow();
    for (int i = 0; i < count; ++i)
        addCell(cells[i]);
    endRow();
}

void CellStore::repackIfWasteful() {
    const size_t live = m_heldBytes - m_wastedBytes - m_chunkFree;
    if (m_wastedBytes < kChunkBytes || m_wastedBytes < live)
        return;
    auto old = std::move(m_chunks);
    m_chunks.clear();
    m_chunkFree = 0;
    m_chunkNext = nullptr;
    m_heldBytes = 0;
    m_wastedBytes = 0;
    for (const char*& block : m_rows) {
        if (!block)
            continue;
        const size_t bytes = blockBytes(block);
        char* copy = allocate(bytes);
        std::memcpy(copy, block, bytes);
        block = copy;
    }
}

void CellStore::setRows(int rows) {
    if (rows < 0)
        outOfRange();
    for (size_t r = size_t(rows); r < m_rows.size(); ++r)
        release(m_rows[r]);
    if (size_t(rows) < m_rows.size()) {
        m_longestBytes.clear();
        m_longestRow.clear();
    }
    m_rows.resize(size_t(rows), nullptr);
    repackIfWasteful();
}

void CellStore::setCols(int cols) {
    if (cols < 0)
        outOfRange();
    if (cols < m_cols) {
        for (size_t r = 0; r < m_rows.size(); ++r) {
            if (cellCount(m_rows[r]) <= cols)
                continue;
            beginRow();
            for (int c = 0; c < cols; ++c)
                addCell(text(int(r), c));
            release(m_rows[r]);
            const int saved = m_cols;
            m_cols = cols;
            m_rows[r] = finishBlock();
            m_cols = saved;
        }
    }
    m_cols = cols;
    repackIfWasteful();
}

QByteArrayView CellStore::utf8(int row, int col) const {
    if (row < 0 || row >= rows() || col < 0 || col >= m_cols)
        outOfRange();
    const char* block = m_rows[size_t(row)];
    if (col >= cellCount(block))
        return {};
    const Block b(block);
    const size_t start = b.end(col - 1);
    return QByteArrayView(b.text + start, qsizetype(b.end(col) - start));
}

QString CellStore::text(int row, int col) const {
    return QString::fromUtf8(utf8(row, col));
}

QString CellStore::textPrefix(int row, int col, int maxChars) const {
    // Four bytes at most per character: a character cut in half lies past maxChars.
    const QByteArrayView bytes = utf8(row, col);
    return QString::fromUtf8(bytes.first(std::min(bytes.size(), qsizetype(maxChars) * 4))).left(maxChars);
}

void CellStore::setText(int row, int col, QStringView value) {
    if (row < 0 || row >= rows() || col < 0 || col >= m_cols)
        outOfRange();
    const char* block = m_rows[size_t(row)];
    const int n = std::max(cellCount(block), col + 1);
    std::vector<QString> cells(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c)
        cells[size_t(c)] = c == col ? value.toString() : text(row, c);
    beginRow();
    for (const QString& cell : cells)
        addCell(cell);
    release(block);
    m_rows[size_t(row)] = finishBlock();
    repackIfWasteful();
}

void CellStore::insertEmptyRow(int at) {
    if (at < 0 || at > rows())
        outOfRange();
    m_rows.insert(m_rows.begin() + at, nullptr);
}

void CellStore::removeRow(int row) {
    if (row < 0 || row >= rows())
        outOfRange();
    release(m_rows[size_t(row)]);
    m_rows.erase(m_rows.begin() + row);
    repackIfWasteful();
}

void CellStore::moveRow(int from, int to) {
    if (from < 0 || from >= rows() || to < 0 || to >= rows())
        outOfRange();
    const char* moving = m_rows[size_t(from)];
    m_rows.erase(m_rows.begin() + from);
    m_rows.insert(m_rows.begin() + to, moving);
}

void CellStore::clear() {
    m_longestBytes.clear();
    m_longestRow.clear();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_chunks.clear();
    m_chunkFree = 0;
    m_chunkNext = nullptr;
    m_heldBytes = 0;
    m_wastedBytes = 0;
}
