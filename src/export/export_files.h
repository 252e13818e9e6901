#pragma once

#include "export/export_rows.h"

#include <QString>

class GridModel;
class UpdatableRecordset;

// How one export run goes: the progress asked between rows, and what the run came to.
struct ExportRun {
    ExportProgress progress;
    bool stopped = false; // the progress asked to stop
    qint64 linesKept = 0; // a stopped text file keeps its first lines; a stopped workbook is not left
    qint64 cellsCut = 0;  // workbook cells cut to what a sheet cell holds
    // The operator agreed to replace the file of that name: a workbook then replaces it only once
    // the new one is complete, and leaves it as it was when writing fails or is stopped.
    bool replaceAsked = false;
};

// The writers behind the export commands. Each writes one new file: a name that exists is refused
// with the catalog's "FileExist" in a box (SaveRST2CSV replaces it), a failure is reported under
// the writer's own label, and the answer says whether the file was written completely. A text
// file that fails or is stopped keeps the lines written before; a workbook is whole or absent.
bool SaveFG2CSV(const GridModel& grid, const QString& fileName, ExportRun* run = nullptr);
bool SaveRST2CSV(const UpdatableRecordset& records, const QString& fileName, ExportRun* run = nullptr);
bool SaveFG2File(const GridModel& grid, const QString& fileName, ExportRun* run = nullptr);
bool SaveXLS(const GridModel& grid, const QString& fileName, ExportRun* run = nullptr);
