#pragma once

#include "app/gui/busy_state.h"

#include <QObject>
#include <QString>

#include <optional>

class ElasticPanel;
class FileDialog;
class FlexGrid;
class Maintenance;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
struct ExportRun;
struct LineRun;

// The file page: the shared file name, the file dialog and desktop viewer for it, and the three
// exports of the result grid (CSV of SQL literals, tab text, workbook).
class FilePage : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QLineEdit* txtFileName = nullptr;
        QToolButton* elaSelectFile = nullptr;
        QPushButton* cmdStartDoc = nullptr;
        QPushButton* cmdSaveXLS = nullptr;
        QPushButton* cmdSaveTXT = nullptr;
        QPushButton* cmdSaveCSV = nullptr;
        QAction* mnuSaveXLS = nullptr; // mnuSave 2
        QAction* mnuSaveTXT = nullptr; // mnuSave 3
        QAction* mnuSaveCSV = nullptr; // mnuSave 4
        QPushButton* cmdScript = nullptr;
        QPushButton* cmdLoadTextToDB = nullptr;
        QAction* mnuSaveScript = nullptr; // mnuSave 0
        QAction* mnuSaveImport = nullptr; // mnuSave 1
        FlexGrid* fg1 = nullptr;
        QLabel* lblMode = nullptr;
        QLabel* lblDBName = nullptr;
        ElasticPanel* elaMsg = nullptr;
    };

    FilePage(const Widgets& widgets, FileDialog& dialog, Maintenance& maintenance, BusyState& busy,
             QObject* parent = nullptr);

    // The name decides which exports are offered: a name ending in XLS (any case) the workbook,
    // any other the CSV and text files.
    void txtFileName_Change();
    void elaSelectFile_Click();
    void cmdStartDoc_Click();
    void cmdSaveCSV_Click();
    void cmdSaveTXT_Click();
    void cmdSaveXLS_Click();
    // Loads the named text file into a table the operator names, a line at a time.
    void cmdLoadTextToDB_Click();
    // Runs the named script file, batch by batch at its GO lines.
    void cmdScript_Click();

    static bool isSpreadsheetName(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Kind { Csv, Text, Workbook };
    void runExport(Kind kind);
    // The output file named in the box; an existing one is deleted once the operator agrees.
    // nullopt when the export is abandoned.
    // With replaceAsked, an existing file the operator agrees to replace is left for the writer
    // to replace (and *replaceAsked set); without, it is deleted here.
    std::optional<QString> prepareOutputFile(bool* replaceAsked = nullptr);
    bool inMaintenanceMode() const;
    void setCommandEnabled(Kind kind, bool enabled);
    void showStatus(const QString& text);
    // " (read as Big5)" when a file was not read in the local code page.
    static QString codecNote(const LineRun& run);
    // What stands beyond the count: a transaction rolled back, committed or left to the operator.
    static QString notesOf(const LineRun& run);

    // The import and script commands disabled, and the window busy, while one of them runs.
    class LinesCommandScope {
    public:
        explicit LinesCommandScope(FilePage& page);
        ~LinesCommandScope();

    private:
        FilePage& m_page;
        BusyState::Scope m_busy;
    };

    Widgets w;
    FileDialog& m_dialog;
    Maintenance& m_maintenance;
    BusyState& m_busy;
};
