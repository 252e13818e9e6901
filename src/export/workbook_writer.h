#pragma once

#include "export/export_rows.h"

#include <QString>

// A workbook of the modern spreadsheet format, written row by row with constant memory: the
// column names in sheet row 1 and every data row below, each cell as a text cell, so that 00123
// and 2016/11/25 stay exactly as shown.
namespace WorkbookWriter {

// What one sheet holds.
inline constexpr qint64 kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;
inline constexpr int kMaxCellChars = 32767;

struct Outcome {
    bool finished = false; // false: the progress asked to stop, and the name was left as it was
    qint64 cellsCut = 0;   // cells longer than a sheet cell holds, cut at kMaxCellChars
};

// Writes the workbook to a temporary file beside path and renames it onto path once it is complete
// (over a file of that name only with replace), so that the name holds a whole workbook or what it
// held before. Throws AppError, changing nothing under the name, when the rows do not fit a sheet
// or the file cannot be written.
Outcome write(const ExportRows& rows, const QString& path, const ExportProgress& progress = {},
              bool replace = false);
// Throws AppError, saying the limits, when the data rows under a header row or the columns do not
// fit a sheet.
void requireFits(qint64 dataRows, int cols);

} // namespace WorkbookWriter
