#pragma once

#include "grid/grid_model.h"

#include <QTableView>

class QLineEdit;

// The grid control every window uses: a table view over a GridModel with the operations the
// windows rely on, in grid coordinates (row 0 the header row). Widths are in twips.
class FlexGrid : public QTableView {
    Q_OBJECT

public:
    explicit FlexGrid(QWidget* parent = nullptr);

    GridModel* grid() const { return m_model; }

    int rows() const { return m_model->rows(); }
    void setRows(int rows) { m_model->setRows(rows); }
    int cols() const { return m_model->cols(); }
    void setCols(int cols) { m_model->setCols(cols); }
    void setFixedRows(int fixedRows);
    void setFixedCols(int fixedCols);

    // The current cell; -1 when there is none.
    int row() const;
    int col() const;
    void setRow(int row);
    void setCol(int col);

    QString textMatrix(int row, int col) const { return m_model->text(row, col); }
    void setTextMatrix(int row, int col, const QString& text) { m_model->setText(row, col, text); }
    double valueMatrix(int row, int col) const;
    void addItem(const QString& text) { m_model->addItem(text); }
    void removeItem(int row) { m_model->removeItem(row); }

    // The selected range as text: cells by TAB, rows by CR. Setting it pastes into the selection;
    // it returns false when the text held more rows or cells than the selection took.
    QString clip() const;
    bool setClip(const QString& text);

    // The in-cell editor's text, readable while an edit is being validated; "" when none is open.
    QString editText() const;
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

    void setEditable(int mode); // 0 not editable, 2 by keyboard and mouse
    int colWidth(int col) const;
    void setColWidth(int col, int twips);
    void autoSize(int firstCol, int lastCol);
    // Each column as wide as a sample of its rows and its longest cell need (within the cap below).
    void fitColumnsToContents();

    void setRedraw(bool redraw) { m_model->setRedraw(redraw); }
    void setBackColor(const QColor& colour);
    void setCellBackColor(int row1, int col1, int row2, int col2, const QColor& colour) {
        m_model->setCellBackground(row1, col1, row2, col2, colour);
    }
    void clearCellFormatting(int row1, int col1, int row2, int col2) {
        m_model->clearCellFormatting(row1, col1, row2, col2);
    }
    void setFontSize(double points);

    // The operator drags the row to a new place with the mouse button held; the row is moved
    // where the button is released. Returns the index at which the row now stands.
    int dragRow(int row);

    static int twipsToPixels(int twips, const QWidget* widget);
    static int pixelsToTwips(int pixels, const QWidget* widget);

signals:
    // Before the grid handles a mouse press; set *cancel to keep the grid from handling it.
    void beforeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position,
                         bool* cancel);
    // A key pressed in the grid (not in its cell editor); set *handled to stop the grid's own handling.
    void keyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled);
    // An in-cell edit is ending; editText() holds the new text. Set *cancel to refuse it.
    void validateEdit(int row, int col, bool* cancel);
    // A plain click or double click on a data cell.
    void cellClicked();
    void cellDoubleClicked();

protected:
    // Fitting a column to its contents stops at two thirds of the visible width, so that one long
    // value does not push every other column out of sight.
    int sizeHintForColumn(int column) const override;
    int widestFitted() const;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class FlexGridDelegate;
    // The selected cells' bounding rectangle in view coordinates; null when nothing is selected.
    QRect selectionBounds() const;
    bool commitEdit(QWidget* editor, const QModelIndex& index);

    GridModel* m_model;
    QLineEdit* m_editor = nullptr;
    bool m_dragging = false;
    int m_dragTarget = -1;
};
