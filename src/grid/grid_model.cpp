#include "grid/grid_model.h"

#include "app/errors.h"

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {
}

void GridModel::changeShape(const std::function<void()>& change) {
    if (!m_redraw) {
        change();
        return;
    }
    beginResetModel();
    try {
        change();
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

void GridModel::requireFree() const {
    if (m_bound)
        throw AppError(ErrNo::InvalidCall, QStringLiteral("表格已連結資料集: 它的資料列隨資料錄改變。"));
}

void GridModel::bind(BoundRows* rows) {
    changeShape([&] {
        m_bound = rows;
        m_store.setRows(std::min(m_store.rows(), m_fixedRows));
        m_cellColours.clear();
    });
}

void GridModel::unbindKeepingTexts() {
    if (!m_bound)
        return;
    changeShape([&] {
        for (int r = 0; r < m_bound->count(); ++r) {
            m_store.beginRow();
            for (int c = 0; c < m_store.cols(); ++c)
                m_store.addCell(m_bound->text(r, c));
            m_store.endRow();
        }
        m_bound = nullptr;
    });
}

void GridModel::insertBoundRow(int row, const std::function<void()>& addRecord) {
    beginInsertRows({}, row - m_fixedRows, row - m_fixedRows);
    addRecord();
    endInsertRows();
}

void GridModel::removeBoundRow(int row, const std::function<void()>& dropRecord) {
    beginRemoveRows({}, row - m_fixedRows, row - m_fixedRows);
    dropRecord();
    endRemoveRows();
}

void GridModel::boundRowChanged(int row) {
    if (m_redraw && columnCount() > 0)
        emit dataChanged(viewIndex(row, m_fixedCols), viewIndex(row, cols() - 1));
}

QString GridModel::text(int row, int col) const {
    if (m_bound && row >= m_fixedRows) {
        if (row >= rows() || col < 0 || col >= cols())
            throw Errors::subscriptOutOfRange();
        return m_bound->text(row - m_fixedRows, col);
    }
    return m_store.text(row, col);
}

int GridModel::longestRow(int col) const {
    if (m_bound) {
        const int record = m_bound->longestRecord(col);
        return record < 0 ? -1 : record + m_fixedRows;
    }
    return m_store.longestRow(col);
}

void GridModel::setRedraw(bool redraw) {
    if (redraw == m_redraw)
        return;
    if (!redraw)
        beginResetModel();
    m_redraw = redraw;
    if (redraw)
        endResetModel();
}

void GridModel::setRows(int rows) {
    requireFree();
    changeShape([&] {
        m_store.setRows(rows);
        for (auto it = m_cellColours.begin(); it != m_cellColours.end();)
            it = int(it.key() >> 32) >= rows ? m_cellColours.erase(it) : std::next(it);
    });
}

void GridModel::setCols(int cols) {
    changeShape([&] { m_store.setCols(cols); });
}

void GridModel::setFixedRows(int fixedRows) {
    changeShape([&] { m_fixedRows = std::clamp(fixedRows, 0, 1); });
}

void GridModel::setFixedCols(int fixedCols) {
    changeShape([&] { m_fixedCols = std::clamp(fixedCols, 0, 1); });
}

void GridModel::setText(int row, int col, const QString& text) {
    if (m_bound && row >= m_fixedRows) {
        if (m_bound->setText(row - m_fixedRows, col, text))
            boundRowChanged(row);
        return;
    }
    m_store.setText(row, col, text);
    if (!m_redraw)
        return;
    if (row < m_fixedRows || col < m_fixedCols)
        emit headerDataChanged(row < m_fixedRows ? Qt::Horizontal : Qt::Vertical, 0, 0);
    else {
        const QModelIndex at = viewIndex(row, col);
        emit dataChanged(at, at);
    }
}

void GridModel::addItem(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('\t'));
    appendRow(parts.constData(), int(parts.size()));
}

void GridModel::appendRow(const QString* cells, int count) {
    requireFree();
    if (!m_redraw || m_store.rows() < m_fixedRows) {
        changeShape([&] { m_store.appendRow(cells, count); });
        return;
    }
    const int at = m_store.rows() - m_fixedRows;
    beginInsertRows({}, at, at);
    m_store.appendRow(cells, count);
    endInsertRows();
}

void GridModel::removeItem(int row) {
    requireFree();
    if (row < 0 || row >= m_store.rows())
        throw Errors::subscriptOutOfRange();
    const auto remove = [&] {
        m_store.removeRow(row);
        shiftFormatting([row](int r) { return r == row ? -1 : r > row ? r - 1 : r; });
    };
    if (!m_redraw || row < m_fixedRows) {
        changeShape(remove);
        return;
    }
    beginRemoveRows({}, row - m_fixedRows, row - m_fixedRows);
    remove();
    endRemoveRows();
}

void GridModel::moveRow(int from, int to) {
    requireFree();
    if (from == to)
        return;
    changeShape([&] {
        m_store.moveRow(from, to);
        shiftFormatting([from, to](int r) {
            if (r == from)
                return to;
            if (from < to && r > from && r <= to)
                return r - 1;
            if (to < from && r >= to && r < from)
                return r + 1;
            return r;
        });
    });
}

void GridModel::shiftFormatting(const std::function<int(int)>& newRowOf) {
    if (m_cellColours.isEmpty())
        return;
    QHash<quint64, QColor> moved;
    for (auto it = m_cellColours.cbegin(); it != m_cellColours.cend(); ++it) {
        const int row = newRowOf(int(it.key() >> 32));
        if (row >= 0)
            moved.insert(key(row, int(it.key() & 0xffffffffu)), it.value());
    }
    m_cellColours = std::move(moved);
}

void GridModel::setCellBackground(int row1, int col1, int row2, int col2, const QColor& colour) {
    for (int r = std::min(row1, row2); r <= std::max(row1, row2); ++r)
        for (int c = std::min(col1, col2); c <= std::max(col1, col2); ++c)
            m_cellColours.insert(key(r, c), colour);
    if (m_redraw && rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

void GridModel::clearCellFormatting(int row1, int col1, int row2, int col2) {
    for (int r = std::min(row1, row2); r <= std::max(row1, row2); ++r)
        for (int c = std::min(col1, col2); c <= std::max(col1, col2); ++c)
            m_cellColours.remove(key(r, c));
    if (m_redraw && rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

QColor GridModel::cellBackground(int row, int col) const {
    return m_cellColours.value(key(row, col));
}

// While redraw is off the store may be filled from another thread: the views see an empty grid.
int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_redraw ? 0 : std::max(0, rows() - m_fixedRows);
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_redraw ? 0 : std::max(0, m_store.cols() - m_fixedCols);
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_redraw)
        return {};
    const int row = gridRow(index);
    const int col = gridCol(index);
    if (row >= rows() || col >= m_store.cols())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (m_bound && row >= m_fixedRows) {
            const QString shown = m_bound->text(row - m_fixedRows, col);
            return shown.size() > kShownChars ? shown.left(kShownChars) : shown;
        }
        return m_store.textPrefix(row, col, kShownChars);
    case Qt::EditRole:
        return m_bound && row >= m_fixedRows ? m_bound->editText(row - m_fixedRows, col)
                                             : m_store.text(row, col);
    case Qt::BackgroundRole: {
        const QColor colour = cellBackground(row, col);
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    default:
        return {};
    }
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int row = gridRow(index);
    if (m_bound && row >= m_fixedRows) {
        if (!m_bound->setText(row - m_fixedRows, gridCol(index), value.toString()))
            return false;
        boundRowChanged(row);
        return true;
    }
    setText(row, gridCol(index), value.toString());
    return true;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !m_redraw)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        const int col = section + m_fixedCols;
        return m_fixedRows > 0 && m_store.rows() > 0 && col < m_store.cols() ? QVariant(m_store.text(0, col))
                                                                             : QVariant();
    }
    const int row = section + m_fixedRows;
    return m_fixedCols > 0 && row < rows() && m_store.cols() > 0 ? QVariant(text(row, 0)) : QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_editable)
        f |= Qt::ItemIsEditable;
    return f;
}
