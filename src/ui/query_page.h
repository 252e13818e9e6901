#pragma once

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class BusyState;
class ConnectActions;
class ElasticPanel;
class FileDialog;
class FlexGrid;
class QAction;
class QLabel;
class QPlainTextEdit;

// The query page: running the editor's SQL into the result grid, the column total, statement
// files, and the table list's drag and double-click.
class QueryPage : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QPlainTextEdit* txtSQL = nullptr;
        FlexGrid* fg1 = nullptr;
        FlexGrid* fgTableName = nullptr;
        QLabel* lblMode = nullptr;
        QLabel* lblDBName = nullptr;
        ElasticPanel* elaMsg = nullptr;
        QAction* mnuMaintainExecute = nullptr; // mnuMaintain 0
    };

    QueryPage(const Widgets& widgets, ConnectActions& connect, FileDialog& dialog, BusyState& busy,
              QObject* parent = nullptr);

    // Runs the given statement, or the editor's selection (the whole text when nothing is selected).
    void ExecSQL(const std::optional<QString>& statement = std::nullopt);
    void cmdQryDB_Click();
    void ShowColumnTotal();
    void cmdLoadFile_Click();
    void cmdSaveFile_Click();
    void fgTableName_DblClick();
    void txtSQL_OLEDragDrop();
    void txtSQL_DblClick();

    // The statement as the operator marked it: the trimmed selection, or the trimmed whole text.
    QString editorStatement() const;

    // The SELECT the drop writes for a table with these columns.
    static QString columnListSelect(const QStringList& fieldNames, const QString& table);
    // "Rows:" n ", Column Total:" total.
    static QString columnTotalText(int dataRows, double total);
    static QString columnTotalText(int dataRows, const QString& total);
    // The table name a press on the table list remembered.
    QString rememberedTable() const { return m_rememberedTable; }
    // The table list of a new connection: names as shown, and as SQL writes them.
    void fillTableList(const QStringList& names, const QStringList& sqlNames);
    // A table of the list as SQL writes it (a name not in the list: quoted where it must be).
    QString sqlTableName(const QString& shown) const;

signals:
    // A run is starting: the result grid goes back to free mode.
    void freeModeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs CurrentSql by its first word; true when the grid becomes editable afterwards.
    bool runCurrentSql();
    class Connection& connection();
    void showStatus(const QString& text);
    // False when the operator stopped the load: the rows after the ones shown are not wanted.
    bool loadRows(class Recordset& rs, bool announceCount);
    void switchDatabase();

    Widgets w;
    ConnectActions& m_connect;
    FileDialog& m_dialog;
    QString m_rememberedTable;
    QHash<QString, QString> m_sqlNames; // table list: shown name -> SQL name
    BusyState& m_busy;
    QPoint m_pressAt;
};
