#include "export/export_files.h"

#include "app/errors.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "db/updatable_recordset.h"
#include "export/text_writers.h"
#include "export/workbook_writer.h"
#include "grid/grid_model.h"
#include "grid/status_panel.h"

#include <QFile>
#include <QFileInfo>

namespace {
using TextWriter = bool (*)(const ExportRows&, QIODevice&, const ExportProgress&);

bool refusedAsExisting(const QString& fileName) {
    if (!QFileInfo::exists(fileName))
        return false;
    StatusMessage() = LocalMsg(QStringLiteral("FileExist"));
    currentOperator().messageBox(StatusMessage(), MsgButtons::Ok, MsgIcon::None, ProgramInfo::appTitle());
    return true;
}

// Writes the rows into a file of their own: unbuffered, as the writer buffers and checks every
// write itself. A stopped run takes its part-written file away again.
bool writeTextFile(const QString& label, const ExportRows& rows, const QString& fileName, bool replace,
                   TextWriter writer, ExportRun* run) {
    bool finished = false;
    bool created = false;
    QFile file(fileName);
    const bool ok = guarded(label, [&] {
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                         (replace ? QIODevice::Truncate : QIODevice::NewOnly);
        if (!file.open(mode))
            throw AppError(ErrNo::PathFileAccess, file.errorString() + QStringLiteral(": ") + fileName);
        created = true;
        finished = writer(rows, file, run ? run->progress : ExportProgress());
        file.close();
        if (file.error() != QFileDevice::NoError)
            throw AppError(ErrNo::PathFileAccess, file.errorString() + QStringLiteral(": ") + fileName);
    });
    file.close();
    if (ok && !finished) {
        if (run)
            run->stopped = true;
        if (created)
            QFile::remove(fileName);
    }
    return ok && finished;
}
} // namespace

bool SaveFG2CSV(const GridModel& grid, const QString& fileName, ExportRun* run) {
    if (grid.rows() < 1 || refusedAsExisting(fileName))
        return false;
    const GridExportRows rows(grid);
    return writeTextFile(QStringLiteral("SaveFG2CSV"), rows, fileName, false, TextWriters::writeGridCsv, run);
}

bool SaveRST2CSV(const UpdatableRecordset& records, const QString& fileName, ExportRun* run) {
    if (records.recordCount() < 1)
        return false;
    const RecordExportRows rows(records);
    return writeTextFile(QStringLiteral("SaveRST2CSV"), rows, fileName, true, TextWriters::writeRecordCsv,
                         run);
}

bool SaveFG2File(const GridModel& grid, const QString& fileName, ExportRun* run) {
    if (grid.rows() < 1 || refusedAsExisting(fileName))
        return false;
    const GridExportRows rows(grid);
    return writeTextFile(QStringLiteral("SaveFG2File"), rows, fileName, false, TextWriters::writeTabText,
                         run);
}

bool SaveXLS(const GridModel& grid, const QString& fileName, ExportRun* run) {
    if (grid.rows() <= 1 || refusedAsExisting(fileName))
        return false;
    bool finished = false;
    const bool ok = guarded(QStringLiteral("SaveXLS"), [&] {
        const GridExportRows rows(grid);
        const WorkbookWriter::Outcome outcome =
            WorkbookWriter::write(rows, fileName, run ? run->progress : ExportProgress());
        finished = outcome.finished;
        if (run) {
            run->stopped = !outcome.finished;
            run->cellsCut = outcome.cellsCut;
        }
    });
    return ok && finished;
}
