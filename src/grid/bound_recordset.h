#pragma once

#include "grid/bound_rows.h"

#include <functional>

class AppError;
class UpdatableRecordset;

// The records of a maintenance recordset as a grid shows them: each value as a query shows it,
// edits handed to the records. An edit that leaves the text as it was changes nothing, so a
// value the grid rounds for showing is never written back rounded.
class BoundRecordset : public BoundRows {
public:
    // refused is told of each edit the records refuse (never from inside it a box: the grid is
    // still in the middle of the edit).
    using Refused = std::function<void(int record, int col, const AppError& why)>;
    BoundRecordset(UpdatableRecordset& records, Refused refused);

    int count() const override;
    QString text(int record, int col) const override;
    QString editText(int record, int col) const override;
    bool setText(int record, int col, const QString& text) override;
    int longestRecord(int col) const override;

private:
    UpdatableRecordset& m_records;
    Refused m_refused;
};
