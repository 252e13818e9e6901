#pragma once

#include <QString>

// The records a grid shows in bound mode, in the grid's order: record r is grid row r + 1, below the
// header row. The grid keeps no copy of them; edits go straight to them.
class BoundRows {
public:
    virtual ~BoundRows() = default;
    virtual int count() const = 0;
    // The text a cell shows.
    virtual QString text(int record, int col) const = 0;
    // The text an in-cell editor starts from: the value in full, where the shown text rounds it.
    virtual QString editText(int record, int col) const { return text(record, col); }
    // The operator's text for a cell; false when it is refused (the records say why, later).
    virtual bool setText(int record, int col, const QString& text) = 0;
    // The record holding the longest text of a column, when known (-1 otherwise).
    virtual int longestRecord(int) const { return -1; }
};
