#include "ui/query_page.h"

#include "app/errors.h"
#include "app/gui/busy_state.h"
#include "app/helpers.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/run_log.h"
#include "db/ado_types.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "db/statement_batch.h"
#include "db/statement_wait.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/number_text.h"
#include "grid/result_loader.h"
#include "grid/status_panel.h"
#include "profiles/connect_actions.h"
#include "ui/file_dialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace {
const QString kStatementFilter =
    QStringLiteral("SQL Files (*.sql)|*.sql|文字檔案(*.txt)|*.txt|ALLfiles|*.*|");
constexpr int kWidthSampleRows = 200;

// The editor's text with its line breaks as CR LF, the way statements and the drop text read.
QString withCrLf(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

QString selectedText(const QPlainTextEdit* box) {
    // QTextCursor writes paragraph separators for line breaks.
    return box->textCursor().selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}
} // namespace

QueryPage::QueryPage(const Widgets& widgets, ConnectActions& connector, FileDialog& dialog, BusyState& busy,
                     QObject* parent)
    : QObject(parent), w(widgets), m_connect(connector), m_dialog(dialog), m_busy(busy) {
    w.fgTableName->viewport()->installEventFilter(this);
    w.txtSQL->viewport()->installEventFilter(this);
    w.txtSQL->setAcceptDrops(true);
    w.txtSQL->viewport()->setAcceptDrops(true);
    connect(w.fgTableName, &FlexGrid::cellDoubleClicked, this, &QueryPage::fgTableName_DblClick);
    // Any button pressed on a table: remember it once the grid has made its cell current.
    connect(w.fgTableName, &FlexGrid::pressed, this, [this] {
        guarded(QStringLiteral("fmORVIK_fgTableName_MouseDown"), [&] {
            const int row = w.fgTableName->row();
            m_rememberedTable = row >= 0 ? w.fgTableName->textMatrix(row, 0) : QString();
        });
    });
    w.fg1->horizontalHeader()->setResizeContentsPrecision(kWidthSampleRows);
    connect(&m_connect, &ConnectActions::tablesListed, this, &QueryPage::fillTableList);
}

void QueryPage::fillTableList(const QStringList& names, const QStringList& sqlNames) {
    FlexGrid* list = w.fgTableName;
    list->setRedraw(false);
    list->setRows(0);
    if (list->cols() < 1)
        list->setCols(1);
    list->addItem(QStringLiteral("Table Name"));
    list->setFixedRows(1);
    m_sqlNames.clear();
    for (qsizetype i = 0; i < names.size(); ++i) {
        list->grid()->appendRow(&names[i], 1);
        m_sqlNames.insert(names[i], sqlNames.value(i));
    }
    list->setRedraw(true);
}

QString QueryPage::sqlTableName(const QString& shown) const {
    const QString known = m_sqlNames.value(shown);
    if (!known.isEmpty() || shown.isEmpty() || !MainConnection() || !MainConnection()->isOpen())
        return known.isEmpty() ? shown : known;
    return sqlIdentifier(shown, MainConnection()->database().driver());
}

void QueryPage::showStatus(const QString& text) {
    StatusMessage() = text;
    DispElaMsg(w.elaMsg, StatusMessage());
}

void QueryPage::ExecSQL(const std::optional<QString>& statement) {
    if (m_busy.refuse()) // one long operation at a time
        return;
    const BusyState::Scope busy(m_busy);
    Operator& op = currentOperator();
    StatementWait::reset();
    try {
        w.lblMode->setText(LocalMsg(QStringLiteral("QUERY")));
        emit freeModeRequested();
        w.fg1->setEditable(0);
        w.fg1->setBackColor(Qt::white);
        w.fg1->setRows(1);
        op.setBusy(true);
        w.mnuMaintainExecute->setEnabled(false);

        CurrentSql() = sGetJustSQL(statement ? *statement : editorStatement());
        if (CurrentSql().isEmpty()) {
            showStatus(LocalMsg(QStringLiteral("PleaseInputSQL")));
        } else if (runCurrentSql()) {
            w.fg1->setEditable(2);
            w.txtSQL->setFocus();
        }
    } catch (...) {
        if (StatementWait::cancelled())
            showStatus(QStringLiteral("已取消: 依操作員要求 (Esc) 中止了執行中的指令."));
        else
            ReportError(QStringLiteral("ExecSQL\r\nSQL:") + CurrentSql(),
                        currentError(std::current_exception()));
    }
    op.setBusy(false);
    w.mnuMaintainExecute->setEnabled(true);
}

QString QueryPage::editorStatement() const {
    return withCrLf(
        TrimSpaces(w.txtSQL->textCursor().hasSelection() ? selectedText(w.txtSQL) : w.txtSQL->toPlainText()));
}

Connection& QueryPage::connection() {
    if (!MainConnection())
        throw Errors::objectNotSet();
    return *MainConnection();
}

bool QueryPage::runCurrentSql() {
    switch (classify(CurrentSql())) {
    case StatementKind::Change: {
        StatementBatch batch(connection(), CurrentSql());
        batch.finish();
        showStatus(LocalMsg(QStringLiteral("RecordAffected:")) + QString::number(batch.affected()));
        w.lblMode->setText(LocalMsg(QStringLiteral("EXEC")));
        return true;
    }
    case StatementKind::Select: {
        StatementBatch batch(connection(), CurrentSql());
        if (batch.rows() && !loadRows(*batch.rows(), true)) {
            batch.abandon();
            return true;
        }
        batch.finish();
        return true;
    }
    case StatementKind::Server:
    case StatementKind::Exec: {
        const bool server = classify(CurrentSql()) == StatementKind::Server;
        if (server)
            CurrentSql() = CurrentSql().mid(6);
        StatementBatch batch(connection(), CurrentSql());
        const bool rows = batch.rows() != nullptr;
        if (rows && !loadRows(*batch.rows(), false))
            batch.abandon();
        else
            batch.finish();
        if (!rows)
            showStatus(LocalMsg(QStringLiteral("RecordAffected:")) + QString::number(batch.affected()));
        w.lblMode->setText(LocalMsg(server ? QStringLiteral("SERVER") : QStringLiteral("EXECSP")));
        return server;
    }
    case StatementKind::Use:
        if (connection().provider() == QLatin1String("SQLOLEDB.1")) {
            switchDatabase();
            return false;
        }
        return true;
    case StatementKind::Other:
        // Not sent from here; said so, or the operator takes the silence for success.
        showStatus(QStringLiteral("未執行: 此指令須以 SERVER 開頭才會送到資料庫 (例: SERVER ") +
                   CurrentSql().left(40).simplified() + QStringLiteral(" ...)"));
        break;
    }
    return true; // CREATE, DROP, SHOW, TRUNCATE and other words are not run from here
}

bool QueryPage::loadRows(Recordset& rs, bool announceCount) {
    qint64 count = 0;
    bool stopped = false;
    const bool loaded =
        FGLoadRST(w.fg1, rs, &count, w.elaMsg, &stopped, [this] { return m_busy.stopRequested(); });
    w.fg1->fitColumnsToContents();
    if (stopped)
        showStatus(QStringLiteral("已停止讀取, 已讀入資料行數: ") + QString::number(count));
    else if (announceCount)
        showStatus(LocalMsg(QStringLiteral("RecCount:")) + QString::number(loaded ? count : 0));
    return !stopped;
}

void QueryPage::switchDatabase() {
    const QString database = TrimSpaces(CurrentSql().mid(3));
    CurrentSql() = database;
    w.elaMsg->setCaption(QString());
    const QString next = useDatabaseString(connection().connectionString(), database);
    connection().close();
    w.lblDBName->setText(database);
    m_connect.DBQConnect(next);
}

void QueryPage::cmdQryDB_Click() {
    guarded(QStringLiteral("cmdQryDB_Click"), [&] { ExecSQL(); });
}

QString QueryPage::columnTotalText(int dataRows, double total) {
    return columnTotalText(dataRows, NumberText::ofDouble(total));
}

QString QueryPage::columnTotalText(int dataRows, const QString& total) {
    return QStringLiteral("Rows:") + QString::number(dataRows) + QStringLiteral(", Column Total:") + total;
}

void QueryPage::ShowColumnTotal() {
    FlexGrid* grid = w.fg1;
    if (grid->rows() < 2)
        return;
    const int col = std::max(grid->col(), 0);
    const int type = grid->grid()->colDataType(col);
    // Whole and decimal columns add up exactly; single and double ones as the doubles they are.
    if (type == AdoType::Double || type == AdoType::Single) {
        double total = 0;
        for (int row = 1; row < grid->rows(); ++row)
            total += grid->valueMatrix(row, col);
        showStatus(columnTotalText(grid->rows() - 1, total));
        return;
    }
    DecimalSum total;
    for (int row = 1; row < grid->rows(); ++row)
        total.add(grid->textMatrix(row, col));
    showStatus(columnTotalText(grid->rows() - 1, total.text()));
}

void QueryPage::cmdLoadFile_Click() {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("cmdLoadFile_Click"), [&] {
        m_dialog.filter = kStatementFilter;
        // A cancelled dialog keeps its last name; loading that again would replace the editor text.
        if (!m_dialog.showOpen() || m_dialog.fileName.isEmpty())
            return;
        m_dialog.initDir = GetPath(m_dialog.fileName);
        if (const auto text = TxtLoadFile(m_dialog.fileName))
            w.txtSQL->setPlainText(*text);
    });
}

void QueryPage::cmdSaveFile_Click() {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("cmdSaveFile_Click"), [&] {
        m_dialog.fileName.clear();
        m_dialog.filter = kStatementFilter;
        m_dialog.showSave();
        if (m_dialog.fileName.isEmpty())
            return;
        m_dialog.initDir = GetPath(m_dialog.fileName);
        TxtSaveFile(m_dialog.fileName, w.txtSQL->toPlainText());
    });
}

void QueryPage::fgTableName_DblClick() {
    guarded(QStringLiteral("fmORVIK_fgTableName_DblClick"), [&] {
        const int row = w.fgTableName->row();
        CurrentSql() = QStringLiteral("select * from ") +
                       (row >= 0 ? sqlTableName(w.fgTableName->textMatrix(row, 0)) : QString());
        ExecSQL(CurrentSql());
    });
}

QString QueryPage::columnListSelect(const QStringList& fieldNames, const QString& table) {
    QString s = QStringLiteral("SELECT ");
    for (int i = 0; i < fieldNames.size(); ++i) {
        if (i > 0)
            s += QStringLiteral(", ");
        if (i % 4 == 0)
            s += QStringLiteral("\r\n  ");
        s += fieldNames[i];
    }
    s += QStringLiteral("\r\nFROM ") + table;
    if (s.indexOf(QLatin1String(" RNo"), 1, Qt::CaseInsensitive) > 0)
        s += QStringLiteral("\r\n  ORDER BY RNo ");
    return s;
}

void QueryPage::txtSQL_OLEDragDrop() {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("fmORVIK_txtSQL_OLEDragDrop"), [&] {
        const QString table = sqlTableName(m_rememberedTable);
        CurrentSql() = QStringLiteral("Select * from ") + table + QStringLiteral(" Where 1<>1 ");
        QStringList names;
        {
            auto probe = connection().execute(CurrentSql());
            for (const FieldInfo& field : probe->fields())
                names << field.name;
        }
        const QString s = columnListSelect(names, table);
        QApplication::clipboard()->clear();
        QApplication::clipboard()->setText(s);
        // The editor keeps "\n" line breaks; the statement stands at the top, then an empty line.
        const QString shown = QString(s).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        w.txtSQL->setPlainText(shown + QStringLiteral("\n\n") + w.txtSQL->toPlainText());
        QTextCursor cursor = w.txtSQL->textCursor();
        cursor.setPosition(0);
        cursor.setPosition(int(shown.size()), QTextCursor::KeepAnchor);
        w.txtSQL->setTextCursor(cursor);
    });
}

void QueryPage::txtSQL_DblClick() {
    guarded(QStringLiteral("txtSQL_DblClick"), [&] { w.txtSQL->selectAll(); });
}

bool QueryPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w.fgTableName->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            m_pressAt = static_cast<QMouseEvent*>(event)->position().toPoint();
        } else if (event->type() == QEvent::MouseMove) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->buttons() & Qt::LeftButton) &&
                (mouse->position().toPoint() - m_pressAt).manhattanLength() >=
                    QApplication::startDragDistance()) {
                auto* drag = new QDrag(w.fgTableName);
                auto* data = new QMimeData;
                data->setText(m_rememberedTable);
                drag->setMimeData(data);
                drag->exec(Qt::CopyAction);
                return true;
            }
        }
    } else if (watched == w.txtSQL->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop:
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            txtSQL_OLEDragDrop();
            return true;
        case QEvent::MouseButtonDblClick:
            txtSQL_DblClick();
            return true;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
