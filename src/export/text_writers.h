#pragma once

#include "export/export_rows.h"

#include <QString>
#include <QVariant>

class QIODevice;

// The text files an export writes, to any device, in the local code page with CR LF line ends.
// Each throws AppError when the device fails (the lines before stay written) and returns false
// when the progress asked it to stop.
namespace TextWriters {

// CSV of SQL value lists from what the grid shows: the header line of column names, then a line
// per row; the first column left out when the header's first cell is exactly "RNo". Character
// and date columns are quoted as SQL literals, every other cell is written as shown.
bool writeGridCsv(const ExportRows& rows, QIODevice& device, const ExportProgress& progress = {});
// CSV of SQL value lists from records: the first field left out when its name is RNo in any
// case; NULL as NULL, characters and dates quoted, exact numbers exact.
bool writeRecordCsv(const ExportRows& rows, QIODevice& device, const ExportProgress& progress = {});
// Every cell as shown, separated by TAB, the header line first; nothing quoted or left out.
bool writeTabText(const ExportRows& rows, QIODevice& device, const ExportProgress& progress = {});

// A record's value as the CSV writes it for a field of the given kind.
QString recordCsvField(const QVariant& value, int adoType);

} // namespace TextWriters
