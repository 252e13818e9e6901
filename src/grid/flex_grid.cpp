#include "grid/flex_grid.h"

#include "app/errors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>

#include <limits>

// Puts the editor's text through the grid's validation before the cell takes it.
class FlexGridDelegate : public QStyledItemDelegate {
public:
    explicit FlexGridDelegate(FlexGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setMaxLength(std::numeric_limits<int>::max()); // a cell takes any length: nothing is cut
        m_grid->m_editor = editor;
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QLineEdit*>(editor)->setText(index.data(Qt::EditRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        m_grid->commitEdit(editor, index);
    }
    // In the grid Ctrl+Insert and Ctrl+Delete add and delete records; in an open cell editor they
    // do nothing, rather than the line editor's own copy or delete-word, which would blank a cell
    // when a record was meant.
    bool eventFilter(QObject* editor, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_Insert) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
                event->accept();
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (m_grid->m_editor == editor)
            m_grid->m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    FlexGrid* m_grid;
};

FlexGrid::FlexGrid(QWidget* parent) : QTableView(parent), m_model(new GridModel(this)) {
    setModel(m_model);
    setItemDelegate(new FlexGridDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setVisible(false);
    setWordWrap(false);
    viewport()->installEventFilter(this);
    // The corner above the fixed column shows the header cell of that column.
    if (auto* corner = findChild<QAbstractButton*>())
        corner->installEventFilter(this);
}

int FlexGrid::twipsToPixels(int twips, const QWidget* widget) {
    return int(double(twips) * widget->logicalDpiX() / 1440.0 + 0.5);
}

int FlexGrid::pixelsToTwips(int pixels, const QWidget* widget) {
    return int(double(pixels) * 1440.0 / widget->logicalDpiX() + 0.5);
}

void FlexGrid::setFixedRows(int fixedRows) {
    m_model->setFixedRows(fixedRows);
    horizontalHeader()->setVisible(m_model->fixedRows() > 0);
}

void FlexGrid::setFixedCols(int fixedCols) {
    m_model->setFixedCols(fixedCols);
    verticalHeader()->setVisible(m_model->fixedCols() > 0);
}

int FlexGrid::row() const {
    const QModelIndex at = currentIndex();
    return at.isValid() ? m_model->gridRow(at) : -1;
}

int FlexGrid::col() const {
    const QModelIndex at = currentIndex();
    return at.isValid() ? m_model->gridCol(at) : -1;
}

void FlexGrid::setRow(int row) {
    const int col = this->col() >= m_model->fixedCols() ? this->col() : m_model->fixedCols();
    const QModelIndex at = m_model->viewIndex(row, col);
    if (!at.isValid())
        throw Errors::subscriptOutOfRange();
    setCurrentIndex(at);
}

void FlexGrid::setCol(int col) {
    const int row = this->row() >= m_model->fixedRows() ? this->row() : m_model->fixedRows();
    const QModelIndex at = m_model->viewIndex(row, col);
    if (!at.isValid())
        throw Errors::subscriptOutOfRange();
    setCurrentIndex(at);
}

double FlexGrid::valueMatrix(int row, int col) const {
    bool ok = false;
    const double value = m_model->text(row, col).trimmed().toDouble(&ok);
    return ok ? value : 0.0;
}

QRect FlexGrid::selectionBounds() const {
    QRect bounds;
    if (selectionModel())
        for (const QModelIndex& at : selectionModel()->selectedIndexes())
            bounds |= QRect(at.column(), at.row(), 1, 1);
    return bounds;
}

QString FlexGrid::clip() const {
    QRect bounds = selectionBounds();
    if (bounds.isNull()) {
        if (!currentIndex().isValid())
            return {};
        bounds = QRect(currentIndex().column(), currentIndex().row(), 1, 1);
    }
    QStringList lines;
    for (int r = bounds.top(); r <= bounds.bottom(); ++r) {
        QStringList cells;
        for (int c = bounds.left(); c <= bounds.right(); ++c)
            cells << m_model->text(r + m_model->fixedRows(), c + m_model->fixedCols()); // in full
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\r'));
}

bool FlexGrid::setClip(const QString& text) {
    const QRect bounds = selectionBounds();
    if (bounds.isNull())
        return text.isEmpty();
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\r"))
        .replace(QLatin1Char('\n'), QLatin1Char('\r'));
    if (normal.endsWith(QLatin1Char('\r')))
        normal.chop(1);
    const QStringList lines = normal.split(QLatin1Char('\r'));
    bool fitted = lines.size() <= bounds.height();
    for (int r = 0; r < lines.size(); ++r) {
        const QStringList cells = lines[r].split(QLatin1Char('\t'));
        fitted = fitted && cells.size() <= bounds.width();
        for (int c = 0; r < bounds.height() && c < cells.size() && c < bounds.width(); ++c)
            m_model->setData(m_model->index(bounds.top() + r, bounds.left() + c), cells[c], Qt::EditRole);
    }
    return fitted;
}

QString FlexGrid::editText() const {
    return m_editor ? m_editor->text() : QString();
}

bool FlexGrid::commitEdit(QWidget* editor, const QModelIndex& index) {
    bool cancel = false;
    emit validateEdit(m_model->gridRow(index), m_model->gridCol(index), &cancel);
    if (cancel)
        return false;
    m_model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    return true;
}

void FlexGrid::setEditable(int mode) {
    m_model->setEditable(mode != 0);
    // A click on the current cell only selects it: an editor opened by it would swallow the second
    // click of a double-click, and the cell's text with the next key.
    setEditTriggers(mode != 0 ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                    QAbstractItemView::AnyKeyPressed
                              : QAbstractItemView::NoEditTriggers);
}

int FlexGrid::colWidth(int col) const {
    if (col < m_model->fixedCols())
        return pixelsToTwips(verticalHeader()->width(), this);
    return pixelsToTwips(columnWidth(col - m_model->fixedCols()), this);
}

void FlexGrid::setColWidth(int col, int twips) {
    const int pixels = std::max(0, twipsToPixels(twips, this));
    if (col < m_model->fixedCols())
        verticalHeader()->setFixedWidth(pixels);
    else
        setColumnWidth(col - m_model->fixedCols(), pixels);
}

void FlexGrid::autoSize(int firstCol, int lastCol) {
    for (int col = firstCol; col <= lastCol && col < cols(); ++col) {
        if (col < m_model->fixedCols()) {
            int widest = 0;
            for (int row = 0; row < rows(); ++row)
                widest = std::max(widest,
                                  verticalHeader()->fontMetrics().horizontalAdvance(m_model->text(row, 0)));
            verticalHeader()->setFixedWidth(widest + 16);
        } else {
            resizeColumnToContents(col - m_model->fixedCols());
        }
    }
}

void FlexGrid::setBackColor(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::Base, colour);
    setPalette(p);
}

void FlexGrid::setFontSize(double points) {
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
}

int FlexGrid::widestFitted() const {
    return std::max(200, viewport()->width() * 2 / 3);
}

int FlexGrid::sizeHintForColumn(int column) const {
    return std::min(QTableView::sizeHintForColumn(column), widestFitted());
}

void FlexGrid::fitColumnsToContents() {
    resizeColumnsToContents(); // the header and a sample of rows
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    for (int col = m_model->fixedCols(); col < cols(); ++col) {
        const int row = m_model->longestRow(col);
        if (row < m_model->fixedRows() || row >= rows())
            continue;
        const int wanted = std::min(
            itemDelegate()->sizeHint(option, m_model->viewIndex(row, col)).width() + 1, widestFitted());
        const int viewCol = col - m_model->fixedCols();
        if (wanted > columnWidth(viewCol))
            setColumnWidth(viewCol, wanted);
    }
}

void FlexGrid::mousePressEvent(QMouseEvent* event) {
    bool cancel = false;
    emit beforeMouseDown(event->button(), event->modifiers(), event->position().toPoint(), &cancel);
    if (!cancel)
        QTableView::mousePressEvent(event);
}

void FlexGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit cellDoubleClicked();
}

void FlexGrid::keyPressEvent(QKeyEvent* event) {
    bool handled = false;
    emit keyDown(event->key(), event->modifiers(), &handled);
    if (!handled)
        QTableView::keyPressEvent(event);
}

bool FlexGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && qobject_cast<QAbstractButton*>(watched) &&
        m_model->fixedCols() > 0 && m_model->fixedRows() > 0 && rows() > 0 && cols() > 0) {
        auto* corner = static_cast<QWidget*>(watched);
        QStyleOptionHeader option;
        option.initFrom(corner);
        option.text = m_model->text(0, 0);
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.rect = corner->rect();
        QPainter painter(corner);
        corner->style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
        return true;
    }
    if (watched == viewport()) {
        if (m_dragging &&
            (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease)) {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            const int viewRow = rowAt(at.y());
            if (viewRow >= 0)
                m_dragTarget = viewRow + m_model->fixedRows();
            else if (at.y() < 0)
                m_dragTarget = m_model->fixedRows();
            else if (at.y() >= viewport()->height() || viewRow < 0)
                m_dragTarget = rows() - 1;
            if (event->type() == QEvent::MouseButtonRelease)
                m_dragging = false;
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && !m_dragging) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && indexAt(mouse->position().toPoint()).isValid()) {
                const bool result = QTableView::viewportEvent(event);
                emit cellClicked();
                return result;
            }
        }
    }
    return QTableView::eventFilter(watched, event);
}

int FlexGrid::dragRow(int row) {
    if (row < m_model->fixedRows() || row >= rows())
        return row;
    m_dragging = true;
    m_dragTarget = row;
    viewport()->setCursor(Qt::DragMoveCursor);
    while (m_dragging && isVisible())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_dragging = false;
    viewport()->unsetCursor();
    const int target = std::clamp(m_dragTarget, m_model->fixedRows(), rows() - 1);
    if (target != row) {
        m_model->moveRow(row, target);
        setRow(target);
    }
    return target;
}
