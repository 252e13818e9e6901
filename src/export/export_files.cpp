#include "export/export_files.h"

#include "app/errors.h"
#include "app/file_writer.h"
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
// write itself. A run that fails or is stopped keeps the lines written before it ended.
bool writeTextFile(const QString& label, const ExportRows& rows, const QString& fileName, bool replace,
                   TextWriter writer, ExportRun* run) {
    bool finished = false;
    qint64 rowsDone = 0;
    const ExportProgress progress = [&](qint64 done) {
        rowsDone = done;
        return !run || !run->progress || run->progress(done);
    };
    QFile file(fileName);
    const bool ok = guarded(label, [&] {
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                         (replace ? QIODevice::Truncate : QIODevice::NewOnly);
        if (!file.open(mode))
            throwWriteError(fileName, fileErrorReason(file));
        try {
            finished = writer(rows, file, progress);
        } catch (const AppError& error) { // said with the file it concerns
            throwWriteError(fileName, error.description());
        }
        file.close();
        if (file.error() != QFileDevice::NoError)
            throwWriteError(fileName, fileErrorReason(file));
    });
    file.close();
    if (ok && !finished && run) {
        run->stopped = true;
        run->linesKept = rowsDone + 1; // the header line and the rows before the stop
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
    const bool replace = run && run->replaceAsked;
    if (grid.rows() <= 1 || (!replace && refusedAsExisting(fileName)))
        return false;
    bool finished = false;
    const bool ok = guarded(QStringLiteral("SaveXLS"), [&] {
        const GridExportRows rows(grid);
        const WorkbookWriter::Outcome outcome =
            WorkbookWriter::write(rows, fileName, run ? run->progress : ExportProgress(), replace);
        finished = outcome.finished;
        if (run) {
            run->stopped = !outcome.finished;
            run->cellsCut = outcome.cellsCut;
        }
    });
    return ok && finished;
}
