#include "ui/file_page.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/gui/busy_state.h"
#include "app/gui/run_progress.h"
#include "app/gui/widget_helpers.h"
#include "app/helpers.h"
#include "app/local_codec.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "app/run_log.h"
#include "db/script_runner.h"
#include "db/session.h"
#include "db/statement_wait.h"
#include "db/text_import.h"
#include "export/export_files.h"
#include "export/workbook_writer.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "ui/file_dialog.h"
#include "ui/maintenance.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {
// The run's count on the status panel, its flood going round as the count grows.
RunProgress panelProgress(ElasticPanel* panel, const BusyState& busy, const QString& caption) {
    return RunProgress(
        [panel, caption, ticks = qint64(0)](qint64 done) mutable {
            panel->setCaption(caption + QString::number(done));
            panel->setFloodPercent(int(++ticks % 100) + 1);
        },
        &busy);
}
} // namespace

FilePage::FilePage(const Widgets& widgets, FileDialog& dialog, Maintenance& maintenance, BusyState& busy,
                   QObject* parent)
    : QObject(parent), w(widgets), m_dialog(dialog), m_maintenance(maintenance), m_busy(busy) {
    connect(w.txtFileName, &QLineEdit::textChanged, this, &FilePage::txtFileName_Change);
    connect(w.elaSelectFile, &QToolButton::clicked, this, &FilePage::elaSelectFile_Click);
    connect(w.cmdStartDoc, &QPushButton::clicked, this, &FilePage::cmdStartDoc_Click);
    connect(w.cmdSaveCSV, &QPushButton::clicked, this, &FilePage::cmdSaveCSV_Click);
    connect(w.cmdSaveTXT, &QPushButton::clicked, this, &FilePage::cmdSaveTXT_Click);
    connect(w.cmdSaveXLS, &QPushButton::clicked, this, &FilePage::cmdSaveXLS_Click);
    connect(w.cmdLoadTextToDB, &QPushButton::clicked, this, &FilePage::cmdLoadTextToDB_Click);
    connect(w.cmdScript, &QPushButton::clicked, this, &FilePage::cmdScript_Click);
    w.txtFileName->installEventFilter(this);
    txtFileName_Change(); // the empty box offers the text exports
}

bool FilePage::isSpreadsheetName(const QString& name) {
    return TrimSpaces(name).right(3).toUpper() == QLatin1String("XLS");
}

void FilePage::txtFileName_Change() {
    guarded(QStringLiteral("txtFileName_Change"), [&] {
        const bool workbook = isSpreadsheetName(w.txtFileName->text());
        w.cmdSaveXLS->setEnabled(workbook);
        w.mnuSaveXLS->setEnabled(workbook);
        w.cmdSaveTXT->setEnabled(!workbook);
        w.cmdSaveCSV->setEnabled(!workbook);
        w.mnuSaveTXT->setEnabled(!workbook);
        w.mnuSaveCSV->setEnabled(!workbook);
    });
}

bool FilePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w.txtFileName && FieldNavigation(w.txtFileName, event))
        return true;
    return QObject::eventFilter(watched, event);
}

void FilePage::elaSelectFile_Click() {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("elaSelectFile_Click"), [&] {
        m_dialog.filter = QStringLiteral("文字檔案(*.txt)|*.txt|ALLfiles|*.*|");
        m_dialog.showOpen();
        if (!m_dialog.fileName.isEmpty()) {
            w.txtFileName->setText(m_dialog.fileName);
            m_dialog.initDir = GetPath(m_dialog.fileName);
        }
    });
}

void FilePage::cmdStartDoc_Click() {
    guarded(QStringLiteral("cmdStartDoc_Click"), [&] {
        const QString name = TrimSpaces(w.txtFileName->text());
        if (!name.isEmpty())
            ShellOpen(name); // what the desktop makes of it is its own affair
    });
}

void FilePage::cmdSaveCSV_Click() {
    runExport(Kind::Csv);
}

void FilePage::cmdSaveTXT_Click() {
    runExport(Kind::Text);
}

void FilePage::cmdSaveXLS_Click() {
    runExport(Kind::Workbook);
}

void FilePage::cmdLoadTextToDB_Click() {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("fmORVEL_cmdLoadTextToDB_Click"), [&] {
        const QString fileName = w.txtFileName->text();
        if (!FileExists(fileName)) {
            showStatus(ZKMSG(QStringLiteral("ErrorReadFile")) + QStringLiteral(":") + fileName);
            return;
        }
        const std::optional<QString> table =
            currentOperator().inputBox(QStringLiteral("Upload to Table:"), w.lblDBName->text(),
                                       GetFileNameNoExt(GetFileName(fileName)), EchoMode::Normal);
        if (!table || TrimSpaces(*table).isEmpty())
            return;
        const LinesCommandScope scope(*this);
        StatusMessage().clear(); // a message of an earlier run would read as this run's outcome
        w.elaMsg->setCaption(QString());
        StatementWait::reset();
        LineRun run;
        RunProgress progress = panelProgress(w.elaMsg, m_busy, QStringLiteral("已載入資料行數: "));
        run.progress = [&](qint64 lines) { return progress(lines); };
        qint64 count = 0;
        const bool loaded = LoadTextToDB(fileName, *table, MainConnection().get(), count, &run);
        if (loaded)
            showStatus(LocalMsg(QStringLiteral("RecordAffected:")) + QString::number(count) + codecNote(run));
        else if (run.stopped)
            showStatus(QStringLiteral("已停止載入, 已寫入資料行數: ") + QString::number(run.outcome.kept) +
                       notesOf(run));
        else if (run.outcome.failedLine > 0) // the progress count must not stand as if it were the outcome
            showStatus(QStringLiteral("載入中止於第 %1 行, 已寫入資料行數: %2")
                           .arg(run.outcome.failedLine)
                           .arg(run.outcome.kept) +
                       notesOf(run));
    });
}

void FilePage::cmdScript_Click() {
    if (m_busy.refuse())
        return;
    CurrentSql().clear();
    LineRun run;
    bool failed = false;
    const QString fileName = TrimSpaces(w.txtFileName->text());
    if (!FileExists(fileName)) {
        showStatus(ZKMSG(QStringLiteral("ErrorReadFile")) + QStringLiteral(":") + fileName);
    } else {
        const LinesCommandScope scope(*this);
        StatusMessage().clear(); // a message of an earlier run would read as this run's outcome
        w.elaMsg->setCaption(QString());
        StatementWait::reset();
        RunProgress progress = panelProgress(w.elaMsg, m_busy, QStringLiteral("已讀入資料行數: "));
        run.progress = [&](qint64 lines) { return progress(lines); };
        try {
            if (!MainConnection() || !MainConnection()->isOpen())
                throw Errors::connectionUnusable();
            runScriptFile(fileName, *MainConnection(), run);
        } catch (...) {
            failed = true;
            ReportError(QStringLiteral("fmORVIK_cmdScript_Click"), currentError(std::current_exception()));
        }
    }
    // The count of lines read, whatever the outcome.
    QString done = QStringLiteral("作業完成, 處理資料行數: ") + QString::number(run.lines);
    if (run.stopped)
        done += QStringLiteral(" (已停止, 已執行並確定的陳述式數: %1)").arg(run.outcome.kept);
    else if (failed) // the completion text comes in every case: a failure is said with it
        done += run.outcome.failedLine > 0 ? QStringLiteral(" (第 %1 行失敗, 已執行並確定的陳述式數: %2)")
                                                 .arg(run.outcome.failedLine)
                                                 .arg(run.outcome.kept)
                                           : QStringLiteral(" (失敗)");
    w.elaMsg->setCaption(done + notesOf(run) + codecNote(run));
    w.elaMsg->setFloodPercent(0);
}

QString FilePage::notesOf(const LineRun& run) {
    QString notes = outcomeNotes(run.outcome);
    if (!run.endNote.isEmpty())
        notes += (notes.isEmpty() ? QString() : QStringLiteral("; ")) + run.endNote;
    notes.replace(QStringLiteral("\r\n"), QStringLiteral("; "));
    return notes.isEmpty() ? QString() : QStringLiteral(" (") + notes + QStringLiteral(")");
}

QString FilePage::codecNote(const LineRun& run) {
    if (!run.codecExact)
        return QStringLiteral(" (檔案含有無法辨識的位元組, 已以 U+FFFD 代替)");
    return run.codec.isEmpty() || run.codec == LocalCodec::codecName()
               ? QString()
               : QStringLiteral(" (檔案以 %1 讀取)").arg(QString::fromLatin1(run.codec));
}

FilePage::LinesCommandScope::LinesCommandScope(FilePage& page) : m_page(page), m_busy(page.m_busy) {
    for (QObject* command :
         {static_cast<QObject*>(m_page.w.cmdScript), static_cast<QObject*>(m_page.w.cmdLoadTextToDB),
          static_cast<QObject*>(m_page.w.mnuSaveScript), static_cast<QObject*>(m_page.w.mnuSaveImport)})
        command->setProperty("enabled", false);
    currentOperator().setBusy(true);
}

FilePage::LinesCommandScope::~LinesCommandScope() {
    for (QObject* command :
         {static_cast<QObject*>(m_page.w.cmdScript), static_cast<QObject*>(m_page.w.cmdLoadTextToDB),
          static_cast<QObject*>(m_page.w.mnuSaveScript), static_cast<QObject*>(m_page.w.mnuSaveImport)})
        command->setProperty("enabled", true);
    currentOperator().setBusy(false);
}

void FilePage::showStatus(const QString& text) {
    StatusMessage() = text;
    DispElaMsg(w.elaMsg, StatusMessage());
}

void FilePage::setCommandEnabled(Kind kind, bool enabled) {
    switch (kind) {
    case Kind::Csv:
        w.cmdSaveCSV->setEnabled(enabled);
        w.mnuSaveCSV->setEnabled(enabled);
        break;
    case Kind::Text:
        w.cmdSaveTXT->setEnabled(enabled);
        w.mnuSaveTXT->setEnabled(enabled);
        break;
    case Kind::Workbook:
        w.cmdSaveXLS->setEnabled(enabled);
        w.mnuSaveXLS->setEnabled(enabled);
        break;
    }
}

bool FilePage::inMaintenanceMode() const {
    const QString edit = LocalMsg(QStringLiteral("EDIT"));
    return !edit.isEmpty() && w.lblMode->text() == edit;
}

std::optional<QString> FilePage::prepareOutputFile(bool* replaceAsked) {
    const QString fileName = w.txtFileName->text();
    if (fileName.contains(QLatin1Char('*')) || fileName.contains(QLatin1Char('?')))
        throw AppError(ErrNo::InvalidCall, QStringLiteral("檔案名稱不可含萬用字元 * 或 ?: ") + fileName);
    if (QFileInfo(fileName).isDir())
        throw AppError(ErrNo::PathFileAccess, QStringLiteral("這是資料夾, 不是檔案: ") + fileName);
    if (const QFileInfo existing(fileName); existing.isFile() && !existing.isHidden()) {
        StatusMessage() = LocalMsg(QStringLiteral("PromptFileOverwrite"));
        if (currentOperator().messageBox(StatusMessage(), MsgButtons::YesNo, MsgIcon::Question,
                                         ProgramInfo::appTitle()) != MsgAnswer::Yes)
            return std::nullopt;
        // A workbook takes the old file's place only once it is complete: the old one stays
        // until then, through a failure or a stop.
        if (replaceAsked) {
            *replaceAsked = true;
            return fileName;
        }
        QFile file(fileName);
        if (!file.remove())
            throw AppError(ErrNo::PathFileAccess,
                           QStringLiteral("無法刪除檔案 %1: %2").arg(fileName, fileErrorReason(file)));
    }
    return fileName;
}

void FilePage::runExport(Kind kind) {
    if (m_busy.refuse())
        return;
    static const char* const labels[] = {"cmdSaveCSV_Click", "cmdSaveTXT_Click", "cmdSaveXLS_Click"};
    const QString label = QString::fromLatin1(labels[int(kind)]);
    Operator& op = currentOperator();
    setCommandEnabled(kind, false);
    op.setBusy(true);
    // A message of an earlier run would read as this run's outcome.
    StatusMessage().clear();
    w.elaMsg->setCaption(QString());
    guarded(label, [&] {
        const QString defaultName =
            kind == Kind::Workbook ? QStringLiteral("/SQDataOut.xls") : QStringLiteral("/DataOutCSV.txt");
        if (TrimSpaces(w.txtFileName->text()).isEmpty())
            w.txtFileName->setText(ProgramInfo::programFolder() + defaultName);
        // With nothing to write, no question is asked and no file is touched.
        if (w.fg1->rows() <= 1) {
            showStatus(LocalMsg(QStringLiteral("NODATA")));
            return;
        }
        // Known before anything is asked: a grid no sheet holds costs the operator no file.
        if (kind == Kind::Workbook)
            WorkbookWriter::requireFits(w.fg1->rows() - 1, w.fg1->cols());
        bool replaceAsked = false;
        const std::optional<QString> fileName =
            prepareOutputFile(kind == Kind::Workbook ? &replaceAsked : nullptr);
        if (!fileName)
            return;
        const bool fromRecords = kind == Kind::Csv && inMaintenanceMode();
        if (fromRecords && !m_maintenance.recordset())
            throw AppError(ErrNo::ObjectNotSet, QStringLiteral("維護模式的資料集已關閉, 請重新以 F5 開啟"));

        const BusyState::Scope busy(m_busy);
        RunProgress progress = panelProgress(w.elaMsg, m_busy, QStringLiteral("已寫出資料行數: "));
        ExportRun run;
        run.replaceAsked = replaceAsked;
        run.progress = [&](qint64 rows) { return progress(rows); };
        bool saved = false;
        switch (kind) {
        case Kind::Csv:
            saved = fromRecords ? SaveRST2CSV(*m_maintenance.recordset(), *fileName, &run)
                                : SaveFG2CSV(*w.fg1->grid(), *fileName, &run);
            break;
        case Kind::Text:
            saved = SaveFG2File(*w.fg1->grid(), *fileName, &run);
            break;
        case Kind::Workbook:
            saved = SaveXLS(*w.fg1->grid(), *fileName, &run);
            break;
        }
        w.elaMsg->setFloodPercent(0);
        if (run.stopped && kind == Kind::Workbook) {
            showStatus((replaceAsked ? QStringLiteral("已停止存檔, 原有檔案未變更: ")
                                     : QStringLiteral("已停止存檔, 未留下檔案: ")) +
                       *fileName);
        } else if (run.stopped) { // as after a failure, the lines written so far stay
            showStatus(QStringLiteral("已停止存檔, 檔案只含前 %1 行: %2").arg(run.linesKept).arg(*fileName));
        } else if (!saved) {
            showStatus(LocalMsg(QStringLiteral("ErrorSaveFile")) + QStringLiteral(":") + *fileName);
        } else if (kind == Kind::Workbook) {
            QString text = LocalMsg(QStringLiteral("FileSaved")) + QStringLiteral(":") + *fileName;
            if (run.cellsCut > 0)
                text += QStringLiteral(" (%1 格超過 32767 字, 已截斷)").arg(run.cellsCut);
            showStatus(text);
        } else {
            showStatus(QStringLiteral("存檔名:") + *fileName);
        }
    });
    op.setBusy(false);
    setCommandEnabled(kind, true);
    txtFileName_Change(); // the name may have changed meanwhile: the rule decides again
}
